#ifndef ORVANDEL_MAINWINDOW_H
#define ORVANDEL_MAINWINDOW_H

#include <QMainWindow>

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

private slots:
    void loadEntryUI();
    void loadObjectUI();
    void loadMonsterUI();
    void loadSpecialUI();

private:
    Ui::MainWindow *ui;
};

#endif
