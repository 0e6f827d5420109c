#ifndef ORVANDEL_MONSTERUI_H
#define ORVANDEL_MONSTERUI_H

#include "document/bookdocument.h"

#include <QDialog>
#include <QSharedPointer>
#include <QFile>
#include <QSet>
#include <QVector>

struct MonsterRow;
class QPushButton;

namespace Ui {
class MonsterUI;
}

// The list of the book's monsters, read from and written back to its own file.
class MonsterUI : public QDialog
{
    Q_OBJECT

public:
    // The list last used.
    explicit MonsterUI(QWidget *parent = nullptr);
    // The book's own list, remembered for it once written.
    explicit MonsterUI(const QSharedPointer<BookDocument> &document, QWidget *parent = nullptr);
    ~MonsterUI() override;

    void loadFile();

    // The monster list last written from this dialog, as the entry form and
    // the checks use it; empty when there is none or it cannot be read.
    static QVector<MonsterRow> lastUsed();
    static QSet<QString> lastUsedNames(bool *known); // known: a list with monsters was read
    // The book's own list: the one chosen for it, else the one proposed
    // beside it ("livre-monstres.xml").
    static QString listPathFor(const BookDocument &document);

    // What a git merge left beside the list (LIST.conflits.xml): their
    // versions of the monsters both sides changed. Each is settled in the
    // table, ours kept or theirs taken; once all are and the list is
    // written, the conflicts file goes.
    int conflictCount() const { return theirs.size(); }
    QString conflictName(int k) const { return theirs.at(k).name; }
    bool settleConflict(int k, bool takeTheirs);
    bool conflictsSettled() const { return !settled.contains(false); }
    void showConflicts();

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
    void setUp();
    QVector<MonsterRow> tableRows() const;
    void readConflicts();
    QVector<int> rowsNamed(const QString &name) const;
    void markConflicts();

    Ui::MonsterUI *ui;
    int monsterCount;
    QFile monsterFile;
    bool readFailed = false; // the file is there but could not be read
    bool written = false;    // set by addToXML when the file was replaced
    QVector<MonsterRow> shownRows; // the list as its file holds it
    QSharedPointer<BookDocument> bookDocument;
    QVector<MonsterRow> theirs; // a merge's conflicts, their side
    QVector<bool> settled;
    bool conflictsRead = false; // a merge's conflicts file was read beside the list
    QPushButton *conflictsButton = nullptr;
};

#endif
