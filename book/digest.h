#ifndef ORVANDEL_DIGEST_H
#define ORVANDEL_DIGEST_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// A 64-bit digest of bytes that come in pieces (XXH64): quick enough to go
// over a whole book at every save, so that a file can be known to hold what
// was written without keeping the bytes. It tells a changed file from an
// unchanged one; it does not stand against someone who forges a file.
class Digest
{
public:
    Digest();
    void add(const char *data, qsizetype size);
    void add(const QByteArray &bytes) { add(bytes.constData(), bytes.size()); }
    quint64 value() const;

    static quint64 of(const QByteArray &bytes);
    // The digest of the file at `path` and its size, read a piece at a
    // time; false when it cannot be read.
    static bool ofFile(const QString &path, quint64 *value, qint64 *size);

private:
    quint64 lanes[4];
    char pending[32];
    int held = 0;
    quint64 total = 0;
};

#endif
