#include "analysis/bookconflicts.h"

#include "book/bookreader.h"

#include <QFile>

namespace {

// The conflict a note describes ("entrée 042 modifiée des deux côtés : …"),
// read with the words the merge wrote it with.
bool kindOf(const QString &note, BookMerge::Conflict::Kind *kind, QString *id)
{
    using Kind = BookMerge::Conflict::Kind;
    const QString marker(QChar(0xfffc));
    for (const Kind k : {Kind::BothChanged, Kind::DeletedByUs, Kind::DeletedByThem, Kind::BothAdded}) {
        const QString said = BookMerge::Conflict{k, marker}.describe();
        const int at = said.indexOf(marker);
        const QString before = said.left(at), after = said.mid(at + marker.size()) + QStringLiteral(" : ");
        const int end = note.indexOf(after, before.size());
        if (note.startsWith(before) && end > before.size()) {
            *kind = k;
            *id = note.mid(before.size(), end - before.size());
            return true;
        }
    }
    if (note.startsWith(BookMerge::Conflict{Kind::Outside, QString()}.describe())) {
        *kind = Kind::Outside;
        id->clear();
        return true;
    }
    return false;
}

} // namespace

QString BookConflicts::pathFor(const QString &bookPath)
{
    QString base = bookPath;
    if (base.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive))
        base.chop(4);
    return base + QStringLiteral(".conflits.xml");
}

bool BookConflicts::read(const QString &path)
{
    list.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = tr("%1 ne peut pas être lu : %2").arg(path, file.errorString());
        return false;
    }
    return parse(file.readAll());
}

bool BookConflicts::parse(const QByteArray &bytes)
{
    list.clear();
    error.clear();
    BookReader reader;
    if (!reader.read(bytes)) {
        error = tr("le fichier des conflits n'est pas lisible : %1").arg(reader.errorString());
        return false;
    }
    const Book &book = reader.book();
    // The comments among the entries, where each conflict starts.
    struct Note
    {
        qsizetype at;
        QString text;
    };
    QVector<Note> notes;
    int from = 0;
    const int rootEnd = bytes.lastIndexOf("</");
    while (true) {
        const int open = bytes.indexOf("<!--", from);
        if (open < 0 || (rootEnd >= 0 && open > rootEnd))
            break;
        const int close = bytes.indexOf("-->", open + 4);
        if (close < 0)
            break;
        from = close + 3;
        bool inside = false; // a comment within an entry's element is the entry's own
        for (int i = 0; i < book.size() && !inside; ++i)
            inside = book.span(i).begin < open && open < book.span(i).end;
        if (!inside)
            notes.append({open, QString::fromUtf8(bytes.mid(open + 4, close - open - 4)).trimmed()});
    }
    int entry = 0;
    for (int k = -1; k < notes.size(); ++k) {
        const qsizetype end = k + 1 < notes.size() ? notes.at(k + 1).at : bytes.size();
        Conflict c;
        bool described = false;
        if (k >= 0) {
            c.note = notes.at(k).text;
            described = kindOf(c.note, &c.kind, &c.id);
        }
        // The entries up to the next note: theirs' side of this conflict
        // (more than one only in a file written by hand).
        bool any = false;
        for (; entry < book.size() && book.span(entry).begin < end; ++entry) {
            Conflict one = c;
            one.hasTheirs = true;
            one.theirs = book.entry(entry);
            if (!described || one.id.isEmpty())
                one.id = one.theirs.id;
            list.append(one);
            any = true;
        }
        if (!any && k >= 0)
            list.append(c);
    }
    return true;
}
