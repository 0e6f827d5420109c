#include "book/entrywriter.h"

#include "book/atomicfile.h"
#include "book/book.h"
#include "book/xmltext.h"

namespace {

QString content(const QString &value)
{
    return XmlText::escaped(value, XmlPlace::Content);
}

QString attr(const QString &value)
{
    return XmlText::escaped(value, XmlPlace::Attribute);
}

QLatin1String flag(bool on)
{
    return on ? QLatin1String("1") : QLatin1String("0");
}

void writeBonus(QString &x, const Entry::Bonus &b)
{
    x += QLatin1String("\t\t<Bonus active=\"") + flag(b.active) + QLatin1String("\">\n");
    x += QLatin1String("\t\t\t<Elem id=\"1\" Name=\"habilete\" Value=\"")
        + QString::number(b.habilete) + QLatin1String("\" />\n");
    x += QLatin1String("\t\t\t<Elem id=\"2\" Name=\"endurance\" Value=\"")
        + QString::number(b.endurance) + QLatin1String("\" />\n");
    x += QLatin1String("\t\t\t<Elem id=\"3\" Name=\"chance\" Value=\"")
        + QString::number(b.chance) + QLatin1String("\" />\n");
    x += QLatin1String("\t\t</Bonus>\n");
}

void writeFlee(QString &x, const Entry::Flee &f)
{
    x += QLatin1String("\t\t<Flee active=\"") + flag(f.active) + QLatin1String("\" Penality=\"")
        + flag(f.penality) + QLatin1String("\" Round=\"") + QString::number(f.round)
        + QLatin1String("\" Ref=\"") + attr(f.ref) + QLatin1String("\"/>\n");
}

void writeMonsters(QString &x, const Entry &e)
{
    x += QLatin1String("\t\t<Monster Type=\"") + attr(e.monsterType) + QLatin1String("\">\n");
    for (int i = 0; i < e.monsters.size(); ++i) {
        const Entry::Monster &m = e.monsters.at(i);
        x += QLatin1String("\t\t\t<Elem id=\"") + QString::number(i + 1)
            + QLatin1String("\" Name=\"") + attr(m.name) + QLatin1String("\" habilete=\"")
            + attr(m.habilete) + QLatin1String("\" endurance=\"") + attr(m.endurance)
            + QLatin1String("\" Value=\"") + attr(m.victory) + QLatin1String("\" />\n");
    }
    x += QLatin1String("\t\t</Monster>\n");
}

// The luck, objects and choices sections hold no line feed: the readers of
// existing books expect them on one line.
void writeLuck(QString &x, const Entry::Luck &l)
{
    x += QLatin1String("\t\t<Luck active=\"") + flag(l.active) + QLatin1String("\">");
    x += QLatin1String("\t\t\t<Lucky Value=\"") + attr(l.luckyValue) + QLatin1String("\">")
        + content(l.luckyText) + QLatin1String("</Lucky>");
    x += QLatin1String("\t\t\t<Unlucky Value=\"") + attr(l.unluckyValue) + QLatin1String("\">")
        + content(l.unluckyText) + QLatin1String("</Unlucky>");
    x += QLatin1String("\t\t</Luck>");
}

void writeObjects(QString &x, const QVector<Entry::Object> &objects)
{
    x += QLatin1String("\t\t<Objects>");
    for (int i = 0; i < objects.size(); ++i) {
        const Entry::Object &o = objects.at(i);
        x += QLatin1String("\t\t\t<Elem id=\"") + QString::number(i + 1)
            + QLatin1String("\" exchange=\"") + attr(o.exchange) + QLatin1String("\" throw=\"")
            + attr(o.throwAway) + QLatin1String("\">");
        x += QLatin1String("\t\t\t\t<Text>") + content(o.text) + QLatin1String("</Text>");
        x += QLatin1String("\t\t\t\t<Bonus>");
        x += QLatin1String("\t\t\t\t\t<Elem id=\"1\" Name=\"habilete\" Value=\"") + attr(o.habilete)
            + QLatin1String("\" />");
        x += QLatin1String("\t\t\t\t\t<Elem id=\"2\" Name=\"endurance\" Value=\"")
            + attr(o.endurance) + QLatin1String("\" />");
        x += QLatin1String("\t\t\t\t\t<Elem id=\"3\" Name=\"chance\" Value=\"") + attr(o.chance)
            + QLatin1String("\" />");
        x += QLatin1String("\t\t\t\t</Bonus>");
        x += QLatin1String("\t\t\t\t<Gold Value=\"") + attr(o.gold) + QLatin1String("\" />");
        x += QLatin1String("\t\t\t\t<Food Value=\"") + attr(o.food) + QLatin1String("\" />");
        x += QLatin1String("\t\t\t\t<Other>") + content(o.other) + QLatin1String("</Other>");
        x += QLatin1String("\t\t\t</Elem>");
    }
    x += QLatin1String("\t\t</Objects>");
}

void writeChoices(QString &x, const Entry &e)
{
    x += QLatin1String("\t\t<Choices active=\"") + flag(e.choiceActive) + QLatin1String("\">");
    for (int i = 0; i < e.choices.size(); ++i) {
        const Entry::Choice &c = e.choices.at(i);
        x += QLatin1String("\t\t\t<Elem id=\"") + QString::number(i + 1)
            + QLatin1String("\" Value=\"") + attr(c.value) + QLatin1String("\">")
            + content(c.text) + QLatin1String("</Elem>");
    }
    x += QLatin1String("\t\t</Choices>");
}

} // namespace

QString EntryWriter::elementXml(const Entry &e)
{
    QString x;
    x.reserve(512 + e.text.size());
    x += QLatin1Char('<') + e.tagName + QLatin1String(" id=\"") + attr(e.id) + QLatin1Char('"');
    for (const auto &a : e.otherAttributes)
        x += QLatin1Char(' ') + a.first + QLatin1String("=\"") + attr(a.second) + QLatin1Char('"');
    x += QLatin1String(">\n");
    x += QLatin1String("\t\t<Text>") + content(e.text) + QLatin1String("</Text>\n");
    x += QLatin1String("\t\t<Type>") + content(e.typeCodes()) + QLatin1String("</Type>\n");
    if (e.hasBonus())
        writeBonus(x, e.bonus);
    if (e.hasFlee())
        writeFlee(x, e.flee);
    if (!e.monsters.isEmpty())
        writeMonsters(x, e);
    if (e.hasLuck())
        writeLuck(x, e.luck);
    if (!e.objects.isEmpty())
        writeObjects(x, e.objects);
    if (!e.choices.isEmpty())
        writeChoices(x, e);
    x += e.otherChildren;
    x += QLatin1String("\t</") + e.tagName + QLatin1Char('>');
    return x;
}

QString EntryWriter::newBookText(const QString &rootName, const Entry &entry)
{
    return QLatin1String("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<") + rootName
        + QLatin1String(">\n\t") + elementXml(entry) + QLatin1String("\n</") + rootName
        + QLatin1Char('>');
}

QString EntryWriter::newBookText(const QString &rootName, const QVector<Entry> &entries)
{
    // Each entry added goes right after the one before, before the line
    // end of the root's closing tag.
    QString text = QLatin1String("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<") + rootName + QLatin1String(">\n");
    for (const Entry &e : entries)
        text += QLatin1Char('\t') + elementXml(e);
    return text + QLatin1String("\n</") + rootName + QLatin1Char('>');
}

bool EntryWriter::writeBook(const Book &book, QIODevice *device, QString *error)
{
    QVector<Entry> entries;
    entries.reserve(book.size());
    for (int i = 0; i < book.size(); ++i)
        entries.append(book.entry(i));
    return writeBook(book, entries, device, error);
}

bool EntryWriter::writeBook(const Book &book, const QVector<Entry> &entries, QIODevice *device,
                            QString *error)
{
    const QByteArray bytes = book.bytes();
    if (bytes.isNull() && !book.isEmpty()) {
        *error = tr("le fichier du livre a changé depuis qu'il a été lu");
        return false;
    }
    qsizetype at = 0;
    for (int i = 0; i < book.size(); ++i) {
        const Book::Span span = book.span(i);
        if (!AtomicFile::writeAll(*device, bytes.mid(at, span.begin - at), error)
            || !AtomicFile::writeAll(*device, book.encoded(elementXml(entries.at(i))), error))
            return false;
        at = span.end;
    }
    return AtomicFile::writeAll(*device, bytes.mid(at), error);
}
