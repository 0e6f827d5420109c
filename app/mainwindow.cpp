#include "app/mainwindow.h"

#include "entry/entryui.h"
#include "ui_mainwindow.h"

#include <QDialog>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    connect(ui->pb_Entry, SIGNAL(clicked(bool)), this, SLOT(loadEntryUI()));
    connect(ui->pb_Special, SIGNAL(clicked(bool)), this, SLOT(loadSpecialUI()));
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::loadEntryUI()
{
    EntryUI dialog;
    dialog.exec();
}

void MainWindow::loadObjectUI()
{
}

void MainWindow::loadMonsterUI()
{
    // The monster list dialog is not written yet; an empty modal dialog stands in.
    QDialog dialog;
    dialog.exec();
}

void MainWindow::loadSpecialUI()
{
}
