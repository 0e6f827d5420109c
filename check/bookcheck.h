#ifndef ORVANDEL_BOOKCHECK_H
#define ORVANDEL_BOOKCHECK_H

#include "persistence/bookreader.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QVector>

// A reference from one entry to another, as the author typed it.
struct BookReference
{
    enum Kind { Choice, Victory, Flight, Lucky, Unlucky };
    Kind kind;
    QString text;    // as written ("012", "12", "plus loin")
    int target = -1; // the entry number, -1 when the text is not a number
};

// One entry of the book as the checks and the map see it.
struct BookNode
{
    QString id;      // as written in the file
    int number = -1; // -1 when the id is not a number
    qint64 line = 0;
    QString text;
    QString types;
    QStringList monsters;
    QVector<BookReference> references;
};

struct BookFinding
{
    enum Kind { Dangling, Unreachable, DeadEnd, DuplicateId, NotANumber, UnknownMonster };
    Kind kind;
    int node;        // index into BookModel::nodes
    QString detail;  // in French, for the author
};

struct BookModel
{
    QVector<BookNode> nodes;
    int first = -1; // index of the entry with the lowest number, where the reader starts
    QHash<int, int> byNumber; // entry number -> index of the first entry bearing it
};

// The number an id or a reference names: "12" and "012" both give 12; -1
// when the text is not a plain decimal number.
int referenceNumber(const QString &text);

BookModel buildModel(const Book &book);

// Every finding of the book; `monsterNames` is used only when `checkMonsters`.
QVector<BookFinding> checkBook(const BookModel &model, bool checkMonsters = false,
                               const QSet<QString> &monsterNames = {});

// "dangling", "unreachable", ... as the command line prints them.
QString findingKey(BookFinding::Kind kind);
// "Renvoi vers une entrée absente", ... as the program shows them.
QString findingTitle(BookFinding::Kind kind);
// "choix", "victoire", ... for edges and messages.
QString referenceName(BookReference::Kind kind);

// Findings that make the book wrong rather than worth a look.
bool isError(BookFinding::Kind kind);

#endif
