// Reading a monsters file: no crash, and whatever was read writes back and reads the same.
#include "monsters/monsterfile.h"
#include "persistence/xmltext.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    if (holdsNoText(bytes))
        return 0;
    QVector<MonsterRow> rows;
    if (!MonsterFile::read(bytes, &rows))
        return 0;
    QVector<MonsterRow> again;
    if (!MonsterFile::read(MonsterFile::write(rows), &again) || again != rows)
        abort();
    return 0;
}
