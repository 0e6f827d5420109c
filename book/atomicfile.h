#ifndef ORVANDEL_ATOMICFILE_H
#define ORVANDEL_ATOMICFILE_H

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QVector>

class QIODevice;

// Replaces a file whole and atomically: the old file stays intact until the
// new one is complete on disk, then takes its place in one rename.
class AtomicFile
{
    Q_DECLARE_TR_FUNCTIONS(AtomicFile)

public:
    explicit AtomicFile(const QString &path) : path(path) {}

    // The pieces, one after the other, become the file's bytes.
    bool write(const QVector<QByteArray> &pieces);
    bool write(const QByteArray &bytes) { return write(QVector<QByteArray>{bytes}); }
    QString errorString() const { return error; }

    // Writes every byte to an open device, or says why not.
    static bool writeAll(QIODevice &device, const QByteArray &bytes, QString *error);

    // True when the file at `path` holds exactly `bytes` (compared piece by
    // piece, without reading the whole file into memory).
    static bool holds(const QString &path, const QByteArray &bytes);

private:
    QString path;
    QString error;
};

#endif
