#include "analysis/mapplaces.h"

#include "analysis/bookmap.h"
#include "book/atomicfile.h"
#include "book/book.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QMap>

#include <cmath>
#include <iterator>
#include <queue>

namespace {

const QByteArray header = "orvandel-carte 1";

// Each node's key in the places file; empty for a node that has none (an
// entry whose id is no number, and what it leads to that is no number).
QVector<QByteArray> keysOf(const Book &book, const MapLayout &map)
{
    QVector<QByteArray> keys(map.nodes.size());
    QHash<int, int> further; // number -> entries that bore it after the first
    for (int j = 0; j < map.nodes.size(); ++j) {
        const MapLayout::Node &node = map.nodes.at(j);
        if (node.entry >= 0 && node.entry < book.size()) {
            const int number = book.number(node.entry);
            if (number < 0)
                continue;
            keys[j] = QByteArray::number(number);
            if (book.indexOfNumber(number) != node.entry)
                keys[j] += '/' + QByteArray::number(++further[number] + 1);
        } else if (node.entry < 0 && node.missing >= 0) {
            keys[j] = '?' + QByteArray::number(node.missing);
        }
    }
    // A reference that is no number has a box of its own, known by the entry
    // it is written in and its rank there.
    QHash<int, int> written; // node -> its references that are no number
    for (const MapLayout::Edge &edge : map.edges) {
        const MapLayout::Node &to = map.nodes.at(edge.to);
        if (to.entry < 0 && to.missing < 0 && keys.at(edge.to).isEmpty() && !keys.at(edge.from).isEmpty())
            keys[edge.to] = keys.at(edge.from) + '!' + QByteArray::number(++written[edge.from]);
    }
    return keys;
}

// "?N", "N", "N/K", "N!K" or "N/K!K": numbers of at most nine digits, ranks
// of at most six.
bool isKey(const QByteArray &key)
{
    int at = 0;
    const auto digits = [&](int most) {
        const int from = at;
        while (at < key.size() && key.at(at) >= '0' && key.at(at) <= '9')
            ++at;
        return at > from && at - from <= most;
    };
    if (key.startsWith('?')) {
        ++at;
        return digits(9) && at == key.size();
    }
    if (!digits(9))
        return false;
    if (at < key.size() && key.at(at) == '/' && (++at, !digits(6)))
        return false;
    if (at < key.size() && key.at(at) == '!' && (++at, !digits(6)))
        return false;
    return at == key.size();
}

QByteArray text(double value)
{
    QByteArray out = QByteArray::number(value, 'f', 2);
    return out == "-0.00" ? QByteArray("0.00") : out;
}

// The words of `line` from `from` on as numbers, within the sizes a map
// can take; false when one is not.
bool numbers(const QList<QByteArray> &words, int from, QVector<double> *out)
{
    out->clear();
    for (int k = from; k < words.size(); ++k) {
        bool ok = false;
        const double value = words.at(k).toDouble(&ok);
        if (!ok || !std::isfinite(value) || std::abs(value) > 1e8)
            return false;
        out->append(value);
    }
    return true;
}

} // namespace

QString MapPlaces::pathFor(const QString &bookPath)
{
    return bookPath + QStringLiteral(".carte");
}

MapPlaces MapPlaces::of(const Book &book, const MapLayout &map)
{
    return ofKeys(keysOf(book, map), map);
}

MapPlaces MapPlaces::ofKeys(const QVector<QByteArray> &keys, const MapLayout &map)
{
    MapPlaces places;
    places.size = map.bounds.size();
    places.boxes.reserve(map.nodes.size());
    for (int j = 0; j < map.nodes.size(); ++j)
        if (!keys.at(j).isEmpty())
            places.boxes.append({keys.at(j), map.nodes.at(j).box});
    // Arrows laid out by force run straight from box to box, as they are
    // drawn again; only a layered map's curves are worth keeping.
    if (map.layered) {
        for (const MapLayout::Edge &edge : map.edges)
            if (!keys.at(edge.from).isEmpty() && !keys.at(edge.to).isEmpty() && !edge.curve.isEmpty())
                places.curves.append({keys.at(edge.from), keys.at(edge.to), edge.curve, edge.tip, edge.labelAt});
    }
    return places;
}

bool MapPlaces::read(const QString &path)
{
    size = QSizeF();
    boxes.clear();
    keyed.clear();
    curves.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    const auto damaged = [&] {
        size = QSizeF();
        boxes.clear();
        curves.clear();
        error = tr("« %1 » ne garde pas les places d'une carte lisibles par cette version d'Orvandel")
                    .arg(QDir::toNativeSeparators(path));
        return false;
    };
    // Ten times what a hundred thousand entries take.
    if (file.size() > (qint64(64) << 20))
        return damaged();
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return false;
    }
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.value(0) != header)
        return damaged();
    bool ended = false;
    QVector<double> values;
    for (int l = 1; l < lines.size(); ++l) {
        const QByteArray &line = lines.at(l);
        if (ended) {
            if (!line.isEmpty() || l + 1 != lines.size())
                return damaged();
            continue;
        }
        const QList<QByteArray> words = line.split(' ');
        const QByteArray &kind = words.at(0);
        if (kind == "size") {
            if (words.size() != 3 || !numbers(words, 1, &values) || values.at(0) < 0 || values.at(1) < 0)
                return damaged();
            size = QSizeF(values.at(0), values.at(1));
        } else if (kind == "box") {
            if (words.size() != 6 || !isKey(words.at(1)) || !numbers(words, 2, &values) || values.at(2) <= 0
                || values.at(3) <= 0)
                return damaged();
            boxes.append({words.at(1), QRectF(values.at(0), values.at(1), values.at(2), values.at(3))});
        } else if (kind == "curve") {
            if (words.size() < 15 || !isKey(words.at(1)) || !isKey(words.at(2)) || !numbers(words, 3, &values)
                || values.size() % 2 != 0 || (values.size() / 2 - 3) % 3 != 0)
                return damaged();
            Curve curve{words.at(1), words.at(2), {}, QPointF(values.at(0), values.at(1)),
                        QPointF(values.at(2), values.at(3))};
            for (int k = 4; k < values.size(); k += 2)
                curve.points.append(QPointF(values.at(k), values.at(k + 1)));
            curves.append(curve);
        } else if (kind == "end") {
            if (words.size() != 3 || words.at(1) != QByteArray::number(boxes.size())
                || words.at(2) != QByteArray::number(curves.size()))
                return damaged();
            ended = true;
        }
        // Any other line is of a later version, which this one passes over.
    }
    if (!ended)
        return damaged();
    error.clear();
    return true;
}

bool MapPlaces::write(const QString &path)
{
    QByteArray out;
    out.reserve(64 + boxes.size() * 40 + curves.size() * 160);
    out += header + "\nsize " + text(size.width()) + ' ' + text(size.height()) + '\n';
    for (const Box &box : qAsConst(boxes))
        out += "box " + box.key + ' ' + text(box.box.x()) + ' ' + text(box.box.y()) + ' ' + text(box.box.width())
            + ' ' + text(box.box.height()) + '\n';
    for (const Curve &curve : qAsConst(curves)) {
        out += "curve " + curve.from + ' ' + curve.to + ' ' + text(curve.tip.x()) + ' ' + text(curve.tip.y()) + ' '
            + text(curve.labelAt.x()) + ' ' + text(curve.labelAt.y());
        for (const QPointF &point : curve.points)
            out += ' ' + text(point.x()) + ' ' + text(point.y());
        out += '\n';
    }
    out += "end " + QByteArray::number(boxes.size()) + ' ' + QByteArray::number(curves.size()) + '\n';
    // A file the map can make again: replaced whole, not synced.
    AtomicFile file(path, AtomicFile::RefuseLinks, AtomicFile::Unsynced);
    if (!file.write(out)) {
        error = file.errorString();
        return false;
    }
    error.clear();
    return true;
}

bool MapPlaces::place(const Book &book, MapLayout *map, bool *changed, MapPlaces *now) const
{
    if (boxes.isEmpty())
        return false;
    const QVector<QByteArray> keys = keysOf(book, *map);
    // The boxes by key, made once for the places read or kept.
    if (keyed.isEmpty()) {
        keyed.reserve(boxes.size());
        for (int k = boxes.size() - 1; k >= 0; --k)
            keyed.insert(boxes.at(k).key, k);
    }
    const QHash<QByteArray, int> &kept = keyed;
    // The kept box of each node, -1 for a node new to the map. An entry
    // written since where a missing one was drawn takes its place.
    QVector<int> keptBox(map->nodes.size(), -1);
    QVector<bool> used(boxes.size(), false);
    int entries = 0, fresh = 0, freshKeys = 0, usedBoxes = 0;
    for (int j = 0; j < map->nodes.size(); ++j) {
        const QByteArray &key = keys.at(j);
        int k = key.isEmpty() ? -1 : kept.value(key, -1);
        if (k < 0 && map->nodes.at(j).entry >= 0 && !key.isEmpty() && !key.contains('/'))
            k = kept.value('?' + key, -1);
        if (k >= 0 && !used.at(k)) {
            used[k] = true;
            keptBox[j] = k;
            ++usedBoxes;
        } else {
            freshKeys += !key.isEmpty();
        }
        if (map->nodes.at(j).entry >= 0) {
            ++entries;
            fresh += keptBox.at(j) < 0;
        }
    }
    if ((map->first >= 0 && keptBox.at(map->first) < 0) || fresh * 4 > entries)
        return false;

    // A new box takes the size of a kept one of its shape whose label is as
    // long (the largest of that shape when none is), and a place on a
    // lattice as wide as a map laid out by force sets its boxes apart.
    const double gap = 6;
    const auto longest = [](const MapLayout::Node &node) {
        int length = 0;
        for (const QString &line : node.lines)
            length = qMax(length, line.size());
        return length;
    };
    QSizeF largest(1, 1);
    QMap<QPair<int, int>, QSizeF> sizes; // shape, label length -> largest size
    QRectF all(QPointF(0, 0), size.expandedTo(QSizeF(1, 1)));
    for (int j = 0; j < map->nodes.size(); ++j) {
        if (keptBox.at(j) >= 0) {
            MapLayout::Node &node = map->nodes[j];
            node.box = boxes.at(keptBox.at(j)).box;
            largest = largest.expandedTo(node.box.size());
            QSizeF &like = sizes[{node.shape, longest(node)}];
            like = like.expandedTo(node.box.size());
            all |= node.box;
        }
    }
    for (int j = 0; j < map->nodes.size(); ++j) {
        MapLayout::Node &node = map->nodes[j];
        if (keptBox.at(j) >= 0)
            continue;
        QSizeF like = largest;
        const auto longer = sizes.lowerBound({node.shape, longest(node)});
        const auto next = sizes.lowerBound({node.shape + 1, 0});
        if (longer != next)
            like = longer.value();
        else if (next != sizes.begin() && std::prev(next).key().first == node.shape)
            like = std::prev(next).value();
        node.box = QRectF(QPointF(0, 0), like);
    }
    const QSizeF slot = largest + QSizeF(gap, gap);
    // Where boxes stand, by cells of a slot's size: over the map, lists
    // chained through one array; around it, in a table.
    const auto cellOf = [&slot](double x, double y) {
        return QPoint(int(std::floor(x / slot.width())), int(std::floor(y / slot.height())));
    };
    const QPoint topLeft = cellOf(all.left(), all.top()), bottomRight = cellOf(all.right(), all.bottom());
    const qint64 spread = qint64(bottomRight.x() - topLeft.x() + 1) * (bottomRight.y() - topLeft.y() + 1);
    const QRect over = spread <= 4000000 ? QRect(topLeft, bottomRight) : QRect();
    QVector<int> head, chained, next;
    QHash<QPair<int, int>, QVector<int>> around;
    const auto cellsOf = [&](const QRectF &rect, auto visit) {
        const QPoint a = cellOf(rect.left(), rect.top()), b = cellOf(rect.right(), rect.bottom());
        for (int y = a.y(); y <= b.y(); ++y)
            for (int x = a.x(); x <= b.x(); ++x)
                visit(x, y);
    };
    const auto stand = [&](int j) {
        cellsOf(map->nodes.at(j).box, [&](int x, int y) {
            if (over.contains(x, y)) {
                int &first = head[(y - over.top()) * over.width() + x - over.left()];
                chained.append(j);
                next.append(first);
                first = chained.size() - 1;
            } else {
                around[{x, y}].append(j);
            }
        });
    };
    const auto isFree = [&](const QRectF &rect) {
        const QRectF near = rect.adjusted(-gap + 0.5, -gap + 0.5, gap - 0.5, gap - 0.5);
        bool free = true;
        cellsOf(near, [&](int x, int y) {
            if (over.contains(x, y)) {
                for (int k = head.at((y - over.top()) * over.width() + x - over.left()); free && k >= 0; k = next.at(k))
                    free = !map->nodes.at(chained.at(k)).box.intersects(near);
            } else {
                for (const int other : around.value({x, y}))
                    free = free && !map->nodes.at(other).box.intersects(near);
            }
        });
        return free;
    };
    // Where boxes stand matters only when there are new ones.
    const bool anyNew = keptBox.contains(-1);
    if (anyNew)
        head.fill(-1, over.isEmpty() ? 0 : int(spread));
    QVector<bool> placed(map->nodes.size(), false);
    for (int j = 0; j < map->nodes.size(); ++j) {
        if (keptBox.at(j) >= 0) {
            placed[j] = true;
            if (anyNew)
                stand(j);
        }
    }
    // The free place nearest to `near`, on the lattice through it, below
    // rather than above; ring after ring, until no ring further out can
    // hold a nearer one.
    const auto setNear = [&](int j, const QPointF &near) {
        const QRectF box = map->nodes.at(j).box;
        double best = -1;
        for (int r = 1; r <= 64 && (best < 0 || r * qMin(slot.width(), slot.height()) < best); ++r) {
            for (int dy = -r; dy <= r; ++dy) {
                for (int dx = -r; dx <= r; dx += (dy == -r || dy == r) ? 1 : 2 * r) {
                    QRectF candidate = box;
                    candidate.moveCenter(near + QPointF(dx * slot.width(), dy * slot.height()));
                    const double distance = std::hypot(dx * slot.width(), dy * slot.height()) - (dy > 0 ? 0.5 : 0);
                    if ((best < 0 || distance < best) && isFree(candidate)) {
                        best = distance;
                        map->nodes[j].box = candidate;
                    }
                }
            }
        }
        return best >= 0;
    };
    // At the foot of the map, row after row.
    QPointF foot(all.left() + slot.width() / 2, all.bottom() + slot.height() / 2 + gap);
    const auto setAtFoot = [&](int j) {
        QRectF box = map->nodes.at(j).box;
        for (;;) {
            box.moveCenter(foot);
            foot.rx() += slot.width();
            if (foot.x() > qMax(all.right(), all.left() + 20 * slot.width()))
                foot = QPointF(all.left() + slot.width() / 2, foot.y() + slot.height());
            if (isFree(box))
                break;
        }
        map->nodes[j].box = box;
    };

    // New boxes near a box that leads to them, one after the other along
    // the arrows from the boxes kept.
    QVector<QVector<int>> into(map->nodes.size()), out(map->nodes.size());
    for (const MapLayout::Edge &edge : qAsConst(map->edges)) {
        if (!placed.at(edge.to)) {
            into[edge.to].append(edge.from);
            out[edge.from].append(edge.to);
        }
    }
    std::queue<int> waiting;
    const auto follow = [&](int j) {
        for (const int next : qAsConst(out.at(j)))
            if (!placed.at(next))
                waiting.push(next);
    };
    for (int j = 0; j < map->nodes.size(); ++j)
        if (placed.at(j))
            follow(j);
    for (int start = 0;;) {
        while (!waiting.empty()) {
            const int j = waiting.front();
            waiting.pop();
            if (placed.at(j))
                continue;
            int from = -1;
            for (const int before : qAsConst(into.at(j)))
                if (from < 0 && placed.at(before))
                    from = before;
            if (!setNear(j, map->nodes.at(from).box.center()))
                setAtFoot(j);
            placed[j] = true;
            stand(j);
            follow(j);
        }
        while (start < map->nodes.size() && placed.at(start))
            ++start;
        if (start == map->nodes.size())
            break;
        setAtFoot(start);
        placed[start] = true;
        stand(start);
        follow(start);
    }

    // Arrows between kept boxes follow their kept curves, the k-th between
    // two boxes the k-th kept; the others run straight.
    QHash<QByteArray, QVector<int>> between;
    for (int c = 0; c < curves.size(); ++c)
        between[curves.at(c).from + ' ' + curves.at(c).to].append(c);
    QHash<QByteArray, int> taken;
    int usedCurves = 0;
    for (MapLayout::Edge &edge : map->edges) {
        if (!curves.isEmpty() && keptBox.at(edge.from) >= 0 && keptBox.at(edge.to) >= 0) {
            const QByteArray pair = keys.at(edge.from) + ' ' + keys.at(edge.to);
            const QVector<int> course = between.value(pair);
            int &next = taken[pair];
            if (next < course.size()) {
                const Curve &curve = curves.at(course.at(next++));
                edge.curve = curve.points;
                edge.tip = curve.tip;
                edge.labelAt = curve.labelAt;
                ++usedCurves;
                continue;
            }
        }
        BookMap::drawStraight(&edge, map->nodes.at(edge.from).box, map->nodes.at(edge.to).box);
    }

    // The map begins at 0,0 again when new boxes went above or left of it.
    double left = 0, top = 0, right = size.width(), bottom = size.height();
    const auto take = [&](const QPointF &point) {
        left = qMin(left, point.x());
        top = qMin(top, point.y());
        right = qMax(right, point.x());
        bottom = qMax(bottom, point.y());
    };
    for (const MapLayout::Node &node : qAsConst(map->nodes)) {
        take(node.box.topLeft());
        take(node.box.bottomRight());
    }
    for (const MapLayout::Edge &edge : qAsConst(map->edges))
        for (const QPointF &point : edge.curve)
            take(point);
    const QPointF shift(-left, -top);
    if (!shift.isNull()) {
        for (MapLayout::Node &node : map->nodes)
            node.box.translate(shift);
        for (MapLayout::Edge &edge : map->edges) {
            for (QPointF &point : edge.curve)
                point += shift;
            edge.tip += shift;
            edge.labelAt += shift;
        }
    }
    map->bounds = QRectF(0, 0, right - left, bottom - top);
    const bool differs = freshKeys > 0 || usedBoxes < boxes.size() || usedCurves < curves.size();
    if (changed)
        *changed = differs;
    if (now && differs) {
        *now = ofKeys(keys, *map); // the nodes and their keys as they were
        // The table of boxes by key goes along, renumbered: made anew it
        // would cost as much as the rest of the placing.
        if (!keyed.isEmpty()) {
            QVector<int> moved(boxes.size(), -1);
            for (int j = 0, n = 0; j < map->nodes.size(); ++j) {
                if (keys.at(j).isEmpty())
                    continue;
                if (keptBox.at(j) >= 0)
                    moved[keptBox.at(j)] = n;
                ++n;
            }
            QHash<QByteArray, int> table = std::move(keyed);
            keyed = QHash<QByteArray, int>();
            for (auto it = table.begin(); it != table.end();) {
                const int n = moved.value(it.value(), -1);
                if (n < 0 || now->boxes.at(n).key != it.key()) {
                    it = table.erase(it);
                } else {
                    it.value() = n;
                    ++it;
                }
            }
            for (int n = 0; n < now->boxes.size(); ++n)
                if (!table.contains(now->boxes.at(n).key))
                    table.insert(now->boxes.at(n).key, n);
            now->keyed = std::move(table);
        }
    }
    return true;
}
