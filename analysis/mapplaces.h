#ifndef ORVANDEL_MAPPLACES_H
#define ORVANDEL_MAPPLACES_H

#include "analysis/maplayout.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QHash>
#include <QSizeF>
#include <QString>
#include <QVector>

class Book;

// The book's map places: where each box of its map stands and, on a layered
// map, the course of each arrow, so that the map opens again as it was
// without being laid out. A box is known by its entry's number, not by the
// entry's place in the file: the places outlive entries added, removed or
// moved about. Kept beside the book as "<book>.carte" (e.g. livre.xml.carte),
// which nothing that reads books looks at, in this text format (UTF-8, one
// item a line, words apart by one space, lengths in points, y growing
// downwards, the map's top left corner at 0 0):
//
//   orvandel-carte 1
//   size WIDTH HEIGHT
//   box KEY X Y WIDTH HEIGHT                       (one per box)
//   curve FROM TO TIPX TIPY LABELX LABELY X Y ...  (one per arrow kept)
//   end BOXES CURVES
//
// KEY is the entry's number ("12"), "12/2" for the second entry of the book
// that bears number 12, "?15" for the box of a missing entry 15 that
// references lead to, "12!1" for the box of entry 12's first reference that
// is no number. A curve runs from the box FROM to the box TO: its
// points are cubic Bézier pieces (the start, then three points a piece),
// the arrow's head ends at TIP, its label is centred on LABEL; the k-th
// curve between two boxes is the k-th arrow between them. The last line
// counts the boxes and curves: a file cut short is not read. Lines of a
// kind this version does not know are passed over (a later one may keep
// the view there, or boxes moved by hand); a file of another version, or
// that is not one of these, is not read at all.
class MapPlaces
{
    Q_DECLARE_TR_FUNCTIONS(MapPlaces)

public:
    // The file that keeps the places of the book at `bookPath`.
    static QString pathFor(const QString &bookPath);

    // The places of `map`, laid out from `book`.
    static MapPlaces of(const Book &book, const MapLayout &map);

    // False, with errorString() and no places, when the file is missing,
    // cannot be read or is not a places file whole.
    bool read(const QString &path);
    // Replaces the file whole; false, with errorString(), when it cannot.
    bool write(const QString &path);
    QString errorString() const { return error; }

    bool isEmpty() const { return boxes.isEmpty(); }

    // Sets the boxes of `map`, the drawing of `book` (BookMap::drawing), in
    // their places. Boxes without one are set near a box that leads to them
    // (at the foot of the map when none does), in a place free of the
    // others; arrows without a curve are drawn straight from box to box.
    // False, `map` untouched, when the book has changed beyond its places:
    // its first entry has none, or more than a quarter of its entries are
    // new. `changed` says whether the map differs from the places: boxes
    // set anew, or places of boxes no longer on the map.
    // `now`, when the map differs, gets its places (as of() gives them).
    bool place(const Book &book, MapLayout *map, bool *changed = nullptr, MapPlaces *now = nullptr) const;

private:
    static MapPlaces ofKeys(const QVector<QByteArray> &keys, const MapLayout &map);
    struct Box
    {
        QByteArray key;
        QRectF box;
    };
    struct Curve
    {
        QByteArray from, to;
        QVector<QPointF> points;
        QPointF tip, labelAt;
    };

    QSizeF size;
    QVector<Box> boxes;
    QVector<Curve> curves;
    mutable QHash<QByteArray, int> keyed; // boxes by key, once needed
    QString error;
};

#endif
