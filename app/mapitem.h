#ifndef ORVANDEL_MAPITEM_H
#define ORVANDEL_MAPITEM_H

#include "analysis/maplayout.h"

#include <QCache>
#include <QGraphicsItem>
#include <QStaticText>
#include <QImage>

#include <QElapsedTimer>

#include <algorithm>
#include <atomic>
#include <future>

// The laid-out map as one graphics item. Only what lies in the exposed part
// of the view is painted, found through a grid over the map; below reading
// size labels, arrow heads and curves give way to plain boxes and lines, and
// further out a picture of the whole map, made once in a thread of its own,
// is shown instead. May be built in any thread, then added to a scene.
class MapItem : public QGraphicsItem
{
public:
    // `before`, the item this one replaces: what has not moved since is
    // found again through its grid.
    explicit MapItem(MapLayout layout, const MapItem *before = nullptr);
    ~MapItem() override;

    QRectF boundingRect() const override { return map.bounds; }
    const MapLayout &layout() const { return map; }
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

    // The book index of the entry drawn at `point`, or -1.
    int entryAt(const QPointF &point) const;
    // The box drawn at `point` (an index in layout().nodes), or -1.
    int nodeAt(const QPointF &point) const;
    // Boxes drawn brighter than the others: the selected entry's (outlined
    // thick), those on its way from the first entry and its neighbours.
    void setMarked(int selectedNode, const QVector<int> &way, const QVector<int> &near);
    // Only the boxes marked true, and the arrows between them; all when empty.
    void setShownOnly(const QVector<bool> &shown);
    int shownCount() const { return shownOnly.isEmpty() ? map.nodes.size() : int(std::count(shownOnly.begin(), shownOnly.end(), true)); }
    // The book's entry drawn over any box that covers it.
    void setFirst(int index) { first = index; }
    // The box of the book's entry `index`; empty when it is not on the map.
    QRectF entryBox(int index) const;
    // Begins the picture of the whole map shown far out, in a thread of its
    // own; painting never waits for it. Once added to a scene.
    void beginPicture();
    // The whole map in plain boxes and lines, at most `side` pixels wide or high.
    QImage thumbnail(int side) const;

    // From this zoom on, labels are drawn and lines follow their curves.
    static constexpr double readable = 0.6;

private:
    // The grid: cell c holds the items listed from start[c] to start[c + 1].
    struct Grid
    {
        QVector<int> start, items;
    };
    // For each box of `before`, the same box in this map, or -1; empty
    // when the grid was made anew.
    QVector<int> buildGrids(const MapItem *before);
    QRect cellsOf(const QRectF &rect) const;
    template<typename Visit>
    void forEachIn(const Grid &grid, const QRectF &rect, QVector<quint32> &seen, Visit visit) const;
    enum BoxStyle { NoBoxes, Boxes, OutlinedBoxes };
    void paintLines(QPainter *painter, const QRectF &exposed, BoxStyle boxes) const;
    // The lines and boxes within `exposed` drawn into the whole of
    // `picture`, white where there are none, through `toPicture`; close up,
    // the lines that bend are left in `curved` for a painter, if given.
    void drawPlain(QImage *picture, const QTransform &toPicture, const QRectF &exposed, BoxStyle boxes,
                   bool everyBox = false, QVector<int> *curved = nullptr) const;
    void paintDetails(QPainter *painter, const QRectF &exposed) const;
    void makePicture() const;
    const QImage &picture() const;
    bool pictureReady() const;

    MapLayout map;
    int first = -1;
    int selected = -1;
    QVector<bool> onWay, nearby; // by node
    QVector<bool> shownOnly;     // by node; empty: every box
    bool hidden(int node) const { return !shownOnly.isEmpty() && (node < 0 || node >= shownOnly.size() || !shownOnly.at(node)); }
    void paintMarks(QPainter *painter, const QRectF &exposed, double zoom) const;
    double cell = 100;
    int columns = 1, rows = 1;
    Grid nodeGrid, edgeGrid;
    // Marks of the items already drawn in this paint (edges cross many cells).
    mutable QVector<quint32> nodeSeen, edgeSeen;
    mutable quint32 pass = 0;
    mutable QCache<int, QVector<QStaticText>> labels{5000};
    mutable QImage overview;
    mutable QImage canvas; // paintLines()'s, kept
    QElapsedTimer age;
    mutable std::atomic<bool> pictureDropped{false};
    double overviewScale = 0;
    // Last: the picture's thread ends before what it draws from goes.
    mutable std::future<void> overviewMade;
};

#endif
