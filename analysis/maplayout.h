#ifndef ORVANDEL_MAPLAYOUT_H
#define ORVANDEL_MAPLAYOUT_H

#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QVector>

// The map of a book once Graphviz has placed it: boxes, curves and labels in
// points, y growing downwards, ready to be drawn by anything.
struct MapLayout
{
    enum Shape { Box, Octagon, DoubleOctagon };

    struct Node
    {
        QRectF box;
        QStringList lines;        // the label, line by line
        int entry = -1;           // index in the book; -1 for a missing target
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
        QString label;            // small books only
        QPointF labelAt;
    };

    QRectF bounds;
    QVector<Node> nodes;
    QVector<Edge> edges;
};

#endif
