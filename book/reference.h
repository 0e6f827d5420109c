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

    // "choix", "victoire", "fuite", "chanceux", "malchanceux".
    static QString kindName(Kind kind);
};

#endif
