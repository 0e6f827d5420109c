#ifndef ORVANDEL_BOOKCHECK_H
#define ORVANDEL_BOOKCHECK_H

#include "book/book.h"
#include "book/reference.h"

#include <QCoreApplication>
#include <QSet>
#include <QString>
#include <QVector>

struct BookFinding
{
    // An entry without a way out is an Ending ("Fin"), a Victory or a Death,
    // as its author marked it.
    enum Kind { Dangling, Unreachable, Ending, DuplicateId, NotANumber, UnknownMonster, HardFight, IdleFlight,
                Victory, Death };
    Kind kind;
    int entry;      // index into the book
    QString detail; // in French, for the author
};

// What is wrong with a book, or worth a look.
//
// A checker kept beside a book the author is writing remembers what each
// entry's own checks found (its ways out, its fights, its monsters), so
// that after a change only the changed entries are looked at again; what
// depends on the whole book (numbers held twice, references to missing
// entries, what the reader can reach) is worked out anew from what was kept.
class BookCheck
{
    Q_DECLARE_TR_FUNCTIONS(BookCheck)

public:
    // Monster names are checked only when `monsterNames` is given. A fight
    // that an average adventurer wins less often than `hardFight` (0 to 1)
    // is a finding of its own.
    explicit BookCheck(const QSet<QString> *monsterNames = nullptr, double hardFight = 0.5);

    // Every finding, in the book's order.
    QVector<BookFinding> findings(const Book &book);
    // The entries from `index` on: `removed` of them gave way to `inserted`
    // new ones; the others are as they were.
    void changed(int index, int removed, int inserted);
    // Everything may have changed.
    void reset()
    {
        entries.clear();
        targets.clear();
    }

    static QVector<BookFinding> run(const Book &book, const QSet<QString> *monsterNames = nullptr,
                                    double hardFight = 0.5)
    {
        return BookCheck(monsterNames, hardFight).findings(book);
    }
    // "Combat contre Troll : 23 % (faible), 61 % (moyen), 92 % (fort)".
    static QString fightOdds(const Entry &entry);

    // "dangling", "unreachable", ... as the command line prints them.
    static QString key(BookFinding::Kind kind);
    // "Renvoi vers une entrée absente", ... as the program shows them.
    static QString title(BookFinding::Kind kind);
    // Findings that make the book wrong rather than worth a look.
    static bool isError(BookFinding::Kind kind);
    // An entry where the adventure ends, however it ends.
    static bool isEnding(BookFinding::Kind kind)
    {
        return kind == BookFinding::Ending || kind == BookFinding::Victory || kind == BookFinding::Death;
    }
    // How the adventure ends at `entry`, which has no way out: a death when
    // marked so, or when the entry itself takes away more ENDURANCE than
    // any reader starts with, whatever the mark.
    static BookFinding::Kind endingKind(const Entry &entry);

    // What is wrong with the book (isError findings), one line each
    // ("042 : Renvoi vers une entrée absente : choix vers 099 : cette
    // entrée n'existe pas"), for an export to say before it is made.
    static QStringList faults(const Book &book);
    // The question put before exporting a book with `faults`, ending with
    // "Exporter quand même ?"; empty when there are none.
    static QString exportQuestion(const QStringList &faults);

private:
    // What one entry's own checks found. Where its ways out lead stands in
    // `targets`, after those of the entries before it: a vector of its own
    // per entry took more than the rest of what is kept of it.
    struct Own
    {
        bool known = false;
        bool idleFlight = false;  // a flight written at round 0, never offered
        int ways = 0;             // its references, in their order
        QString hardFight;        // the odds, when the fight is hard
        QStringList unknownMonsters;
        QVector<QString> wrong;   // what is said of each wrong reference, once worded
    };
    Own ownChecks(const Entry &entry, QVector<int> *targets) const;
    QSet<QString> monsterNames;
    bool checkNames = false;
    double hardFight = 0.5;
    QVector<Own> entries;
    QVector<int> targets; // the number each reference names, -1 when none
};

#endif
