#ifndef ORVANDEL_MAPLAYOUT_H
#define ORVANDEL_MAPLAYOUT_H

#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QVector>

// The map of a book: what each box and arrow shows and how (BookMap::drawing),
// then where they stand once placed, by Graphviz or from the places kept
// (MapPlaces): boxes, curves and labels in points, y growing downwards, the
// map's top left corner at 0,0, ready to be drawn by anything.
struct MapLayout
{
    enum Shape { Box, Octagon, DoubleOctagon };

    struct Node
    {
        QRectF box;
        QStringList lines;        // the label, line by line
        int entry = -1;           // index in the book; -1 for a missing target
        int missing = -1;         // the number a missing target bears; -1 for any other box
        Shape shape = Box;
        quint32 fill = 0xffffffff; // 0xAARRGGBB
        quint32 pen = 0xff000000;
        quint32 text = 0xff000000;
        double penWidth = 1;
        bool dashed = false;
    };

    struct Edge
    {
        int from = -1;            // indices in `nodes`
        int to = -1;
        QVector<QPointF> curve;   // cubic Bézier pieces: start, then three points per piece
        QPointF tip;              // the arrow ends here, from the curve's last point
        quint32 colour = 0xff000000;
        double width = 1;
        bool dashed = false;
        int kind = 0;             // the reference's Reference::Kind
        QString label;            // layered maps only
        QPointF labelAt;
    };

    QRectF bounds;
    QVector<Node> nodes;          // a book's entries first, each at its index
    QVector<Edge> edges;          // by the node they leave, in the book's order
    bool layered = false;         // read from top to bottom; otherwise laid out by force
    int first = -1;               // the node where the adventure starts
};

#endif
