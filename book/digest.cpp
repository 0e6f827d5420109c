#include "book/digest.h"

#include <QFile>
#include <QtEndian>

#include <cstring>

namespace {

const quint64 prime1 = 11400714785074694791ULL;
const quint64 prime2 = 14029467366897019727ULL;
const quint64 prime3 = 1609587929392839161ULL;
const quint64 prime4 = 9650029242287828579ULL;
const quint64 prime5 = 2870177450012600261ULL;

inline quint64 rotated(quint64 x, int bits)
{
    return (x << bits) | (x >> (64 - bits));
}

inline quint64 word64(const char *p)
{
    quint64 w;
    std::memcpy(&w, p, 8);
    return qFromLittleEndian(w);
}

inline quint32 word32(const char *p)
{
    quint32 w;
    std::memcpy(&w, p, 4);
    return qFromLittleEndian(w);
}

inline quint64 round(quint64 lane, quint64 input)
{
    return rotated(lane + input * prime2, 31) * prime1;
}

inline quint64 merged(quint64 sum, quint64 lane)
{
    return (sum ^ round(0, lane)) * prime1 + prime4;
}

// Four lanes over each 32 bytes: they run side by side in the processor.
inline const char *stripes(quint64 *lanes, const char *p, const char *end)
{
    quint64 a = lanes[0], b = lanes[1], c = lanes[2], d = lanes[3];
    for (; end - p >= 32; p += 32) {
        a = round(a, word64(p));
        b = round(b, word64(p + 8));
        c = round(c, word64(p + 16));
        d = round(d, word64(p + 24));
    }
    lanes[0] = a;
    lanes[1] = b;
    lanes[2] = c;
    lanes[3] = d;
    return p;
}

} // namespace

Digest::Digest() : lanes{prime1 + prime2, prime2, 0, 0 - prime1} {}

void Digest::add(const char *data, qsizetype size)
{
    if (size <= 0)
        return;
    total += quint64(size);
    const char *p = data, *const end = data + size;
    if (held > 0) {
        const int taken = int(qMin<qsizetype>(32 - held, size));
        std::memcpy(pending + held, p, size_t(taken));
        held += taken;
        p += taken;
        if (held < 32)
            return;
        stripes(lanes, pending, pending + 32);
        held = 0;
    }
    p = stripes(lanes, p, end);
    held = int(end - p);
    std::memcpy(pending, p, size_t(held));
}

quint64 Digest::value() const
{
    quint64 h;
    if (total >= 32) {
        h = rotated(lanes[0], 1) + rotated(lanes[1], 7) + rotated(lanes[2], 12) + rotated(lanes[3], 18);
        for (const quint64 lane : lanes)
            h = merged(h, lane);
    } else {
        h = lanes[2] + prime5;
    }
    h += total;
    const char *p = pending, *const end = pending + held;
    for (; end - p >= 8; p += 8)
        h = rotated(h ^ round(0, word64(p)), 27) * prime1 + prime4;
    if (end - p >= 4) {
        h = rotated(h ^ (quint64(word32(p)) * prime1), 23) * prime2 + prime3;
        p += 4;
    }
    for (; p < end; ++p)
        h = rotated(h ^ (quint64(uchar(*p)) * prime5), 11) * prime1;
    h ^= h >> 33;
    h *= prime2;
    h ^= h >> 29;
    h *= prime3;
    h ^= h >> 32;
    return h;
}

quint64 Digest::of(const QByteArray &bytes)
{
    Digest digest;
    digest.add(bytes);
    return digest.value();
}

bool Digest::ofFile(const QString &path, quint64 *value, qint64 *size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    Digest digest;
    QByteArray buffer(1 << 16, Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        const qint64 n = file.read(buffer.data(), buffer.size());
        if (n < 0)
            return false;
        if (n == 0)
            break;
        digest.add(buffer.constData(), n);
        total += n;
    }
    *value = digest.value();
    *size = total;
    return true;
}
