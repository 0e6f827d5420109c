#ifndef ORVANDEL_MONSTERUI_H
#define ORVANDEL_MONSTERUI_H

#include <QDialog>
#include <QFile>

namespace Ui {
class MonsterUI;
}

// The list of the book's monsters, read from and written back to its own file.
class MonsterUI : public QDialog
{
    Q_OBJECT

public:
    explicit MonsterUI(QWidget *parent = nullptr);
    ~MonsterUI() override;

    void loadFile();

private slots:
    void addMonsterToList();
    void removeMonsterFromList();
    void addToXML();
    void on_buttonBox_accepted();

private:
    bool isFileEmpty(QFile &file);
    bool confirmReplacingUnreadableFile();
    QString askForFile();
    void showFileName();

    Ui::MonsterUI *ui;
    int monsterCount;
    QFile monsterFile;
    bool readFailed = false; // the file is there but could not be read
    bool written = false;    // set by addToXML when the file was replaced
};

#endif
