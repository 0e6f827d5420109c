#include "analysis/bookmap.h"

#include "book/reference.h"

#include <QMutex>

#include <QSet>

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

QByteArray BookMap::dot(const Book &book, const QVector<BookFinding> &findings,
                        const QVector<int> &reached, int readers)
{
    QSet<int> unreachable, ending, duplicate, notANumber;
    for (const BookFinding &f : findings) {
        switch (f.kind) {
        case BookFinding::Unreachable: unreachable.insert(f.entry); break;
        case BookFinding::Ending: ending.insert(f.entry); break;
        case BookFinding::DuplicateId: duplicate.insert(f.entry); break;
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
    dot += large ? "digraph livre {\n  graph [layout=sfdp, quadtree=fast, outputorder=edgesfirst];\n"
                 : "digraph livre {\n  graph [layout=dot, rankdir=TB, outputorder=edgesfirst];\n";
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
        for (const Reference &ref : Reference::of(book.entry(i))) {
            if (ref.target < 0)
                continue;
            static const char *colours[] = {"#555555", "#6a1b9a", "#1565c0", "#2e7d32", "#ef6c00"};
            const QByteArray label = (large ? " [tooltip=" : " [label=") + quoted(Reference::kindName(ref.kind))
                + ", color=\"" + colours[ref.kind] + "\", fontcolor=\"" + colours[ref.kind] + '"';
            const int to = book.indexOfNumber(ref.target);
            if (to >= 0) {
                dot += "  n" + QByteArray::number(i) + " -> n" + QByteArray::number(to) + label
                    + "];\n";
            } else {
                const QByteArray name = "missing" + QByteArray::number(ref.target);
                if (!missing.contains(ref.target)) {
                    missing.insert(ref.target);
                    dot += "  " + name + " [label=" + quoted(oneLine(ref.text) + QStringLiteral(" ?"))
                        + ", shape=octagon, style=\"dashed\", color=\"#c62828\", "
                          "fontcolor=\"#c62828\"];\n";
                }
                dot += "  n" + QByteArray::number(i) + " -> " + name + label
                    + ", style=dashed, penwidth=2];\n";
            }
        }
    }
    dot += "}\n";
    return dot;
}

bool BookMap::renderSvg(const QByteArray &dot, QByteArray *svg, QString *error)
{
    // Graphviz keeps global state: one layout at a time in the process.
    static QMutex busy;
    QMutexLocker locker(&busy);
    // One Graphviz context for the whole run: freeing a context leaves its
    // text-layout plugin with a dangling font-name cache, read by the next
    // context's first label (a use-after-free that AddressSanitizer showed
    // on the second map of a run).
    static GVC_t *const context = gvContext();
    Agraph_t *graph = agmemread(dot.constData());
    if (!graph) {
        *error = tr("Graphviz n'a pas pu lire le graphe.");
        return false;
    }
    const char *layout = agget(graph, const_cast<char *>("layout"));
    bool ok = gvLayout(context, graph, layout && *layout ? layout : "sfdp") == 0;
    if (ok) {
        char *data = nullptr;
        unsigned int length = 0;
        ok = gvRenderData(context, graph, "svg", &data, &length) == 0;
        if (ok)
            *svg = QByteArray(data, int(length));
        gvFreeRenderData(data);
        gvFreeLayout(context, graph);
    }
    if (!ok)
        *error = tr("Graphviz n'a pas pu dessiner le graphe.");
    agclose(graph);
    return ok;
}
