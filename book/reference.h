#ifndef ORVANDEL_REFERENCE_H
#define ORVANDEL_REFERENCE_H

#include "book/entry.h"

#include <QCoreApplication>
#include <QString>
#include <QVector>

// A way from one entry to another, as the author typed it.
struct Reference
{
    Q_DECLARE_TR_FUNCTIONS(Reference)

public:
    enum Kind { Choice, Victory, Flight, Lucky, Unlucky };
    Kind kind;
    QString text;    // as written ("012", "12", "plus loin")
    int target = -1; // the entry number, -1 when the text is not one

    // Every way out of an entry, in the order of its sections: choices,
    // monster victories, flight, then the two outcomes of the test of luck.
    static QVector<Reference> of(const Entry &entry);
    // The same ways, each handed to `visit(kind, text)` in that order,
    // nothing copied.
    template<typename Visit>
    static void forEach(const Entry &entry, Visit visit)
    {
        for (const Entry::Choice &c : entry.choices)
            visit(Choice, c.value);
        for (const Entry::Monster &m : entry.monsters)
            visit(Victory, m.victory);
        if (entry.hasFlee())
            visit(Flight, entry.flee.ref);
        if (entry.hasLuck()) {
            visit(Lucky, entry.luck.luckyValue);
            visit(Unlucky, entry.luck.unluckyValue);
        }
    }

    // "choix", "victoire", "fuite", "chanceux", "malchanceux".
    static QString kindName(Kind kind);
};

#endif
