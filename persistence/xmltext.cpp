#include "persistence/xmltext.h"

#include <QXmlStreamReader>

namespace {

bool isXmlChar(uint c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF)
        || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// Characters that need more than a copy, for the fast path below.
bool needsWork(QChar ch, XmlPlace place, XmlCharset charset)
{
    const ushort c = ch.unicode();
    if (c < 0x20)
        return place == XmlPlace::Attribute || (c != '\t' && c != '\n');
    if (c == '&' || c == '<' || c == '>' || c == '"')
        return true;
    if (c >= 0xD800)
        return true; // surrogates, U+FFFE/U+FFFF (and harmless others) take the slow path
    return charset == XmlCharset::Latin1 && c > 0xFF;
}

void appendReference(QString &out, uint code)
{
    out += QLatin1String("&#");
    out += QString::number(code);
    out += QLatin1Char(';');
}

} // namespace

QString xmlEscaped(const QString &value, XmlPlace place, XmlCharset charset)
{
    const int size = value.size();
    const QChar *data = value.constData();
    int first = 0;
    while (first < size && !needsWork(data[first], place, charset))
        ++first;
    if (first == size)
        return value;

    QString out;
    out.reserve(size + 16);
    out.append(data, first);
    for (int i = first; i < size; ++i) {
        uint code = data[i].unicode();
        if (QChar::isHighSurrogate(code) && i + 1 < size && data[i + 1].isLowSurrogate()) {
            code = QChar::surrogateToUcs4(data[i], data[i + 1]);
            ++i;
        }
        if (!isXmlChar(code))
            continue;
        switch (code) {
        case '&': out += QLatin1String("&amp;"); continue;
        case '<': out += QLatin1String("&lt;"); continue;
        case '>': out += QLatin1String("&gt;"); continue;
        case '"': out += QLatin1String("&quot;"); continue;
        case '\r':
            // A parser turns a raw CR into a line feed, so it is kept as a reference.
            appendReference(out, code);
            continue;
        case '\t':
        case '\n':
            if (place == XmlPlace::Attribute)
                appendReference(out, code); // raw, they would read back as spaces
            else
                out += QChar(code);
            continue;
        default:
            break;
        }
        if (charset == XmlCharset::Latin1 && code > 0xFF)
            appendReference(out, code);
        else if (code > 0xFFFF)
            out += QString::fromUcs4(&code, 1);
        else
            out += QChar(code);
    }
    return out;
}

bool isXmlName(const QString &name)
{
    if (name.isEmpty())
        return false;
    // Let the XML reader judge: the name must open and close an element alone.
    QXmlStreamReader reader(QLatin1Char('<') + name + QLatin1String("/>"));
    reader.setNamespaceProcessing(false);
    bool seen = false;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement)
            seen = reader.qualifiedName() == name;
    }
    return seen && !reader.hasError();
}

bool holdsNoText(const QByteArray &bytes)
{
    int end = bytes.indexOf('\0');
    if (end < 0)
        end = bytes.size();
    const QByteArray text = QByteArray::fromRawData(bytes.constData(), end);
    return text.isEmpty() || text == "\n" || text == "\r\n";
}
