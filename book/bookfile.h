#ifndef ORVANDEL_BOOKFILE_H
#define ORVANDEL_BOOKFILE_H

#include "book/atomicfile.h"
#include "book/book.h"
#include "book/filehistory.h"
#include "book/filestamp.h"

#include <QCoreApplication>
#include <QString>

// An entries file on disk and its book. Every change goes through here: it
// holds the file's lock, checks that nobody changed the file since it was
// read, writes the new bytes atomically (only the changed entry differs),
// and keeps the book in step with the file. The file's bytes are not kept
// in memory beside the entries: a change of one entry reads them back from
// the file a piece at a time as it writes the new file, and is kept only
// when they were still those last read or written.
class BookFile
{
    Q_DECLARE_TR_FUNCTIONS(BookFile)

public:
    enum State {
        New,        // no file yet, or a blank one: the first entry starts the book
        Readable,
        Unreadable, // not a book Orvandel can read; never written
    };
    enum Error { NoError, OpenError, ParseError, ChangedError, RefusedError, WriteError, HistoryError };

    // Reads the file at `path`; false when it cannot be read (state Unreadable).
    bool open(const QString &path);

    QString path() const { return filePath; }
    State state() const { return current; }
    const Book &book() const { return contents; }
    // The number the next new entry bears; -1 when the book has used up the numbers.
    int nextNumber() const;

    // Adds `entry` after the last entry; `rootName` names the root of a new book.
    bool append(const Entry &entry, const QString &rootName = QString());
    bool replace(int index, const Entry &entry);
    bool remove(int index);
    // Makes `bytes` the whole file again (a version from the history);
    // `change` says what for the history.
    bool restore(const QByteArray &bytes, const QString &change);

    // A change of the file's bytes, as undo and redo need it: pieces of the
    // file before, in the file's order, each `removed` at `at` giving way
    // to `inserted`. Only what changed is kept, not the whole file.
    struct Change
    {
        struct Piece
        {
            qsizetype at = 0;
            QByteArray removed, inserted;
        };
        QVector<Piece> pieces;
        QString what;
        Change reversed() const;
        // From the bytes before and after: what lies between their common
        // start and their common end.
        static Change between(const QByteArray &before, const QByteArray &after, const QString &what);
    };
    // The last change this file made.
    const Change &lastChange() const { return last; }
    // Makes a change again or takes it back, the book read anew afterwards.
    bool apply(const Change &change, const QString &what);

    // After an entry was added, replaced or removed: that edit, and the edit
    // that takes it back (false when there is none: a book just started,
    // or restored whole).
    bool lastEdit(Book::Edit *edit, Book::Edit *reverse) const;
    // Makes an edit again or takes it back, entry by entry as the first
    // time, when the bytes it replaces are still `expected`.
    bool applyEdit(const Book::Edit &edit, const QByteArray &expected, const QString &what);

    // Before each change the file as it was goes into its history. When the
    // history cannot be written the change is refused (HistoryError) unless
    // the author said to go on without it.
    const FileHistory &history() const { return versions; }
    void setHistoryRequired(bool required) { historyRequired = required; }

    // True when the file on disk is no longer the one read.
    bool changedOnDisk() const;

    // Read-only: shown, never written; every change is refused.
    void setReadOnly(bool readOnly) { onlyRead = readOnly; }
    bool isReadOnly() const { return onlyRead; }
    // How long a save waits for another program's save to end before it
    // gives up (it never writes without the lock).
    void setLockWait(int milliseconds) { lockWait = milliseconds; }

    Error error() const { return lastError; }
    QString errorString() const { return message; }

private:
    bool fail(Error error, const QString &text);
    bool changedError();
    bool readBack(QByteArray *bytes);
    bool commit(const Book::Edit &edit, const QString &change);
    bool writeSpliced(QIODevice *out, const Book::Edit &edit, QByteArray *removed, bool *stale, QString *error);
    bool writeLocked(const QVector<QByteArray> &pieces, const QString &change, const QByteArray &before);
    bool writeLocked(const AtomicFile::Producer &produce, const QString &change,
                     const std::function<bool(QByteArray *, QString *)> &before);
    bool reread(const QByteArray &bytes);

    QString filePath;
    State current = New;
    bool existed = false; // a file stood at the path when it was read
    bool blank = false;   // and held no text
    Book contents;
    // The file as last read or written: while it holds the same bytes, the
    // file is ours and the book's bytes are read back from it.
    FileStamp stamp;
    Change last;
    Book::Edit edited, editReversed;
    bool hasEdit = false;
    FileHistory versions;
    bool historyRequired = true;
    bool onlyRead = false;
    int lockWait = 10000;
    Error lastError = NoError;
    QString message;
};

#endif
