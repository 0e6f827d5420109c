#ifndef ORVANDEL_BOOKCHECK_H
#define ORVANDEL_BOOKCHECK_H

#include "book/book.h"

#include <QCoreApplication>
#include <QSet>
#include <QString>
#include <QVector>

struct BookFinding
{
    enum Kind { Dangling, Unreachable, Ending, DuplicateId, NotANumber, UnknownMonster, HardFight };
    Kind kind;
    int entry;      // index into the book
    QString detail; // in French, for the author
};

// What is wrong with a book, or worth a look.
class BookCheck
{
    Q_DECLARE_TR_FUNCTIONS(BookCheck)

public:
    // Every finding, in the book's order; monster names are checked only
    // when `monsterNames` is given. A fight that an average adventurer wins
    // less often than `hardFight` (0 to 1) is a finding of its own.
    static QVector<BookFinding> run(const Book &book, const QSet<QString> *monsterNames = nullptr,
                                    double hardFight = 0.5);
    // "Combat contre Troll : 61 % (moyen), 23 % (faible), 92 % (fort)".
    static QString fightOdds(const Entry &entry);

    // "dangling", "unreachable", ... as the command line prints them.
    static QString key(BookFinding::Kind kind);
    // "Renvoi vers une entrée absente", ... as the program shows them.
    static QString title(BookFinding::Kind kind);
    // Findings that make the book wrong rather than worth a look.
    static bool isError(BookFinding::Kind kind);
};

#endif
