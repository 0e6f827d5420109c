#ifndef ORVANDEL_CONFLICTSUI_H
#define ORVANDEL_CONFLICTSUI_H

#include "analysis/bookconflicts.h"

#include <QDialog>
#include <QSharedPointer>

class BookDocument;
class QLabel;
class QListWidget;
class QPushButton;
class QTextBrowser;

// The conflicts a merge left in a book, side by side: our version, the one
// the book holds, and theirs, from the conflicts file beside it. For each
// the author keeps ours, takes theirs or writes the entry anew; each choice
// that changes the book is one change of its undo stack. Once every
// conflict is settled the conflicts file is removed and the author is told
// to finish the merge with git.
class ConflictsUI : public QDialog
{
    Q_OBJECT

public:
    ConflictsUI(const QSharedPointer<BookDocument> &document, QWidget *parent = nullptr);

    // Whether a merge left conflicts beside the book (BOOK.conflits.xml).
    static bool hasConflicts(const QString &bookPath);
    // The window of `document`'s conflicts, shown and raised: the one
    // already open among `parent`'s children, or a new one.
    static ConflictsUI *open(const QSharedPointer<BookDocument> &document, QWidget *parent);

    // False, with errorString(), when the conflicts file could not be read.
    bool isValid() const { return errorText.isEmpty(); }
    QString errorString() const { return errorText; }

    int count() const { return conflicts.size(); }
    bool isSettled(int row) const;
    // The author's choices for conflict `row`; false (errorString()) when
    // the book could not be changed.
    enum Side { Ours, Theirs };
    bool choose(int row, Side side);
    // `entry` written by the author in place of both sides.
    bool write(int row, const Entry &entry);

private:
    struct Choice
    {
        bool made = false;
        bool present = false; // the entry stays in the book, as `entry`
        Entry entry;
        bool always = false;  // nothing to check in the book (the file's outside)
    };
    int indexInBook(const QString &id) const;
    bool put(int row, bool present, const Entry &entry);
    void refresh();
    void showConflict();
    void editConflict();
    void finishIfSettled();

    QSharedPointer<BookDocument> document;
    QVector<BookConflicts::Conflict> conflicts;
    QVector<Choice> choices;
    QString errorText;
    bool removed = false;

    QListWidget *list;
    QLabel *note;
    QLabel *differences;
    QTextBrowser *ours;
    QTextBrowser *theirs;
    QPushButton *keepOurs;
    QPushButton *takeTheirs;
    QPushButton *edit;
    QLabel *status;
};

#endif
