#include "book/atomicfile.h"

#include "book/digest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cstdio>

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

bool AtomicFile::writeAll(QIODevice &device, const QByteArray &bytes, QString *error)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = device.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            *error = device.errorString();
            if (error->isEmpty() || *error == QLatin1String("Unknown error"))
                *error = tr("l'écriture a échoué");
            return false;
        }
        done += n;
    }
    return true;
}

namespace {

// Passes what is written on to the file, keeping its digest and size.
class Digesting : public QIODevice
{
public:
    explicit Digesting(QIODevice *target) : target(target) { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }
    Digest digest;
    qint64 written = 0;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        const qint64 n = target->write(data, size);
        if (n > 0) {
            digest.add(data, n);
            written += n;
        } else {
            setErrorString(target->errorString());
        }
        return n;
    }

private:
    QIODevice *target;
};

} // namespace

bool AtomicFile::isLink(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool AtomicFile::write(const QVector<QByteArray> &pieces)
{
    return write([&pieces](QIODevice *device, QString *error) {
        for (const QByteArray &piece : pieces)
            if (!writeAll(*device, piece, error))
                return false;
        return true;
    });
}

bool AtomicFile::write(const Producer &produce)
{
    if (links == RefuseLinks && isLink(path)) {
        error = tr("« %1 » est un lien symbolique : Orvandel n'écrit pas à travers")
                    .arg(QDir::toNativeSeparators(path));
        return false;
    }
    // The new file takes the old one's mode (set-id bits included) and owner;
    // a file nobody may write is refused, even to root.
    struct stat old;
    const bool existed = ::stat(QFile::encodeName(path).constData(), &old) == 0;
    if (existed && (old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        error = tr("le fichier est en lecture seule");
        return false;
    }
    if (durability == Unsynced)
        return writeUnsynced(produce);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    if (existed && (::fchmod(file.handle(), old.st_mode & 07777) != 0
                    || (::fchown(file.handle(), old.st_uid, old.st_gid) != 0 && ::geteuid() == 0))) {
        error = QString::fromLocal8Bit(strerror(errno));
        file.cancelWriting();
        return false;
    }
    Digesting out(&file);
    if (!produce(&out, &error)) {
        file.cancelWriting();
        return false;
    }
    writtenDigest = out.digest.value();
    writtenSize = out.written;
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

bool AtomicFile::writeUnsynced(const Producer &produce)
{
    QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
    if (!file.open()) {
        error = file.errorString();
        return false;
    }
    // The mode of the file it replaces, or what a new file gets; a
    // temporary file is private to its owner.
    struct stat old;
    const mode_t mode = ::stat(QFile::encodeName(path).constData(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    if (::fchmod(file.handle(), mode) != 0) {
        error = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    Digesting out(&file);
    if (!produce(&out, &error))
        return false;
    writtenDigest = out.digest.value();
    writtenSize = out.written;
    if (!file.flush()) {
        error = file.errorString();
        return false;
    }
    if (::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData()) != 0) {
        error = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    file.setAutoRemove(false);
    return true;
}

bool AtomicFile::holds(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != bytes.size())
        return false;
    char buffer[65536];
    qint64 at = 0;
    for (;;) {
        const qint64 n = file.read(buffer, sizeof buffer);
        if (n < 0)
            return false;
        if (n == 0)
            return at == bytes.size();
        if (at + n > bytes.size() || memcmp(buffer, bytes.constData() + at, size_t(n)) != 0)
            return false;
        at += n;
    }
}
