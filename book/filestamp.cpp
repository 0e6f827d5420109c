#include "book/filestamp.h"

#include "book/digest.h"

#include <QFile>

#include <sys/stat.h>

FileStamp::FileStamp(const QString &path, const QVector<QByteArray> &pieces)
    : filePath(path), identity(identityOf(path))
{
    Digest sum;
    for (const QByteArray &piece : pieces) {
        sum.add(piece);
        length += piece.size();
    }
    digest = sum.value();
}

FileStamp::Identity FileStamp::identityOf(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return Identity();
    return {qint64(st.st_ino), qint64(st.st_size), qint64(st.st_mtim.tv_sec), qint64(st.st_mtim.tv_nsec)};
}

bool FileStamp::isFileAt(const QString &path) const
{
    return identityOf(path) == identity;
}

bool FileStamp::holds() const
{
    if (isNull())
        return false;
    if (isFileAt(filePath))
        return true;
    // Read a piece at a time: the bytes are not kept.
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly) || file.size() != length)
        return false;
    Digest sum;
    QByteArray buffer(1 << 16, Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        const qint64 n = file.read(buffer.data(), buffer.size());
        if (n < 0)
            return false;
        if (n == 0)
            break;
        sum.add(buffer.constData(), n);
        total += n;
    }
    return total == length && sum.value() == digest;
}

bool FileStamp::read(QByteArray *bytes) const
{
    if (isNull())
        return false;
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly) || file.size() != length)
        return false;
    QByteArray back = file.readAll();
    if (file.error() != QFileDevice::NoError || back.size() != length || Digest::of(back) != digest)
        return false;
    *bytes = back;
    return true;
}
