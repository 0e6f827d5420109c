#ifndef ORVANDEL_BOOKTITLE_H
#define ORVANDEL_BOOKTITLE_H

#include <QCoreApplication>
#include <QString>

class Book;

// The book's title and author, as its readers see them on the cover.
//
// Kept beside the book in "livre.xml.titre" (UTF-8, one "clé=valeur" a
// line: "titre=…", "auteur=…"), as the map's places and the book's words
// are: the book's own file stays byte for byte what every program reading
// books reads today, and a title changed is not a change of the book (no
// undo step, no version in its history, no other program's change lost).
// A file missing or unreadable is a book without a title; keys not known
// here are kept when the file is written again.
class BookTitle
{
    Q_DECLARE_TR_FUNCTIONS(BookTitle)

public:
    QString title, author;

    static QString pathFor(const QString &bookPath);

    // Reads what is kept beside `bookPath`; false (and both empty) when
    // nothing is, or it cannot be read (errorString() then says why).
    bool read(const QString &bookPath);
    // Writes both beside `bookPath`, atomically; an empty title and author
    // remove the file.
    bool write(const QString &bookPath);
    QString errorString() const { return error; }

    // The text of the file, and the values read from one.
    QByteArray bytes() const;
    void parse(const QByteArray &bytes);

    // The title the reader sees: the one kept, or else the book's root name
    // read as words ("La_Tour_du_Sorcier" gives "La Tour du Sorcier").
    QString shownTitle(const Book &book) const;
    static QString titleFromRoot(const QString &rootName);

private:
    QString error;
    QString others; // lines of keys not known here, kept as they were
};

#endif
