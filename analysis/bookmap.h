#ifndef ORVANDEL_BOOKMAP_H
#define ORVANDEL_BOOKMAP_H

#include "analysis/bookcheck.h"
#include "analysis/maplayout.h"

#include <QByteArray>
#include <QString>

class QFileDevice;

// The book as a graph: entries as boxes labelled with their number and the
// first words of their text, references as arrows (labelled on small maps),
// findings highlighted (missing targets in red, unreachable entries greyed,
// dead ends doubled, duplicate numbers outlined in red); laid out by
// Graphviz, or written as DOT for Graphviz's own tools.
class BookMap
{
    Q_DECLARE_TR_FUNCTIONS(BookMap)

public:
    // What the map shows, not yet placed: node i is entry i of the book,
    // missing targets and references that are no number come after.
    // With `reached` (per entry, how many of `readers` simulated readers got
    // there), each entry is coloured by that share and shows it.
    static MapLayout drawing(const Book &book, const QVector<BookFinding> &findings,
                             const QVector<int> &reached = {}, int readers = 0);

    // The drawing as Graphviz DOT, in the layout it reads best in: small
    // books top to bottom (layered), larger ones by force (sfdp), with
    // boxes moved off one another up to a thousand entries. Node "n<i>" is
    // entry i of the book.
    static QByteArray dot(const Book &book, const QVector<BookFinding> &findings,
                          const QVector<int> &reached = {}, int readers = 0);

    // Places a drawing with Graphviz's own library. A map laid out by force
    // then has its boxes set apart evenly, none covering another, and its
    // arrows drawn straight from box to box. Any thread; one layout at a time.
    static bool layOut(MapLayout *drawing, QString *error);
    // The same for a graph written as DOT, read back whole from Graphviz.
    static bool layOut(const QByteArray &dot, MapLayout *layout, QString *error);

    // `edge` drawn straight from the box `from` to the box `to`, its arrow's
    // head ending on the edge of `to`.
    static void drawStraight(MapLayout::Edge *edge, const QRectF &from, const QRectF &to);

    // Lays the graph out and writes it as SVG straight into the open file.
    static bool renderSvg(QByteArray dot, QFileDevice *file, QString *error);
};

#endif
