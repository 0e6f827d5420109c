#ifndef ORVANDEL_XMLSCANNER_H
#define ORVANDEL_XMLSCANNER_H

#include <QByteArray>
#include <QLatin1String>
#include <QString>
#include <QVector>

// Reads UTF-8 XML held in memory element by element, making a string only of
// what it is asked for. It reads what books are made of and nothing more: a
// document in UTF-8 without a DOCTYPE, its names plain ASCII without a colon,
// every character one XML 1.0 allows. At anything else, a fault or a form it
// does not take on, it gives up (`gaveUp()`) and every call answers false or
// nothing from then on; the caller then reads the bytes with
// QXmlStreamReader, which knows XML in full and says where a fault lies.
// What it reads, it reads as QXmlStreamReader does: references replaced,
// line ends made "\n", white space in attribute values made spaces.
class XmlScanner
{
public:
    explicit XmlScanner(const QByteArray &bytes);

    // Reads the XML declaration, comments and processing instructions up to
    // the root's start tag; true when that is read.
    bool readRoot();
    // Reads on to the current element's next child; true at its start tag,
    // false at the current element's end tag (read too).
    bool nextChild();
    // The text within the current element and its descendants; reads past
    // its end tag.
    QString text();
    // Reads past the current element's end tag.
    void skip();
    // After the root's end tag: true when nothing but comments, processing
    // instructions and white space follow.
    bool finish();
    bool gaveUp() const { return stopped; }

    // The element whose start tag was read last.
    QLatin1String name() const { return QLatin1String(data + nameAt, nameLength); }
    bool isNamed(const char *name) const;
    qsizetype tagBegin() const { return tagAt; } // its "<"
    qsizetype here() const { return pos; }       // past the last tag read
    int attributeCount() const { return attributes.size(); }
    QLatin1String attributeName(int i) const;
    // `pooled`: looked up among the short values met before (not an
    // entry's id, met once).
    QString attributeValue(int i, bool pooled = true) const;
    // The value of the attribute named so, empty when there is none.
    QString attribute(const char *name) const;
    // Whether the attribute named so has that value, made of plain ASCII.
    bool attributeIs(const char *name, const char *value) const;

private:
    enum Token { StartTag, EndTag, Trouble };
    int indexOf(const char *attributeName) const; // -1 when the tag has none so named
    Token readContent(QByteArray *text);
    bool readStartTag();
    bool readEndTag();
    bool readName(qsizetype *at, int *length);
    bool readAttributeValue(bool *plain);
    bool readUntil(const char *end, QByteArray *text);
    bool readComment();
    bool readCData(QByteArray *text);
    bool readProcessingInstruction();
    bool readDeclaration();
    bool readMisc();
    bool readReference(QByteArray *text);
    bool readCharacter();
    void readBody(QByteArray *text);
    QString shared(const char *utf8, int length, bool pooled = true) const;
    bool skipSpace();
    bool at(const char *literal) const;
    bool giveUp()
    {
        stopped = true;
        return false;
    }

    struct Attribute
    {
        qsizetype nameAt, valueAt;
        int nameLength, valueLength;
        bool plain; // no reference, no white space to turn into spaces
    };
    struct Open
    {
        qsizetype at;
        int length;
    };

    const char *data;
    qsizetype size;
    qsizetype pos = 0;
    QVector<Open> open;
    QVector<Attribute> attributes;
    qsizetype tagAt = -1, nameAt = 0;
    int nameLength = 0;
    bool emptyElement = false; // the last start tag ended in "/>": its end is still to come
    bool stopped = false;
    QByteArray buffer;
    // Short values and texts are made once and shared by every element
    // that holds them (a book holds hundreds of thousands of "0", "12",
    // the same monster, the same few words): small numbers by their value,
    // the rest by their bytes in a table of their own, as long as there
    // are not too many of them to look up. (Sharing numbers of every size
    // made the references to a large book's entries one string each, but
    // reaching them all over memory slowed reading by a fifth.)
    struct Word
    {
        quint32 hash = 0;
        int at = -1; // its bytes in `wordBytes`; -1 for a free place
        int length = 0;
        QString value;
    };
    mutable QVector<QString> numbers;
    mutable QVector<Word> words;
    mutable QByteArray wordBytes;
    mutable int wordCount = 0;
};

#endif
