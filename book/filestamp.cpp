#include "book/filestamp.h"

#include "book/digest.h"

#include <QFile>
#include <QFileInfo>

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
    if (QFileInfo(filePath).size() != length)
        return false;
    // Read a piece at a time: the bytes are not kept.
    quint64 sum = 0;
    qint64 size = 0;
    return Digest::ofFile(filePath, &sum, &size) && size == length && sum == digest;
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
