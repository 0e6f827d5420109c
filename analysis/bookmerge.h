#ifndef ORVANDEL_BOOKMERGE_H
#define ORVANDEL_BOOKMERGE_H

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QVector>

// Three versions of a book merged entry by entry, as git hands them to a
// merge driver: the version both sides started from (the base), ours and
// theirs. The merge starts from ours and brings in what theirs changed,
// each change one of the book model's edits of an entry (Book::Edit, the
// bytes of that entry's element and nothing else), so that every byte
// neither side changed stays as ours has it.
//
// An entry changed on one side takes that side; changed alike on both, it
// is taken once. Where the sides disagree (an entry changed both ways, or
// changed on one side and deleted on the other) the book keeps ours, and
// theirs goes into a book of its own, conflictBook(), that Orvandel opens
// like any other: nothing of either side is lost. An entry added on both
// sides under the same number is kept twice: theirs takes the next free
// number, and every reference of theirs to it follows.
class BookMerge
{
    Q_DECLARE_TR_FUNCTIONS(BookMerge)

public:
    struct Conflict
    {
        enum Kind {
            BothChanged,   // changed both ways: ours kept, theirs in the conflict book
            DeletedByUs,   // changed by theirs: theirs in the conflict book
            DeletedByThem, // changed by ours: ours kept, noted in the conflict book
            BothAdded,     // added both ways under an id that is not a number
            Outside,       // the bytes before or after the entries, changed both ways
        };
        Kind kind;
        QString id; // the entry's (or the monster's name); empty for Outside
        // "entrée 042 modifiée des deux côtés", for the author.
        QString describe(bool monster = false) const;
    };
    // Theirs' entry added under a number ours took for another entry.
    struct Move
    {
        QString from, to;
    };

    // False, with errorString(), when a version cannot be read or ours
    // cannot be written into (not UTF-8): nothing is merged then. A blank
    // base stands for a book both sides started from nothing.
    bool merge(const QByteArray &base, const QByteArray &ours, const QByteArray &theirs);

    // The merged book: ours itself when theirs brought nothing.
    const QByteArray &result() const { return merged; }
    bool isClean() const { return conflictList.isEmpty(); }
    const QVector<Conflict> &conflicts() const { return conflictList; }
    const QVector<Move> &moves() const { return moveList; }
    // Theirs' side of the conflicts as an entries file under ours' root:
    // each entry after a comment that says what happened to it. Null when
    // the merge is clean.
    QByteArray conflictBook() const;
    QString errorString() const { return error; }

private:
    QByteArray merged;
    QString rootName;
    QVector<Conflict> conflictList;
    QVector<QByteArray> conflictElements; // theirs' element of each conflict, if any
    QVector<Move> moveList;
    QString error;
};

#endif
