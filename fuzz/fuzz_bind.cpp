// Binding an entries file: whatever the bytes, the scan ends and its answers hold together.
#include "persistence/entriesfile.h"
#include "persistence/xmltext.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    if (holdsNoText(bytes))
        return 0;
    const BookScan scan = scanBook(bytes);
    if (scan.lastId < 0 || scan.entryCount < 0)
        abort();
    if (scan.canInsert()
        && (scan.insertAt > bytes.size() || scan.insertAt + scan.replaceLength > bytes.size()))
        abort();
    if (!scan.wellFormed && scan.refusal.isEmpty())
        abort();
    return 0;
}
