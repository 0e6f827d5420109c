#ifndef ORVANDEL_ENTRIESFILE_H
#define ORVANDEL_ENTRIESFILE_H

#include <QByteArray>
#include <QString>
#include <QStringRef>

// What one pass of the XML reader learns about an entries file: the id of its
// last entry, its root, and where a new entry goes. Works on the file's bytes,
// so that a save can leave every other byte as it was.
struct BookScan
{
    bool wellFormed = false;
    QString error;         // the reader's message when not well-formed
    qint64 errorLine = 0;
    qint64 errorColumn = 0;

    QString rootName;
    int entryCount = 0;    // element children of the root
    int lastId = 0;        // id of the last of them; 0 when missing or not a number

    // Where and how a new entry is spliced in; meaningful when canInsert().
    qsizetype insertAt = -1;
    qsizetype replaceLength = 0; // bytes taken out at insertAt ("/>" of an empty root)
    bool selfClosingRoot = false;
    QByteArray lineEnd = "\n";
    QString refusal;       // why no entry may be written into this file

    bool canInsert() const { return wellFormed && refusal.isEmpty() && insertAt >= 0; }
};

BookScan scanBook(const QByteArray &bytes);

// A book with one more entry, in three pieces: the head and the tail are
// views into the old bytes (which must outlive them), the middle is new.
// Written piece by piece, a large book is never copied whole in memory.
struct SplicedBook
{
    QByteArray head, middle, tail;
    QByteArray joined() const { return head + middle + tail; }
};

// `entryXml` added as the last entry of the root, each line feed of the entry
// written with the file's own line end.
SplicedBook spliceEntry(const QByteArray &bytes, const BookScan &scan, const QString &entryXml);

inline QByteArray withEntryAdded(const QByteArray &bytes, const BookScan &scan,
                                 const QString &entryXml)
{
    return spliceEntry(bytes, scan, entryXml).joined();
}

// The decimal value of an id attribute: 0 when empty, not a number or negative.
int entryIdValue(const QStringRef &text);

#endif
