#include "book/xmltext.h"

namespace {

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

// XML 1.0 (fifth edition) NameStartChar and NameChar.
bool isNameStart(uint c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':'
        || (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF)
        || (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF)
        || (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F)
        || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF)
        || (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0xEFFFF);
}

bool isNameChar(uint c)
{
    return isNameStart(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7
        || (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

} // namespace

QString XmlText::escaped(const QString &value, XmlPlace place, XmlCharset charset)
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
        if (!XmlText::isXmlChar(code))
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

bool XmlText::isName(QStringView name)
{
    if (name.isEmpty())
        return false;
    bool first = true;
    for (int i = 0; i < name.size(); ++i) {
        uint c = name.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(name.at(i), name.at(i + 1));
            ++i;
        }
        if (!(first ? isNameStart(c) : isNameChar(c)))
            return false;
        first = false;
    }
    return true;
}

bool XmlText::isBlank(const QByteArray &bytes)
{
    for (const char c : bytes)
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            return false;
    return true;
}

QString XmlText::nameFrom(const QString &title)
{
    QString name;
    for (const QChar c : title.trimmed()) {
        const QString one(c);
        name += isName(QStringLiteral("a") + one) && c != QLatin1Char(':') ? one : QStringLiteral("_");
    }
    while (name.contains(QLatin1String("__")))
        name.replace(QLatin1String("__"), QLatin1String("_"));
    if (name.isEmpty() || name == QLatin1String("_"))
        return QString();
    return isName(name) ? name : QLatin1Char('_') + name;
}

bool XmlText::isXmlChar(uint c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF)
        || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

int XmlText::utf8Sequence(const uchar *p, const uchar *end, uint *code)
{
    const uchar b = *p;
    int length;
    uint c;
    if (b < 0x80) {
        length = 1;
        c = b;
    } else if ((b & 0xE0) == 0xC0) {
        length = 2;
        c = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3;
        c = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4;
        c = b & 0x07;
    } else {
        return 0;
    }
    if (end - p < length)
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((p[k] & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (p[k] & 0x3F);
    }
    static const uint smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    *code = c;
    return length;
}
