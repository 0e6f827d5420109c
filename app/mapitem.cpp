#include "app/mapitem.h"

#include <QGraphicsScene>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QStaticText>
#include <QStyleOptionGraphicsItem>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

namespace {

// Maps of fewer entries are painted directly at every zoom.
const int pictureFrom = 1500;
// The picture of the whole map is at most this many pixels wide or high
// (48 MiB at most), and drawn at most at this zoom: closer, painting the
// part in view takes less than a frame.
const int pictureSide = 4096;
const double pictureZoom = 0.2;

QPointF onCurve(const QPointF *p, double t)
{
    const double u = 1 - t;
    return u * u * u * p[0] + 3 * u * u * t * p[1] + 3 * u * t * t * p[2] + t * t * t * p[3];
}

// True when the piece's control points lie on its chord: force-directed
// layouts draw every edge so.
bool straight(const QPointF *p)
{
    const QPointF d = p[3] - p[0];
    const double length = std::hypot(d.x(), d.y());
    if (length < 1)
        return true;
    const auto off = [&](const QPointF &q) {
        return qAbs((q.x() - p[0].x()) * d.y() - (q.y() - p[0].y()) * d.x()) / length;
    };
    return off(p[1]) < 0.5 && off(p[2]) < 0.5;
}

// Cuts `line` to the part inside `rect` (Liang-Barsky); false when none is.
bool clip(QLineF *line, const QRectF &rect)
{
    double t0 = 0, t1 = 1;
    const double dx = line->dx(), dy = line->dy();
    const double p[] = {-dx, dx, -dy, dy};
    const double q[] = {line->x1() - rect.left(), rect.right() - line->x1(), line->y1() - rect.top(),
                        rect.bottom() - line->y1()};
    for (int k = 0; k < 4; ++k) {
        if (qFuzzyIsNull(p[k])) {
            if (q[k] < 0)
                return false;
            continue;
        }
        const double t = q[k] / p[k];
        if (p[k] < 0)
            t0 = qMax(t0, t);
        else
            t1 = qMin(t1, t);
    }
    if (t0 > t1)
        return false;
    const QPointF a = line->pointAt(t0), b = line->pointAt(t1);
    *line = QLineF(a, b);
    return true;
}

// A one-pixel opaque line, already inside the picture, pixel by pixel;
// dashed: four pixels on, three off.
void drawLine(QImage *picture, const QLineF &line, quint32 colour, bool dashed)
{
    int x0 = qRound(line.x1()), y0 = qRound(line.y1());
    const int x1 = qRound(line.x2()), y1 = qRound(line.y2());
    const int dx = qAbs(x1 - x0), dy = -qAbs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    const int width = picture->width(), height = picture->height();
    uchar *bits = picture->bits();
    const qsizetype stride = picture->bytesPerLine();
    int error = dx + dy;
    for (int step = 0;; ++step) {
        if (x0 >= 0 && y0 >= 0 && x0 < width && y0 < height && (!dashed || step % 7 < 4))
            reinterpret_cast<quint32 *>(bits + y0 * stride)[x0] = colour;
        if (x0 == x1 && y0 == y1)
            return;
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x0 += sx;
        }
        if (twice <= dx) {
            error += dx;
            y0 += sy;
        }
    }
}

QPainterPath outline(const MapLayout::Node &node, double inset = 0)
{
    const QRectF r = node.box.adjusted(inset, inset, -inset, -inset);
    QPainterPath path;
    if (node.shape == MapLayout::Box) {
        path.addRoundedRect(r, 4, 4);
        return path;
    }
    const double dx = r.width() * 0.2, dy = r.height() * 0.3;
    path.addPolygon(QPolygonF({QPointF(r.left() + dx, r.top()), QPointF(r.right() - dx, r.top()),
                               QPointF(r.right(), r.top() + dy), QPointF(r.right(), r.bottom() - dy),
                               QPointF(r.right() - dx, r.bottom()), QPointF(r.left() + dx, r.bottom()),
                               QPointF(r.left(), r.bottom() - dy), QPointF(r.left(), r.top() + dy)}));
    path.closeSubpath();
    return path;
}

QPolygonF arrowHead(const QPointF &from, const QPointF &tip)
{
    const QPointF d = tip - from;
    const double length = std::hypot(d.x(), d.y());
    if (length < 1e-6)
        return {};
    const QPointF along = d / length * 9, across(-along.y() * 0.4, along.x() * 0.4);
    return QPolygonF({tip, tip - along + across, tip - along - across});
}

} // namespace

MapItem::MapItem(MapLayout layout, const MapItem *before)
    : map(std::move(layout))
{
    setFlag(ItemUsesExtendedStyleOption); // paint() is told which part is exposed
    age.start();
    const QVector<int> nodesNow = buildGrids(before);
    // Labels laid out for the boxes before stay with the same boxes.
    if (!nodesNow.isEmpty()) {
        for (const int k : before->labels.keys()) {
            const int i = nodesNow.value(k, -1);
            if (i >= 0 && map.nodes.at(i).lines == before->map.nodes.at(k).lines)
                labels.insert(i, before->labels.take(k));
        }
    }
    if (map.nodes.size() < pictureFrom || map.bounds.isEmpty())
        return;
    // Made aside once the author zooms out towards it (or when first
    // needed): the first paint far out waits for it.
    overviewScale = qMin(pictureZoom, pictureSide / qMax(map.bounds.width(), map.bounds.height()));
}

void MapItem::makePicture() const
{
    if (overviewMade.valid())
        return;
    // The scene outlives the thread: an item waits for it as it goes, and
    // a scene takes its items down before it goes itself.
    QGraphicsScene *shownIn = scene();
    overviewMade = std::async(std::launch::async, [this, shownIn] {
        QImage picture(qMax(1, int(std::ceil(map.bounds.width() * overviewScale))),
                       qMax(1, int(std::ceil(map.bounds.height() * overviewScale))), QImage::Format_RGB32);
        drawPlain(&picture, QTransform::fromScale(overviewScale, overviewScale), map.bounds, Boxes, true);
        overview = std::move(picture);
        if (shownIn)
            QMetaObject::invokeMethod(shownIn, [shownIn] { shownIn->update(); }, Qt::QueuedConnection);
    });
}

bool MapItem::pictureReady() const
{
    return overviewMade.valid() && overviewMade.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

MapItem::~MapItem()
{
    pictureDropped = true; // the picture's thread stops short
}

void MapItem::beginPicture()
{
    if (overviewScale > 0)
        makePicture();
}

const QImage &MapItem::picture() const
{
    makePicture();
    overviewMade.wait();
    return overview;
}

namespace {

// What decides the cells an item is listed in: a box's rectangle, an
// arrow's course and label. Equal keys, equal cells.
quint64 nodeKey(const MapLayout::Node &node)
{
    const qreal at[4] = {node.box.x(), node.box.y(), node.box.width(), node.box.height()};
    return qHashBits(at, sizeof at, 7);
}

bool sameCourse(const MapLayout::Edge &a, const MapLayout::Edge &b)
{
    return a.curve == b.curve && a.tip == b.tip && a.label.isEmpty() == b.label.isEmpty()
        && (a.label.isEmpty() || a.labelAt == b.labelAt);
}

quint64 edgeKey(const MapLayout::Edge &edge)
{
    quint64 h = qHashBits(edge.curve.constData(), size_t(edge.curve.size()) * sizeof(QPointF), 11);
    const qreal at[4] = {edge.tip.x(), edge.tip.y(), edge.label.isEmpty() ? -1e300 : edge.labelAt.x(),
                         edge.label.isEmpty() ? -1e300 : edge.labelAt.y()};
    return h * 31 + qHashBits(at, sizeof at, 13);
}

} // namespace

QVector<int> MapItem::buildGrids(const MapItem *before)
{
    // The grid of the map before is kept when the map has grown or shrunk
    // little and still lies within it: then the items that did not move
    // keep their cells, and only those new or moved are followed across
    // the cells. A map following the book changes an entry or two at once.
    const bool keep = before && map.nodes.size() * 4 >= before->map.nodes.size() * 3
        && map.nodes.size() * 3 <= before->map.nodes.size() * 4
        && map.bounds.right() <= before->columns * before->cell && map.bounds.bottom() <= before->rows * before->cell;
    if (keep) {
        cell = before->cell;
        columns = before->columns;
        rows = before->rows;
    } else {
        // About eight boxes to a cell, and room below and to the right
        // for boxes to come.
        const double area = qMax(1.0, map.bounds.width() * map.bounds.height());
        cell = qMax(60.0, std::sqrt(area * 8 / qMax(1, map.nodes.size())));
        columns = qMax(1, int(std::ceil(qMax(0.0, map.bounds.right()) / cell)));
        rows = qMax(1, int(std::ceil(qMax(0.0, map.bounds.bottom()) / cell)));
        columns += columns / 10 + 2;
        rows += rows / 10 + 2;
    }

    // Cells are listed item by item, each cell once for an item; then
    // counted out into the grid, each cell's items in order.
    const int cells = columns * rows;
    const auto fill = [cells](Grid &grid, const QVector<QPair<int, int>> &pairs) {
        grid.start.fill(0, cells + 1);
        for (const QPair<int, int> &pair : pairs)
            ++grid.start[pair.first + 1];
        for (int c = 0; c < cells; ++c)
            grid.start[c + 1] += grid.start[c];
        QVector<int> next = grid.start;
        grid.items.resize(pairs.size());
        for (const QPair<int, int> &pair : pairs)
            grid.items[next[pair.first]++] = pair.second;
    };
    QVector<int> lastItem(cells, -1);
    const auto mark = [this, &lastItem](QVector<QPair<int, int>> &pairs, const QRectF &rect, int item) {
        const QRect cells = cellsOf(rect);
        for (int y = cells.top(); y <= cells.bottom(); ++y) {
            for (int x = cells.left(); x <= cells.right(); ++x) {
                int &last = lastItem[y * columns + x];
                if (last != item) {
                    last = item;
                    pairs.append({y * columns + x, item});
                }
            }
        }
    };

    // For each item of the map before, the same item now when it lies
    // where it lay, or -1. Items mostly follow in the same order; those
    // out of step are found by their key. Each is taken once.
    const auto match = [](const auto &now, const auto &was, auto key, auto same, QVector<bool> *fresh) {
        QVector<int> found(was.size(), -1);
        fresh->fill(true, now.size());
        QHash<quint64, int> at;
        int o = 0;
        for (int i = 0; i < now.size(); ++i) {
            int k = -1;
            if (o < was.size() && same(now.at(i), was.at(o))) {
                k = o;
            } else if (o + 1 < was.size() && same(now.at(i), was.at(o + 1))) {
                k = o + 1; // one gone
            } else if (o < was.size() && i + 1 < now.size() && same(now.at(i + 1), was.at(o))) {
                continue; // one new
            } else {
                if (at.isEmpty()) {
                    at.reserve(was.size());
                    for (int w = was.size() - 1; w >= 0; --w)
                        at.insert(key(was.at(w)), w);
                }
                k = at.value(key(now.at(i)), -1);
                if (k >= 0 && !same(now.at(i), was.at(k)))
                    k = -1;
            }
            if (k >= 0 && found.at(k) < 0) {
                found[k] = i;
                (*fresh)[i] = false;
                o = k + 1;
            }
        }
        return found;
    };
    // The grid before, each item renumbered or left out, then the pairs
    // of the items new to it, cell by cell.
    const auto carry = [cells](Grid &grid, const Grid &was, const QVector<int> &now, const QVector<QPair<int, int>> &pairs) {
        grid.start.fill(0, cells + 1);
        for (int c = 0; c < cells; ++c)
            for (int k = was.start.at(c); k < was.start.at(c + 1); ++k)
                grid.start[c + 1] += now.at(was.items.at(k)) >= 0;
        for (const QPair<int, int> &pair : pairs)
            ++grid.start[pair.first + 1];
        for (int c = 0; c < cells; ++c)
            grid.start[c + 1] += grid.start[c];
        QVector<int> next = grid.start;
        grid.items.resize(grid.start.at(cells));
        for (int c = 0; c < cells; ++c)
            for (int k = was.start.at(c); k < was.start.at(c + 1); ++k)
                if (now.at(was.items.at(k)) >= 0)
                    grid.items[next[c]++] = now.at(was.items.at(k));
        for (const QPair<int, int> &pair : pairs)
            grid.items[next[pair.first]++] = pair.second;
        // Each cell's items in order, as a grid made anew lists them: the
        // later box over the earlier one.
        bool inOrder = true;
        for (int k = 0, last = -1; k < now.size() && inOrder; ++k) {
            inOrder = now.at(k) < 0 || now.at(k) > last;
            last = qMax(last, now.at(k));
        }
        const auto sortCell = [&grid](int c) {
            std::sort(grid.items.begin() + grid.start.at(c), grid.items.begin() + grid.start.at(c + 1));
        };
        if (inOrder) {
            for (const QPair<int, int> &pair : pairs)
                sortCell(pair.first);
        } else {
            for (int c = 0; c < cells; ++c)
                sortCell(c);
        }
    };

    QVector<QPair<int, int>> pairs;
    QVector<bool> fresh;
    QVector<int> nodesNow; // by node before: the same box now, or -1
    if (keep) {
        nodesNow = match(map.nodes, before->map.nodes, nodeKey,
                                       [](const MapLayout::Node &a, const MapLayout::Node &b) { return a.box == b.box; },
                                       &fresh);
        for (int i = 0; i < map.nodes.size(); ++i)
            if (fresh.at(i))
                mark(pairs, map.nodes.at(i).box.adjusted(-3, -3, 3, 3), i);
        carry(nodeGrid, before->nodeGrid, nodesNow, pairs);
    } else {
        pairs.reserve(map.nodes.size() * 2);
        for (int i = 0; i < map.nodes.size(); ++i)
            mark(pairs, map.nodes.at(i).box.adjusted(-3, -3, 3, 3), i);
        fill(nodeGrid, pairs);
    }
    lastItem.fill(-1);

    // A long edge is listed in the cells along its course, not in every
    // cell of the rectangle around it: a straight one in the cells it
    // crosses, column by column, a curve followed in short steps.
    const double margin = 6;
    const auto markLine = [&](QPointF a, QPointF b, int item) {
        if (a.x() > b.x())
            std::swap(a, b);
        const QRect ends = cellsOf(QRectF(a, b).normalized().adjusted(-margin, -margin, margin, margin));
        const double dx = b.x() - a.x();
        for (int x = ends.left(); x <= ends.right(); ++x) {
            // The part of the line over this column, and its height there.
            const double from = qBound(a.x(), x * cell - margin, b.x());
            const double to = qBound(a.x(), (x + 1) * cell + margin, b.x());
            const double y0 = dx < 1e-9 ? a.y() : a.y() + (from - a.x()) / dx * (b.y() - a.y());
            const double y1 = dx < 1e-9 ? b.y() : a.y() + (to - a.x()) / dx * (b.y() - a.y());
            const QRect cells = cellsOf(QRectF(QPointF(from, qMin(y0, y1) - margin), QPointF(to, qMax(y0, y1) + margin)));
            for (int y = cells.top(); y <= cells.bottom(); ++y) {
                int &last = lastItem[y * columns + x];
                if (last != item) {
                    last = item;
                    pairs.append({y * columns + x, item});
                }
            }
        }
    };
    pairs.clear();
    QVector<int> edgesNow;
    if (keep)
        edgesNow = match(map.edges, before->map.edges, edgeKey, sameCourse, &fresh);
    else
        pairs.reserve(map.edges.size() * 4);
    for (int i = 0; i < map.edges.size(); ++i) {
        if (keep && !fresh.at(i))
            continue;
        const MapLayout::Edge &edge = map.edges.at(i);
        if (edge.curve.size() == 4 && straight(edge.curve.constData())) {
            markLine(edge.curve.constFirst(), edge.tip, i);
        } else {
            QPointF last = edge.curve.value(0);
            const auto step = [&](const QPointF &next) {
                mark(pairs, QRectF(last, next).normalized().adjusted(-margin, -margin, margin, margin), i);
                last = next;
            };
            for (int k = 0; k + 3 < edge.curve.size(); k += 3) {
                const QPointF *piece = edge.curve.constData() + k;
                const QPointF d = piece[3] - piece[0];
                const int steps = qBound(1, int(std::hypot(d.x(), d.y()) / (cell / 2)) + 1, 256);
                for (int s = 1; s <= steps; ++s)
                    step(onCurve(piece, double(s) / steps));
            }
            step(edge.tip);
        }
        if (!edge.label.isEmpty())
            mark(pairs, QRectF(edge.labelAt - QPointF(60, 8), QSizeF(120, 16)), i);
    }
    if (keep)
        carry(edgeGrid, before->edgeGrid, edgesNow, pairs);
    else
        fill(edgeGrid, pairs);
    nodeSeen.fill(0, map.nodes.size());
    edgeSeen.fill(0, map.edges.size());
    return nodesNow;
}

QRect MapItem::cellsOf(const QRectF &rect) const
{
    const auto clampX = [this](double x) { return qBound(0, int(std::floor(x / cell)), columns - 1); };
    const auto clampY = [this](double y) { return qBound(0, int(std::floor(y / cell)), rows - 1); };
    return QRect(QPoint(clampX(rect.left()), clampY(rect.top())), QPoint(clampX(rect.right()), clampY(rect.bottom())));
}

template<typename Visit>
void MapItem::forEachIn(const Grid &grid, const QRectF &rect, QVector<quint32> &seen, Visit visit) const
{
    const QRect cells = cellsOf(rect);
    for (int y = cells.top(); y <= cells.bottom(); ++y) {
        for (int x = cells.left(); x <= cells.right(); ++x) {
            const int c = y * columns + x;
            for (int k = grid.start.at(c); k < grid.start.at(c + 1); ++k) {
                const int item = grid.items.at(k);
                if (seen.at(item) != pass) {
                    seen[item] = pass;
                    visit(item);
                }
            }
        }
    }
}

int MapItem::entryAt(const QPointF &point) const
{
    if (!map.bounds.contains(point))
        return -1;
    const QRect cells = cellsOf(QRectF(point, QSizeF(0, 0)));
    const int c = cells.top() * columns + cells.left();
    for (int k = nodeGrid.start.at(c); k < nodeGrid.start.at(c + 1); ++k) {
        const MapLayout::Node &node = map.nodes.at(nodeGrid.items.at(k));
        if (node.entry >= 0 && node.box.contains(point))
            return node.entry;
    }
    return -1;
}

int MapItem::nodeAt(const QPointF &point) const
{
    if (!map.bounds.contains(point))
        return -1;
    const QRect cells = cellsOf(QRectF(point, QSizeF(0, 0)));
    const int c = cells.top() * columns + cells.left();
    for (int k = nodeGrid.start.at(c); k < nodeGrid.start.at(c + 1); ++k)
        if (map.nodes.at(nodeGrid.items.at(k)).box.contains(point))
            return nodeGrid.items.at(k);
    return -1;
}

void MapItem::setShownOnly(const QVector<bool> &shown)
{
    shownOnly = shown;
    update();
}

void MapItem::setMarked(int selectedNode, const QVector<int> &way, const QVector<int> &near)
{
    selected = selectedNode;
    onWay.fill(false, map.nodes.size());
    nearby.fill(false, map.nodes.size());
    for (int n : way)
        if (n >= 0 && n < onWay.size())
            onWay[n] = true;
    for (int n : near)
        if (n >= 0 && n < nearby.size())
            nearby[n] = true;
    update();
}

void MapItem::paintMarks(QPainter *painter, const QRectF &exposed, double zoom) const
{
    // Numbers wherever a box is big enough on screen to hold one; the marks
    // of the selection over everything.
    const double boxHeight = map.nodes.isEmpty() ? 20 : map.nodes.constFirst().box.height();
    const bool numbers = zoom < readable && boxHeight * zoom >= 8;
    const bool marks = selected >= 0 || !onWay.isEmpty();
    if (!numbers && !marks)
        return;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(qMax(1, int(qBound(6.0, boxHeight * zoom * 0.6, 12.0) / zoom)));
    painter->setFont(font);
    painter->setRenderHint(QPainter::Antialiasing);
    ++pass;
    forEachIn(nodeGrid, exposed, nodeSeen, [&](int i) {
        if (hidden(i))
            return;
        const MapLayout::Node &node = map.nodes.at(i);
        const bool way = i < onWay.size() && onWay.at(i), close = i < nearby.size() && nearby.at(i);
        if (i == selected || way || close) {
            painter->setBrush(Qt::NoBrush);
            painter->setPen(QPen(i == selected ? QColor(0xc6, 0x28, 0x28) : way ? QColor(0x15, 0x65, 0xc0) : QColor(0xef, 0x6c, 0x00),
                                 (i == selected ? 4 : 3) / qMax(zoom, 0.05)));
            painter->drawRect(node.box.adjusted(-2, -2, 2, 2));
        }
        if (numbers && !node.lines.isEmpty()) {
            painter->setPen(QColor::fromRgba(node.text));
            painter->drawText(node.box, Qt::AlignCenter, node.lines.constFirst());
        }
    });
}

QRectF MapItem::entryBox(int index) const
{
    for (const MapLayout::Node &node : map.nodes)
        if (node.entry == index)
            return node.box;
    return {};
}

QImage MapItem::thumbnail(int side) const
{
    if (map.bounds.isEmpty())
        return QImage();
    const double scale = side / qMax(map.bounds.width(), map.bounds.height());
    const QSize size(qMax(1, int(map.bounds.width() * scale)), qMax(1, int(map.bounds.height() * scale)));
    QImage picture(size, QImage::Format_RGB32);
    drawPlain(&picture, QTransform::fromScale(scale, scale), map.bounds, Boxes);
    return picture;
}

void MapItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    const double zoom = option->levelOfDetailFromTransform(painter->worldTransform());
    const QRectF exposed = option->exposedRect.intersected(map.bounds);
    if (exposed.isEmpty())
        return;
    // Until the picture is made the map is painted as closer up: a zoom
    // step never waits for it.
    if (overviewScale > 0 && zoom <= overviewScale && shownOnly.isEmpty()
        && pictureReady()) {
        const QRectF source(exposed.topLeft() * overviewScale, exposed.size() * overviewScale);
        painter->setRenderHint(QPainter::SmoothPixmapTransform, zoom > overviewScale / 2);
        painter->drawImage(exposed, picture(), source);
        return;
    }
    const bool detailed = zoom >= readable;
    paintLines(painter, exposed, detailed ? NoBoxes : zoom > 0.15 ? OutlinedBoxes : Boxes);
    if (detailed)
        paintDetails(painter, exposed);
    paintMarks(painter, exposed, zoom);
    // The picture of the whole map is begun as the author zooms out towards
    // it, or once the map has stood still a moment; not at each change of
    // the book the map follows.
    if (overviewScale > 0 && !overviewMade.valid() && (zoom <= overviewScale * 4 || age.hasExpired(1000)))
        makePicture();
}

void MapItem::paintLines(QPainter *painter, const QRectF &exposed, BoxStyle boxes) const
{
    // Drawn into a picture of the exposed part first, thin lines straight
    // into its pixels: the painter spends a call on each pixel of a line,
    // and a large book's lines cross the whole map. The picture is kept
    // from one paint to the next: on some machines memory just taken costs
    // more than drawing into it.
    const QTransform toDevice = painter->worldTransform();
    const QRect area = toDevice.mapRect(exposed).toAlignedRect();
    if (area.isEmpty())
        return;
    if (canvas.width() < area.width() || canvas.height() < area.height()) {
        const QSize size = area.size().expandedTo(canvas.size());
        canvas = QImage(); // its memory taken again
        canvas = QImage(size, QImage::Format_RGB32);
    }
    // A smaller part (a strip a scroll uncovers) is drawn in its corner.
    QImage part(canvas.bits(), area.width(), area.height(), canvas.bytesPerLine(), QImage::Format_RGB32);
    QVector<int> curved;
    drawPlain(&part, toDevice * QTransform::fromTranslate(-area.left(), -area.top()), exposed, boxes, false, &curved);
    painter->resetTransform();
    painter->drawImage(area.topLeft(), part);
    painter->setWorldTransform(toDevice);

    painter->setRenderHint(QPainter::Antialiasing);
    painter->setBrush(Qt::NoBrush);
    for (const int i : qAsConst(curved)) {
        const MapLayout::Edge &edge = map.edges.at(i);
        QPainterPath path(edge.curve.constFirst());
        for (int k = 1; k + 2 < edge.curve.size(); k += 3)
            path.cubicTo(edge.curve.at(k), edge.curve.at(k + 1), edge.curve.at(k + 2));
        painter->setPen(QPen(QColor::fromRgba(edge.colour), edge.width, edge.dashed ? Qt::DashLine : Qt::SolidLine));
        painter->drawPath(path);
    }
}

void MapItem::drawPlain(QImage *picture, const QTransform &toPicture, const QRectF &exposed, BoxStyle boxes,
                        bool everyBox, QVector<int> *curved) const
{
    // The picture's thread draws every box: it never reads what the author
    // chose to show, which may change meanwhile.
    const auto hidden = [this, everyBox](int node) { return !everyBox && this->hidden(node); };
    picture->fill(Qt::white);
    const QRectF inside(0, 0, picture->width() - 1, picture->height() - 1);
    // The whole map is drawn without the grid and its marks: so is the
    // picture of it, made in a thread of its own.
    const bool whole = exposed.contains(map.bounds);
    const auto visit = [&](const Grid &grid, QVector<quint32> &seen, int count, auto use) {
        if (whole) {
            for (int i = 0; i < count; ++i) {
                if (!(i & 255) && pictureDropped.load(std::memory_order_relaxed))
                    return;
                use(i);
            }
        } else {
            ++pass;
            forEachIn(grid, exposed, seen, use);
        }
    };
    visit(edgeGrid, edgeSeen, map.edges.size(), [&](int i) {
        const MapLayout::Edge &edge = map.edges.at(i);
        if (edge.curve.isEmpty() || hidden(edge.from) || hidden(edge.to))
            return;
        if (boxes == NoBoxes) {
            // Close up, lines follow their curves: an edge that bends is
            // left to the painter (without one, drawn as its chords).
            for (int k = 0; curved && k + 3 < edge.curve.size(); k += 3) {
                if (!straight(edge.curve.constData() + k)) {
                    curved->append(i);
                    return;
                }
            }
            for (int k = 0; k + 3 < edge.curve.size(); k += 3) {
                QLineF line = toPicture.map(QLineF(edge.curve.at(k), edge.curve.at(k + 3)));
                if (clip(&line, inside))
                    drawLine(picture, line, edge.colour, edge.dashed);
            }
            return;
        }
        QLineF line = toPicture.map(QLineF(edge.curve.constFirst(), edge.tip));
        if (clip(&line, inside))
            drawLine(picture, line, edge.colour, false);
    });
    // A picture dropped on the way (the item goes) is not finished.
    const auto dropped = [&] { return everyBox && pictureDropped.load(std::memory_order_relaxed); };
    if (dropped())
        return;
    if (boxes != NoBoxes) {
        const QRect all(QPoint(0, 0), picture->size());
        uchar *bits = picture->bits();
        const qsizetype stride = picture->bytesPerLine();
        visit(nodeGrid, nodeSeen, map.nodes.size(), [&](int i) {
            if (hidden(i))
                return;
            const MapLayout::Node &node = map.nodes.at(i);
            const QRect box = toPicture.mapRect(node.box).toRect();
            const QRect filled = box & all;
            for (int y = filled.top(); y <= filled.bottom(); ++y)
                std::fill_n(reinterpret_cast<quint32 *>(bits + y * stride) + filled.left(), filled.width(),
                            node.fill ? node.fill : 0xffffffffu);
            const QRectF edge = QRectF(box) & inside;
            if (boxes == OutlinedBoxes && !edge.isEmpty()) {
                for (const QLineF &side : {QLineF(edge.topLeft(), edge.topRight()), QLineF(edge.topRight(), edge.bottomRight()),
                                           QLineF(edge.bottomRight(), edge.bottomLeft()), QLineF(edge.bottomLeft(), edge.topLeft())})
                    drawLine(picture, side, 0xff606060, false);
            }
        });
    }
}

void MapItem::paintDetails(QPainter *painter, const QRectF &exposed) const
{
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(8);
    painter->setFont(font);
    const QRectF near = exposed.adjusted(-12, -12, 12, 12);
    ++pass;
    forEachIn(edgeGrid, exposed, edgeSeen, [&](int i) {
        const MapLayout::Edge &edge = map.edges.at(i);
        if (hidden(edge.from) || hidden(edge.to))
            return;
        const QColor colour = QColor::fromRgba(edge.colour);
        if (!edge.curve.isEmpty() && near.contains(edge.tip)) {
            painter->setPen(Qt::NoPen);
            painter->setBrush(colour);
            painter->drawPolygon(arrowHead(edge.curve.constLast(), edge.tip));
        }
        if (!edge.label.isEmpty() && near.contains(edge.labelAt)) {
            painter->setPen(colour);
            painter->drawText(QRectF(edge.labelAt - QPointF(60, 8), QSizeF(120, 16)), Qt::AlignCenter, edge.label);
        }
    });
    font.setPixelSize(10);
    painter->setFont(font);
    const auto drawNode = [&](int i) {
        const MapLayout::Node &node = map.nodes.at(i);
        painter->setPen(QPen(QColor::fromRgba(node.pen), node.penWidth, node.dashed ? Qt::DashLine : Qt::SolidLine));
        painter->setBrush(node.fill ? QBrush(QColor::fromRgba(node.fill)) : QBrush(Qt::NoBrush));
        painter->drawPath(outline(node));
        if (node.shape == MapLayout::DoubleOctagon) {
            painter->setBrush(Qt::NoBrush);
            painter->drawPath(outline(node, 4));
        }
        painter->setPen(QColor::fromRgba(node.text));
        // Laid-out labels are kept for the boxes last shown: laying text out
        // is most of the cost of a box.
        QVector<QStaticText> *lines = labels.object(i);
        if (!lines) {
            lines = new QVector<QStaticText>;
            for (const QString &text : node.lines) {
                lines->append(QStaticText(text));
                lines->last().setTextFormat(Qt::PlainText);
                lines->last().prepare(QTransform(), font);
            }
            labels.insert(i, lines);
        }
        const double lineHeight = 12;
        double y = node.box.center().y() - lines->size() * lineHeight / 2;
        for (const QStaticText &line : qAsConst(*lines)) {
            painter->drawStaticText(QPointF(node.box.center().x() - line.size().width() / 2, y), line);
            y += lineHeight;
        }
    };
    int start = -1;
    forEachIn(nodeGrid, exposed, nodeSeen, [&](int i) {
        if (hidden(i))
            return;
        if (map.nodes.at(i).entry == first)
            start = i;
        drawNode(i);
    });
    // Where the adventure starts stays in sight, over any box that covers it.
    if (start >= 0)
        drawNode(start);
}
