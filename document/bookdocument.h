#ifndef ORVANDEL_BOOKDOCUMENT_H
#define ORVANDEL_BOOKDOCUMENT_H

#include "analysis/bookcheck.h"
#include "analysis/bookcounts.h"
#include "analysis/mapplaces.h"
#include "book/bookfile.h"
#include "book/monsterlist.h"
#include "spelling/spellchecker.h"

#include <QCoreApplication>
#include <QObject>
#include <QSet>
#include <QSharedPointer>
#include <QUndoStack>

#include <memory>

class QFileSystemWatcher;
class QTimer;
class QLockFile;
class BookFind;
class Renumbering;

// A book while it is open: one per file in the program, whichever windows
// show or change it. It holds the file and its entries, the claim that
// keeps other Orvandels from writing into it, the watch on the file, what
// the checks find, where the boxes of its map stand, and the changes as
// undoable commands. Windows change
// the book only through it, and follow what it announces.
class BookDocument : public QObject
{
    Q_OBJECT

public:
    // The document of the book at `path`, made when first asked for; all
    // who ask for one file share it, for as long as one of them holds it.
    static QSharedPointer<BookDocument> of(const QString &path);
    ~BookDocument() override;

    QString path() const { return bookPath; }
    const BookFile &file() const { return bookFile; }
    const Book &book() const { return bookFile.book(); }
    const QVector<BookFinding> &findings() const { return found; }
    const BookCounts &counts() const { return counted; }
    QUndoStack *undoStack() { return &commands; }

    // Reads the file the first time it is asked (again when another
    // program changed it since); false, with errorString(), when it cannot
    // be read.
    bool load();

    // The claim on the book, made once: other Orvandels are told the book
    // is open here. `holder` says who holds it when another one does.
    enum Claim { NotClaimed, Claimed, HeldElsewhere, CannotClaim };
    Claim claim(QString *holder = nullptr);
    Claim claimState() const { return claimed; }
    // Read-only: shown, never written.
    void setReadOnly(bool readOnly);
    bool isReadOnly() const { return bookFile.isReadOnly(); }

    // The monster names the checks know (none: monsters are not checked).
    // Their words count as the book's for spelling.
    void setMonsterNames(const QSet<QString> &names, bool known);
    // The book's own monster list: the file chosen for this book (remembered
    // from one run to the next), empty when none was. Choosing one makes the
    // checks say "Monstre inconnu" against it, and against it only.
    QString monsterListPath() const;
    void setMonsterListPath(const QString &listPath);
    // Its monsters; without a list chosen, those the book's fights name
    // (each once, as first met).
    QVector<MonsterRow> monsters() const;

    // The book's spelling: the French dictionary and the book's own words
    // ("livre.xml.mots"), read when first asked for, written only while
    // the book is writable.
    SpellChecker *spelling();

    // The changes an author makes, each one command of the undo stack.
    // False, with error() and errorString(), when nothing was changed.
    bool addEntry(const Entry &entry, const QString &rootName = QString());
    bool replaceEntry(int index, const Entry &entry);
    bool removeEntry(int index);
    bool renumber(const Renumbering &renumbering);
    // Every match of `find` replaced by `with`, one change of the undo stack;
    // `entries` and `matches` say how many. Nothing to replace is no error.
    bool replaceAll(const BookFind &find, const QString &with, int *entries = nullptr, int *matches = nullptr);
    bool restore(const QByteArray &bytes, const QString &what);
    void setHistoryRequired(bool required) { bookFile.setHistoryRequired(required); }
    BookFile::Error error() const { return lastError; }
    QString errorString() const { return message; }

    // The places of the book's map, kept with the document and beside the
    // book (MapPlaces::pathFor; a missing or damaged file is as none).
    // Sets `map`, the drawing of the book as it is, in them; false when
    // there are none or the book has changed beyond them: the map is then
    // to be laid out again, and its places kept.
    bool placeMap(MapLayout *map);
    // Keeps the places of `map`, laid out from `book`: in memory, and
    // beside the book unless it is read-only (a file that cannot be
    // written is simply not kept).
    void keepMapPlaces(const Book &book, const MapLayout &map);

    // Undo and redo, refused with a word when another program has changed
    // the file since (the file is then read again).
    void undo();
    void redo();
    // Reads the file again if another program changed it; true when it did.
    bool followDisk();

signals:
    // After entries changed: from `index` on, `removed` of them gave way to
    // `inserted`; the findings are already those of the new book.
    void entriesChanged(int index, int removed, int inserted);
    // After the whole book may have changed.
    void bookReset();
    // The book was just read, the first time it is loaded, and is about to
    // be checked: what needs only its entries can start meanwhile.
    void bookRead();
    // Another program changed the file: it was read again, undo forgotten.
    void reloaded(const QString &why);
    // An undo or redo could not be made.
    void problem(const QString &why);

private:
    friend class EntryCommand;
    friend class BookChangeCommand;
    explicit BookDocument(const QString &path);
    bool fail();
    void recheck(int index, int removed, int inserted);
    void recheckAll();
    void watch();
    void readMonsterList();
    // The command's way back and forth, after its first time.
    bool applyEdit(const Book::Edit &edit, const QByteArray &expected, const QString &what);
    bool applyChange(const BookFile::Change &change, const QString &what);
    void lost(const QString &why); // an undo or redo failed: history and file parted
    // After a change was saved: its command, the findings, the windows told.
    bool pushEntry(const QString &text, int index, int removed, int inserted);
    bool pushWhole(const QString &text);
    // `now`: written at once (a layout, a box moved by hand); otherwise a
    // moment later, so that a map following each change of the book does
    // not write its places at every one.
    void keepPlaces(const MapPlaces &kept, bool now = true);
    void writePlaces();

    QString bookPath;
    BookFile bookFile;
    bool loaded = false;
    std::unique_ptr<QLockFile> claimFile;
    Claim claimed = NotClaimed;
    QString claimHolder;
    QFileSystemWatcher *watcher;
    BookCheck checker;
    QVector<BookFinding> found;
    BookCounts counted;
    QSet<QString> monsterNames;
    bool namesKnown = false;
    SpellChecker *spellChecker = nullptr;
    QUndoStack commands;
    MapPlaces places;
    bool placesRead = false;
    bool placesUnwritten = false;
    QTimer *placesLater;
    BookFile::Error lastError = BookFile::NoError;
    QString message;
};

#endif
