#ifndef ORVANDEL_TWEEREADER_H
#define ORVANDEL_TWEEREADER_H

#include "book/entry.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// A Twine story in Twee 3, its text format, read into a book (Qt Core
// only). Each passage becomes an entry; StoryTitle and StoryData tell the
// title and where the story starts, passages tagged "script" or
// "stylesheet" are the story format's and left out.
//
// When every passage is named by a number, the start bearing the lowest,
// the entries keep those numbers; otherwise the start passage (StoryData's
// "start", else the passage named "Start", else the first) is 1 and the
// others follow in the order of the file. A passage that TweeWriter wrote
// carries its entry in its metadata and reads back as that entry; any
// other passage gives its text, each link a choice ([[a]], [[a|b]],
// [[a->b]], [[b<-a]]: the text then the passage it leads to), its tags the
// entry's type boxes ("combat", "chance", "fuite", "repas", "bonus"; any
// other tag goes into the Special box).
class TweeReader
{
    Q_DECLARE_TR_FUNCTIONS(TweeReader)

public:
    struct Passage
    {
        QString name;
        QStringList tags;
        QJsonObject metadata;
        QString content; // as the file holds it, up to the next header
        int line = 0;    // of its header, counted from 1
    };

    // False, with errorString(), when the text is no Twee story: no
    // passage, a passage without a name, two passages of the same name.
    bool read(const QByteArray &twee);
    QString errorString() const { return error; }
    // What was read past: metadata that is not JSON.
    QStringList warnings() const { return notes; }

    QString title() const { return storyTitle; }
    // The author this program wrote into StoryData; empty from Twine.
    QString author() const { return storyAuthor; }
    QString ifid() const { return storyIfid; }
    // The story's passages in the order of the file (not StoryTitle,
    // StoryData, scripts or style sheets).
    const QVector<Passage> &passages() const { return story; }

    // The book made from the story, one entry per passage.
    QString rootName() const { return root; }
    const QVector<Entry> &entries() const { return made; }
    // Each passage's name and its entry's number, in the order of the entries.
    const QVector<QPair<QString, QString>> &numbers() const { return table; }
    // "passage;numéro" lines.
    QByteArray csv() const;
    // The book's file, as Orvandel writes a new book.
    QByteArray bookBytes() const;
    // Writes the book to `path` (under its lock, into its history) and the
    // names -> numbers table beside it (`BOOK-passages.csv`); both read back.
    bool writeBook(const QString &path);
    static QString tablePath(const QString &bookPath);

    // What TweeWriter and this reader share. A name or tag in a header:
    // "\", "[", "]", "{" and "}" escaped with "\".
    static QString escapedName(const QString &name);
    // Any "\x" read as "x".
    static QString unescapedName(const QString &name);
    // A passage's lines: one that starts with "::" (after any "\") gets
    // one "\" more, and loses it when read.
    static QString escapedContent(const QString &text);
    static QString unescapedContent(const QString &text);
    // An entry (all but its text, which is the passage's first
    // `textLines` lines) as passage metadata: one JSON object of numbers,
    // strings and arrays, with no other object in it.
    static QJsonObject metadataOf(const Entry &entry, int textLines);
    // The metadata as one line of a header, "{" and "}" within strings as
    // "\u007b" and "\u007d": a reader that looks for the last brace finds it.
    static QByteArray metadataLine(const QJsonObject &metadata);
    // The tags of an entry's passage: its type boxes ("repas", "bonus",
    // "chance", "combat", "fuite"), "objet" when it gives objects, "fin"
    // when the reader cannot go on.
    static QStringList tagsOf(const Entry &entry);
    // The links of a text as Twine reads them: the text shown, then the
    // passage they lead to.
    struct Link
    {
        QString text, target;
        int start = 0, length = 0;
    };
    static QVector<Link> links(const QString &text);

private:
    bool fail(int line, const QString &why);
    bool parse(const QString &text);
    void makeBook(const QString &start, const QString &rootName);
    Entry entryOf(const Passage &p, const std::function<QString(const QString &)> &number) const;

    QString storyTitle, storyIfid, root, error;
    QString storyAuthor;
    QStringList notes;
    QVector<Passage> story;
    QVector<Entry> made;
    QVector<QPair<QString, QString>> table;
};

#endif
