#ifndef ORVANDEL_ATOMICWRITE_H
#define ORVANDEL_ATOMICWRITE_H

#include <QByteArray>
#include <QString>
#include <QVector>

class QIODevice;

// Writes every byte to an open device, or says why not.
bool writeAll(QIODevice &device, const QByteArray &bytes, QString *error);

// Replaces `path` whole and atomically: the old file stays intact until the
// new one is complete on disk. On failure `error` holds the system's reason.
bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error);
bool writeFileAtomically(const QString &path, const QVector<QByteArray> &pieces, QString *error);

// True when the file at `path` holds exactly `bytes` (compared piecewise,
// without reading the whole file into memory).
bool fileHolds(const QString &path, const QByteArray &bytes);

#endif
