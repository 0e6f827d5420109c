#include "book/xmlscanner.h"

#include "book/xmltext.h"

#include <cstring>

namespace {

// What a byte asks of the scanner: nothing (Plain), or a closer look.
enum ByteClass : unsigned char {
    Plain,
    Markup,   // "<"
    Amp,      // "&"
    Return,   // "\r", to be made a line feed
    Bracket,  // "]", which may begin "]]>"
    Space,    // tab or line feed in an attribute value, to be made a space
    Quote,    // either quote, in an attribute value
    High,     // the first byte of a character past U+007F
    Bad,      // a control character XML does not allow
};

struct ByteClasses
{
    unsigned char content[256];
    unsigned char attribute[256];
    unsigned char name[256]; // 1: may start a name, 2: may follow in one
    constexpr ByteClasses() : content(), attribute(), name()
    {
        for (int c = 0; c < 256; ++c) {
            const unsigned char base = c >= 0x80 ? High : (c < 0x20 && c != '\t' && c != '\n') ? Bad : Plain;
            content[c] = base;
            attribute[c] = base;
            name[c] = ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_') ? 1
                : ((c >= '0' && c <= '9') || c == '-' || c == '.')                 ? 2
                                                                                   : 0;
        }
        content[uchar('<')] = Markup;
        content[uchar('&')] = Amp;
        content[uchar('\r')] = Return;
        content[uchar(']')] = Bracket;
        attribute[uchar('<')] = Bad;
        attribute[uchar('&')] = Amp;
        attribute[uchar('\t')] = Space;
        attribute[uchar('\n')] = Space;
        attribute[uchar('\r')] = Space;
        attribute[uchar('"')] = Quote;
        attribute[uchar('\'')] = Quote;
    }
};
constexpr ByteClasses classes;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

void appendUtf8(QByteArray *out, uint c)
{
    char b[4];
    int n;
    if (c < 0x80) {
        b[0] = char(c);
        n = 1;
    } else if (c < 0x800) {
        b[0] = char(0xC0 | (c >> 6));
        b[1] = char(0x80 | (c & 0x3F));
        n = 2;
    } else if (c < 0x10000) {
        b[0] = char(0xE0 | (c >> 12));
        b[1] = char(0x80 | ((c >> 6) & 0x3F));
        b[2] = char(0x80 | (c & 0x3F));
        n = 3;
    } else {
        b[0] = char(0xF0 | (c >> 18));
        b[1] = char(0x80 | ((c >> 12) & 0x3F));
        b[2] = char(0x80 | ((c >> 6) & 0x3F));
        b[3] = char(0x80 | (c & 0x3F));
        n = 4;
    }
    out->append(b, n);
}

// The reference at `p` ("&amp;", "&#233;", "&#xE9;"): its length, and the
// character it stands for in `code`; 0 when it is no reference a document
// without a DTD may hold.
int referenceAt(const char *p, const char *end, uint *code)
{
    const char *q = p + 1;
    if (q < end && *q == '#') {
        ++q;
        const bool hex = q < end && *q == 'x';
        if (hex)
            ++q;
        const char *digits = q;
        uint value = 0;
        for (; q < end && *q != ';'; ++q) {
            int d;
            if (*q >= '0' && *q <= '9')
                d = *q - '0';
            else if (hex && *q >= 'a' && *q <= 'f')
                d = *q - 'a' + 10;
            else if (hex && *q >= 'A' && *q <= 'F')
                d = *q - 'A' + 10;
            else
                return 0;
            value = value * (hex ? 16 : 10) + uint(d);
            if (value > 0x10FFFF)
                return 0;
        }
        if (q == end || q == digits || !XmlText::isXmlChar(value))
            return 0;
        *code = value;
        return int(q + 1 - p);
    }
    static const struct
    {
        const char *name;
        char c;
    } predefined[] = {{"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"quot;", '"'}, {"apos;", '\''}};
    for (const auto &entity : predefined) {
        const int length = int(std::strlen(entity.name));
        if (end - q >= length && std::memcmp(q, entity.name, size_t(length)) == 0) {
            *code = uint(uchar(entity.c));
            return length + 1;
        }
    }
    return 0;
}

// UTF-8 as a string, a leading U+FEFF included: QString::fromUtf8 takes
// it for a byte-order mark and drops it.
QString decoded(const char *p, int length)
{
    int marks = 0;
    while (length - 3 * marks >= 3 && std::memcmp(p + 3 * marks, "\xEF\xBB\xBF", 3) == 0)
        ++marks;
    if (marks == 0)
        return QString::fromUtf8(p, length);
    return QString(marks, QChar(0xFEFF)) + QString::fromUtf8(p + 3 * marks, length - 3 * marks);
}

} // namespace

XmlScanner::XmlScanner(const QByteArray &bytes) : data(bytes.constData()), size(bytes.size()) {}

QString XmlScanner::shared(const char *utf8, int length, bool pooled) const
{
    // Numbers written the plain way ("0", "212", never "012") below this.
    const int fewNumbers = 4096;
    // Other values and texts up to this many bytes, this many of them.
    const int longestWord = 48, mostWords = 4096;
    if (length <= 0)
        return decoded(utf8, length);
    if (length <= 4 && (utf8[0] != '0' || length == 1)) {
        int value = 0;
        int i = 0;
        for (; i < length && utf8[i] >= '0' && utf8[i] <= '9'; ++i)
            value = value * 10 + (utf8[i] - '0');
        if (i == length && value < fewNumbers) {
            if (numbers.isEmpty())
                numbers.resize(fewNumbers);
            QString &number = numbers[value];
            if (number.isNull())
                number = QString::fromLatin1(utf8, length);
            return number;
        }
    }
    if (length > longestWord || !pooled)
        return decoded(utf8, length);
    quint32 hash = 2166136261u; // FNV-1a
    for (int i = 0; i < length; ++i)
        hash = (hash ^ uchar(utf8[i])) * 16777619u;
    if (words.isEmpty())
        words.resize(256);
    for (int slot = int(hash) & (words.size() - 1);; slot = (slot + 1) & (words.size() - 1)) {
        const Word &word = words.at(slot);
        if (word.at < 0)
            break;
        if (word.hash == hash && word.length == length
            && std::memcmp(wordBytes.constData() + word.at, utf8, size_t(length)) == 0)
            return word.value;
    }
    const QString made = decoded(utf8, length);
    if (wordCount == mostWords)
        return made;
    // At most half full: room made twice as large, the words placed anew.
    if (2 * (wordCount + 1) > words.size()) {
        const QVector<Word> before = words;
        words = QVector<Word>(2 * before.size());
        for (const Word &word : before) {
            int slot = int(word.hash) & (words.size() - 1);
            while (word.at >= 0 && words.at(slot).at >= 0)
                slot = (slot + 1) & (words.size() - 1);
            if (word.at >= 0)
                words[slot] = word;
        }
    }
    int slot = int(hash) & (words.size() - 1);
    while (words.at(slot).at >= 0)
        slot = (slot + 1) & (words.size() - 1);
    words[slot] = {hash, wordBytes.size(), length, made};
    wordBytes.append(utf8, length);
    ++wordCount;
    return made;
}

bool XmlScanner::at(const char *literal) const
{
    const qsizetype length = qsizetype(std::strlen(literal));
    return size - pos >= length && std::memcmp(data + pos, literal, size_t(length)) == 0;
}

bool XmlScanner::skipSpace()
{
    const qsizetype from = pos;
    while (pos < size && isSpace(data[pos]))
        ++pos;
    return pos > from;
}

bool XmlScanner::readCharacter()
{
    uint code = 0;
    const int length = XmlText::utf8Sequence(reinterpret_cast<const uchar *>(data + pos),
                                             reinterpret_cast<const uchar *>(data + size), &code);
    if (length == 0 || !XmlText::isXmlChar(code))
        return giveUp();
    pos += length;
    return true;
}

bool XmlScanner::readReference(QByteArray *text)
{
    uint code;
    const int length = referenceAt(data + pos, data + size, &code);
    // A "]" written as a reference counts towards "]]>" for QXmlStreamReader.
    if (length == 0 || code == ']')
        return giveUp();
    pos += length;
    if (text)
        appendUtf8(text, code);
    return true;
}

bool XmlScanner::readName(qsizetype *at, int *length)
{
    if (pos >= size || classes.name[uchar(data[pos])] != 1)
        return giveUp();
    *at = pos;
    while (++pos < size && classes.name[uchar(data[pos])] != 0) {
    }
    // A name goes on with a colon or a character past ASCII: whatever reads
    // it next finds no space, "=" or ">" there, and gives up.
    *length = int(pos - *at);
    // QXmlStreamReader refuses names past 4 KiB.
    return *length <= 4096 || giveUp();
}

// Reads on past the first `end`, checking every character on the way; the
// text before it is appended to `text` (when given) with its line ends made "\n".
bool XmlScanner::readUntil(const char *end, QByteArray *text)
{
    qsizetype run = pos;
    while (pos < size) {
        const uchar c = uchar(data[pos]);
        if (c == uchar(end[0]) && at(end)) {
            if (text)
                text->append(data + run, int(pos - run));
            pos += qsizetype(std::strlen(end));
            return true;
        }
        if (c >= 0x80) {
            if (!readCharacter())
                return false;
        } else if (c == '\r' && text) {
            text->append(data + run, int(pos - run)).append('\n');
            ++pos;
            if (pos < size && data[pos] == '\n')
                ++pos;
            run = pos;
        } else if (classes.content[c] == Bad) {
            return giveUp();
        } else {
            ++pos;
        }
    }
    return giveUp();
}

bool XmlScanner::readComment()
{
    pos += 4; // "<!--"
    // The first "--" ends the comment, and must be followed by ">".
    if (!readUntil("--", nullptr))
        return false;
    if (pos >= size || data[pos] != '>')
        return giveUp();
    ++pos;
    return true;
}

bool XmlScanner::readCData(QByteArray *text)
{
    pos += 9; // "<![CDATA["
    return readUntil("]]>", text);
}

bool XmlScanner::readProcessingInstruction()
{
    pos += 2; // "<?"
    qsizetype target;
    int length;
    if (!readName(&target, &length))
        return false;
    if (length == 3 && (data[target] | 0x20) == 'x' && (data[target + 1] | 0x20) == 'm'
        && (data[target + 2] | 0x20) == 'l')
        return giveUp(); // an XML declaration out of place
    if (!at("?>") && !skipSpace())
        return giveUp();
    return readUntil("?>", nullptr);
}

// <?xml version="1.0" encoding="UTF-8" standalone="yes"?>, each part as
// plain as a book writes it; anything else is left to QXmlStreamReader.
bool XmlScanner::readDeclaration()
{
    pos += 5; // "<?xml"
    const char *const names[] = {"version", "encoding", "standalone"};
    int next = 0;
    bool sawVersion = false;
    for (;;) {
        const bool space = skipSpace();
        if (at("?>")) {
            pos += 2;
            return sawVersion || giveUp();
        }
        if (!space)
            return giveUp();
        qsizetype nameStart;
        int nameLength;
        if (!readName(&nameStart, &nameLength))
            return false;
        int which = next;
        while (which < 3 && !(int(std::strlen(names[which])) == nameLength
                              && std::memcmp(data + nameStart, names[which], size_t(nameLength)) == 0))
            ++which;
        if (which == 3 || (which > 0 && !sawVersion))
            return giveUp();
        skipSpace();
        if (pos >= size || data[pos] != '=')
            return giveUp();
        ++pos;
        skipSpace();
        if (pos >= size || (data[pos] != '"' && data[pos] != '\''))
            return giveUp();
        const char quote = data[pos];
        const qsizetype valueStart = ++pos;
        while (pos < size && data[pos] != quote && data[pos] != '<')
            ++pos;
        if (pos >= size || data[pos] != quote)
            return giveUp();
        const QByteArray value = QByteArray::fromRawData(data + valueStart, int(pos - valueStart));
        ++pos;
        const bool fine = which == 0 ? value == "1.0"
            : which == 1             ? value.compare("UTF-8", Qt::CaseInsensitive) == 0
                                     : (value == "yes" || value == "no");
        if (!fine)
            return giveUp();
        sawVersion = true;
        next = which + 1;
    }
}

bool XmlScanner::readMisc()
{
    for (;;) {
        skipSpace();
        if (at("<!--")) {
            if (!readComment())
                return false;
        } else if (at("<?")) {
            if (!readProcessingInstruction())
                return false;
        } else {
            return true;
        }
    }
}

bool XmlScanner::readRoot()
{
    if (at("\xEF\xBB\xBF"))
        pos = 3;
    if (at("<?xml") && pos + 5 < size && isSpace(data[pos + 5]) && !readDeclaration())
        return false;
    if (!readMisc())
        return false;
    if (pos >= size || data[pos] != '<' || pos + 1 >= size || data[pos + 1] == '!')
        return giveUp(); // no root, text, or a DOCTYPE
    return readStartTag();
}

bool XmlScanner::finish()
{
    if (stopped || !open.isEmpty() || !readMisc())
        return false;
    return pos == size || giveUp();
}

bool XmlScanner::readStartTag()
{
    tagAt = pos;
    ++pos;
    if (!readName(&nameAt, &nameLength))
        return false;
    attributes.clear();
    for (;;) {
        const bool space = skipSpace();
        if (pos >= size)
            return giveUp();
        if (data[pos] == '>' || (data[pos] == '/' && pos + 1 < size && data[pos + 1] == '>')) {
            emptyElement = data[pos] == '/';
            pos += emptyElement ? 2 : 1;
            open.append({nameAt, nameLength});
            return true;
        }
        if (!space)
            return giveUp();
        // Each attribute is compared with those before it: past a few dozen,
        // an element is no entry of a book, and is left to QXmlStreamReader.
        if (attributes.size() == 64)
            return giveUp();
        Attribute a;
        if (!readName(&a.nameAt, &a.nameLength))
            return false;
        skipSpace();
        if (pos >= size || data[pos] != '=')
            return giveUp();
        ++pos;
        skipSpace();
        a.valueAt = pos + 1;
        if (!readAttributeValue(&a.plain))
            return false;
        a.valueLength = int(pos - 1 - a.valueAt);
        for (const Attribute &b : qAsConst(attributes))
            if (b.nameLength == a.nameLength
                && std::memcmp(data + b.nameAt, data + a.nameAt, size_t(a.nameLength)) == 0)
                return giveUp(); // the same attribute twice
        attributes.append(a);
    }
}

// A quoted value, from its opening quote to past its closing one.
bool XmlScanner::readAttributeValue(bool *plain)
{
    if (pos >= size || (data[pos] != '"' && data[pos] != '\''))
        return giveUp();
    const char quote = data[pos++];
    *plain = true;
    while (pos < size) {
        const uchar c = uchar(data[pos]);
        switch (classes.attribute[c]) {
        case Plain:
            ++pos;
            break;
        case Quote:
            ++pos;
            if (c == uchar(quote))
                return true;
            break;
        case Space:
            *plain = false;
            ++pos;
            break;
        case Amp:
            *plain = false;
            if (!readReference(nullptr))
                return false;
            break;
        case High:
            if (!readCharacter())
                return false;
            break;
        default:
            return giveUp();
        }
    }
    return giveUp();
}

bool XmlScanner::readEndTag()
{
    pos += 2; // "</"
    qsizetype at;
    int length;
    if (!readName(&at, &length))
        return false;
    skipSpace();
    if (pos >= size || data[pos] != '>' || open.isEmpty())
        return giveUp();
    const Open &top = open.constLast();
    if (top.length != length || std::memcmp(data + top.at, data + at, size_t(length)) != 0)
        return giveUp();
    ++pos;
    open.removeLast();
    return true;
}

XmlScanner::Token XmlScanner::readContent(QByteArray *text)
{
    const uchar *const bytes = reinterpret_cast<const uchar *>(data);
    for (;;) {
        const qsizetype run = pos;
        for (;;) {
            while (pos < size && classes.content[bytes[pos]] == Plain)
                ++pos;
            if (pos < size && bytes[pos] >= 0x80) {
                if (!readCharacter())
                    return Trouble;
                continue;
            }
            break;
        }
        if (text && pos > run)
            text->append(data + run, int(pos - run));
        if (pos >= size) {
            giveUp(); // an element left open
            return Trouble;
        }
        switch (classes.content[bytes[pos]]) {
        case Markup:
            if (pos + 1 >= size) {
                giveUp();
                return Trouble;
            }
            if (data[pos + 1] == '/')
                return readEndTag() ? EndTag : Trouble;
            if (data[pos + 1] == '?') {
                if (!readProcessingInstruction())
                    return Trouble;
            } else if (data[pos + 1] == '!') {
                if (at("<!--")) {
                    if (!readComment())
                        return Trouble;
                } else if (at("<![CDATA[")) {
                    if (!readCData(text))
                        return Trouble;
                } else {
                    giveUp();
                    return Trouble;
                }
            } else {
                return readStartTag() ? StartTag : Trouble;
            }
            break;
        case Amp:
            if (!readReference(text))
                return Trouble;
            break;
        case Return:
            ++pos;
            if (pos < size && data[pos] == '\n')
                ++pos;
            if (text)
                text->append('\n');
            break;
        case Bracket:
            if (at("]]>")) {
                giveUp();
                return Trouble;
            }
            ++pos;
            if (text)
                text->append(']');
            break;
        default:
            giveUp();
            return Trouble;
        }
    }
}

bool XmlScanner::nextChild()
{
    if (stopped)
        return false;
    if (emptyElement) {
        emptyElement = false;
        open.removeLast();
        return false;
    }
    return readContent(nullptr) == StartTag;
}

void XmlScanner::skip()
{
    readBody(nullptr);
}

QString XmlScanner::text()
{
    if (buffer.capacity() == 0)
        buffer.reserve(1024); // kept from one text to the next
    buffer.resize(0);
    readBody(&buffer);
    return stopped ? QString() : shared(buffer.constData(), buffer.size());
}

void XmlScanner::readBody(QByteArray *text)
{
    if (stopped)
        return;
    const int depth = open.size();
    if (emptyElement) {
        emptyElement = false;
        open.removeLast();
        return;
    }
    for (;;) {
        switch (readContent(text)) {
        case StartTag:
            if (emptyElement) {
                emptyElement = false;
                open.removeLast();
            }
            break;
        case EndTag:
            if (open.size() < depth)
                return;
            break;
        case Trouble:
            return;
        }
    }
}

bool XmlScanner::isNamed(const char *name) const
{
    return int(std::strlen(name)) == nameLength
        && std::memcmp(data + nameAt, name, size_t(nameLength)) == 0;
}

QLatin1String XmlScanner::attributeName(int i) const
{
    const Attribute &a = attributes.at(i);
    return QLatin1String(data + a.nameAt, a.nameLength);
}

QString XmlScanner::attributeValue(int i, bool pooled) const
{
    const Attribute &a = attributes.at(i);
    if (a.plain)
        return a.valueLength == 0 ? QString() : shared(data + a.valueAt, a.valueLength, pooled);
    QByteArray value;
    value.reserve(a.valueLength);
    const char *p = data + a.valueAt;
    const char *const end = p + a.valueLength;
    while (p < end) {
        if (*p == '&') {
            uint code = 0;
            p += referenceAt(p, end, &code); // checked when the tag was read
            appendUtf8(&value, code);
        } else if (isSpace(*p)) {
            if (*p == '\r' && p + 1 < end && p[1] == '\n')
                ++p;
            value.append(' ');
            ++p;
        } else {
            value.append(*p++);
        }
    }
    return shared(value.constData(), value.size(), pooled);
}

int XmlScanner::indexOf(const char *name) const
{
    const int length = int(std::strlen(name));
    for (int i = 0; i < attributes.size(); ++i) {
        const Attribute &a = attributes.at(i);
        if (a.nameLength == length && std::memcmp(data + a.nameAt, name, size_t(length)) == 0)
            return i;
    }
    return -1;
}

QString XmlScanner::attribute(const char *name) const
{
    const int i = indexOf(name);
    return i < 0 ? QString() : attributeValue(i);
}

bool XmlScanner::attributeIs(const char *name, const char *value) const
{
    const int i = indexOf(name);
    if (i < 0)
        return false;
    const Attribute &a = attributes.at(i);
    if (!a.plain)
        return attributeValue(i) == QLatin1String(value);
    return a.valueLength == int(std::strlen(value))
        && std::memcmp(data + a.valueAt, value, size_t(a.valueLength)) == 0;
}
