#ifndef ORVANDEL_FILESTAMP_H
#define ORVANDEL_FILESTAMP_H

#include <QByteArray>
#include <QString>
#include <QVector>

// What a file held when it was last read or written, known without its
// bytes: the file's identity, size and time, and a digest of the bytes.
// While the identity, size and time hold, the file is taken to hold the
// same bytes (a program that writes it replaces it or moves its time);
// otherwise its bytes are read and the digest decides, so that a file
// merely touched still holds them. A book's bytes stay in its file this
// way, read back when a change needs them.
class FileStamp
{
public:
    FileStamp() = default;
    // The file at `path` as it stands, holding `pieces` one after the other.
    FileStamp(const QString &path, const QVector<QByteArray> &pieces);
    // The same, holding `size` bytes of that Digest.
    FileStamp(const QString &path, qint64 size, quint64 digest);

    bool isNull() const { return filePath.isEmpty(); }
    QString path() const { return filePath; }
    qint64 size() const { return length; }
    quint64 digest() const { return sum; }
    // True when the file at `path` (the stamped one, or a second name for
    // it) has the identity, size and time stamped.
    bool isFileAt(const QString &path) const;
    // True when the file still holds the bytes stamped.
    bool holds() const;
    // Those bytes read back; false when the file no longer holds them.
    bool read(QByteArray *bytes) const;
    // `length` bytes from `at` as the file holds them now, unchecked (a
    // change worked out from them is checked when it is written).
    QByteArray readAt(qint64 at, qint64 length) const;

private:
    struct Identity
    {
        qint64 inode = -1, size = -1, seconds = 0, nanoseconds = 0;
        bool operator==(const Identity &o) const
        {
            return inode == o.inode && size == o.size && seconds == o.seconds && nanoseconds == o.nanoseconds;
        }
    };
    static Identity identityOf(const QString &path);

    QString filePath;
    Identity identity;
    qint64 length = 0;
    quint64 sum = 0;
};

#endif
