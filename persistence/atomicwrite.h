#ifndef ORVANDEL_ATOMICWRITE_H
#define ORVANDEL_ATOMICWRITE_H

#include <QByteArray>
#include <QString>

// Replaces `path` whole and atomically: the old file stays intact until the
// new one is complete on disk. On failure `error` holds the system's reason.
bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error);

#endif
