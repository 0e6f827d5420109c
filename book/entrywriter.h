#ifndef ORVANDEL_ENTRYWRITER_H
#define ORVANDEL_ENTRYWRITER_H

#include "book/entry.h"

#include <QCoreApplication>
#include <QString>

class QIODevice;
class Book;

// The text of the entries file. Every value goes through XmlText::escaped,
// so that it reads back exactly as it was typed.
class EntryWriter
{
    Q_DECLARE_TR_FUNCTIONS(EntryWriter)

public:
    // One entry's element, from "<Attr" to "\t</Attr>" (the tab that puts
    // it on its line is the book's, not the entry's).
    static QString elementXml(const Entry &entry);

    // The whole text of a new entries file holding one entry.
    static QString newBookText(const QString &rootName, const Entry &entry);
    // The whole text of a new entries file holding `entries` (at least
    // one), byte for byte what adding them one after the other writes.
    static QString newBookText(const QString &rootName, const QVector<Entry> &entries);

    // The book written back from its model: each entry written anew, every
    // byte between entries as the file had it. For a file in the program's
    // own layout this is the file itself, byte for byte.
    static bool writeBook(const Book &book, QIODevice *device, QString *error);
    // The same with other entries in the places of the book's own.
    static bool writeBook(const Book &book, const QVector<Entry> &entries, QIODevice *device,
                          QString *error);
};

#endif
