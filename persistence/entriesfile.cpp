#include "persistence/entriesfile.h"

#include <QCoreApplication>
#include <QXmlStreamReader>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("EntriesFile", text);
}

// Walks UTF-8 bytes, checking that they are valid, and finds the byte where
// the `charOffset`-th UTF-16 unit starts (the XML reader counts in those).
// Returns false on a malformed sequence.
bool utf8ByteOffset(const QByteArray &bytes, qsizetype start, qint64 charOffset,
                    qsizetype *byteOffset)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype size = bytes.size();
    qint64 units = 0;
    *byteOffset = -1;
    for (qsizetype i = start; i < size;) {
        if (units == charOffset && *byteOffset < 0)
            *byteOffset = i;
        const uchar b = p[i];
        int length;
        uint code;
        if (b < 0x80) {
            ++i;
            ++units;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            length = 2;
            code = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            length = 3;
            code = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            length = 4;
            code = b & 0x07;
        } else {
            return false;
        }
        if (i + length > size)
            return false;
        for (int k = 1; k < length; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (p[i + k] & 0x3F);
        }
        static const uint smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
        units += code > 0xFFFF ? 2 : 1;
    }
    if (units == charOffset && *byteOffset < 0)
        *byteOffset = size;
    return true;
}

} // namespace

int entryIdValue(const QStringRef &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value > 0 ? value : 0;
}

BookScan scanBook(const QByteArray &bytes)
{
    BookScan scan;
    QXmlStreamReader reader(bytes);
    reader.setNamespaceProcessing(false);
    int depth = 0;
    qint64 rootEnd = -1;
    QString encoding;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartDocument:
            encoding = reader.documentEncoding().toString();
            break;
        case QXmlStreamReader::StartElement:
            ++depth;
            if (depth == 1) {
                scan.rootName = reader.qualifiedName().toString();
            } else if (depth == 2) {
                ++scan.entryCount;
                scan.lastId = entryIdValue(reader.attributes().value(QLatin1String("id")));
            }
            break;
        case QXmlStreamReader::EndElement:
            if (--depth == 0)
                rootEnd = reader.characterOffset();
            break;
        default:
            break;
        }
    }
    if (reader.hasError()) {
        scan.error = reader.errorString();
        scan.errorLine = reader.lineNumber();
        scan.errorColumn = reader.columnNumber();
        scan.refusal = tr("Le fichier n'est pas un document XML bien formé "
                          "(ligne %1, colonne %2 : %3).")
                           .arg(scan.errorLine)
                           .arg(scan.errorColumn)
                           .arg(scan.error);
        return scan;
    }
    scan.wellFormed = true;

    // New entries are written in UTF-8, so the file must be UTF-8 already.
    if (!encoding.isEmpty() && encoding.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) != 0
        && encoding.compare(QLatin1String("UTF8"), Qt::CaseInsensitive) != 0) {
        scan.refusal = tr("Le fichier est encodé en %1 ; Orvandel n'écrit que dans des "
                          "fichiers UTF-8.")
                           .arg(encoding);
        return scan;
    }
    const qsizetype start = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    qsizetype end = -1;
    if (bytes.contains('\0') || !utf8ByteOffset(bytes, start, rootEnd, &end) || end < 2) {
        scan.refusal = tr("Le fichier n'est pas encodé en UTF-8 comme il le déclare.");
        return scan;
    }

    const qsizetype firstLineFeed = bytes.indexOf('\n');
    if (firstLineFeed > 0 && bytes.at(firstLineFeed - 1) == '\r')
        scan.lineEnd = "\r\n";

    if (bytes.at(end - 2) == '/' && bytes.at(end - 1) == '>') {
        // "<book/>": the "/>" becomes ">" + entry + "</book>".
        scan.selfClosingRoot = true;
        scan.insertAt = end - 2;
        scan.replaceLength = 2;
        return scan;
    }
    // The closing tag holds no other "<"; the new entry goes before it, and
    // before the line end that puts it on a line of its own.
    qsizetype at = bytes.lastIndexOf('<', end - 1);
    if (at > 0 && bytes.at(at - 1) == '\n') {
        --at;
        if (at > 0 && bytes.at(at - 1) == '\r')
            --at;
    }
    scan.insertAt = at;
    return scan;
}

SplicedBook spliceEntry(const QByteArray &bytes, const BookScan &scan, const QString &entryXml)
{
    QByteArray entry = entryXml.toUtf8();
    if (scan.lineEnd != "\n")
        entry.replace('\n', scan.lineEnd);
    const bool onItsOwnLine = scan.insertAt > 0 && bytes.at(scan.insertAt - 1) == '\n';
    const qsizetype tail = scan.insertAt + scan.replaceLength;

    SplicedBook book;
    book.head = QByteArray::fromRawData(bytes.constData(), scan.insertAt);
    book.tail = QByteArray::fromRawData(bytes.constData() + tail, bytes.size() - tail);
    QByteArray &out = book.middle;
    if (scan.selfClosingRoot) {
        out += '>';
        out += scan.lineEnd;
        out += entry;
        out += scan.lineEnd;
        out += "</" + scan.rootName.toUtf8() + '>';
    } else {
        // The first entry of a root that had none starts on a line of its own.
        if (scan.entryCount == 0 && !onItsOwnLine)
            out += scan.lineEnd;
        out += entry;
    }
    return book;
}
