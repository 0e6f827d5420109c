#include "persistence/atomicwrite.h"

#include <QCoreApplication>
#include <QSaveFile>

bool writeAll(QIODevice &device, const QByteArray &bytes, QString *error)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = device.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            *error = device.errorString();
            if (error->isEmpty() || *error == QLatin1String("Unknown error"))
                *error = QCoreApplication::translate("SaveFile", "l'écriture a échoué");
            return false;
        }
        done += n;
    }
    return true;
}

bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    if (!writeAll(file, bytes, error)) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}
