#include "book/referencespans.h"

#include <cstring>

namespace {

// A walk over the tags of one element of a well-formed document: the book
// reader has checked every byte already, so only the shape of tags matters
// here. Comments, CDATA sections and processing instructions are passed
// over; attribute values may hold ">".
class TagWalk
{
public:
    TagWalk(const char *data, qsizetype begin, qsizetype end) : d(data), pos(begin), end(end) {}

    enum Kind { Start, EndTag, Done };
    struct Attribute
    {
        qsizetype nameAt;
        int nameLength;
        Book::Span value;
    };

    // The next start or end tag; an empty element ("<a/>") gives a start
    // tag, then its end tag.
    Kind next()
    {
        if (pendingEnd) {
            pendingEnd = false;
            return EndTag;
        }
        while (pos < end) {
            if (d[pos] != '<') {
                const void *lt = std::memchr(d + pos, '<', size_t(end - pos));
                pos = lt ? static_cast<const char *>(lt) - d : end;
                continue;
            }
            if (startsWith("<!--")) {
                passOver("-->");
            } else if (startsWith("<![CDATA[")) {
                passOver("]]>");
            } else if (startsWith("<?")) {
                passOver("?>");
            } else if (startsWith("</")) {
                passOver(">");
                return EndTag;
            } else {
                readStartTag();
                return Start;
            }
        }
        return Done;
    }

    // The local name of the last start tag ("Flee" for "x:Flee").
    bool isNamed(const char *name) const
    {
        const int length = int(std::strlen(name));
        return localLength == length && std::memcmp(d + localAt, name, size_t(length)) == 0;
    }
    Book::Span attribute(const char *name) const
    {
        const int length = int(std::strlen(name));
        for (const Attribute &a : attributes)
            if (a.nameLength == length && std::memcmp(d + a.nameAt, name, size_t(length)) == 0)
                return a.value;
        return ReferenceSpans::none;
    }

private:
    bool startsWith(const char *literal) const
    {
        const qsizetype n = qsizetype(std::strlen(literal));
        return end - pos >= n && std::memcmp(d + pos, literal, size_t(n)) == 0;
    }
    void passOver(const char *terminator)
    {
        const qsizetype n = qsizetype(std::strlen(terminator));
        while (pos < end && !startsWith(terminator))
            ++pos;
        pos = qMin(end, pos + n);
    }
    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
    static bool endsName(char c) { return isSpace(c) || c == '=' || c == '>' || c == '/'; }

    void readStartTag()
    {
        attributes.clear();
        ++pos; // '<'
        const qsizetype nameAt = pos;
        while (pos < end && !endsName(d[pos]))
            ++pos;
        localAt = nameAt;
        for (qsizetype i = nameAt; i < pos; ++i)
            if (d[i] == ':')
                localAt = i + 1;
        localLength = int(pos - localAt);
        for (;;) {
            while (pos < end && isSpace(d[pos]))
                ++pos;
            if (pos >= end)
                return;
            if (d[pos] == '>') {
                ++pos;
                return;
            }
            if (d[pos] == '/') {
                pos = qMin(end, pos + 2); // "/>"
                pendingEnd = true;
                return;
            }
            Attribute a;
            a.nameAt = pos;
            while (pos < end && !endsName(d[pos]))
                ++pos;
            a.nameLength = int(pos - a.nameAt);
            while (pos < end && d[pos] != '\'' && d[pos] != '"')
                ++pos;
            if (pos >= end)
                return;
            const char quote = d[pos++];
            a.value.begin = pos;
            while (pos < end && d[pos] != quote)
                ++pos;
            a.value.end = pos;
            pos = qMin(end, pos + 1);
            attributes.append(a);
        }
    }

    const char *d;
    qsizetype pos, end;
    QVector<Attribute> attributes;
    qsizetype localAt = 0;
    int localLength = 0;
    bool pendingEnd = false;
};

// Passes over the rest of the element whose start tag was just read.
void passElement(TagWalk &walk)
{
    for (int depth = 1; depth > 0;) {
        switch (walk.next()) {
        case TagWalk::Start: ++depth; break;
        case TagWalk::EndTag: --depth; break;
        case TagWalk::Done: return;
        }
    }
}

} // namespace

ReferenceSpans ReferenceSpans::of(const Book &book, int index, const QByteArray &bytes)
{
    // The same elements, in the same order, as the book reader takes the
    // values from: the last Flee and the last Lucky or Unlucky count, every
    // child of Monster and of Choices is a monster or a choice.
    ReferenceSpans spans;
    const Book::Span element = book.span(index);
    if (element.end > bytes.size())
        return spans;
    TagWalk walk(bytes.constData(), element.begin, element.end);
    if (walk.next() != TagWalk::Start)
        return spans;
    spans.id = walk.attribute("id");
    while (walk.next() == TagWalk::Start) {
        if (walk.isNamed("Flee")) {
            spans.flight = walk.attribute("Ref");
            passElement(walk);
        } else if (walk.isNamed("Monster") || walk.isNamed("Choices") || walk.isNamed("Luck")) {
            const bool monsters = walk.isNamed("Monster"), luck = walk.isNamed("Luck");
            while (walk.next() == TagWalk::Start) {
                const Span value = walk.attribute("Value");
                if (monsters)
                    spans.victories.append(value);
                else if (!luck)
                    spans.choices.append(value);
                else
                    (walk.isNamed("Lucky") ? spans.lucky : spans.unlucky) = value;
                passElement(walk);
            }
        } else {
            passElement(walk);
        }
    }
    return spans;
}
