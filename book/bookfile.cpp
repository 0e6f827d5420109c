#include "book/bookfile.h"

#include "book/atomicfile.h"
#include "book/bookreader.h"
#include "book/digest.h"
#include "book/entryid.h"
#include "book/entrywriter.h"
#include "book/xmltext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

namespace {

// Larger than any book written by hand; a larger file is refused rather than read.
const qint64 largestBook = qint64(1) << 30;

} // namespace

bool BookFile::fail(Error error, const QString &text)
{
    lastError = error;
    message = text;
    return false;
}

bool BookFile::open(const QString &path)
{
    filePath = path;
    versions = FileHistory(path);
    contents = Book();
    stamp = FileStamp();
    blank = false;
    current = New;
    hasEdit = false;
    lastError = NoError;
    message.clear();
    const QFileInfo info(path);
    existed = info.exists();
    if (!existed && info.isSymLink()) {
        current = Unreadable;
        return fail(OpenError, tr("« %1 » est un lien symbolique qui ne mène à aucun fichier.")
                                   .arg(QDir::toNativeSeparators(path)));
    }
    if (!existed)
        return true;
    current = Unreadable;
    if (!info.isFile())
        return fail(OpenError, tr("« %1 » n'est pas un fichier ordinaire.")
                                   .arg(QDir::toNativeSeparators(path)));
    if (info.size() > largestBook)
        return fail(OpenError, tr("« %1 » est trop grand pour être un livre (%2 Mo).")
                                   .arg(QDir::toNativeSeparators(path))
                                   .arg(info.size() >> 20));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(OpenError, tr("« %1 » n'a pas pu être lu : %2")
                                   .arg(QDir::toNativeSeparators(path), file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(OpenError, tr("« %1 » n'a pas pu être lu : %2")
                                   .arg(QDir::toNativeSeparators(path), file.errorString()));
    stamp = FileStamp(path, {bytes});
    if (XmlText::isBlank(bytes)) {
        blank = true;
        current = New;
        return true;
    }
    bool ok = false;
    QString why;
    {
        BookReader reader;
        ok = reader.read(bytes);
        why = reader.errorString();
        contents = reader.book();
    }
    bytes.clear();
    contents.leaveInFile(stamp);
    if (!ok)
        return fail(ParseError, tr("« %1 » n'est pas un document XML bien formé (%2).")
                                   .arg(QDir::toNativeSeparators(path), why));
    current = Readable;
    return true;
}

int BookFile::nextNumber() const
{
    switch (current) {
    case New: return 0;
    case Readable: return contents.nextNumber();
    case Unreadable: break;
    }
    // Nothing can be saved into it; the number shown is the one after what was read.
    return qMax(1, contents.nextNumber());
}

bool BookFile::changedOnDisk() const
{
    const QFileInfo info(filePath);
    if (!info.exists())
        return existed;
    if (!existed)
        return true;
    // Unchanged identity, size and time: the file is the one we read or
    // wrote. Otherwise its bytes decide (a file merely touched is unchanged).
    return !stamp.holds();
}

bool BookFile::changedError()
{
    return fail(ChangedError, tr("« %1 » a été modifié par un autre programme depuis "
                                 "qu'il a été lu.")
                                  .arg(QDir::toNativeSeparators(filePath)));
}

// The file's bytes as last read or written, read back for a change; none
// for a file that was not there.
bool BookFile::readBack(QByteArray *bytes)
{
    bytes->clear();
    if (onlyRead)
        return fail(RefusedError, tr("« %1 » est ouvert en lecture seule.").arg(QDir::toNativeSeparators(filePath)));
    return !existed || stamp.read(bytes) || changedError();
}

// `before` is what the file holds (what the history keeps of it).
bool BookFile::writeLocked(const QVector<QByteArray> &pieces, const QString &change, const QByteArray &before)
{
    return writeLocked(
        [&pieces](QIODevice *device, QString *error) {
            for (const QByteArray &piece : pieces)
                if (!AtomicFile::writeAll(*device, piece, error))
                    return false;
            return true;
        },
        change,
        [&before](QByteArray *bytes, QString *) {
            *bytes = before;
            return true;
        });
}

// What `produce` writes becomes the file; `before` gives what the file
// holds, should the history need a copy of it.
bool BookFile::writeLocked(const AtomicFile::Producer &produce, const QString &change,
                           const std::function<bool(QByteArray *, QString *)> &before)
{
    if (onlyRead)
        return fail(RefusedError, tr("« %1 » est ouvert en lecture seule.").arg(QDir::toNativeSeparators(filePath)));
    // One writer at a time, across processes: the change check and the
    // rename happen under the lock, so no other save can slip in between.
    QLockFile lock(filePath + QLatin1String(".lock"));
    lock.setStaleLockTime(30000);
    if (!lock.tryLock(lockWait)) {
        const QString lockPath = QDir::toNativeSeparators(filePath + QLatin1String(".lock"));
        return fail(WriteError, lock.error() == QLockFile::LockFailedError
                                    ? tr("le livre est en cours d'enregistrement par un autre "
                                         "programme (verrou « %1 »)").arg(lockPath)
                                    : tr("le verrou « %1 » n'a pas pu être créé").arg(lockPath));
    }
    // The version before goes into the history first; whether the file is
    // still the one read is asked after that, right before the rename, so
    // that a change made meanwhile by a program that takes no lock is seen.
    // A change that does not happen takes its version back out.
    bool inHistory = false;
    if (existed && !blank && !changedOnDisk()) {
        // The version before is the file itself under a second name, when
        // it is still the file read or written last (same inode, size, time).
        const FileStamp was = stamp;
        inHistory = versions.keep(before, contents.size(), change, filePath,
                                  [was](const QString &version) { return was.isFileAt(version); });
        if (!inHistory && historyRequired)
            return fail(HistoryError, tr("l'historique du livre n'a pas pu être écrit : %1")
                                          .arg(versions.errorString()));
    }
    if (changedOnDisk()) {
        if (inHistory)
            versions.forgetNewest();
        return changedError();
    }
    AtomicFile file(filePath);
    if (!file.write(produce)) {
        if (inHistory)
            versions.forgetNewest();
        return fail(WriteError, file.errorString());
    }
    existed = true;
    stamp = FileStamp(filePath, file.size(), file.digest());
    return true;
}

bool BookFile::reread(const QByteArray &bytes)
{
    bool ok = false;
    {
        BookReader reader;
        ok = reader.read(bytes);
        message = ok ? QString() : reader.errorString();
        contents = reader.book();
    }
    contents.leaveInFile(stamp); // stamped by the write
    blank = XmlText::isBlank(bytes);
    current = ok ? Readable : Unreadable;
    lastError = ok ? NoError : ParseError;
    return ok;
}

BookFile::Change BookFile::Change::reversed() const
{
    Change back{{}, what};
    qsizetype grown = 0; // how far the pieces before have moved this one
    for (const Piece &p : pieces) {
        back.pieces.append({p.at + grown, p.inserted, p.removed});
        grown += p.inserted.size() - p.removed.size();
    }
    return back;
}

BookFile::Change BookFile::Change::between(const QByteArray &before, const QByteArray &after, const QString &what)
{
    const qsizetype shortest = qMin(before.size(), after.size());
    qsizetype head = 0;
    while (head < shortest && before.at(head) == after.at(head))
        ++head;
    qsizetype tail = 0;
    while (tail < shortest - head && before.at(before.size() - 1 - tail) == after.at(after.size() - 1 - tail))
        ++tail;
    Change change{{}, what};
    if (head < before.size() - tail || head < after.size() - tail)
        change.pieces.append({head, before.mid(head, before.size() - tail - head), after.mid(head, after.size() - tail - head)});
    return change;
}

bool BookFile::restore(const QByteArray &bytes, const QString &change)
{
    QByteArray before;
    if (!readBack(&before) || !writeLocked({bytes}, change, before))
        return false;
    last = Change::between(before, bytes, change);
    hasEdit = false;
    reread(bytes);
    return true;
}

bool BookFile::apply(const Change &change, const QString &what)
{
    QByteArray onDisk;
    if (!readBack(&onDisk))
        return false;
    QByteArray bytes;
    bytes.reserve(onDisk.size());
    qsizetype from = 0;
    for (const Change::Piece &p : change.pieces) {
        if (p.at < from || p.at + p.removed.size() > onDisk.size()
            || QByteArray::fromRawData(onDisk.constData() + p.at, int(p.removed.size())) != p.removed)
            return fail(ChangedError, tr("« %1 » n'est plus tel que cette modification l'a laissé.")
                                          .arg(QDir::toNativeSeparators(filePath)));
        bytes.append(onDisk.constData() + from, int(p.at - from));
        bytes.append(p.inserted);
        from = p.at + p.removed.size();
    }
    bytes.append(onDisk.constData() + from, int(onDisk.size() - from));
    if (!writeLocked({bytes}, what, onDisk))
        return false;
    last = change;
    last.what = what;
    hasEdit = false;
    reread(bytes);
    return true;
}

bool BookFile::lastEdit(Book::Edit *edit, Book::Edit *reverse) const
{
    if (!hasEdit)
        return false;
    *edit = edited;
    *reverse = editReversed;
    return true;
}

bool BookFile::applyEdit(const Book::Edit &edit, const QByteArray &expected, const QString &what)
{
    if (onlyRead)
        return fail(RefusedError, tr("« %1 » est ouvert en lecture seule.").arg(QDir::toNativeSeparators(filePath)));
    const bool adds = edit.kind == Book::Edit::Append || edit.kind == Book::Edit::Insert;
    if (current != Readable || edit.at < 0 || edit.at + edit.removed > stamp.size() || edit.removed != expected.size()
        || (edit.removed > 0 && stamp.readAt(edit.at, edit.removed) != expected) || edit.index < 0
        || edit.index > contents.size() - (adds ? 0 : 1))
        return fail(ChangedError, tr("« %1 » n'est plus tel que cette modification l'a laissé.")
                                      .arg(QDir::toNativeSeparators(filePath)));
    return commit(edit, what);
}

// Writes into `out` the file's bytes with `edit` made, read from the file
// a piece at a time (the bytes an edit takes out into `removed`): the book's
// bytes are never whole in memory for a change of one entry. `stale` when
// they are no longer the bytes last read or written, which the digest of
// all that was read tells once at the end: what was written then is not kept.
bool BookFile::writeSpliced(QIODevice *out, const Book::Edit &edit, QByteArray *removed, bool *stale, QString *error)
{
    QFile old(filePath);
    *stale = !old.open(QIODevice::ReadOnly) || old.size() != stamp.size();
    if (*stale)
        return false;
    Digest read;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    qint64 at = 0;
    // On to `until`, each piece written out, or kept in `into`.
    const auto pass = [&](qint64 until, QByteArray *into) {
        while (at < until) {
            const qint64 n = old.read(buffer.data(), qMin<qint64>(buffer.size(), until - at));
            if (n <= 0) {
                *stale = true;
                return false;
            }
            read.add(buffer.constData(), n);
            at += n;
            if (into)
                into->append(buffer.constData(), int(n));
            else if (!AtomicFile::writeAll(*out, QByteArray::fromRawData(buffer.constData(), int(n)), error))
                return false;
        }
        return true;
    };
    removed->clear();
    if (!pass(edit.at, nullptr) || !pass(edit.at + edit.removed, removed)
        || !AtomicFile::writeAll(*out, edit.inserted, error) || !pass(stamp.size(), nullptr))
        return false;
    char more;
    *stale = old.read(&more, 1) != 0 || read.value() != stamp.digest();
    return !*stale;
}

// One entry's edit made in the file and in the book.
bool BookFile::commit(const Book::Edit &edit, const QString &change)
{
    Book::Edit reverse;
    const bool undoable = contents.undoing(edit, &reverse);
    QByteArray removed;
    bool stale = false;
    const auto produce = [&](QIODevice *out, QString *error) {
        if (writeSpliced(out, edit, &removed, &stale, error))
            return true;
        if (stale)
            *error = tr("« %1 » a été modifié par un autre programme depuis qu'il a été lu.")
                         .arg(QDir::toNativeSeparators(filePath));
        return false;
    };
    const FileStamp was = stamp;
    const auto before = [was](QByteArray *bytes, QString *error) {
        if (was.read(bytes))
            return true;
        *error = tr("le livre a changé pendant qu'il était lu");
        return false;
    };
    if (!writeLocked(produce, change, before)) {
        if (stale)
            lastError = ChangedError;
        return false;
    }
    last = {{{edit.at, removed, edit.inserted}}, change};
    edited = edit;
    // What the edit takes back is what the write found there.
    editReversed = reverse;
    editReversed.inserted = removed;
    hasEdit = undoable;
    contents.stored = stamp;
    contents.apply(edit);
    blank = false;
    lastError = NoError;
    message.clear();
    return true;
}

bool BookFile::append(const Entry &entry, const QString &rootName)
{
    if (current == Unreadable)
        return fail(RefusedError, message);
    if (onlyRead)
        return fail(RefusedError, tr("« %1 » est ouvert en lecture seule.").arg(QDir::toNativeSeparators(filePath)));
    if (current == New) {
        const QByteArray bytes = EntryWriter::newBookText(rootName, entry).toUtf8();
        const QString change = tr("entrée %1 ajoutée").arg(entry.id);
        QByteArray before;
        if (!readBack(&before) || !writeLocked({bytes}, change, before))
            return false;
        last = Change::between(before, bytes, change);
        hasEdit = false;
        return reread(bytes);
    }
    if (!contents.isWritable())
        return fail(RefusedError, contents.whyNotWritable());
    return commit(contents.appending(entry), tr("entrée %1 ajoutée").arg(entry.id));
}

bool BookFile::replace(int index, const Entry &entry)
{
    if (current != Readable || !contents.isWritable())
        return fail(RefusedError, current == Readable ? contents.whyNotWritable() : message);
    return commit(contents.replacing(index, entry), tr("entrée %1 modifiée").arg(contents.entry(index).id));
}

bool BookFile::remove(int index)
{
    if (current != Readable || !contents.isWritable())
        return fail(RefusedError, current == Readable ? contents.whyNotWritable() : message);
    return commit(contents.removing(index), tr("entrée %1 supprimée").arg(contents.entry(index).id));
}
