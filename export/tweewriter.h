#ifndef ORVANDEL_TWEEWRITER_H
#define ORVANDEL_TWEEWRITER_H

#include "book/book.h"

#include <QCoreApplication>
#include <QString>

// The book as a Twine story in Twee 3, its text format: StoryTitle,
// StoryData (a stable IFID, BookIdentity; the start at the entry where the
// reader starts), then one passage per entry in the book's order, named by
// its number and tagged by its kind ("combat", "chance", "fin"...). A
// passage holds the entry's text, then what the printed book says of its
// bonus, objects, fights, flight and test of luck (EntryHtml) as text, each
// entry it names a link, then a link per choice ("[[Ouvrir la porte->212]]").
// Its metadata carries the whole entry, so that TweeReader reads back the
// same book.
class TweeWriter
{
    Q_DECLARE_TR_FUNCTIONS(TweeWriter)

public:
    // Without a title, the book's root name read as words.
    explicit TweeWriter(const Book &book, const QString &title = QString(), const QString &author = QString());

    QString ifid() const;
    // The story's text in UTF-8; null, with errorString(), when an entry
    // cannot name a passage (no number, white space around it or a line
    // break in it, a number borne twice).
    QByteArray bytes();
    // The file at `path` replaced atomically by the story, and read back.
    bool write(const QString &path);
    QString errorString() const { return error; }

    // One entry's passage, from its header to its last line.
    QString passage(int index) const;

private:
    QString readable(const Entry &entry) const;

    const Book &book;
    QString title, author;
    QString error;
};

#endif
