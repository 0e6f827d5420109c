#include "export/tweewriter.h"

#include "book/booktitle.h"

#include "book/atomicfile.h"
#include "book/entryid.h"
#include "export/bookidentity.h"
#include "export/entryhtml.h"
#include "export/tweereader.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

namespace {

// The story format Twine gives a new story.
const char storyFormat[] = "Harlowe";
const char storyFormatVersion[] = "3.3.9";

// A link's text as Twine reads it back whole: no "]]" to end it early, no
// "][" to start a setter, on one line.
QString linkText(const QString &text)
{
    QString t = text.simplified();
    t.replace(QLatin1String("]]"), QLatin1String("] ]")).replace(QLatin1String("]["), QLatin1String("] ["));
    return t;
}

} // namespace

TweeWriter::TweeWriter(const Book &book, const QString &title, const QString &author)
    : book(book), title(title.isEmpty() ? BookTitle::titleFromRoot(book.rootName()) : title), author(author)
{
}

QString TweeWriter::ifid() const
{
    return BookIdentity::ifid(book, title);
}

// The HTML of the printed entry as Twee text: each paragraph and each row
// of a fight on a line, bold and italics in the markup Twine's formats
// share, each entry of the book it names a link to that entry's passage.
QString TweeWriter::readable(const Entry &entry) const
{
    static const QRegularExpression heading(QStringLiteral("<h2[^>]*>.*?</h2>"));
    static const QRegularExpression link(QStringLiteral("<a href='entry:(\\d+)'>.*?</a>"));
    static const QRegularExpression lineBreak(QStringLiteral("<br\\s*/?>|</p>|</tr>|</table>|</h\\d>"));
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    static const QRegularExpression character(QStringLiteral("&#(\\d+);"));
    static const QRegularExpression bold(QStringLiteral("</?b>")), italic(QStringLiteral("</?i>"));
    QString h = EntryHtml::of(book, entry, EntryHtml::Ebook);
    h.remove(heading);
    QString linked;
    int at = 0;
    for (auto it = link.globalMatch(h); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        linked += h.midRef(at, m.capturedStart() - at) + QStringLiteral("[[")
            + book.entry(m.captured(1).toInt()).id + QStringLiteral("]]");
        at = m.capturedEnd();
    }
    h = linked + h.midRef(at);
    h.replace(lineBreak, QStringLiteral("\n"))
        .replace(QLatin1String("</td>"), QLatin1String("  "))
        .replace(bold, QStringLiteral("''"))
        .replace(italic, QStringLiteral("//"))
        .remove(tag);
    QString text;
    at = 0;
    for (auto it = character.globalMatch(h); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        text += h.midRef(at, m.capturedStart() - at) + QChar(m.captured(1).toInt());
        at = m.capturedEnd();
    }
    text += h.midRef(at);
    text.replace(QLatin1String("&nbsp;"), QLatin1String(" "))
        .replace(QLatin1String("&lt;"), QLatin1String("<"))
        .replace(QLatin1String("&gt;"), QLatin1String(">"))
        .replace(QLatin1String("&quot;"), QLatin1String("\""))
        .replace(QLatin1String("&amp;"), QLatin1String("&"));
    QStringList lines;
    for (const QString &line : text.split(QLatin1Char('\n')))
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    return lines.join(QLatin1Char('\n'));
}

QString TweeWriter::passage(int index) const
{
    const Entry &e = book.entry(index);
    const QStringList tags = TweeReader::tagsOf(e);
    const int textLines = e.text.isEmpty() ? 0 : int(e.text.count(QLatin1Char('\n'))) + 1;
    QJsonObject metadata = TweeReader::metadataOf(e, textLines);
    // Where Twine shows the passage on its map: rows of 20.
    metadata.insert(QStringLiteral("position"),
                    QStringLiteral("%1,%2").arg(100 + index % 20 * 150).arg(100 + index / 20 * 150));

    QString p = QStringLiteral(":: ") + TweeReader::escapedName(e.id);
    if (!tags.isEmpty())
        p += QStringLiteral(" [") + tags.join(QLatin1Char(' ')) + QLatin1Char(']');
    p += QLatin1Char(' ') + QString::fromUtf8(TweeReader::metadataLine(metadata)) + QLatin1Char('\n');
    QStringList body;
    if (textLines > 0)
        body << TweeReader::escapedContent(e.text);
    // What the printed book says beyond the text and the choices.
    Entry rest = e;
    rest.text.clear();
    rest.choices.clear();
    QString after = TweeReader::escapedContent(readable(rest));
    for (const Entry::Choice &c : e.choices) {
        const int to = book.indexOfNumber(EntryId::parse(c.value));
        const QString target = to < 0 ? c.value.trimmed() : book.entry(to).id;
        const QString shown = linkText(c.text);
        after += (after.isEmpty() ? QString() : QStringLiteral("\n"))
            + (shown.isEmpty() ? QStringLiteral("[[%1]]").arg(target) : QStringLiteral("[[%1->%2]]").arg(shown, target));
    }
    if (!after.isEmpty())
        body << after;
    return p + body.join(QStringLiteral("\n\n")) + QLatin1Char('\n');
}

QByteArray TweeWriter::bytes()
{
    error.clear();
    QSet<QString> names;
    for (int i = 0; i < book.size(); ++i) {
        const QString &id = book.entry(i).id;
        if (id.isEmpty() || id.trimmed() != id || id.contains(QLatin1Char('\n')) || id.contains(QLatin1Char('\r'))
            || names.contains(id)) {
            error = id.isEmpty() ? tr("l'entrée n° %1 n'a pas de numéro pour nommer son passage").arg(i + 1)
                : names.contains(id) ? tr("deux entrées portent le numéro « %1 » : un passage Twine a un nom à lui")
                                           .arg(id)
                                     : tr("le numéro « %1 » ne peut pas nommer un passage").arg(id);
            return QByteArray();
        }
        names.insert(id);
    }
    if (book.isEmpty()) {
        error = tr("le livre n'a aucune entrée");
        return QByteArray();
    }
    const int start = book.firstIndex() < 0 ? 0 : book.firstIndex();
    QJsonObject data{{"ifid", ifid()},
                           {"format", storyFormat},
                           {"format-version", storyFormatVersion},
                           {"start", book.entry(start).id},
                           {"zoom", 1},
                           {"orvandel-root", book.rootName()}};
    if (!author.isEmpty())
        data.insert(QStringLiteral("orvandel-author"), author);
    QByteArray out = ":: StoryTitle\n"
        + TweeReader::escapedContent(QString(title).replace(QLatin1Char('\n'), QLatin1Char(' '))).toUtf8()
        + "\n\n:: StoryData\n" + QJsonDocument(data).toJson(QJsonDocument::Indented) + '\n';
    for (int i = 0; i < book.size(); ++i)
        out += passage(i).toUtf8() + '\n';
    return out;
}

bool TweeWriter::write(const QString &path)
{
    const QByteArray story = bytes();
    if (story.isNull())
        return false;
    AtomicFile file(path);
    if (!file.write(story)) {
        error = file.errorString();
        return false;
    }
    if (!AtomicFile::holds(path, story)) {
        error = tr("le fichier écrit ne contient pas l'histoire");
        return false;
    }
    return true;
}
