#ifndef ORVANDEL_BOOKFIND_H
#define ORVANDEL_BOOKFIND_H

#include "book/book.h"
#include "book/bookfile.h"

#include <QCoreApplication>
#include <QString>
#include <QVector>

// Words looked for across a book: in the entries' texts, their choices,
// the names of their monsters, their objects, their tests of luck and
// special types. Case and accents are folded as the list's filter folds
// them ("epee" finds "Épée"); a replacement puts its text in the place of
// what was found, exactly as typed.
class BookFind
{
    Q_DECLARE_TR_FUNCTIONS(BookFind)

public:
    enum Field { Text, Choice, Monster, Object, ObjectOther, Lucky, Unlucky, Special };
    struct Match
    {
        int entry = -1;  // index in the book
        Field field = Text;
        int item = 0;    // which choice, monster or object
        int at = 0;      // in the field's text, in UTF-16 units
        int length = 0;
    };

    explicit BookFind(const QString &words);
    bool isEmpty() const { return wanted.isEmpty(); }

    QVector<Match> in(const Book &book) const;
    QVector<Match> in(const Entry &entry, int index) const;

    // The entry with every match replaced by `with`.
    Entry replaced(Entry entry, const QString &with) const;
    // Every match of the book replaced: one piece per entry changed, in the
    // order of the file. `entries` counts them, `matches` what was replaced.
    BookFile::Change replaceAll(const Book &book, const QString &with, int *entries = nullptr,
                                int *matches = nullptr) const;

    // Where a match lies, in the author's words ("choix 2", "monstre"…),
    // and the words around it.
    static QString fieldName(const Match &match);
    static QString context(const Entry &entry, const Match &match, int around = 30);
    static const QString &fieldText(const Entry &entry, Field field, int item);

    // The text as the filter compares it, and for each of its units the
    // unit of `text` it comes from.
    static QString folded(const QString &text, QVector<int> *from = nullptr);

private:
    QVector<QPair<int, int>> spans(const QString &text) const; // at, length in `text`
    QString wanted;
};

#endif
