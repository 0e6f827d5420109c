#include "book/bookreader.h"

#include "book/entryid.h"
#include "book/xmlscanner.h"
#include "book/xmltext.h"

#include <QBuffer>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstring>

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
        uint code = 0;
        const int length = XmlText::utf8Sequence(p + at, p + size, &code);
        valid = length > 0 && code != 0;
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

// QXmlStreamReader as the entries' source: it reads any XML and says
// where a fault lies.
class QtSource
{
public:
    explicit QtSource(const QByteArray &bytes)
        : bytes(bytes), cursor(bytes, bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0)
    {
        // All the bytes at once, not through a device: read in 8 KiB
        // pieces, the reader drops a U+FEFF that falls at the start of a
        // piece, and every offset after it is one short.
        xml.addData(bytes);
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
    bool attrIs(const char *name, const char *value) const
    {
        return attributes.value(QLatin1String(name)) == QLatin1String(value);
    }
    bool is(const char *name) const { return xml.name() == QLatin1String(name); }
    // The text of the element and of all it holds, read in a loop:
    // QXmlStreamReader::readElementText calls itself for every level, and a
    // text nested a hundred thousand levels deep ran out of stack.
    QString text()
    {
        release();
        QString out;
        for (int depth = 1; depth > 0 && !xml.atEnd();) {
            switch (xml.readNext()) {
            case QXmlStreamReader::Characters:
            case QXmlStreamReader::EntityReference:
                out += xml.text();
                break;
            case QXmlStreamReader::StartElement:
                ++depth;
                break;
            case QXmlStreamReader::EndElement:
                --depth;
                break;
            default:
                break;
            }
        }
        return out;
    }
    void skip()
    {
        release();
        xml.skipCurrentElement();
    }
    // The reader reuses its attribute list for the next element: holding on
    // to it past this one would make the reader copy it every time.
    void release() { attributes = QXmlStreamAttributes(); }

    // Where the start tag just read begins, -1 when not known.
    qsizetype tagBegin()
    {
        const qsizetype tagEnd = here();
        return tagEnd < 0 ? -1 : bytes.lastIndexOf('<', tagEnd - 1);
    }
    bool failed() const { return xml.hasError(); }

    // The entry element's own name and attributes.
    void readTag(Entry &e) const
    {
        if (xml.qualifiedName() != e.tagName)
            e.tagName = xml.qualifiedName().toString();
        for (const QXmlStreamAttribute &a : attributes) {
            if (a.qualifiedName() == QLatin1String("id"))
                e.id = a.value().toString();
            else
                e.otherAttributes.append({a.qualifiedName().toString(), a.value().toString()});
        }
    }

    const QByteArray &bytes;
    QXmlStreamAttributes attributes;
    QXmlStreamReader xml;
    Utf8Cursor cursor;
    bool mapOffsets = true; // until the bytes are found not to be UTF-8
};

// The scanner as the entries' source: the fast way through a book, for
// as long as it is sure of what it reads.
class ScannerSource
{
public:
    explicit ScannerSource(XmlScanner &scanner) : s(scanner) {}

    bool nextChild() { return s.nextChild(); }
    QString attr(const char *name) const { return s.attribute(name); }
    bool attrIs(const char *name, const char *value) const { return s.attributeIs(name, value); }
    bool is(const char *name) const { return s.isNamed(name); }
    QString text() { return s.text(); }
    void skip() { s.skip(); }
    qsizetype here() const { return s.here(); }
    qsizetype tagBegin() const { return s.tagBegin(); }
    bool failed() const { return s.gaveUp(); }

    void readTag(Entry &e) const
    {
        if (e.tagName != s.name())
            e.tagName = s.name();
        for (int i = 0; i < s.attributeCount(); ++i) {
            if (s.attributeName(i) == QLatin1String("id"))
                e.id = s.attributeValue(i, false);
            else
                e.otherAttributes.append({s.attributeName(i), s.attributeValue(i)});
        }
    }

private:
    XmlScanner &s;
};

// What an entry is made of, read the same from either source.

// The three value lines of a Bonus group, wherever it stands.
template <class Source>
void readBonus(Source &in, QString *habilete, QString *endurance, QString *chance)
{
    while (in.nextChild()) {
        if (in.attrIs("Name", "habilete"))
            *habilete = in.attr("Value");
        else if (in.attrIs("Name", "endurance"))
            *endurance = in.attr("Value");
        else if (in.attrIs("Name", "chance"))
            *chance = in.attr("Value");
        in.skip();
    }
}

template <class Source>
Entry::Object readObject(Source &in)
{
    Entry::Object o;
    o.exchange = in.attr("exchange");
    o.throwAway = in.attr("throw");
    while (in.nextChild()) {
        if (in.is("Text")) {
            o.text = in.text();
        } else if (in.is("Bonus")) {
            readBonus(in, &o.habilete, &o.endurance, &o.chance);
        } else if (in.is("Gold")) {
            o.gold = in.attr("Value");
            in.skip();
        } else if (in.is("Food")) {
            o.food = in.attr("Value");
            in.skip();
        } else if (in.is("Other")) {
            o.other = in.text();
        } else {
            in.skip();
        }
    }
    return o;
}

// An element the format does not know, kept as its XML text with the
// white space before it.
template <class Source>
void keepUnknownChild(Source &in, const QByteArray &bytes, Entry &e, qsizetype entryBegin)
{
    qsizetype from = in.tagBegin();
    in.skip();
    const qsizetype end = in.here();
    if (from < 0 || end < 0 || in.failed())
        return;
    while (from > entryBegin && isSpace(bytes.at(from - 1)))
        --from;
    e.otherChildren += QString::fromUtf8(bytes.constData() + from, int(end - from));
}

// Reads the entry whose start tag was just read; `begin` is where its
// element starts in the bytes.
template <class Source>
Entry readEntry(Source &in, const QByteArray &bytes, qsizetype begin)
{
    Entry e;
    in.readTag(e);
    QString types;
    while (in.nextChild()) {
        if (in.is("Text")) {
            e.text = in.text();
        } else if (in.is("Type")) {
            types = in.text();
        } else if (in.is("Bonus")) {
            e.bonus.active = in.attrIs("active", "1");
            QString habilete, endurance, chance;
            readBonus(in, &habilete, &endurance, &chance);
            e.bonus.habilete = habilete.toInt();
            e.bonus.endurance = endurance.toInt();
            e.bonus.chance = chance.toInt();
        } else if (in.is("Flee")) {
            e.flee.active = in.attrIs("active", "1");
            e.flee.penality = in.attrIs("Penality", "1");
            e.flee.round = in.attr("Round").toInt();
            e.flee.ref = in.attr("Ref");
            in.skip();
        } else if (in.is("Monster")) {
            e.monsterType = in.attr("Type");
            while (in.nextChild()) {
                e.monsters.append({in.attr("Name"), in.attr("habilete"), in.attr("endurance"),
                                   in.attr("Value")});
                in.skip();
            }
        } else if (in.is("Luck")) {
            e.luck.active = in.attrIs("active", "1");
            while (in.nextChild()) {
                const bool lucky = in.is("Lucky");
                const QString value = in.attr("Value");
                (lucky ? e.luck.luckyValue : e.luck.unluckyValue) = value;
                (lucky ? e.luck.luckyText : e.luck.unluckyText) = in.text();
            }
        } else if (in.is("Objects")) {
            while (in.nextChild())
                e.objects.append(readObject(in));
        } else if (in.is("Choices")) {
            e.choiceActive = in.attrIs("active", "1");
            while (in.nextChild()) {
                const QString value = in.attr("Value");
                e.choices.append({value, in.text()});
            }
        } else {
            keepUnknownChild(in, bytes, e, begin);
        }
    }
    e.types = Entry::parseTypeCodes(types);
    return e;
}

// The encoding a byte-order mark names, empty without one.
QString markedEncoding(const QByteArray &bytes)
{
    if (bytes.startsWith(QByteArray("\xFF\xFE\x00\x00", 4)))
        return QStringLiteral("UTF-32LE");
    if (bytes.startsWith(QByteArray("\x00\x00\xFE\xFF", 4)))
        return QStringLiteral("UTF-32BE");
    if (bytes.startsWith("\xFE\xFF"))
        return QStringLiteral("UTF-16BE");
    if (bytes.startsWith("\xFF\xFE"))
        return QStringLiteral("UTF-16LE");
    return QString();
}

// Qt's reader compares every attribute of an element with every other:
// an element with a hundred thousand of them would take a minute. A book
// holds a handful per element; counting them first costs one pass.
bool hasTooManyAttributes(const QByteArray &bytes, int limit)
{
    const char *p = bytes.constData(), *end = p + bytes.size();
    auto skipPast = [&](const char *terminator) {
        const qsizetype n = qsizetype(strlen(terminator));
        const char *found = std::search(p, end, terminator, terminator + n);
        p = found == end ? end : found + n;
    };
    while (p < end) {
        p = static_cast<const char *>(memchr(p, '<', size_t(end - p)));
        if (!p)
            return false;
        if (end - p >= 4 && memcmp(p, "<!--", 4) == 0) {
            skipPast("-->");
        } else if (end - p >= 9 && memcmp(p, "<![CDATA[", 9) == 0) {
            skipPast("]]>");
        } else if (end - p >= 2 && (p[1] == '?' || p[1] == '!' || p[1] == '/')) {
            skipPast(p[1] == '?' ? "?>" : ">");
        } else {
            int count = 0;
            char quote = 0;
            for (++p; p < end && (quote || *p != '>'); ++p) {
                if (quote) {
                    quote = *p == quote ? 0 : quote;
                } else if (*p == '"' || *p == '\'') {
                    quote = *p;
                } else if (*p == '=' && ++count > limit) {
                    return true;
                } else if (*p == '<') {
                    break; // not a tag after all: the reader says why
                }
            }
        }
    }
    return false;
}

// The first byte that cannot stand in a UTF-8 book (a malformed sequence,
// a character XML forbids), said with its line and column. Qt's reader
// places a wrong sequence at the start of what it decoded and calls a
// forbidden character "Unexpected ''"; empty when there is none.
QString firstForbiddenCharacter(const QByteArray &bytes)
{
    const uchar *p = reinterpret_cast<const uchar *>(bytes.constData()), *end = p + bytes.size();
    const uchar *at = bytes.startsWith("\xEF\xBB\xBF") ? p + 3 : p;
    int line = 1, column = 1;
    while (at < end) {
        uint code = 0;
        const int length = XmlText::utf8Sequence(at, end, &code);
        if (length == 0)
            return BookReader::tr("ligne %1, colonne %2 : ces octets ne sont pas de l'UTF-8 (0x%3)")
                .arg(line)
                .arg(column)
                .arg(QString::number(*at, 16).toUpper());
        if (!XmlText::isXmlChar(code))
            return BookReader::tr("ligne %1, colonne %2 : le caractère U+%3 est interdit en XML")
                .arg(line)
                .arg(column)
                .arg(QString::number(code, 16).toUpper().rightJustified(4, QLatin1Char('0')));
        if (code == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
        at += length;
    }
    return QString();
}

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
    if (fast && scan(bytes))
        return true;
    result = Book();
    return readChecked(bytes);
}

// The common case: UTF-8 without a DOCTYPE, read by the scanner. False when
// it gave up, whatever it read by then.
bool BookReader::scan(const QByteArray &bytes)
{
    Book &book = result;
    XmlScanner scanner(bytes);
    if (!scanner.readRoot())
        return false;
    book.source = bytes;
    book.root = scanner.name();
    ScannerSource in(scanner);
    const qsizetype rootBegin = scanner.here();
    while (in.nextChild()) {
        const qsizetype begin = scanner.tagBegin();
        book.entries.append(readEntry(in, bytes, begin));
        book.spans.append({begin, scanner.here()});
        if (book.entries.size() == 64) {
            // Room for as many entries as the first ones promise, so that
            // a large book's entries are not moved again and again.
            // (At most a million: tiny first entries before a sea of blanks
            // would promise more than a vector can hold.)
            const qint64 expected = qint64(bytes.size()) * 64 / qMax<qint64>(1, scanner.here() - rootBegin);
            const int room = int(qMin<qint64>(expected + expected / 8, 1 << 20));
            book.entries.reserve(room);
            book.spans.reserve(room);
        }
    }
    const qsizetype rootEnd = scanner.here();
    if (!scanner.finish())
        return false;
    book.indexNumbers();
    findInsertionPoint(rootEnd);
    return true;
}

// Any XML, read by QXmlStreamReader, which says where a fault lies.
bool BookReader::readChecked(const QByteArray &bytes)
{
    Book &book = result;
    if (hasTooManyAttributes(bytes, maximumAttributes)) {
        error = tr("un élément porte plus de %1 attributs, ce qu'aucun livre ne fait").arg(maximumAttributes);
        return false;
    }
    book.source = bytes;
    QtSource r(bytes);
    QXmlStreamReader &xml = r.xml;
    qsizetype rootEnd = -1;
    bool utf8 = true;
    QString encoding; // as declared; the reader's own copy is gone by the end
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartDocument:
            utf8 = isUtf8Declared(bytes, xml.documentEncoding());
            encoding = xml.documentEncoding().toString();
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
                const qsizetype begin = r.tagBegin();
                book.entries.append(readEntry(r, bytes, begin));
                book.spans.append({begin, r.here()});
            }
            rootEnd = r.here();
            break;
        default:
            break;
        }
    }
    if (xml.hasError()) {
        error = utf8 ? firstForbiddenCharacter(bytes) : QString();
        if (error.isEmpty())
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
                           .arg(!markedEncoding(bytes).isEmpty() ? markedEncoding(bytes)
                                : encoding.isEmpty()           ? QStringLiteral("UTF-16")
                                                               : encoding);
        return true;
    }
    if (rootEnd < 2 || !r.cursor.restIsValid()) {
        book.refusal = tr("Le fichier n'est pas encodé en UTF-8 comme il le déclare.");
        return true;
    }
    findInsertionPoint(rootEnd);
    return true;
}

// Where a new entry goes, and the file's line end, once the root element
// is known to end at `rootEnd`.
void BookReader::findInsertionPoint(qsizetype rootEnd)
{
    Book &book = result;
    const QByteArray &bytes = book.source;
    const qsizetype firstLineFeed = bytes.indexOf('\n');
    if (firstLineFeed > 0 && bytes.at(firstLineFeed - 1) == '\r')
        book.lineEnd = "\r\n";
    if (bytes.at(rootEnd - 2) == '/' && bytes.at(rootEnd - 1) == '>') {
        book.selfClosingRoot = true;
        book.insertAt = rootEnd - 2;
        return;
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
}

Entry BookReader::readElement(const QByteArray &element)
{
    XmlScanner scanner(element);
    if (scanner.readRoot()) {
        ScannerSource in(scanner);
        Entry e = readEntry(in, element, 0);
        if (scanner.finish())
            return e;
    }
    QtSource r(element);
    if (r.nextChild())
        return readEntry(r, element, 0);
    return Entry();
}
