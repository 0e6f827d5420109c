#ifndef ORVANDEL_BOOKMAP_H
#define ORVANDEL_BOOKMAP_H

#include "analysis/bookcheck.h"
#include "analysis/maplayout.h"

#include <QByteArray>
#include <QString>

class QFileDevice;

// The book as a Graphviz graph: entries as nodes labelled with their number
// and the first words of their text, references as labelled edges, findings
// highlighted (missing targets in red, unreachable entries greyed, dead ends
// doubled, duplicate numbers outlined in red).
class BookMap
{
    Q_DECLARE_TR_FUNCTIONS(BookMap)

public:
    // Node "n<i>" is entry i of the book.
    // With `reached` (per entry, how many of `readers` simulated readers got
    // there), each entry is coloured by that share and shows it.
    static QByteArray dot(const Book &book, const QVector<BookFinding> &findings,
                          const QVector<int> &reached = {}, int readers = 0);

    // Lays the graph out with Graphviz's own library, in the layout the
    // graph names: small books read top to bottom (layered), larger ones are
    // laid out by force (sfdp). Any thread; one layout at a time.
    static bool layOut(const QByteArray &dot, MapLayout *layout, QString *error);

    // Lays the graph out and writes it as SVG straight into the open file.
    static bool renderSvg(QByteArray dot, QFileDevice *file, QString *error);
};

#endif
