// Saving an entry into arbitrary bytes: either a refusal, or a well-formed
// book holding one more entry with every earlier byte kept.
#include "persistence/entriesfile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const BookScan scan = scanBook(bytes);
    if (!scan.canInsert())
        return 0;
    static const QString entry =
        QStringLiteral("\t<Attr id=\"7\">\n\t\t<Text>&amp; é</Text>\n\t\t<Type>X</Type>\n\t</Attr>");
    const QByteArray out = withEntryAdded(bytes, scan, entry);
    const BookScan after = scanBook(out);
    if (!after.wellFormed || after.rootName != scan.rootName
        || after.entryCount != scan.entryCount + 1 || after.lastId != 7)
        abort();
    const qsizetype tail = scan.insertAt + scan.replaceLength;
    if (!out.startsWith(bytes.left(scan.insertAt)) || !out.endsWith(bytes.mid(tail)))
        abort();
    return 0;
}
