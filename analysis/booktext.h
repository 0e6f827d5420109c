#ifndef ORVANDEL_BOOKTEXT_H
#define ORVANDEL_BOOKTEXT_H

#include "book/book.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QStringList>

// The book as plain text for git's diff: one block per entry in number
// order (the entries without a number after them, in the file's order),
// each field on a line of its own that starts with the entry's id, so
// that a line of a diff says which entry changed and where:
// "042 · Choix 2 : 044 — Fuir".
class BookText
{
    Q_DECLARE_TR_FUNCTIONS(BookText)

public:
    static QByteArray of(const Book &book);
    // One entry's lines, without the line ends.
    static QStringList lines(const Entry &entry);
};

#endif
