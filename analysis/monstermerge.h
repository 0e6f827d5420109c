#ifndef ORVANDEL_MONSTERMERGE_H
#define ORVANDEL_MONSTERMERGE_H

#include "analysis/bookmerge.h"
#include "book/monsterlist.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QVector>

// Three versions of the monster list merged monster by monster, each known
// by its name, as BookMerge merges a book: one side's change taken, the
// same change once, and where the sides disagree ours kept and theirs set
// aside in a list of its own. The list is written whole as the program
// writes it (ids from 0 in list order), and only when theirs brought
// something: otherwise it stays ours, byte for byte.
class MonsterMerge
{
    Q_DECLARE_TR_FUNCTIONS(MonsterMerge)

public:
    bool merge(const QByteArray &base, const QByteArray &ours, const QByteArray &theirs);

    const QByteArray &result() const { return merged; }
    bool isClean() const { return conflictList.isEmpty(); }
    const QVector<BookMerge::Conflict> &conflicts() const { return conflictList; }
    // Theirs' monsters of the conflicts, as a monster list; null when clean.
    QByteArray conflictBook() const;
    QString errorString() const { return error; }

private:
    QByteArray merged;
    QVector<BookMerge::Conflict> conflictList;
    QVector<MonsterRow> aside;
    QString error;
};

#endif
