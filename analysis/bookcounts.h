#ifndef ORVANDEL_BOOKCOUNTS_H
#define ORVANDEL_BOOKCOUNTS_H

#include "book/book.h"

#include <QCoreApplication>
#include <QVector>

// What an author watches grow: the words of each entry and of the book,
// and the entries by kind. Kept up to date entry by entry as the book
// changes, like the checks.
class BookCounts
{
    Q_DECLARE_TR_FUNCTIONS(BookCounts)

public:
    struct Totals
    {
        int entries = 0;
        qint64 words = 0;
        int fights = 0;   // entries with a monster
        int lucks = 0;    // entries with a test of luck
        int endings = 0;  // entries without a way out
    };

    // Words as a word processor counts them: letters and digits, an
    // apostrophe or a hyphen between two of them keeping one word.
    static int words(const QString &text);

    void reset(const Book &book);
    // From `index` on, `removed` entries gave way to `inserted`.
    void changed(const Book &book, int index, int removed, int inserted);

    const Totals &totals() const { return sum; }
    int wordsOf(int index) const { return index >= 0 && index < own.size() ? own.at(index).words : 0; }

    // "400 entrées, 61 230 mots : 52 combats, 12 tests de chance, 9 fins"
    static QString said(const Totals &totals);

private:
    struct Own
    {
        int words = 0;
        bool fight = false, luck = false, ending = false;
    };
    static Own of(const Entry &entry);
    void add(const Own &o, int sign);
    QVector<Own> own;
    Totals sum;
};

#endif
