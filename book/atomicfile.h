#ifndef ORVANDEL_ATOMICFILE_H
#define ORVANDEL_ATOMICFILE_H

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QVector>

#include <functional>

class QIODevice;

// Replaces a file whole and atomically: the old file stays intact until the
// new one is complete on disk, then takes its place in one rename.
class AtomicFile
{
    Q_DECLARE_TR_FUNCTIONS(AtomicFile)

public:
    // Files Orvandel names itself beside a book (its history, a table)
    // are never written through a link someone put in their place.
    enum Links { FollowLinks, RefuseLinks };
    // Synced: on disk before it takes the old file's place, as a book must
    // be. Unsynced: replaced whole all the same, left to the system to put
    // on disk (a list that can be made again, such as a history's index).
    enum Durability { Synced, Unsynced };
    explicit AtomicFile(const QString &path, Links links = FollowLinks, Durability durability = Synced)
        : path(path), links(links), durability(durability)
    {
    }

    // The pieces, one after the other, become the file's bytes.
    bool write(const QVector<QByteArray> &pieces);
    bool write(const QByteArray &bytes) { return write(QVector<QByteArray>{bytes}); }
    // What `produce` writes into the device it is given becomes the file's
    // bytes, made as they go rather than whole in memory first; it answers
    // false, with the reason in `error`, to leave the file as it was.
    using Producer = std::function<bool(QIODevice *device, QString *error)>;
    bool write(const Producer &produce);
    QString errorString() const { return error; }
    // What the last write wrote, to know the file by (Digest) or to read it back against.
    quint64 digest() const { return writtenDigest; }
    qint64 size() const { return writtenSize; }

    // Writes every byte to an open device, or says why not.
    static bool writeAll(QIODevice &device, const QByteArray &bytes, QString *error);

    // True when the file at `path` holds exactly `bytes` (compared piece by
    // piece, without reading the whole file into memory).
    static bool holds(const QString &path, const QByteArray &bytes);

    // True when `path` is itself a symbolic link (dangling or not).
    static bool isLink(const QString &path);

private:
    bool writeUnsynced(const Producer &produce);

    QString path;
    Links links;
    Durability durability;
    QString error;
    quint64 writtenDigest = 0;
    qint64 writtenSize = 0;
};

#endif
