#ifndef ORVANDEL_ENTRYUI_H
#define ORVANDEL_ENTRYUI_H

#include "persistence/entriesfile.h"

#include <QByteArray>
#include <QDialog>
#include <QFile>
#include <QString>

struct EntryData;

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

    // Binds the dialog to the book's entries file and shows the next number.
    void setEntriesFile(const QString &path);

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
    bool isFileEmpty(QFile &file);
    void getLastId();
    QString getTypes() const;
    bool hasBonus() const;
    bool hasFlee() const;
    bool hasLuck() const;
    EntryData collectEntry() const;
    bool askRootName(QString *rootName);
    bool fileChangedSinceBinding();

    Ui::EntryUI *ui;
    int choiceRows;
    int monsterRows;
    int objectRows;
    int lastId;
    bool fileEmpty;
    // The file as read when the dialog was bound, byte for byte: a save
    // splices the new entry into it and keeps every other byte.
    QByteArray fileContent;
    QFile entriesFile;

    bool fileExisted = false; // a regular file stood at the path at binding
    BookScan book;            // what the XML reader found in fileContent
};

#endif
