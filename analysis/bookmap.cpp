#include "analysis/bookmap.h"

#include "analysis/layeredlayout.h"

#include "book/entryid.h"
#include "book/reference.h"

#include <QHash>
#include <QMutex>
#include <QFileDevice>
#include <QSet>
#include <QSizeF>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include <graphviz/cgraph.h>
#include <graphviz/gvc.h>

namespace {

// A DOT double-quoted string; "\n" in `text` becomes a centred line break.
QByteArray quoted(const QString &text)
{
    QByteArray out = "\"";
    for (const uint c : text.toUcs4()) {
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        if (c == '"' || c == '\\')
            out += '\\';
        out += QString::fromUcs4(&c, 1).toUtf8();
    }
    return out + '"';
}

// Labels stay one short line whatever an id or a text holds: Graphviz
// crashes on labels of tens of thousands of lines.
QString oneLine(const QString &text, int length = 40)
{
    // Most are a number already: shared, not copied.
    if (text.size() <= length && !text.isEmpty() && !text.front().isSpace() && !text.back().isSpace()) {
        bool plain = true;
        for (const QChar c : text)
            plain = plain && !c.isSpace();
        if (plain)
            return text;
    }
    const QString simplified = text.simplified();
    return simplified.size() > length ? simplified.left(length - 1) + QChar(0x2026) : simplified;
}

// The first words of text.simplified(), at most 39 characters, "…" when
// more follows; only the start of a long text is read.
QString firstWords(const QString &text, int words = 5)
{
    QString head;
    head.reserve(41);
    bool space = false, more = false;
    for (const QChar c : text) {
        if (c.isSpace()) {
            space = !head.isEmpty();
            continue;
        }
        if (space) {
            if (--words == 0) {
                more = true;
                break;
            }
            head += QLatin1Char(' ');
            space = false;
        }
        head += c;
        if (head.size() > 39) {
            more = true;
            break;
        }
    }
    return more ? head.left(39) + QChar(0x2026) : head;
}

} // namespace

// The layered layout reads best but grows steeply with the references: a
// hundred entries with 235 references take 3 s, 150 with 371 over a minute.
// Past this many references the force-directed one is used, which lays ten
// thousand entries out in seconds.
const int layeredReferences = 150;
// Up to a thousand entries the DOT written for Graphviz's own tools also
// has Graphviz move boxes off one another (0.8 s of the 0.9 s a thousand
// entries take, 41 s at ten thousand). The map view sets them apart itself,
// in a few milliseconds, and lays out without it.
const int separatedBoxes = 1000;
// Up to this many entries a map too rich in references for Graphviz's
// layered layout gets one of our own (LayeredLayout), still read from the
// top down; beyond, the force-directed one.
const int layeredEntries = 1000;

namespace {

const quint32 plainFill = 0xfffff8e1, black = 0xff000000, red = 0xffc62828;

QByteArray hex(quint32 colour)
{
    return '"' + QByteArray::number(0x1000000 | (colour & 0xffffff), 16).replace(0, 1, "#") + '"';
}

// Entries are "n<i>", the book's entry i; missing targets and references
// that are no number "x<j>", node j of the drawing.
QByteArray nodeName(const MapLayout &map, int node)
{
    return (map.nodes.at(node).entry >= 0 ? "n" : "x") + QByteArray::number(node);
}

QByteArray dotOf(const MapLayout &map, bool separateInGraphviz)
{
    int entries = 0;
    for (const MapLayout::Node &node : map.nodes)
        entries += node.entry >= 0;
    QByteArray dot;
    dot.reserve(map.nodes.size() * 160 + map.edges.size() * 80 + 512);
    // Edge labels cost Graphviz dearly on large graphs (a minute for ten
    // thousand entries against three seconds without): there the kind of a
    // reference shows by its colour and in its tooltip. The graph names its
    // layout, which renderSvg and Graphviz's own tools both follow.
    dot += map.layered ? "digraph livre {\n  graph [layout=dot, rankdir=TB, outputorder=edgesfirst];\n"
        : separateInGraphviz && entries <= separatedBoxes
        ? "digraph livre {\n  graph [layout=sfdp, quadtree=fast, overlap=prism, outputorder=edgesfirst];\n"
        : "digraph livre {\n  graph [layout=sfdp, quadtree=fast, outputorder=edgesfirst];\n";
    dot += "  node [shape=box, style=\"rounded,filled\", fillcolor=\"#fff8e1\", "
           "fontname=\"DejaVu Sans\", fontsize=10];\n"
           "  edge [fontname=\"DejaVu Sans\", fontsize=8, color=\"#555555\"];\n";
    for (int j = 0; j < map.nodes.size(); ++j) {
        const MapLayout::Node &node = map.nodes.at(j);
        dot += "  " + nodeName(map, j) + " [label=" + quoted(node.lines.join(QLatin1Char('\n')));
        if (node.shape != MapLayout::Box)
            dot += node.shape == MapLayout::Octagon ? ", shape=octagon" : ", shape=doubleoctagon";
        if (!node.fill)
            dot += node.dashed ? ", style=\"dashed\"" : ", style=\"\"";
        else if (node.dashed)
            dot += ", style=\"rounded,filled,dashed\"";
        if (node.fill && node.fill != plainFill)
            dot += ", fillcolor=" + hex(node.fill);
        if (node.pen != black)
            dot += ", color=" + hex(node.pen);
        if (node.text != black)
            dot += ", fontcolor=" + hex(node.text);
        if (node.penWidth != 1)
            dot += ", penwidth=" + QByteArray::number(node.penWidth);
        dot += "];\n";
    }
    for (const MapLayout::Edge &edge : map.edges) {
        dot += "  " + nodeName(map, edge.from) + " -> " + nodeName(map, edge.to)
            + (map.layered ? " [label=" : " [tooltip=") + quoted(Reference::kindName(Reference::Kind(edge.kind)))
            + ", color=" + hex(edge.colour) + ", fontcolor=" + hex(edge.colour);
        if (edge.dashed)
            dot += ", style=dashed";
        if (edge.width != 1)
            dot += ", penwidth=" + QByteArray::number(edge.width);
        dot += "];\n";
    }
    // The adventure starts at the top, whatever leads back to it.
    if (map.layered && map.first >= 0)
        dot += "  { rank=source; " + nodeName(map, map.first) + " }\n";
    dot += "}\n";
    return dot;
}

} // namespace

MapLayout BookMap::drawing(const Book &book, const QVector<BookFinding> &findings,
                           const QVector<int> &reached, int readers)
{
    // What the findings say of each entry, one bit a kind.
    enum : quint8 { Unreachable = 1, Ending = 2, Victory = 4, Death = 8, Flawed = 16 };
    QVector<quint8> marks(book.size(), 0);
    const auto mark = [&marks](int entry, quint8 bits) {
        if (entry >= 0 && entry < marks.size())
            marks[entry] |= bits;
    };
    for (const BookFinding &f : findings) {
        switch (f.kind) {
        case BookFinding::Unreachable: mark(f.entry, Unreachable); break;
        case BookFinding::Victory: mark(f.entry, Victory | Ending); break;
        case BookFinding::Death: mark(f.entry, Death | Ending); break;
        case BookFinding::Ending: mark(f.entry, Ending); break;
        case BookFinding::DuplicateId: // the entry that bore the number first, too
            mark(f.entry, Flawed);
            mark(book.indexOfNumber(book.number(f.entry)), Flawed);
            break;
        case BookFinding::NotANumber: mark(f.entry, Flawed); break;
        default: break;
        }
    }

    // References are counted first, read as the arrows are drawn.
    int count = 0;
    for (int i = 0; i < book.size(); ++i) {
        const Entry &e = book.entry(i);
        count += e.choices.size() + e.monsters.size() + (e.hasFlee() ? 1 : 0) + (e.hasLuck() ? 2 : 0);
    }
    MapLayout map;
    map.layered = count <= layeredReferences;
    map.first = book.firstIndex();
    map.nodes.reserve(book.size());
    map.edges.reserve(count);
    for (int i = 0; i < book.size(); ++i) {
        const Entry &entry = book.entry(i);
        MapLayout::Node node;
        node.entry = i;
        const bool heat = readers > 0 && i < reached.size();
        const double share = heat ? double(reached.at(i)) / readers : 0;
        node.lines.reserve(2);
        node.lines << oneLine(entry.id);
        const QString second = heat ? QStringLiteral("%1 %").arg(qRound(share * 100)) : firstWords(entry.text);
        if (!second.isEmpty())
            node.lines << second;
        node.fill = plainFill;
        if (heat) {
            // From pale for few readers to deep orange for all of them.
            const int fade = int(255 - share * 180);
            node.fill = 0xffff0000u | quint32(qBound(60, fade, 255)) << 8 | quint32(qBound(0, fade - 60, 255));
        } else {
            const quint8 m = marks.at(i);
            if (m & Unreachable) {
                node.fill = 0xffe0e0e0;
                node.dashed = true;
            }
            if (m & Ending) {
                // A victory in green, a death in grey-red, any other ending in gold.
                node.shape = MapLayout::DoubleOctagon;
                node.fill = (m & Victory) ? 0xffa5d6a7 : (m & Death) ? 0xffef9a9a : 0xffffe082;
            }
            if (m & Flawed) {
                node.pen = red;
                node.penWidth = 2;
            }
            if (i == book.firstIndex())
                node.fill = 0xffc8e6c9;
        }
        map.nodes.append(std::move(node));
    }
    QHash<int, int> missing; // number -> the node drawn for it
    static const quint32 colours[] = {0xff555555, 0xff6a1b9a, 0xff1565c0, 0xff2e7d32, 0xffef6c00};
    for (int i = 0; i < book.size(); ++i) {
        Reference::forEach(book.entry(i), [&](Reference::Kind kind, const QString &text) {
            const int target = EntryId::parse(text);
            MapLayout::Edge edge;
            edge.from = i;
            edge.to = book.indexOfNumber(target);
            edge.kind = kind;
            edge.colour = colours[kind];
            if (map.layered)
                edge.label = Reference::kindName(kind);
            if (edge.to < 0) {
                // A missing entry is drawn once for all who lead there; a
                // reference that is no number at all, where it is written.
                edge.to = target >= 0 ? missing.value(target, -1) : -1;
                if (edge.to < 0) {
                    MapLayout::Node node;
                    node.lines << (text.trimmed().isEmpty() ? tr("(vide)") : oneLine(text)) + QStringLiteral(" ?");
                    node.missing = target;
                    node.shape = MapLayout::Octagon;
                    node.fill = 0;
                    node.dashed = true;
                    node.pen = node.text = red;
                    edge.to = map.nodes.size();
                    if (target >= 0)
                        missing.insert(target, edge.to);
                    map.nodes.append(std::move(node));
                }
                edge.dashed = true;
                edge.width = 2;
            }
            map.edges.append(std::move(edge));
        });
    }
    return map;
}

QByteArray BookMap::dot(const Book &book, const QVector<BookFinding> &findings,
                        const QVector<int> &reached, int readers)
{
    return dotOf(drawing(book, findings, reached, readers), true);
}

namespace {

// Graphviz keeps global state: one layout at a time in the process, in one
// context for the whole run. Freeing a context leaves its text-layout plugin
// with a dangling font-name cache, read by the next context's first label (a
// use-after-free that AddressSanitizer showed on the second map of a run).
QMutex graphvizBusy;

GVC_t *graphviz()
{
    static GVC_t *const context = gvContext();
    return context;
}

// Reads `dot`, lays it out in the layout it names and hands the laid-out
// graph to `use`; false with `error` set when any step fails.
template<typename Use>
bool withLayout(QByteArray dot, QString *error, Use use)
{
    QMutexLocker locker(&graphvizBusy);
    Agraph_t *graph = agmemread(dot.constData());
    dot.clear(); // the graph holds it now
    if (!graph) {
        *error = BookMap::tr("Graphviz n'a pas pu lire le graphe.");
        return false;
    }
    const char *layout = agget(graph, const_cast<char *>("layout"));
    bool ok = gvLayout(graphviz(), graph, layout && *layout ? layout : "sfdp") == 0;
    if (ok) {
        ok = use(graph);
        gvFreeLayout(graphviz(), graph);
    } else {
        *error = BookMap::tr("Graphviz n'a pas pu mettre le graphe en page.");
    }
    agclose(graph);
    return ok;
}

// "#rrggbb" as 0xffrrggbb; our graphs name every colour that way.
quint32 colour(void *object, const char *attribute, quint32 otherwise)
{
    const char *value = agget(object, const_cast<char *>(attribute));
    if (!value || value[0] != '#' || qstrlen(value) != 7)
        return otherwise;
    bool ok = false;
    const uint rgb = QByteArray(value + 1).toUInt(&ok, 16);
    return ok ? 0xff000000u | rgb : otherwise;
}

double number(void *object, const char *attribute, double otherwise)
{
    const char *value = agget(object, const_cast<char *>(attribute));
    bool ok = false;
    const double read = value ? QByteArray(value).toDouble(&ok) : 0;
    return ok ? read : otherwise;
}

bool has(void *object, const char *attribute, const char *word)
{
    const char *value = agget(object, const_cast<char *>(attribute));
    return value && QByteArray(value).split(',').contains(word);
}

} // namespace

namespace {

// Where the segment from the centre of `box` towards `towards` leaves the box.
QPointF leaving(const QRectF &box, const QPointF &towards)
{
    const QPointF d = towards - box.center();
    const double tx = qFuzzyIsNull(d.x()) ? 1e9 : box.width() / 2 / qAbs(d.x());
    const double ty = qFuzzyIsNull(d.y()) ? 1e9 : box.height() / 2 / qAbs(d.y());
    return box.center() + d * qMin(1.0, qMin(tx, ty));
}

// Sets each box in the free slot of a grid nearest to where the layout put
// it, slots as large as the largest box: none covers another any more, and
// the map keeps its shape. Boxes are placed in the book's order, so the
// adventure's start keeps its own place.
void separate(QVector<MapLayout::Node> &nodes)
{
    const double margin = 6;
    QSizeF slot(1, 1);
    for (const MapLayout::Node &node : qAsConst(nodes))
        slot = slot.expandedTo(node.box.size() + QSizeF(margin, margin));
    QSet<QPair<qint64, qint64>> taken;
    taken.reserve(nodes.size());
    for (MapLayout::Node &node : nodes) {
        const QPointF c = node.box.center();
        const qint64 x = qRound64(c.x() / slot.width()), y = qRound64(c.y() / slot.height());
        QPair<qint64, qint64> best;
        double bestDistance = -1;
        // Ring by ring around the slot wanted; once one is free, the next
        // ring may still hold a nearer one (slots are wider than high).
        for (qint64 r = 0, last = -1; last < 0 || r <= last; ++r) {
            for (qint64 dx = -r; dx <= r; ++dx) {
                const qint64 step = (dx == -r || dx == r) ? 1 : 2 * r;
                for (qint64 dy = -r; dy <= r; dy += qMax<qint64>(step, 1)) {
                    const QPair<qint64, qint64> cell(x + dx, y + dy);
                    if (taken.contains(cell))
                        continue;
                    const double distance = std::hypot(cell.first * slot.width() - c.x(),
                                                       cell.second * slot.height() - c.y());
                    if (bestDistance < 0 || distance < bestDistance) {
                        best = cell;
                        bestDistance = distance;
                    }
                }
            }
            if (bestDistance >= 0 && last < 0)
                last = r + 1;
        }
        taken.insert(best);
        node.box.moveCenter(QPointF(best.first * slot.width(), best.second * slot.height()));
    }
}

// The force-directed layout packs boxes so tight that they cover one
// another, many times over in large books. Its edges are straight lines, so
// the map can be spread out evenly until boxes cover at most a fifth of it,
// each box then set in a place of its own, and each edge drawn again from
// box to box.
void spreadOut(MapLayout *map)
{
    double covered = 0;
    for (const MapLayout::Node &node : qAsConst(map->nodes))
        covered += node.box.width() * node.box.height();
    const double area = map->bounds.width() * map->bounds.height();
    if (area > 0 && covered / area > 0.2) {
        const double factor = std::sqrt(covered / area / 0.2);
        for (MapLayout::Node &node : map->nodes)
            node.box.moveCenter(node.box.center() * factor);
    }
    separate(map->nodes);
    QRectF bounds;
    for (const MapLayout::Node &node : qAsConst(map->nodes))
        bounds |= node.box;
    for (MapLayout::Node &node : map->nodes)
        node.box.translate(-bounds.topLeft());
    map->bounds = QRectF(QPointF(0, 0), bounds.size());
    for (MapLayout::Edge &edge : map->edges)
        BookMap::drawStraight(&edge, map->nodes.at(edge.from).box, map->nodes.at(edge.to).box);
}

// Where Graphviz placed each node and edge of `graph`, into `map`, whose
// nodes and edges it was made from, node `indexOf` for each of its nodes.
void readPlaces(Agraph_t *graph, const QHash<Agnode_t *, int> &indexOf, MapLayout *map)
{
    const boxf bb = GD_bb(graph);
    // Graphviz's y grows upwards, the screen's downwards.
    const auto place = [&bb](pointf p) { return QPointF(p.x - bb.LL.x, bb.UR.y - p.y); };
    map->bounds = QRectF(0, 0, bb.UR.x - bb.LL.x, bb.UR.y - bb.LL.y);
    // The edges leaving node j are edges[from[j]] to edges[from[j + 1]].
    QVector<int> from(map->nodes.size() + 1, 0);
    for (const MapLayout::Edge &edge : qAsConst(map->edges))
        ++from[edge.from + 1];
    for (int j = 0; j < map->nodes.size(); ++j)
        from[j + 1] += from[j];
    QVector<bool> placed(map->edges.size(), false);
    for (Agnode_t *n = agfstnode(graph); n; n = agnxtnode(graph, n)) {
        const int j = indexOf.value(n, -1);
        if (j < 0)
            continue;
        const QSizeF size(ND_width(n) * 72, ND_height(n) * 72);
        map->nodes[j].box = QRectF(place(ND_coord(n)) - QPointF(size.width() / 2, size.height() / 2), size);
        for (Agedge_t *e = agfstout(graph, n); e; e = agnxtout(graph, e)) {
            // Graphviz keeps a node's edges in the order they were made:
            // the first one not yet placed to the same node is this one.
            const int to = indexOf.value(aghead(e), -1);
            int k = from.at(j);
            while (k < from.at(j + 1) && (placed.at(k) || map->edges.at(k).to != to))
                ++k;
            if (k == from.at(j + 1))
                continue;
            placed[k] = true;
            MapLayout::Edge &edge = map->edges[k];
            edge.curve.clear();
            if (const splines *spl = ED_spl(e)) {
                for (int b = 0; b < spl->size; ++b) {
                    const bezier &piece = spl->list[b];
                    for (int p = 0; p < piece.size; ++p)
                        edge.curve.append(place(piece.list[p]));
                    edge.tip = piece.eflag ? place(piece.ep) : edge.curve.constLast();
                }
            }
            if (const textlabel_t *label = ED_label(e))
                edge.labelAt = place(label->pos);
        }
    }
}

} // namespace

void BookMap::drawStraight(MapLayout::Edge *edge, const QRectF &from, const QRectF &to)
{
    const QPointF start = leaving(from, to.center());
    edge->tip = leaving(to, from.center());
    const QPointF d = edge->tip - start;
    const double length = std::hypot(d.x(), d.y());
    const QPointF end = length > 9 ? edge->tip - d / length * 9 : start;
    edge->curve = {start, start + (end - start) / 3, start + (end - start) * 2 / 3, end};
    edge->labelAt = (start + edge->tip) / 2;
}

bool BookMap::layOut(MapLayout *map, QString *error)
{
    // Too many references for Graphviz's layers, few enough entries for ours.
    if (!map->layered && map->nodes.size() <= layeredEntries) {
        LayeredLayout::place(map);
        return true;
    }
    return withLayout(dotOf(*map, false), error, [map](Agraph_t *graph) {
        QHash<Agnode_t *, int> indexOf;
        indexOf.reserve(map->nodes.size());
        for (Agnode_t *n = agfstnode(graph); n; n = agnxtnode(graph, n)) {
            const int j = QByteArray(agnameof(n) + 1).toInt();
            if (j >= 0 && j < map->nodes.size())
                indexOf.insert(n, j);
        }
        readPlaces(graph, indexOf, map);
        if (!map->layered)
            spreadOut(map);
        return true;
    });
}

bool BookMap::layOut(const QByteArray &dot, MapLayout *out, QString *error)
{
    return withLayout(dot, error, [out](Agraph_t *graph) {
        *out = MapLayout();
        out->nodes.reserve(agnnodes(graph));
        out->edges.reserve(agnedges(graph));
        QHash<Agnode_t *, int> indexOf;
        indexOf.reserve(agnnodes(graph));
        for (Agnode_t *n = agfstnode(graph); n; n = agnxtnode(graph, n)) {
            MapLayout::Node node;
            const char *name = agnameof(n);
            if (name[0] == 'n')
                node.entry = QByteArray(name + 1).toInt();
            if (const textlabel_t *label = ND_label(n)) {
                for (int k = 0; k < label->u.txt.nspans; ++k)
                    node.lines << QString::fromUtf8(label->u.txt.span[k].str);
            }
            const QByteArray shape = agget(n, const_cast<char *>("shape"));
            node.shape = shape == "doubleoctagon" ? MapLayout::DoubleOctagon
                : shape == "octagon"              ? MapLayout::Octagon
                                                  : MapLayout::Box;
            node.fill = has(n, "style", "filled") ? colour(n, "fillcolor", 0xffffffff) : 0;
            node.pen = colour(n, "color", 0xff000000);
            node.text = colour(n, "fontcolor", 0xff000000);
            node.penWidth = number(n, "penwidth", 1);
            node.dashed = has(n, "style", "dashed");
            indexOf.insert(n, out->nodes.size());
            out->nodes.append(node);
        }
        for (Agnode_t *n = agfstnode(graph); n; n = agnxtnode(graph, n)) {
            for (Agedge_t *e = agfstout(graph, n); e; e = agnxtout(graph, e)) {
                MapLayout::Edge edge;
                edge.from = indexOf.value(agtail(e));
                edge.to = indexOf.value(aghead(e));
                edge.colour = colour(e, "color", 0xff000000);
                edge.width = number(e, "penwidth", 1);
                edge.dashed = has(e, "style", "dashed");
                if (const textlabel_t *label = ED_label(e))
                    edge.label = QString::fromUtf8(label->text);
                out->edges.append(edge);
            }
        }
        out->layered = qstrcmp(agget(graph, const_cast<char *>("layout")), "dot") == 0;
        readPlaces(graph, indexOf, out);
        if (!out->layered)
            spreadOut(out);
        return true;
    });
}

bool BookMap::renderSvg(QByteArray dot, QFileDevice *file, QString *error)
{
    // Graphviz writes into the file as it goes: the drawing is never held
    // in memory.
    bool written = false;
    const bool laidOut = withLayout(std::move(dot), error, [&](Agraph_t *graph) {
        file->flush();
        if (FILE *out = fdopen(dup(file->handle()), "w")) {
            written = gvRender(graphviz(), graph, "svg", out) == 0;
            written = std::fclose(out) == 0 && written;
        }
        return true;
    });
    if (laidOut && !written)
        *error = tr("Graphviz n'a pas pu écrire le dessin : %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    return laidOut && written;
}
