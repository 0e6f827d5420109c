// Reading a monsters file: no crash, and whatever was read writes back and reads the same.
#include "book/monsterlist.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    MonsterList list;
    if (!list.read(&in))
        return 0;
    QByteArray written = list.toBytes();
    QBuffer back(&written);
    back.open(QIODevice::ReadOnly);
    MonsterList again;
    if (!again.read(&back) || again.rows != list.rows)
        abort();
    return 0;
}
