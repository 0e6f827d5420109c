#ifndef ORVANDEL_HISTORYUI_H
#define ORVANDEL_HISTORYUI_H

#include "book/filehistory.h"

#include <QDialog>

class BookCommits;
class QLabel;
class QPushButton;
class QTabWidget;
class QTableWidget;

// The earlier versions of a book or a monster list, newest first; the
// author picks one to restore. A book in a git repository shows its
// commits too, in a tab of their own, read in the background.
class HistoryUI : public QDialog
{
    Q_OBJECT

public:
    HistoryUI(const FileHistory &history, const QString &what, QWidget *parent = nullptr);
    // With the commits of the book at `bookPath` when a git repository holds it.
    HistoryUI(const FileHistory &history, const QString &what, const QString &bookPath, QWidget *parent = nullptr);
    ~HistoryUI() override;
    // The version chosen with "Restaurer", when the dialog was accepted
    // with the versions' tab shown.
    FileHistory::Version chosen() const;
    // The commit chosen (its row in commits()), -1 unless the commits' tab was shown.
    int chosenCommit() const;
    // The book's commits; null when the book is in no git repository.
    BookCommits *commits() const { return gitCommits; }
    // Nothing to restore (a book open read-only): `why` says so on the button.
    void forbidRestore(const QString &why);

private:
    void fillCommits();
    void showChanges(int row);
    void updateRestore();

    QVector<FileHistory::Version> versions;
    QTableWidget *table;
    BookCommits *gitCommits = nullptr;
    QTabWidget *tabs = nullptr;
    QTableWidget *commitTable = nullptr;
    QLabel *commitState = nullptr;
    QPushButton *restore = nullptr;
    bool restoreAllowed = true;
};

#endif
