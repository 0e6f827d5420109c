#ifndef ORVANDEL_BOOKREADER_H
#define ORVANDEL_BOOKREADER_H

#include "persistence/entrydata.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// One entry read back from an entries file.
struct BookEntry
{
    EntryData data;  // every value as written; the Type boxes stay unset
    QString types;   // the type codes as written ("E,C", "X", ...)
    qint64 line = 0; // line of the entry's opening tag
};

// The whole book as the entries file holds it.
struct Book
{
    bool ok = false;
    QString error; // the reader's message, with its line, when not ok
    QString rootName;
    QVector<BookEntry> entries;
};

// Reads every element child of the root as an entry, whatever its tag name,
// and each known section inside it; unknown elements are passed over.
Book readBook(const QByteArray &bytes);

#endif
