#ifndef ORVANDEL_RENUMBERING_H
#define ORVANDEL_RENUMBERING_H

#include "book/book.h"
#include "book/bookfile.h"

#include <QCoreApplication>
#include <QMap>
#include <QSet>

// New numbers for a book's entries, every reference following its entry:
// "compact" closes the gaps, "shuffle" deals the numbers at random as printed
// gamebooks do, so that the next entry is never the next number. The first
// entry and the numbers the author pins keep their numbers, and the checks
// find the same things before and after (a reference to a missing entry
// still leads nowhere).
class Renumbering
{
    Q_DECLARE_TR_FUNCTIONS(Renumbering)

public:
    enum Mode { Compact, Shuffle };

    static Renumbering make(const Book &book, Mode mode, quint32 seed = 1, const QSet<int> &pinned = {});
    // Moves the numbers of `table` (old -> new) and no other: a merge gives
    // an entry added on both sides a number of its own so.
    static Renumbering moving(const QMap<int, int> &table);

    // Old number -> new number, for every number an entry or a reference bears.
    const QMap<int, int> &table() const { return numbers; }
    // The book's entries with their new numbers and references.
    QVector<Entry> entries(const Book &book) const;
    // The whole file renumbered: the numbers of the entries and of their
    // references rewritten where they stand, every other byte as it was.
    // Empty, with errorString(), when that cannot be done exactly.
    QByteArray bytes(const Book &book) const;
    // The same as a change of the file: the numbers that change, where they
    // stand (nothing else, so it is kept small for undo). No pieces, with
    // errorString(), when it cannot be done exactly.
    BookFile::Change change(const Book &book) const;
    // One entry with its new number and references.
    Entry renumbered(Entry entry) const;
    // Entry `index`'s element alone, its number and references rewritten
    // where they stand (`bytes` is book.bytes()); null, with errorString(),
    // when that cannot be done exactly.
    QByteArray element(const Book &book, int index, const QByteArray &bytes) const;
    QString errorString() const { return error; }
    // "ancien;nouveau" lines, the entries' numbers in the old order.
    QByteArray csv() const;

private:
    // Each number that changes, where it is written; the values are
    // numbers, so their new text needs no escaping.
    struct Splice
    {
        Book::Span span;
        QByteArray text;
    };
    QString renumbered(const QString &reference) const;
    bool splices(const Book &book, int index, const QByteArray &source, QVector<Splice> *out) const;
    QByteArray build(const Book &book, QVector<BookFile::Change::Piece> *pieces) const;
    QMap<int, int> numbers;
    QSet<int> entryNumbers;
    mutable QString error;
};

#endif
