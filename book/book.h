#ifndef ORVANDEL_BOOK_H
#define ORVANDEL_BOOK_H

#include "book/entry.h"
#include "book/filestamp.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

// The book: its entries as the file holds them, the file's bytes, and where
// each entry's element lies among those bytes, so that a change rewrites
// that entry and keeps every other byte. Read by BookReader, changed
// through BookFile. A book that BookFile read leaves the bytes in its file
// (they would double what the entries take) and reads them back when asked.
class Book
{
public:
    struct Span
    {
        qsizetype begin = 0, end = 0; // bytes of the element, "<Attr" to "</Attr>"
    };
    // A change of one entry: in the file's bytes, `removed` bytes at `at`
    // give way to `inserted`, which holds the entry's new element (if any)
    // at `element`.
    struct Edit
    {
        enum Kind { Append, Replace, Remove, Insert };
        Kind kind = Append;
        int index = 0; // the entry changed, or the new entry's place
        qsizetype at = 0, removed = 0;
        QByteArray inserted;
        Span element; // within `inserted`
    };

    const QString &rootName() const { return root; }
    int size() const { return entries.size(); }
    bool isEmpty() const { return entries.isEmpty(); }
    const Entry &entry(int i) const { return entries.at(i); }
    // True while this book and `other` hold the very same entries: one is
    // a copy of the other and neither has changed since (or both are empty).
    bool sharesEntriesWith(const Book &other) const { return entries.isSharedWith(other.entries); }
    // The entry's id read as a number (EntryId::parse), -1 when it is not one.
    int number(int i) const { return numbers.at(i); }
    Span span(int i) const { return spans.at(i); }
    // The file's bytes; read back from the file when the book left them
    // there, null when the file no longer holds them.
    QByteArray bytes() const;

    // The first entry that bears `number`, or -1 (always for -1, no number).
    int indexOfNumber(int number) const
    {
        if (number < 0)
            return -1;
        if (!sparse)
            return number < dense.size() ? dense.at(number) : -1;
        return byNumber.value(number, -1);
    }
    // The entry with the lowest number, where the reader starts; -1 when none has one.
    int firstIndex() const { return first; }
    // One past the highest number in the book, 0 for a book without numbers;
    // -1 when the highest is already EntryId::maximum.
    int nextNumber() const;
    // The line of each entry's opening tag, counted from 1.
    QVector<int> lineNumbers() const;

    // Whether entries can be written into this file, and why not.
    bool isWritable() const { return refusal.isEmpty(); }
    QString whyNotWritable() const { return refusal; }

    // `xml` as the file's bytes: UTF-8, with the file's own line ends.
    QByteArray encoded(const QString &xml) const;

    // The changes of the file's bytes that add, replace or remove an entry.
    Edit appending(const Entry &entry) const;
    Edit replacing(int i, const Entry &entry) const;
    Edit removing(int i) const;
    // The book once an edit made by one of the above is in the file.
    void apply(const Edit &edit);
    // The edit that takes `edit` back, worked out before `edit` is applied
    // (undoing a removal inserts the entry where it stood, with the same
    // bytes around it). False when the book cannot be brought back entry by
    // entry: the first entry of an empty "<book/>".
    bool undoing(const Edit &edit, Edit *reverse) const;

private:
    friend class BookReader;
    friend class BookFile;
    void indexNumbers(int from = 0);
    // `length` of the file's bytes from `at`, read from the file when they
    // are left there (a change needs a few of them around an entry).
    QByteArray slice(qsizetype at, qsizetype length) const;
    void leaveInFile(const FileStamp &file);

    QString root;
    QVector<Entry> entries;
    QVector<int> numbers;
    QVector<Span> spans;
    QByteArray source; // null while the bytes are left in the file
    FileStamp stored;  // where they are then
    QByteArray lineEnd = "\n";
    QString refusal;
    // Where a new entry goes: before the root's closing tag, or in place of
    // the "/>" of an empty root.
    qsizetype insertAt = -1;
    bool selfClosingRoot = false;
    // Entry by number: a table while the numbers stay within a few times
    // the number of entries (no hashing, no scattered memory to visit),
    // a hash beyond.
    QVector<int> dense;
    QHash<int, int> byNumber;
    bool sparse = false;
    int first = -1;
    int highest = -1;
};

#endif
