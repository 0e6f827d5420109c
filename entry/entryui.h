#ifndef ORVANDEL_ENTRYUI_H
#define ORVANDEL_ENTRYUI_H

#include <QDialog>
#include <QFile>
#include <QString>

namespace Ui {
class EntryUI;
}

// The form on which the author composes one entry of the book. The form
// itself (tables, reset) lives in entry/; binding to the entries file and
// saving live in persistence/.
class EntryUI : public QDialog
{
    Q_OBJECT

public:
    explicit EntryUI(QWidget *parent = nullptr);
    ~EntryUI() override;

private slots:
    void addChoice();
    void removeChoice();
    void addMonster();
    void removeMonster();
    void addObject();
    void removeObject();
    void resetForm();
    void saveEntry();

private:
    Ui::EntryUI *ui;
    int choiceRows;
    int monsterRows;
    int objectRows;
    int lastId;
    bool fileEmpty;
    QString fileContent;
    QFile entriesFile;
};

#endif
