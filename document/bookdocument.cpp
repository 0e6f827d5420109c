#include "document/bookdocument.h"

#include "analysis/bookfind.h"
#include "analysis/renumbering.h"
#include "document/bookcommands.h"
#include "spelling/dictionary.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>
#include <QLockFile>
#include <QSettings>
#include <QTimer>

namespace {

// One document per file: keyed by the file's canonical path (a book not
// yet written, by its absolute path).
QHash<QString, QWeakPointer<BookDocument>> &documents()
{
    static QHash<QString, QWeakPointer<BookDocument>> open;
    return open;
}

QString keyOf(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

} // namespace

QSharedPointer<BookDocument> BookDocument::of(const QString &path)
{
    const QString key = keyOf(path);
    if (QSharedPointer<BookDocument> open = documents().value(key).toStrongRef())
        return open;
    QSharedPointer<BookDocument> made(new BookDocument(path));
    documents().insert(key, made);
    return made;
}

BookDocument::BookDocument(const QString &path) : bookPath(path), watcher(new QFileSystemWatcher(this))
{
    // Enough to take back a working session; each command holds only what
    // it changed.
    commands.setUndoLimit(500);
    // A save replaces the file, so the watch follows the path again each time.
    connect(watcher, &QFileSystemWatcher::fileChanged, this, [this] {
        QTimer::singleShot(100, this, &BookDocument::followDisk);
    });
    placesLater = new QTimer(this);
    placesLater->setSingleShot(true);
    placesLater->setInterval(2000);
    connect(placesLater, &QTimer::timeout, this, &BookDocument::writePlaces);
}

BookDocument::~BookDocument()
{
    writePlaces();
    for (auto it = documents().begin(); it != documents().end();) {
        if (it.value().isNull())
            it = documents().erase(it);
        else
            ++it;
    }
}

bool BookDocument::load()
{
    if (!loaded) {
        bookFile.open(bookPath);
        if (bookFile.state() == BookFile::Readable && !bookFile.book().isEmpty())
            emit bookRead();
        readMonsterList(); // before the checks run once, with its names
        loaded = true;
        commands.clear();
        recheckAll();
        watch();
        emit bookReset();
    } else {
        followDisk(); // a window asking for the book sees the file as it is now
    }
    lastError = bookFile.state() == BookFile::Unreadable ? bookFile.error() : BookFile::NoError;
    message = lastError == BookFile::NoError ? QString() : bookFile.errorString();
    return lastError == BookFile::NoError;
}

BookDocument::Claim BookDocument::claim(QString *holder)
{
    if (claimed == NotClaimed) {
        claimFile = std::make_unique<QLockFile>(path() + QStringLiteral(".ouvert"));
        claimFile->setStaleLockTime(0); // a claim lasts as long as its process
        if (claimFile->tryLock(0)) {
            claimed = Claimed;
        } else {
            claimed = claimFile->error() == QLockFile::LockFailedError ? HeldElsewhere : CannotClaim;
            qint64 pid = 0;
            QString host, program;
            // A claim file written by something else names no process.
            if (claimFile->getLockInfo(&pid, &host, &program) && pid > 0)
                claimHolder = tr("processus %1 sur %2").arg(pid).arg(host.isEmpty() ? tr("cet ordinateur") : host);
            claimFile.reset();
        }
    }
    if (holder)
        *holder = claimHolder;
    return claimed;
}

void BookDocument::setReadOnly(bool readOnly)
{
    bookFile.setReadOnly(readOnly);
    if (spellChecker)
        spellChecker->setReadOnly(readOnly);
}

SpellChecker *BookDocument::spelling()
{
    if (!spellChecker) {
        spellChecker = new SpellChecker(&Dictionary::french(), this);
        spellChecker->setBook(path());
        spellChecker->setReadOnly(isReadOnly());
        spellChecker->setNames(monsterNames);
    }
    return spellChecker;
}

namespace {

QString monsterListKey(const QString &bookPath)
{
    // One setting per book, whatever characters its path holds.
    const QByteArray path = QFileInfo(bookPath).absoluteFilePath().toUtf8();
    return QStringLiteral("monstresDuLivre/")
        + QString::fromLatin1(QCryptographicHash::hash(path, QCryptographicHash::Sha1).toHex());
}

} // namespace

QString BookDocument::monsterListPath() const
{
    return QSettings().value(monsterListKey(bookPath)).toString();
}

void BookDocument::setMonsterListPath(const QString &listPath)
{
    QSettings().setValue(monsterListKey(bookPath), QFileInfo(listPath).absoluteFilePath());
    readMonsterList();
}

void BookDocument::readMonsterList()
{
    const QString listPath = monsterListPath();
    QFile file(listPath);
    MonsterList list;
    if (listPath.isEmpty() || !file.open(QIODevice::ReadOnly) || !list.read(&file)) {
        setMonsterNames({}, false);
        return;
    }
    QSet<QString> names;
    for (const MonsterRow &row : qAsConst(list.rows))
        names.insert(row.name);
    setMonsterNames(names, true);
}

QVector<MonsterRow> BookDocument::monsters() const
{
    QFile file(monsterListPath());
    MonsterList list;
    if (!file.fileName().isEmpty() && file.open(QIODevice::ReadOnly) && list.read(&file))
        return list.rows;
    QVector<MonsterRow> rows;
    QSet<QString> seen;
    for (int i = 0; i < book().size(); ++i)
        for (const Entry::Monster &m : book().entry(i).monsters)
            if (!m.name.isEmpty() && !seen.contains(m.name)) {
                seen.insert(m.name);
                rows.append({m.name, m.habilete, m.endurance});
            }
    return rows;
}

void BookDocument::setMonsterNames(const QSet<QString> &names, bool known)
{
    if (names == monsterNames && known == namesKnown)
        return;
    monsterNames = names;
    namesKnown = known;
    if (spellChecker)
        spellChecker->setNames(names);
    if (loaded) {
        recheckAll();
        emit bookReset();
    }
}

bool BookDocument::fail()
{
    lastError = bookFile.error();
    message = bookFile.errorString();
    return false;
}

void BookDocument::recheck(int index, int removed, int inserted)
{
    checker.changed(index, removed, inserted);
    found = checker.findings(bookFile.book());
    counted.changed(bookFile.book(), index, removed, inserted);
}

void BookDocument::recheckAll()
{
    checker = BookCheck(namesKnown ? &monsterNames : nullptr);
    found = checker.findings(bookFile.book());
    counted.reset(bookFile.book());
}

void BookDocument::watch()
{
    if (!watcher->files().isEmpty())
        watcher->removePaths(watcher->files());
    if (QFileInfo::exists(path()))
        watcher->addPath(path());
}

bool BookDocument::addEntry(const Entry &entry, const QString &rootName)
{
    const bool starting = bookFile.state() == BookFile::New;
    const int index = book().size();
    if (!bookFile.append(entry, rootName))
        return fail();
    const QString text = tr("ajout de l'entrée %1").arg(entry.id);
    return starting ? pushWhole(text) : pushEntry(text, index, 0, 1);
}

bool BookDocument::replaceEntry(int index, const Entry &entry)
{
    const QString text = tr("modification de l'entrée %1").arg(book().entry(index).id);
    if (!bookFile.replace(index, entry))
        return fail();
    return pushEntry(text, index, 1, 1);
}

bool BookDocument::removeEntry(int index)
{
    const QString text = tr("suppression de l'entrée %1").arg(book().entry(index).id);
    if (!bookFile.remove(index))
        return fail();
    return pushEntry(text, index, 1, 0);
}

bool BookDocument::pushEntry(const QString &text, int index, int removed, int inserted)
{
    Book::Edit edit, reverse;
    if (!bookFile.lastEdit(&edit, &reverse))
        return pushWhole(text); // the first entry of an empty "<book/>"
    lastError = BookFile::NoError;
    message.clear();
    commands.push(new EntryCommand(this, edit, reverse, text));
    recheck(index, removed, inserted);
    emit entriesChanged(index, removed, inserted);
    watch();
    return true;
}

bool BookDocument::renumber(const Renumbering &renumbering)
{
    const BookFile::Change change = renumbering.change(book());
    if (change.pieces.isEmpty() && !renumbering.errorString().isEmpty()) {
        lastError = BookFile::RefusedError;
        message = renumbering.errorString();
        return false;
    }
    if (!bookFile.apply(change, tr("livre renuméroté")))
        return fail();
    return pushWhole(tr("renumérotation du livre"));
}

bool BookDocument::replaceAll(const BookFind &find, const QString &with, int *entries, int *matches)
{
    int changed = 0, replaced = 0;
    const BookFile::Change change = find.replaceAll(book(), with, &changed, &replaced);
    if (entries)
        *entries = changed;
    if (matches)
        *matches = replaced;
    if (change.pieces.isEmpty()) {
        lastError = BookFile::NoError;
        message.clear();
        return true;
    }
    const QString what = changed == 1 ? tr("remplacement par « %1 » (1 entrée)").arg(with)
                                      : tr("remplacement par « %1 » (%2 entrées)").arg(with).arg(changed);
    if (!bookFile.apply(change, what))
        return fail();
    return pushWhole(what);
}

bool BookDocument::restore(const QByteArray &bytes, const QString &what)
{
    if (!bookFile.restore(bytes, what))
        return fail();
    return pushWhole(what);
}

bool BookDocument::pushWhole(const QString &text)
{
    lastError = BookFile::NoError;
    message.clear();
    commands.push(new BookChangeCommand(this, bookFile.lastChange(), text));
    recheckAll();
    emit bookReset();
    watch();
    return true;
}

bool BookDocument::followDisk()
{
    if (!loaded || !bookFile.changedOnDisk()) {
        watch();
        return false;
    }
    bookFile.open(bookPath);
    commands.clear();
    recheckAll();
    watch();
    emit bookReset();
    emit reloaded(tr("Le livre a été modifié par un autre programme et vient d'être relu ; "
                     "ce qui avait été fait avant ne peut plus être annulé."));
    return true;
}

bool BookDocument::placeMap(MapLayout *map)
{
    if (!placesRead) {
        placesRead = true;
        places.read(MapPlaces::pathFor(bookPath)); // without them, the map is laid out
    }
    bool changed = false;
    MapPlaces now;
    if (!places.place(book(), map, &changed, &now))
        return false;
    if (changed)
        keepPlaces(now, false);
    return true;
}

void BookDocument::keepMapPlaces(const Book &book, const MapLayout &map)
{
    placesRead = true;
    keepPlaces(MapPlaces::of(book, map));
}

void BookDocument::keepPlaces(const MapPlaces &kept, bool now)
{
    places = kept;
    // Never beside a book that is not written yet.
    placesUnwritten = !isReadOnly() && !places.isEmpty();
    if (now)
        writePlaces();
    else if (placesUnwritten)
        placesLater->start();
}

void BookDocument::writePlaces()
{
    placesLater->stop();
    if (placesUnwritten)
        places.write(MapPlaces::pathFor(bookPath));
    placesUnwritten = false;
}

void BookDocument::undo()
{
    if (!followDisk())
        commands.undo();
}

void BookDocument::redo()
{
    if (!followDisk())
        commands.redo();
}

bool BookDocument::applyEdit(const Book::Edit &edit, const QByteArray &expected, const QString &what)
{
    if (!bookFile.applyEdit(edit, expected, what)) {
        lost(bookFile.errorString());
        return false;
    }
    switch (edit.kind) {
    case Book::Edit::Append:
    case Book::Edit::Insert:
        recheck(edit.index, 0, 1);
        emit entriesChanged(edit.index, 0, 1);
        break;
    case Book::Edit::Replace:
        recheck(edit.index, 1, 1);
        emit entriesChanged(edit.index, 1, 1);
        break;
    case Book::Edit::Remove:
        recheck(edit.index, 1, 0);
        emit entriesChanged(edit.index, 1, 0);
        break;
    }
    watch();
    return true;
}

bool BookDocument::applyChange(const BookFile::Change &change, const QString &what)
{
    if (!bookFile.apply(change, what)) {
        lost(bookFile.errorString());
        return false;
    }
    recheckAll();
    emit bookReset();
    watch();
    return true;
}

void BookDocument::lost(const QString &why)
{
    emit problem(why);
    // The stack has moved past a change the file did not take: what it
    // holds no longer matches the file, which is read again.
    QTimer::singleShot(0, this, [this] {
        commands.clear();
        bookFile.open(bookPath);
        recheckAll();
        watch();
        emit bookReset();
    });
}
