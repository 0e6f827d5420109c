#include "book/bookreader.h"

#include "book/entryid.h"
#include "book/xmltext.h"

#include <QBuffer>
#include <QXmlStreamReader>

namespace {

// Maps the reader's character offsets (UTF-16 units, always growing) to
// byte offsets in UTF-8 bytes, checking the bytes on the way: the reader
// would quietly replace a malformed sequence.
class Utf8Cursor
{
public:
    Utf8Cursor(const QByteArray &bytes, qsizetype start)
        : p(reinterpret_cast<const uchar *>(bytes.constData())), size(bytes.size()), at(start)
    {
    }

    // The byte where the `offset`-th unit starts, or -1 when the bytes are not UTF-8.
    qsizetype byteAt(qint64 offset)
    {
        while (valid && units < offset && at < size)
            step();
        return valid && units == offset ? at : -1;
    }
    bool restIsValid()
    {
        while (valid && at < size)
            step();
        return valid;
    }

private:
    void step()
    {
        const uchar b = p[at];
        if (b < 0x80) {
            valid = b != 0;
            ++at;
            ++units;
            return;
        }
        int length;
        uint code;
        if ((b & 0xE0) == 0xC0) {
            length = 2;
            code = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            length = 3;
            code = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            length = 4;
            code = b & 0x07;
        } else {
            valid = false;
            return;
        }
        if (at + length > size) {
            valid = false;
            return;
        }
        for (int k = 1; k < length; ++k) {
            if ((p[at + k] & 0xC0) != 0x80) {
                valid = false;
                return;
            }
            code = (code << 6) | (p[at + k] & 0x3F);
        }
        static const uint smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            valid = false;
            return;
        }
        at += length;
        units += code > 0xFFFF ? 2 : 1;
    }

    const uchar *p;
    qsizetype size;
    qsizetype at;
    qint64 units = 0;
    bool valid = true;
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

class Reader
{
public:
    Reader(const QByteArray &bytes, bool mapOffsets)
        : bytes(bytes), cursor(bytes, bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0),
          mapOffsets(mapOffsets)
    {
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        xml.setDevice(&buffer);
        xml.setNamespaceProcessing(false);
    }

    // The byte offset of the reader's position, -1 when not mapped.
    qsizetype here()
    {
        if (!mapOffsets)
            return -1;
        const qsizetype at = cursor.byteAt(xml.characterOffset());
        if (at < 0)
            mapOffsets = false;
        return at;
    }

    // Qt's reader lets names through that XML forbids ("$", "@", "{"...).
    bool checkNames()
    {
        attributes = xml.attributes();
        if (!XmlText::isName(xml.qualifiedName())) {
            xml.raiseError(BookReader::tr("« %1 » n'est pas un nom XML").arg(xml.qualifiedName()));
            return false;
        }
        for (const QXmlStreamAttribute &a : attributes) {
            if (!XmlText::isName(a.qualifiedName())) {
                xml.raiseError(BookReader::tr("« %1 » n'est pas un nom d'attribut XML")
                                   .arg(a.qualifiedName()));
                return false;
            }
        }
        return true;
    }

    // The next child element of the current one; false at its end tag.
    bool nextChild()
    {
        release();
        while (!xml.atEnd()) {
            switch (xml.readNext()) {
            case QXmlStreamReader::StartElement:
                return checkNames();
            case QXmlStreamReader::EndElement:
                return false;
            case QXmlStreamReader::DTD:
                if (!xml.entityDeclarations().isEmpty())
                    xml.raiseError(BookReader::tr("le fichier déclare des entités, "
                                                  "ce qu'un livre ne fait pas"));
                break;
            default:
                break;
            }
        }
        return false;
    }

    QString attr(const char *name) const
    {
        return attributes.value(QLatin1String(name)).toString();
    }
    bool flag(const char *name) const { return attr(name) == QLatin1String("1"); }
    bool is(const char *name) const { return xml.name() == QLatin1String(name); }
    QString text()
    {
        release();
        return xml.readElementText(QXmlStreamReader::IncludeChildElements);
    }
    void skip()
    {
        release();
        xml.skipCurrentElement();
    }
    // The reader reuses its attribute list for the next element: holding on
    // to it past this one would make the reader copy it every time.
    void release() { attributes = QXmlStreamAttributes(); }

    // The three value lines of a Bonus group, wherever it stands.
    void readBonus(QString *habilete, QString *endurance, QString *chance)
    {
        while (nextChild()) {
            const QString name = attr("Name");
            if (name == QLatin1String("habilete"))
                *habilete = attr("Value");
            else if (name == QLatin1String("endurance"))
                *endurance = attr("Value");
            else if (name == QLatin1String("chance"))
                *chance = attr("Value");
            skip();
        }
    }

    Entry::Object readObject()
    {
        Entry::Object o;
        o.exchange = attr("exchange");
        o.throwAway = attr("throw");
        while (nextChild()) {
            if (is("Text")) {
                o.text = text();
            } else if (is("Bonus")) {
                readBonus(&o.habilete, &o.endurance, &o.chance);
            } else if (is("Gold")) {
                o.gold = attr("Value");
                skip();
            } else if (is("Food")) {
                o.food = attr("Value");
                skip();
            } else if (is("Other")) {
                o.other = text();
            } else {
                skip();
            }
        }
        return o;
    }

    // Reads the entry whose start tag was just read; `begin` is where its
    // element starts in the bytes.
    Entry readEntry(qsizetype begin)
    {
        Entry e;
        if (xml.qualifiedName() != e.tagName)
            e.tagName = xml.qualifiedName().toString();
        for (const QXmlStreamAttribute &a : attributes) {
            if (a.qualifiedName() == QLatin1String("id"))
                e.id = a.value().toString();
            else
                e.otherAttributes.append({a.qualifiedName().toString(), a.value().toString()});
        }
        QString types;
        while (nextChild()) {
            if (is("Text")) {
                e.text = text();
            } else if (is("Type")) {
                types = text();
            } else if (is("Bonus")) {
                e.bonus.active = flag("active");
                QString habilete, endurance, chance;
                readBonus(&habilete, &endurance, &chance);
                e.bonus.habilete = habilete.toInt();
                e.bonus.endurance = endurance.toInt();
                e.bonus.chance = chance.toInt();
            } else if (is("Flee")) {
                e.flee.active = flag("active");
                e.flee.penality = flag("Penality");
                e.flee.round = attr("Round").toInt();
                e.flee.ref = attr("Ref");
                skip();
            } else if (is("Monster")) {
                e.monsterType = attr("Type");
                while (nextChild()) {
                    e.monsters.append({attr("Name"), attr("habilete"), attr("endurance"),
                                       attr("Value")});
                    skip();
                }
            } else if (is("Luck")) {
                e.luck.active = flag("active");
                while (nextChild()) {
                    const bool lucky = is("Lucky");
                    const QString value = attr("Value");
                    (lucky ? e.luck.luckyValue : e.luck.unluckyValue) = value;
                    (lucky ? e.luck.luckyText : e.luck.unluckyText) = text();
                }
            } else if (is("Objects")) {
                while (nextChild())
                    e.objects.append(readObject());
            } else if (is("Choices")) {
                e.choiceActive = flag("active");
                while (nextChild()) {
                    const QString value = attr("Value");
                    e.choices.append({value, text()});
                }
            } else {
                keepUnknownChild(e, begin);
            }
        }
        e.types = Entry::parseTypeCodes(types);
        return e;
    }

    // An element the format does not know, kept as its XML text with the
    // white space before it.
    void keepUnknownChild(Entry &e, qsizetype entryBegin)
    {
        const qsizetype tagEnd = here();
        skip();
        const qsizetype end = here();
        if (tagEnd < 0 || end < 0 || xml.hasError())
            return;
        qsizetype from = bytes.lastIndexOf('<', tagEnd - 1);
        while (from > entryBegin && isSpace(bytes.at(from - 1)))
            --from;
        e.otherChildren += QString::fromUtf8(bytes.constData() + from, int(end - from));
    }

    const QByteArray &bytes;
    QXmlStreamAttributes attributes;
    QBuffer buffer;
    QXmlStreamReader xml;
    Utf8Cursor cursor;
    bool mapOffsets;
};

bool isUtf8Declared(const QByteArray &bytes, const QStringRef &encoding)
{
    if (bytes.startsWith("\xFE\xFF") || bytes.startsWith("\xFF\xFE"))
        return false;
    return encoding.isEmpty() || encoding.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) == 0
        || encoding.compare(QLatin1String("UTF8"), Qt::CaseInsensitive) == 0;
}

} // namespace

bool BookReader::read(QIODevice *device)
{
    return read(device->readAll());
}

bool BookReader::read(const QByteArray &bytes)
{
    result = Book();
    error.clear();
    Book &book = result;
    book.source = bytes;
    Reader r(bytes, true);
    QXmlStreamReader &xml = r.xml;
    qsizetype rootEnd = -1;
    bool utf8 = true;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartDocument:
            utf8 = isUtf8Declared(bytes, xml.documentEncoding());
            r.mapOffsets = utf8;
            break;
        case QXmlStreamReader::DTD:
            if (!xml.entityDeclarations().isEmpty())
                xml.raiseError(tr("le fichier déclare des entités, ce qu'un livre ne fait pas"));
            break;
        case QXmlStreamReader::StartElement:
            if (!r.checkNames())
                break;
            book.root = xml.qualifiedName().toString();
            while (r.nextChild()) {
                const qsizetype tagEnd = r.here();
                const qsizetype begin = tagEnd < 0 ? -1 : bytes.lastIndexOf('<', tagEnd - 1);
                book.entries.append(r.readEntry(begin));
                book.spans.append({begin, r.here()});
            }
            rootEnd = r.here();
            break;
        default:
            break;
        }
    }
    if (xml.hasError()) {
        error = tr("ligne %1, colonne %2 : %3")
                    .arg(xml.lineNumber())
                    .arg(xml.columnNumber())
                    .arg(xml.errorString());
        return false;
    }
    if (book.root.isEmpty()) {
        error = tr("aucun élément racine");
        return false;
    }
    book.indexNumbers();

    if (!utf8) {
        book.refusal = tr("Le fichier est encodé en %1 ; Orvandel n'écrit que dans des "
                          "fichiers UTF-8.")
                           .arg(xml.documentEncoding().isEmpty() ? QStringLiteral("UTF-16")
                                                                 : xml.documentEncoding().toString());
        return true;
    }
    if (rootEnd < 2 || !r.cursor.restIsValid()) {
        book.refusal = tr("Le fichier n'est pas encodé en UTF-8 comme il le déclare.");
        return true;
    }
    const qsizetype firstLineFeed = bytes.indexOf('\n');
    if (firstLineFeed > 0 && bytes.at(firstLineFeed - 1) == '\r')
        book.lineEnd = "\r\n";
    if (bytes.at(rootEnd - 2) == '/' && bytes.at(rootEnd - 1) == '>') {
        book.selfClosingRoot = true;
        book.insertAt = rootEnd - 2;
        return true;
    }
    // The closing tag holds no other "<"; a new entry goes before it, and
    // before the line end that puts it on a line of its own.
    qsizetype at = bytes.lastIndexOf('<', rootEnd - 1);
    if (at > 0 && bytes.at(at - 1) == '\n') {
        --at;
        if (at > 0 && bytes.at(at - 1) == '\r')
            --at;
    }
    book.insertAt = at;
    return true;
}

Entry BookReader::readElement(const QByteArray &element)
{
    Reader r(element, true);
    if (r.nextChild())
        return r.readEntry(0);
    return Entry();
}
