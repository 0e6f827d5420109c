#include "export/tweereader.h"

#include "book/atomicfile.h"
#include "book/bookfile.h"
#include "book/entryid.h"
#include "book/entrywriter.h"
#include "book/xmltext.h"

#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>

#include <functional>

namespace {

// The type boxes a tag ticks, and back.
struct TagType
{
    const char *tag;
    bool Entry::Types::*box;
};
const TagType tagTypes[] = {{"repas", &Entry::Types::eat},   {"bonus", &Entry::Types::bonus},
                            {"chance", &Entry::Types::luck}, {"combat", &Entry::Types::attack},
                            {"fuite", &Entry::Types::flee}};

// The mark of a passage that carries its entry, with the version of what it carries.
const char carried[] = "orvandel";

QString csvField(const QString &value)
{
    if (!value.contains(QLatin1Char(';')) && !value.contains(QLatin1Char('"')) && !value.contains(QLatin1Char('\n')))
        return value;
    return QLatin1Char('"') + QString(value).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

QString stringAt(const QJsonArray &a, int i)
{
    return a.at(i).toString();
}

} // namespace

QString TweeReader::escapedName(const QString &name)
{
    QString out;
    out.reserve(name.size());
    for (const QChar c : name) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('[') || c == QLatin1Char(']') || c == QLatin1Char('{')
            || c == QLatin1Char('}'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

QString TweeReader::unescapedName(const QString &name)
{
    QString out;
    out.reserve(name.size());
    for (int i = 0; i < name.size(); ++i) {
        if (name.at(i) == QLatin1Char('\\') && i + 1 < name.size())
            ++i;
        out += name.at(i);
    }
    return out;
}

QString TweeReader::escapedContent(const QString &text)
{
    static const QRegularExpression header(QStringLiteral("^(\\\\*::)"), QRegularExpression::MultilineOption);
    return QString(text).replace(header, QStringLiteral("\\\\1"));
}

QString TweeReader::unescapedContent(const QString &text)
{
    static const QRegularExpression escaped(QStringLiteral("^\\\\(\\\\*::)"), QRegularExpression::MultilineOption);
    return QString(text).replace(escaped, QStringLiteral("\\1"));
}

QVector<TweeReader::Link> TweeReader::links(const QString &text)
{
    // As Twine finds them: from "[[" to the first "]]" on the same line;
    // a setter after "][" left out; the rightmost "->", else the leftmost
    // "<-", else the rightmost "|" parts the text from the passage.
    static const QRegularExpression link(QStringLiteral("\\[\\[(.*?)\\]\\]"));
    QVector<Link> found;
    for (auto it = link.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QString inside = m.captured(1);
        const int setter = inside.indexOf(QLatin1String("]["));
        if (setter >= 0)
            inside.truncate(setter);
        Link l;
        l.start = m.capturedStart();
        l.length = m.capturedLength();
        int at = -1;
        if ((at = inside.lastIndexOf(QLatin1String("->"))) >= 0) {
            l.text = inside.left(at);
            l.target = inside.mid(at + 2);
        } else if ((at = inside.indexOf(QLatin1String("<-"))) >= 0) {
            l.target = inside.left(at);
            l.text = inside.mid(at + 2);
        } else if ((at = inside.lastIndexOf(QLatin1Char('|'))) >= 0) {
            l.text = inside.left(at);
            l.target = inside.mid(at + 1);
        } else {
            l.text = l.target = inside;
        }
        l.text = l.text.trimmed();
        l.target = l.target.trimmed();
        found.append(l);
    }
    return found;
}

QStringList TweeReader::tagsOf(const Entry &e)
{
    QStringList tags;
    for (const TagType &t : tagTypes)
        if (e.types.*t.box)
            tags << QLatin1String(t.tag);
    if (!e.objects.isEmpty())
        tags << QStringLiteral("objet");
    if (!e.hasWayOut())
        tags << QStringLiteral("fin");
    return tags;
}

QJsonObject TweeReader::metadataOf(const Entry &e, int textLines)
{
    QJsonArray monsters, objects, choices, attributes;
    for (const Entry::Monster &m : e.monsters)
        monsters.append(QJsonArray{m.name, m.habilete, m.endurance, m.victory});
    for (const Entry::Object &o : e.objects)
        objects.append(QJsonArray{o.text, o.exchange, o.throwAway, o.habilete, o.endurance, o.chance, o.gold, o.food,
                                  o.other});
    for (const Entry::Choice &c : e.choices)
        choices.append(QJsonArray{c.value, c.text});
    for (const auto &a : e.otherAttributes)
        attributes.append(QJsonArray{a.first, a.second});
    QJsonObject m{{carried, 1},
                  {"lines", textLines},
                  {"types", e.typeCodes()},
                  {"bonus", QJsonArray{e.bonus.active, e.bonus.habilete, e.bonus.endurance, e.bonus.chance}},
                  {"flee", QJsonArray{e.flee.active, e.flee.penality, e.flee.round, e.flee.ref}},
                  {"luck", QJsonArray{e.luck.active, e.luck.luckyValue, e.luck.luckyText, e.luck.unluckyValue,
                                      e.luck.unluckyText}},
                  {"monsterType", e.monsterType},
                  {"monsters", monsters},
                  {"objects", objects},
                  {"choiceActive", e.choiceActive},
                  {"choices", choices}};
    if (e.tagName != QLatin1String("Attr"))
        m.insert(QStringLiteral("tag"), e.tagName);
    if (!attributes.isEmpty())
        m.insert(QStringLiteral("attributes"), attributes);
    if (!e.otherChildren.isEmpty())
        m.insert(QStringLiteral("other"), e.otherChildren);
    return m;
}

QByteArray TweeReader::metadataLine(const QJsonObject &metadata)
{
    QByteArray json = QJsonDocument(metadata).toJson(QJsonDocument::Compact);
    // With no object inside, the only braces outside strings are the first and the last.
    for (int i = json.size() - 2; i > 0; --i) {
        if (json.at(i) == '{' || json.at(i) == '}')
            json.replace(i, 1, json.at(i) == '{' ? "\\u007b" : "\\u007d");
    }
    return json;
}

bool TweeReader::fail(int line, const QString &why)
{
    error = line > 0 ? tr("ligne %1 : %2").arg(line).arg(why) : why;
    return false;
}

bool TweeReader::read(const QByteArray &twee)
{
    storyTitle.clear();
    storyAuthor.clear();
    storyIfid.clear();
    root.clear();
    error.clear();
    notes.clear();
    story.clear();
    made.clear();
    table.clear();
    QString text = QString::fromUtf8(twee);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return parse(text);
}

bool TweeReader::parse(const QString &text)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    QVector<Passage> all;
    QVector<QStringList> bodies;
    for (int n = 0; n < lines.size(); ++n) {
        const QString &line = lines.at(n);
        if (!line.startsWith(QLatin1String("::"))) {
            // Before the first header, nothing is read.
            if (!bodies.isEmpty())
                bodies.last() << line;
            continue;
        }
        Passage p;
        p.line = n + 1;
        // The name runs to the first "[" or "{" not escaped, the tags to
        // the next "]", the metadata to the end of the line.
        const QString header = line.mid(2);
        int i = 0;
        const auto upTo = [&header, &i](const QString &ends) {
            const int from = i;
            while (i < header.size() && !ends.contains(header.at(i)))
                i += header.at(i) == QLatin1Char('\\') ? 2 : 1;
            i = qMin(i, int(header.size()));
            return header.mid(from, i - from);
        };
        p.name = unescapedName(upTo(QStringLiteral("[{")).trimmed());
        if (i < header.size() && header.at(i) == QLatin1Char('[')) {
            ++i;
            const QString tags = upTo(QStringLiteral("]"));
            if (i >= header.size())
                return fail(p.line, tr("les étiquettes du passage « %1 » ne sont pas fermées par « ] »").arg(p.name));
            ++i;
            static const QRegularExpression spaces(QStringLiteral("\\s+"));
            for (const QString &tag : tags.split(spaces, Qt::SkipEmptyParts))
                p.tags << unescapedName(tag);
        }
        const QString rest = header.mid(i).trimmed();
        if (rest.startsWith(QLatin1Char('{'))) {
            QJsonParseError parsed;
            const QJsonDocument json = QJsonDocument::fromJson(rest.toUtf8(), &parsed);
            if (json.isObject())
                p.metadata = json.object();
            else
                notes << tr("ligne %1 : les métadonnées du passage « %2 » ne sont pas un objet JSON, elles sont ignorées")
                             .arg(p.line)
                             .arg(p.name);
        } else if (!rest.isEmpty()) {
            notes << tr("ligne %1 : « %2 » après le nom du passage est ignoré").arg(p.line).arg(rest);
        }
        if (p.name.isEmpty())
            return fail(p.line, tr("un passage sans nom"));
        all.append(p);
        bodies.append(QStringList());
    }
    for (int k = 0; k < all.size(); ++k)
        all[k].content = bodies.at(k).join(QLatin1Char('\n'));
    QSet<QString> names;
    QString start, rootName;
    for (const Passage &p : qAsConst(all)) {
        if (names.contains(p.name))
            return fail(p.line, tr("deux passages s'appellent « %1 »").arg(p.name));
        names.insert(p.name);
        if (p.name == QLatin1String("StoryTitle")) {
            storyTitle = unescapedContent(p.content.trimmed());
        } else if (p.name == QLatin1String("StoryData")) {
            const QJsonDocument data = QJsonDocument::fromJson(p.content.toUtf8());
            if (!data.isObject()) {
                notes << tr("ligne %1 : StoryData n'est pas un objet JSON, il est ignoré").arg(p.line);
                continue;
            }
            storyIfid = data.object().value(QStringLiteral("ifid")).toString();
            start = data.object().value(QStringLiteral("start")).toString();
            rootName = data.object().value(QStringLiteral("orvandel-root")).toString();
            storyAuthor = data.object().value(QStringLiteral("orvandel-author")).toString();
        } else if (!p.tags.contains(QLatin1String("script")) && !p.tags.contains(QLatin1String("stylesheet"))) {
            story.append(p);
        }
    }
    if (story.isEmpty())
        return fail(0, tr("l'histoire n'a aucun passage"));
    makeBook(start, rootName);
    return true;
}

void TweeReader::makeBook(const QString &startName, const QString &rootName)
{
    root = XmlText::isName(rootName) ? rootName : XmlText::nameFrom(storyTitle);
    if (root.isEmpty())
        root = QStringLiteral("Livre");
    int start = 0;
    for (int k = 0; k < story.size(); ++k)
        if (story.at(k).name == startName)
            start = k;
    if (startName.isEmpty() || story.at(start).name != startName)
        for (int k = story.size() - 1; k >= 0; --k)
            if (story.at(k).name == QLatin1String("Start"))
                start = k;

    // Numbers kept when every passage bears one of its own and the reader
    // starts at the lowest.
    QSet<int> numbers;
    bool numbered = true;
    for (const Passage &p : qAsConst(story)) {
        const int n = EntryId::parse(p.name);
        numbered = numbered && n >= 0 && !numbers.contains(n) && n >= EntryId::parse(story.at(start).name);
        numbers.insert(n);
    }
    QVector<int> order;
    QHash<QString, QString> byName;
    QHash<int, QString> byNumber;
    if (numbered) {
        for (int k = 0; k < story.size(); ++k) {
            order << k;
            table.append({story.at(k).name, story.at(k).name});
        }
    } else {
        order << start;
        for (int k = 0; k < story.size(); ++k)
            if (k != start)
                order << k;
        for (int k = 0; k < order.size(); ++k) {
            const QString &name = story.at(order.at(k)).name;
            table.append({name, EntryId::text(k + 1)});
            byName.insert(name, EntryId::text(k + 1));
            if (EntryId::parse(name) >= 0)
                byNumber.insert(EntryId::parse(name), EntryId::text(k + 1));
        }
    }
    // A reference to a passage, as the number of its entry; anything else as it is.
    const auto number = [&](const QString &reference) {
        if (numbered)
            return reference;
        const auto named = byName.constFind(reference.trimmed());
        if (named != byName.constEnd())
            return *named;
        return byNumber.value(EntryId::parse(reference), reference);
    };
    for (int k = 0; k < order.size(); ++k) {
        Entry e = entryOf(story.at(order.at(k)), number);
        e.id = table.at(k).second;
        made.append(e);
    }
}

Entry TweeReader::entryOf(const Passage &p, const std::function<QString(const QString &)> &number) const
{
    Entry e;
    if (p.metadata.value(QLatin1String(carried)).toInt() == 1) {
        const QJsonObject &m = p.metadata;
        const int lines = m.value(QLatin1String("lines")).toInt();
        e.text = unescapedContent(p.content.section(QLatin1Char('\n'), 0, lines - 1));
        if (lines <= 0)
            e.text.clear();
        e.types = Entry::parseTypeCodes(m.value(QLatin1String("types")).toString());
        const QJsonArray bonus = m.value(QLatin1String("bonus")).toArray();
        e.bonus = {bonus.at(0).toBool(), bonus.at(1).toInt(), bonus.at(2).toInt(), bonus.at(3).toInt()};
        const QJsonArray flee = m.value(QLatin1String("flee")).toArray();
        e.flee = {flee.at(0).toBool(), flee.at(1).toBool(), flee.at(2).toInt(), number(stringAt(flee, 3))};
        const QJsonArray luck = m.value(QLatin1String("luck")).toArray();
        e.luck = {luck.at(0).toBool(), number(stringAt(luck, 1)), stringAt(luck, 2), number(stringAt(luck, 3)),
                  stringAt(luck, 4)};
        e.monsterType = m.value(QLatin1String("monsterType")).toString(QStringLiteral("U"));
        for (const QJsonValue &v : m.value(QLatin1String("monsters")).toArray()) {
            const QJsonArray a = v.toArray();
            e.monsters.append({stringAt(a, 0), stringAt(a, 1), stringAt(a, 2), number(stringAt(a, 3))});
        }
        for (const QJsonValue &v : m.value(QLatin1String("objects")).toArray()) {
            const QJsonArray a = v.toArray();
            e.objects.append({stringAt(a, 0), stringAt(a, 1), stringAt(a, 2), stringAt(a, 3), stringAt(a, 4),
                              stringAt(a, 5), stringAt(a, 6), stringAt(a, 7), stringAt(a, 8)});
        }
        e.choiceActive = m.value(QLatin1String("choiceActive")).toBool();
        for (const QJsonValue &v : m.value(QLatin1String("choices")).toArray()) {
            const QJsonArray a = v.toArray();
            e.choices.append({number(stringAt(a, 0)), stringAt(a, 1)});
        }
        e.tagName = m.value(QLatin1String("tag")).toString(QStringLiteral("Attr"));
        for (const QJsonValue &v : m.value(QLatin1String("attributes")).toArray())
            e.otherAttributes.append({stringAt(v.toArray(), 0), stringAt(v.toArray(), 1)});
        e.otherChildren = m.value(QLatin1String("other")).toString();
        return e;
    }
    // Any other passage: each link a choice; a line of links only goes,
    // a link within a sentence leaves its text there.
    QStringList kept;
    for (const QString &line : p.content.split(QLatin1Char('\n'))) {
        const QVector<Link> found = links(line);
        QString plain = line, stripped = line;
        for (int k = found.size() - 1; k >= 0; --k) {
            plain.replace(found.at(k).start, found.at(k).length, found.at(k).text);
            stripped.remove(found.at(k).start, found.at(k).length);
        }
        for (const Link &l : found)
            e.choices.append({number(l.target), l.text});
        if (found.isEmpty() || !stripped.trimmed().isEmpty())
            kept << plain;
    }
    e.text = unescapedContent(kept.join(QLatin1Char('\n'))).trimmed();
    e.choiceActive = e.types.choice = !e.choices.isEmpty();
    QStringList others;
    for (const QString &tag : p.tags) {
        bool known = false;
        for (const TagType &t : tagTypes)
            if (tag == QLatin1String(t.tag)) {
                e.types.*t.box = known = true;
            }
        if (!known && tag != QLatin1String("fin") && tag != QLatin1String("objet"))
            others << tag;
    }
    if (!others.isEmpty()) {
        e.types.special = true;
        e.types.specialText = others.join(QLatin1Char(' '));
    }
    return e;
}

QByteArray TweeReader::csv() const
{
    QByteArray out = "passage;numéro\n";
    for (const auto &row : table)
        out += (csvField(row.first) + QLatin1Char(';') + row.second + QLatin1Char('\n')).toUtf8();
    return out;
}

QByteArray TweeReader::bookBytes() const
{
    return made.isEmpty() ? QByteArray() : EntryWriter::newBookText(root, made).toUtf8();
}

QString TweeReader::tablePath(const QString &bookPath)
{
    const QFileInfo named(bookPath);
    return named.path() + QLatin1Char('/') + named.completeBaseName() + QStringLiteral("-passages.csv");
}

bool TweeReader::writeBook(const QString &path)
{
    const QByteArray bytes = bookBytes();
    if (bytes.isEmpty())
        return fail(0, tr("aucun livre n'a été lu"));
    BookFile out;
    out.open(path);
    if (out.state() == BookFile::Unreadable && out.error() == BookFile::OpenError && QFileInfo::exists(path))
        return fail(0, out.errorString());
    if (!out.restore(bytes, tr("histoire Twine importée")))
        return fail(0, QStringLiteral("%1 : %2").arg(path, out.errorString()));
    if (!AtomicFile::holds(path, bytes))
        return fail(0, tr("%1 : le fichier écrit ne contient pas le livre").arg(path));
    const QString table = tablePath(path);
    const QByteArray rows = csv();
    AtomicFile file(table, AtomicFile::RefuseLinks);
    if (!file.write(rows))
        return fail(0, QStringLiteral("%1 : %2").arg(table, file.errorString()));
    if (!AtomicFile::holds(table, rows))
        return fail(0, tr("%1 : le fichier écrit ne contient pas la table des passages").arg(table));
    return true;
}
