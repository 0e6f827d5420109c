#include "book/filestamp.h"

#include "book/digest.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

FileStamp::FileStamp(const QString &path, const QVector<QByteArray> &pieces)
    : filePath(path), identity(identityOf(path))
{
    Digest digest;
    for (const QByteArray &piece : pieces) {
        digest.add(piece);
        length += piece.size();
    }
    sum = digest.value();
}

FileStamp::FileStamp(const QString &path, qint64 size, quint64 digest)
    : filePath(path), identity(identityOf(path)), length(size), sum(digest)
{
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
    if (QFileInfo(filePath).size() != length)
        return false;
    // Read a piece at a time: the bytes are not kept.
    quint64 there = 0;
    qint64 size = 0;
    return Digest::ofFile(filePath, &there, &size) && size == length && there == sum;
}

bool FileStamp::read(QByteArray *bytes) const
{
    if (isNull())
        return false;
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly) || file.size() != length)
        return false;
    QByteArray back = file.readAll();
    if (file.error() != QFileDevice::NoError || back.size() != length || Digest::of(back) != sum)
        return false;
    *bytes = back;
    return true;
}

QByteArray FileStamp::readAt(qint64 at, qint64 length) const
{
    QFile file(filePath);
    if (isNull() || at < 0 || length <= 0 || !file.open(QIODevice::ReadOnly) || !file.seek(at))
        return QByteArray();
    return file.read(length);
}
