#include "book/filepaths.h"

#include <QDir>
#include <QFile>

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

bool sharedWithoutHarm(const QString &path)
{
    struct stat st;
    return ::stat(native(path).constData(), &st) == 0
        && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
}

} // namespace

QString FilePaths::planned(const QString &path)
{
    // Bytes all along, and no lexical clean-up: "link/.." is wherever the
    // link's parent is, which only the system knows.
    QByteArray at = native(path);
    if (!at.startsWith('/'))
        at = native(QDir::currentPath()) + '/' + at;
    char buffer[PATH_MAX];
    for (int links = 0; links < 40; ++links) { // the system gives up after as many
        const ssize_t n = ::readlink(at.constData(), buffer, sizeof buffer);
        if (n <= 0 || size_t(n) >= sizeof buffer)
            break;
        const QByteArray target(buffer, int(n));
        at = target.startsWith('/') ? target : at.left(at.lastIndexOf('/') + 1) + target;
    }
    if (::realpath(at.constData(), buffer))
        return QFile::decodeName(buffer);
    const int slash = at.lastIndexOf('/');
    const QByteArray folder = slash == 0 ? QByteArray("/") : at.left(slash);
    if (!::realpath(folder.constData(), buffer))
        return QFile::decodeName(at); // no folder to write into: the write fails anyway
    QByteArray real(buffer);
    if (!real.endsWith('/'))
        real += '/';
    return QFile::decodeName(real + at.mid(slash + 1));
}

bool FilePaths::sameFile(const QString &a, const QString &b)
{
    struct stat x, y;
    if (::stat(native(a).constData(), &x) == 0 && ::stat(native(b).constData(), &y) == 0)
        return x.st_dev == y.st_dev && x.st_ino == y.st_ino;
    return planned(a) == planned(b);
}

bool FilePaths::outputsApart(const QStringList &inputs, const QStringList &outputs)
{
    for (int o = 0; o < outputs.size(); ++o) {
        const QString &output = outputs.at(o);
        if (output.isEmpty() || sharedWithoutHarm(output))
            continue;
        for (const QString &input : inputs)
            if (!input.isEmpty() && sameFile(output, input)) {
                error = tr("%1 : la sortie serait écrite sur %2, un fichier lu").arg(output, input);
                return false;
            }
        for (int other = 0; other < o; ++other)
            if (!outputs.at(other).isEmpty() && sameFile(output, outputs.at(other))) {
                error = tr("%1 : la sortie serait écrite dans le même fichier que %2").arg(output, outputs.at(other));
                return false;
            }
    }
    return true;
}
