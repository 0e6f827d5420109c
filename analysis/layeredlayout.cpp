#include "analysis/layeredlayout.h"

#include "analysis/bookmap.h"

#include <algorithm>
#include <cmath>

namespace {

// What the map draws: 10-pixel text, 12 pixels a line.
QSizeF boxFor(const MapLayout::Node &node)
{
    int longest = 0;
    for (const QString &line : node.lines)
        longest = qMax(longest, int(line.size()));
    return QSizeF(qMax(60.0, 6.0 * longest + 16), 12.0 * qMax(1, int(node.lines.size())) + 12);
}

} // namespace

void LayeredLayout::place(MapLayout *map)
{
    const int count = map->nodes.size();
    if (count == 0)
        return;
    QVector<QVector<int>> next(count), before(count);
    for (const MapLayout::Edge &edge : qAsConst(map->edges))
        if (edge.from >= 0 && edge.to >= 0 && edge.from != edge.to) {
            next[edge.from] << edge.to;
            before[edge.to] << edge.from;
        }

    // Layers: the fewest steps from the first entry; what no way reaches,
    // from the first box left, below.
    QVector<int> layer(count, -1);
    int deepest = -1;
    const auto walk = [&](int root, int from) {
        QVector<int> queue{root};
        layer[root] = from;
        for (int k = 0; k < queue.size(); ++k) {
            const int n = queue.at(k);
            deepest = qMax(deepest, layer.at(n));
            for (int m : next.at(n))
                if (layer.at(m) < 0) {
                    layer[m] = layer.at(n) + 1;
                    queue << m;
                }
        }
    };
    if (map->first >= 0 && map->first < count)
        walk(map->first, 0);
    for (int n = 0; n < count; ++n)
        if (layer.at(n) < 0)
            walk(n, deepest + 1);
    QVector<QVector<int>> rows(deepest + 1);
    for (int n = 0; n < count; ++n)
        rows[layer.at(n)] << n;

    // Order within each layer: sweeps down (by the boxes above that lead
    // here) and up (by the boxes below that this leads to).
    QVector<double> at(count);
    const auto number = [&](const QVector<int> &row) {
        for (int k = 0; k < row.size(); ++k)
            at[row.at(k)] = k;
    };
    for (const QVector<int> &row : qAsConst(rows))
        number(row);
    const auto sweep = [&](int r, const QVector<QVector<int>> &links, int side) {
        QVector<int> &row = rows[r];
        QVector<double> key(count);
        for (int n : qAsConst(row)) {
            double sum = 0;
            int seen = 0;
            for (int m : links.at(n))
                if (layer.at(m) == r + side) {
                    sum += at.at(m);
                    ++seen;
                }
            key[n] = seen ? sum / seen : at.at(n);
        }
        std::stable_sort(row.begin(), row.end(), [&key](int a, int b) { return key.at(a) < key.at(b); });
        number(row);
    };
    for (int pass = 0; pass < 4; ++pass) {
        for (int r = 1; r < rows.size(); ++r)
            sweep(r, before, -1);
        for (int r = rows.size() - 2; r >= 0; --r)
            sweep(r, next, +1);
    }

    // A layer wider than the map would be square is set on several lines,
    // in its order (a book of random links has few, very wide layers).
    const double gap = 24, between = 56;
    double area = 0, broadest = 0;
    for (int n = 0; n < count; ++n) {
        const QSizeF size = boxFor(map->nodes.at(n));
        map->nodes[n].box.setSize(size);
        area += (size.width() + gap) * (size.height() + between);
        broadest = qMax(broadest, size.width() + gap);
    }
    const double limit = qMax(broadest, std::sqrt(area * 1.6));
    QVector<QVector<int>> lines;
    for (const QVector<int> &row : qAsConst(rows)) {
        double width = 0;
        lines.append(QVector<int>());
        for (int n : row) {
            const double w = map->nodes.at(n).box.width() + gap;
            if (width + w > limit && !lines.constLast().isEmpty()) {
                lines.append(QVector<int>());
                width = 0;
            }
            lines.last() << n;
            width += w;
        }
    }
    rows = lines;

    // Places: layers one under the other, each centred on the widest.
    QVector<double> widths(rows.size()), heights(rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        for (int n : qAsConst(rows.at(r))) {
            const QSizeF size = map->nodes.at(n).box.size();
            widths[r] += size.width() + gap;
            heights[r] = qMax(heights.at(r), size.height());
        }
    }
    // A gamebook runs long and narrow (a few entries a layer, hundreds of
    // layers): its layers flow into columns, as text does on a page, so that
    // the whole map fits a screen's shape.
    const double widest = *std::max_element(widths.cbegin(), widths.cend());
    double total = 0;
    for (double h : qAsConst(heights))
        total += h + between;
    const int columns = qBound(1, qRound(std::sqrt(total / ((widest + between) * 0.625))), int(rows.size()));
    const int perColumn = (rows.size() + columns - 1) / columns;
    double y = 20, bottom = 0;
    for (int r = 0; r < rows.size(); ++r) {
        if (r % perColumn == 0)
            y = 20;
        const double left = 20 + (r / perColumn) * (widest + 2 * between);
        double x = left + (widest - widths.at(r)) / 2;
        for (int n : qAsConst(rows.at(r))) {
            QRectF &box = map->nodes[n].box;
            box.moveTopLeft(QPointF(x, y + (heights.at(r) - box.height()) / 2));
            x += box.width() + gap;
        }
        y += heights.at(r) + between;
        bottom = qMax(bottom, y);
    }
    const int used = (rows.size() + perColumn - 1) / perColumn;
    map->bounds = QRectF(0, 0, 40 + used * widest + (used - 1) * 2 * between, bottom - between + 20);
    for (MapLayout::Edge &edge : map->edges)
        if (edge.from >= 0 && edge.to >= 0)
            BookMap::drawStraight(&edge, map->nodes.at(edge.from).box, map->nodes.at(edge.to).box);
    map->layered = true;
}
