#ifndef ORVANDEL_XMLTEXT_H
#define ORVANDEL_XMLTEXT_H

#include <QByteArray>
#include <QString>
#include <QStringView>

// How a value is placed in an XML file's text.
enum class XmlPlace {
    Content,   // between tags: tabs and line feeds stay as typed
    Attribute, // between double quotes: tabs and line ends become references
};

enum class XmlCharset {
    Unicode, // the file's encoding holds every character (UTF-8)
    Latin1,  // characters past U+00FF become numeric references
};

class XmlText
{
public:
    // The one way a typed value enters an XML file: the reserved characters
    // become references so that the file stays well-formed and the value
    // reads back exactly as typed. Characters XML 1.0 cannot carry at all
    // (most control characters, lone surrogates, U+FFFE/U+FFFF) are left out.
    static QString escaped(const QString &value, XmlPlace place,
                           XmlCharset charset = XmlCharset::Unicode);

    // True when a file's bytes hold no text at all: nothing, or only blank
    // lines. Anything else (a NUL byte, a picture) is a file to read, and to
    // refuse when it cannot be read, never one to start afresh.
    static bool isBlank(const QByteArray &bytes);

    // True when `name` can stand as an element or attribute name (XML 1.0).
    static bool isName(QStringView name);
    // True when XML 1.0 allows character `code` in a document.
    static bool isXmlChar(uint code);
    // The length of the well-formed UTF-8 sequence at `p` (not past `end`),
    // its character in `code`; 0 when the bytes are malformed, overlong, a
    // surrogate or past U+10FFFF.
    static int utf8Sequence(const uchar *p, const uchar *end, uint *code);
    // A valid name made from a title: "Mon livre" gives "Mon_livre",
    // "1984" gives "_1984"; empty for a title without letters or digits.
    static QString nameFrom(const QString &title);
};

#endif
