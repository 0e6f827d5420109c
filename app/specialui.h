#ifndef ORVANDEL_SPECIALUI_H
#define ORVANDEL_SPECIALUI_H

#include <QDialog>

namespace Ui {
class SpecialUI;
}

// Placeholder for the special-entry editor; nothing opens it yet.
class SpecialUI : public QDialog
{
    Q_OBJECT

public:
    explicit SpecialUI(QWidget *parent = nullptr);
    ~SpecialUI() override;

private:
    Ui::SpecialUI *ui;
};

#endif
