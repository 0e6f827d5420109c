#include "book/filehistory.h"

#include "book/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <unistd.h>

namespace {

const QString indexName = QStringLiteral("index.tsv");
const QString stampFormat = QStringLiteral("yyyy-MM-dd_HH-mm-ss-zzz");

QString oneLine(QString text)
{
    return text.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

} // namespace

FileHistory::FileHistory(const QString &filePath, int limit, qint64 bytes)
    : filePath(filePath), limit(limit), byteLimit(bytes)
{
}

QString FileHistory::folder() const
{
    return filePath + QStringLiteral(".historique");
}

bool FileHistory::isVersionName(const QString &name) const
{
    // The names keep() gives: a time stamp, maybe "-n", then the book's
    // suffix; never a path, never a link.
    static const QRegularExpression shape(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d-\\d{3}(-\\d+)?(\\.[^/\\\\]*)?$"));
    return shape.match(name).hasMatch() && !AtomicFile::isLink(QDir(folder()).filePath(name));
}

QVector<FileHistory::Version> FileHistory::versions() const
{
    QVector<Version> out;
    if (AtomicFile::isLink(folder()))
        return out;
    QFile index(QDir(folder()).filePath(indexName));
    if (!index.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray &line : index.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 3)
            continue;
        Version v;
        v.name = QString::fromUtf8(fields.at(0));
        if (!isVersionName(v.name))
            continue;
        v.when = QDateTime::fromString(v.name.left(stampFormat.size()), stampFormat);
        v.entries = fields.at(1).toInt();
        v.change = QString::fromUtf8(fields.at(2));
        out.prepend(v);
    }
    return out;
}

bool FileHistory::writeIndex(const QVector<Version> &newestFirst)
{
    QByteArray index;
    for (int i = newestFirst.size() - 1; i >= 0; --i)
        index += newestFirst.at(i).name.toUtf8() + '\t' + QByteArray::number(newestFirst.at(i).entries) + '\t'
            + newestFirst.at(i).change.toUtf8() + '\n';
    const QString path = QDir(folder()).filePath(indexName);
    // The index is a list of the versions that are there: it need not be
    // on disk before the book's own save goes on.
    AtomicFile indexFile(path, AtomicFile::RefuseLinks, AtomicFile::Unsynced);
    if (!indexFile.write(index)) {
        error = tr("« %1 » : %2").arg(QDir::toNativeSeparators(path), indexFile.errorString());
        return false;
    }
    return true;
}

bool FileHistory::keep(const QByteArray &bytes, int entries, const QString &change, const QString &file,
                       const std::function<bool(const QString &)> &isSame)
{
    return keep([&bytes](QByteArray *copy, QString *) {
        *copy = bytes;
        return true;
    }, entries, change, file, isSame);
}

bool FileHistory::keep(const std::function<bool(QByteArray *bytes, QString *error)> &bytes, int entries,
                       const QString &change, const QString &file, const std::function<bool(const QString &)> &isSame)
{
    error.clear();
    const QDir dir(folder());
    if (AtomicFile::isLink(dir.path())) {
        error = tr("« %1 » est un lien symbolique : Orvandel n'y écrit pas").arg(QDir::toNativeSeparators(dir.path()));
        return false;
    }
    if (!QDir().mkpath(dir.path()) || !QFileInfo(dir.path()).isDir()) {
        error = tr("le dossier « %1 » n'a pas pu être créé").arg(QDir::toNativeSeparators(dir.path()));
        return false;
    }
    const QString suffix = QLatin1Char('.') + QFileInfo(filePath).suffix();
    const QString stamp = QDateTime::currentDateTime().toString(stampFormat);
    QString name = stamp + suffix;
    for (int n = 2; dir.exists(name) || AtomicFile::isLink(dir.filePath(name)); ++n)
        name = stamp + QStringLiteral("-%1").arg(n) + suffix;
    const QString path = dir.filePath(name);

    // A second name for the file as it is (a linked book: the file it leads
    // to), if it is still what was read.
    bool linked = false;
    if (!file.isEmpty() && isSame) {
        const QString target = QFileInfo(file).canonicalFilePath();
        linked = !target.isEmpty() && ::link(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) == 0;
        if (linked && !isSame(path)) {
            QFile::remove(path);
            linked = false;
        }
    }
    if (!linked) {
        QByteArray copy;
        QString why;
        AtomicFile version(path, AtomicFile::RefuseLinks);
        if (!bytes(&copy, &why) || !version.write(copy)) {
            error = tr("« %1 » : %2").arg(QDir::toNativeSeparators(path), why.isEmpty() ? version.errorString() : why);
            return false;
        }
    }
    // The index lists the versions oldest first; past the limits the oldest go.
    QVector<Version> kept = versions();
    kept.prepend({name, QDateTime(), entries, oneLine(change)});
    int keep = qMin(kept.size(), limit);
    qint64 total = 0;
    for (int i = 0; i < keep; ++i) {
        total += QFileInfo(dir.filePath(kept.at(i).name)).size();
        if (i > 0 && total > byteLimit)
            keep = i;
    }
    if (!writeIndex(kept.mid(0, keep))) {
        QFile::remove(path);
        return false;
    }
    while (kept.size() > keep)
        QFile::remove(dir.filePath(kept.takeLast().name));
    return true;
}

bool FileHistory::forgetNewest()
{
    QVector<Version> kept = versions();
    if (kept.isEmpty())
        return true;
    const Version newest = kept.takeFirst();
    if (!writeIndex(kept))
        return false;
    QFile::remove(QDir(folder()).filePath(newest.name));
    return true;
}

bool FileHistory::read(const Version &version, QByteArray *bytes) const
{
    if (!isVersionName(version.name) || AtomicFile::isLink(folder())) {
        error = tr("« %1 » n'est pas une version de l'historique").arg(version.name);
        return false;
    }
    QFile file(QDir(folder()).filePath(version.name));
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    *bytes = file.readAll();
    return true;
}
