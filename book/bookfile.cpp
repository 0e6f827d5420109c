#include "book/bookfile.h"

#include "book/atomicfile.h"
#include "book/bookreader.h"
#include "book/entryid.h"
#include "book/entrywriter.h"
#include "book/xmltext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <sys/stat.h>

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
    onDisk.clear();
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
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(OpenError, tr("« %1 » n'a pas pu être lu : %2")
                                   .arg(QDir::toNativeSeparators(path), file.errorString()));
    onDisk = bytes;
    noteStamp();
    if (XmlText::isBlank(bytes)) {
        current = New;
        return true;
    }
    BookReader reader;
    const bool ok = reader.read(bytes);
    contents = reader.book();
    if (!ok)
        return fail(ParseError, tr("« %1 » n'est pas un document XML bien formé (%2).")
                                   .arg(QDir::toNativeSeparators(path), reader.errorString()));
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

BookFile::Stamp BookFile::stampOf(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return Stamp();
    return {qint64(st.st_ino), qint64(st.st_size), qint64(st.st_mtim.tv_sec), qint64(st.st_mtim.tv_nsec)};
}

void BookFile::noteStamp()
{
    stamp = stampOf(filePath);
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
    return !(stampOf(filePath) == stamp) && !AtomicFile::holds(filePath, onDisk);
}

bool BookFile::writeLocked(const QVector<QByteArray> &pieces, const QString &change)
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
    if (existed && !XmlText::isBlank(onDisk) && !changedOnDisk()) {
        // The version before is the file itself under a second name, when
        // it is still the file read or written last (same inode, size, time).
        const Stamp was = stamp;
        inHistory = versions.keep(onDisk, contents.size(), change, filePath,
                                  [was](const QString &version) { return stampOf(version) == was; });
        if (!inHistory && historyRequired)
            return fail(HistoryError, tr("l'historique du livre n'a pas pu être écrit : %1")
                                          .arg(versions.errorString()));
    }
    if (changedOnDisk()) {
        if (inHistory)
            versions.forgetNewest();
        return fail(ChangedError, tr("« %1 » a été modifié par un autre programme depuis "
                                     "qu'il a été lu.")
                                      .arg(QDir::toNativeSeparators(filePath)));
    }
    AtomicFile file(filePath);
    if (!file.write(pieces)) {
        if (inHistory)
            versions.forgetNewest();
        return fail(WriteError, file.errorString());
    }
    existed = true;
    noteStamp();
    return true;
}

bool BookFile::reread(const QByteArray &bytes)
{
    BookReader reader;
    const bool ok = reader.read(bytes);
    contents = reader.book();
    onDisk = bytes;
    current = ok ? Readable : Unreadable;
    lastError = ok ? NoError : ParseError;
    message = ok ? QString() : reader.errorString();
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
    const QByteArray before = onDisk;
    if (!writeLocked({bytes}, change))
        return false;
    last = Change::between(before, bytes, change);
    hasEdit = false;
    reread(bytes);
    return true;
}

bool BookFile::apply(const Change &change, const QString &what)
{
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
    if (!writeLocked({bytes}, what))
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
    const QByteArray &bytes = contents.bytes();
    const bool adds = edit.kind == Book::Edit::Append || edit.kind == Book::Edit::Insert;
    if (current != Readable || edit.at < 0 || edit.at + edit.removed > bytes.size() || edit.removed != expected.size()
        || QByteArray::fromRawData(bytes.constData() + edit.at, int(edit.removed)) != expected || edit.index < 0
        || edit.index > contents.size() - (adds ? 0 : 1))
        return fail(ChangedError, tr("« %1 » n'est plus tel que cette modification l'a laissé.")
                                      .arg(QDir::toNativeSeparators(filePath)));
    return commit(edit, what);
}

bool BookFile::commit(const Book::Edit &edit, const QString &change)
{
    const QByteArray &bytes = contents.bytes();
    const qsizetype tail = edit.at + edit.removed;
    if (!writeLocked({QByteArray::fromRawData(bytes.constData(), int(edit.at)), edit.inserted,
                      QByteArray::fromRawData(bytes.constData() + tail, int(bytes.size() - tail))},
                     change))
        return false;
    last = {{{edit.at, bytes.mid(edit.at, edit.removed), edit.inserted}}, change};
    edited = edit;
    hasEdit = contents.undoing(edit, &editReversed);
    onDisk.clear(); // one owner of the bytes, so that the edit needs no copy of them
    contents.apply(edit);
    onDisk = contents.bytes();
    lastError = NoError;
    message.clear();
    return true;
}

bool BookFile::append(const Entry &entry, const QString &rootName)
{
    if (current == Unreadable)
        return fail(RefusedError, message);
    if (current == New) {
        const QByteArray bytes = EntryWriter::newBookText(rootName, entry).toUtf8();
        const QString change = tr("entrée %1 ajoutée").arg(entry.id);
        const QByteArray before = onDisk;
        if (!writeLocked({bytes}, change))
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
    return commit(contents.replacing(index, entry),
                  tr("entrée %1 modifiée").arg(contents.entry(index).id));
}

bool BookFile::remove(int index)
{
    if (current != Readable || !contents.isWritable())
        return fail(RefusedError, current == Readable ? contents.whyNotWritable() : message);
    return commit(contents.removing(index), tr("entrée %1 supprimée").arg(contents.entry(index).id));
}
