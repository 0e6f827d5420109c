#include "analysis/bookmap.h"

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
    const QString simplified = text.simplified();
    return simplified.size() > length ? simplified.left(length - 1) + QChar(0x2026) : simplified;
}

QString firstWords(const QString &text, int words = 5)
{
    const QString simplified = text.simplified();
    QString out = simplified.section(QLatin1Char(' '), 0, words - 1).left(39);
    return out.size() < simplified.size() ? out + QChar(0x2026) : out;
}

} // namespace

// The layered layout reads best but grows steeply with the references: a
// hundred entries with 235 references take 3 s, 150 with 371 over a minute.
// Past this many references the force-directed one is used, which lays ten
// thousand entries out in seconds.
const int layeredReferences = 150;
const int separatedBoxes = 1000;

QByteArray BookMap::dot(const Book &book, const QVector<BookFinding> &findings,
                        const QVector<int> &reached, int readers)
{
    QSet<int> unreachable, ending, duplicate, notANumber;
    for (const BookFinding &f : findings) {
        switch (f.kind) {
        case BookFinding::Unreachable: unreachable.insert(f.entry); break;
        case BookFinding::Ending: ending.insert(f.entry); break;
        case BookFinding::DuplicateId: // the entry that bore the number first, too
            duplicate.insert(f.entry);
            duplicate.insert(book.indexOfNumber(book.number(f.entry)));
            break;
        case BookFinding::NotANumber: notANumber.insert(f.entry); break;
        default: break;
        }
    }

    // Edge labels cost Graphviz dearly on large graphs (a minute for ten
    // thousand entries against three seconds without): there the kind of a
    // reference shows by its colour and in its tooltip. The graph names its
    // layout, which renderSvg and Graphviz's own tools both follow.
    int references = 0;
    for (int i = 0; i < book.size(); ++i)
        references += Reference::of(book.entry(i)).size();
    const bool large = references > layeredReferences;
    QByteArray dot;
    dot.reserve(book.size() * 160 + 512);
    // Up to a thousand entries Graphviz also moves boxes off one another
    // (1.3 s at a thousand, 41 s at ten thousand); beyond, the map view
    // spreads the layout out itself.
    dot += !large                       ? "digraph livre {\n  graph [layout=dot, rankdir=TB, outputorder=edgesfirst];\n"
        : book.size() <= separatedBoxes ? "digraph livre {\n  graph [layout=sfdp, quadtree=fast, overlap=prism, outputorder=edgesfirst];\n"
                                        : "digraph livre {\n  graph [layout=sfdp, quadtree=fast, outputorder=edgesfirst];\n";
    dot += ""
           "  node [shape=box, style=\"rounded,filled\", fillcolor=\"#fff8e1\", "
           "fontname=\"DejaVu Sans\", fontsize=10];\n"
           "  edge [fontname=\"DejaVu Sans\", fontsize=8, color=\"#555555\"];\n";
    for (int i = 0; i < book.size(); ++i) {
        const Entry &entry = book.entry(i);
        const bool heat = readers > 0 && i < reached.size();
        const double share = heat ? double(reached.at(i)) / readers : 0;
        dot += "  n" + QByteArray::number(i) + " [label="
            + quoted(oneLine(entry.id) + QLatin1Char('\n')
                     + (heat ? QStringLiteral("%1 %").arg(qRound(share * 100)) : firstWords(entry.text)));
        if (heat) {
            // From pale for few readers to deep orange for all of them.
            const int fade = int(255 - share * 180);
            dot += QByteArray(", fillcolor=\"#ff") + QByteArray::number(qBound(60, fade, 255), 16).rightJustified(2, '0')
                + QByteArray::number(qBound(0, fade - 60, 255), 16).rightJustified(2, '0') + '"';
            dot += "];\n";
            continue;
        }
        if (unreachable.contains(i))
            dot += ", fillcolor=\"#e0e0e0\", style=\"rounded,filled,dashed\"";
        if (ending.contains(i))
            dot += ", shape=doubleoctagon, fillcolor=\"#ffe082\"";
        if (duplicate.contains(i) || notANumber.contains(i))
            dot += ", color=\"#c62828\", penwidth=2";
        if (i == book.firstIndex())
            dot += ", fillcolor=\"#c8e6c9\"";
        dot += "];\n";
    }
    QSet<int> missing; // targets already drawn as a missing entry
    for (int i = 0; i < book.size(); ++i) {
        const QVector<Reference> references = Reference::of(book.entry(i));
        for (int k = 0; k < references.size(); ++k) {
            const Reference &ref = references.at(k);
            static const char *colours[] = {"#555555", "#6a1b9a", "#1565c0", "#2e7d32", "#ef6c00"};
            const QByteArray label = (large ? " [tooltip=" : " [label=") + quoted(Reference::kindName(ref.kind))
                + ", color=\"" + colours[ref.kind] + "\", fontcolor=\"" + colours[ref.kind] + '"';
            const int to = book.indexOfNumber(ref.target);
            if (to >= 0) {
                dot += "  n" + QByteArray::number(i) + " -> n" + QByteArray::number(to) + label
                    + "];\n";
            } else {
                // A missing entry is drawn once for all who lead there; a
                // reference that is no number at all, where it is written.
                const QByteArray name = ref.target >= 0
                    ? "missing" + QByteArray::number(ref.target)
                    : "wrong" + QByteArray::number(i) + '_' + QByteArray::number(k);
                if (ref.target < 0 || !missing.contains(ref.target)) {
                    if (ref.target >= 0)
                        missing.insert(ref.target);
                    const QString shown = ref.text.trimmed().isEmpty() ? tr("(vide)") : oneLine(ref.text);
                    dot += "  " + name + " [label=" + quoted(shown + QStringLiteral(" ?"))
                        + ", shape=octagon, style=\"dashed\", color=\"#c62828\", "
                          "fontcolor=\"#c62828\"];\n";
                }
                dot += "  n" + QByteArray::number(i) + " -> " + name + label
                    + ", style=dashed, penwidth=2];\n";
            }
        }
    }
    // The adventure starts at the top, whatever leads back to it.
    if (!large && book.firstIndex() >= 0)
        dot += "  { rank=source; n" + QByteArray::number(book.firstIndex()) + " }\n";
    dot += "}\n";
    return dot;
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

// The force-directed layout packs large books so tight that boxes cover one
// another many times over. Its edges are straight lines, so the map can be
// spread out evenly until boxes cover a fifth of it, each box then set in
// a place of its own, and each edge drawn again from box to box.
void spreadOut(MapLayout *map)
{
    double covered = 0;
    for (const MapLayout::Node &node : qAsConst(map->nodes))
        covered += node.box.width() * node.box.height();
    const double area = map->bounds.width() * map->bounds.height();
    if (area <= 0 || covered / area <= 0.2)
        return;
    const double factor = std::sqrt(covered / area / 0.2);
    for (MapLayout::Node &node : map->nodes)
        node.box.moveCenter(node.box.center() * factor);
    separate(map->nodes);
    QRectF bounds;
    for (const MapLayout::Node &node : qAsConst(map->nodes))
        bounds |= node.box;
    for (MapLayout::Node &node : map->nodes)
        node.box.translate(-bounds.topLeft());
    map->bounds = QRectF(QPointF(0, 0), bounds.size());
    for (MapLayout::Edge &edge : map->edges) {
        const QRectF &from = map->nodes.at(edge.from).box, &to = map->nodes.at(edge.to).box;
        const QPointF start = leaving(from, to.center());
        edge.tip = leaving(to, from.center());
        const QPointF d = edge.tip - start;
        const double length = std::hypot(d.x(), d.y());
        const QPointF end = length > 9 ? edge.tip - d / length * 9 : start;
        edge.curve = {start, start + (end - start) / 3, start + (end - start) * 2 / 3, end};
    }
}

} // namespace

bool BookMap::layOut(const QByteArray &dot, MapLayout *out, QString *error)
{
    return withLayout(dot, error, [out](Agraph_t *graph) {
        const boxf bb = GD_bb(graph);
        // Graphviz's y grows upwards, the screen's downwards.
        const auto place = [&bb](pointf p) { return QPointF(p.x - bb.LL.x, bb.UR.y - p.y); };
        *out = MapLayout();
        out->bounds = QRectF(0, 0, bb.UR.x - bb.LL.x, bb.UR.y - bb.LL.y);
        out->nodes.reserve(agnnodes(graph));
        out->edges.reserve(agnedges(graph));
        QHash<Agnode_t *, int> indexOf;
        indexOf.reserve(agnnodes(graph));
        for (Agnode_t *n = agfstnode(graph); n; n = agnxtnode(graph, n)) {
            MapLayout::Node node;
            const QSizeF size(ND_width(n) * 72, ND_height(n) * 72);
            node.box = QRectF(place(ND_coord(n)) - QPointF(size.width() / 2, size.height() / 2), size);
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
                if (const splines *spl = ED_spl(e)) {
                    for (int b = 0; b < spl->size; ++b) {
                        const bezier &piece = spl->list[b];
                        for (int k = 0; k < piece.size; ++k)
                            edge.curve.append(place(piece.list[k]));
                        edge.tip = piece.eflag ? place(piece.ep) : edge.curve.constLast();
                    }
                }
                edge.colour = colour(e, "color", 0xff000000);
                edge.width = number(e, "penwidth", 1);
                edge.dashed = has(e, "style", "dashed");
                if (const textlabel_t *label = ED_label(e)) {
                    edge.label = QString::fromUtf8(label->text);
                    edge.labelAt = place(label->pos);
                }
                out->edges.append(edge);
            }
        }
        const char *layout = agget(graph, const_cast<char *>("layout"));
        if (qstrcmp(layout, "dot") != 0)
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
