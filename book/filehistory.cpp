#include "book/filehistory.h"

#include "book/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString indexName = QStringLiteral("index.tsv");
const QString stampFormat = QStringLiteral("yyyy-MM-dd_HH-mm-ss-zzz");

QString oneLine(QString text)
{
    return text.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

} // namespace

FileHistory::FileHistory(const QString &filePath, int limit) : filePath(filePath), limit(limit) {}

QString FileHistory::folder() const
{
    return filePath + QStringLiteral(".historique");
}

QVector<FileHistory::Version> FileHistory::versions() const
{
    QVector<Version> out;
    QFile index(QDir(folder()).filePath(indexName));
    if (!index.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray &line : index.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 3)
            continue;
        Version v;
        v.name = QString::fromUtf8(fields.at(0));
        v.when = QDateTime::fromString(v.name.section(QLatin1Char('.'), 0, 0).left(stampFormat.size()), stampFormat);
        v.entries = fields.at(1).toInt();
        v.change = QString::fromUtf8(fields.at(2));
        out.prepend(v);
    }
    return out;
}

bool FileHistory::keep(const QByteArray &bytes, int entries, const QString &change)
{
    const QDir dir(folder());
    if (!QDir().mkpath(dir.path()) || !QFileInfo(dir.path()).isDir()) {
        error = tr("le dossier « %1 » n'a pas pu être créé").arg(QDir::toNativeSeparators(dir.path()));
        return false;
    }
    const QString suffix = QLatin1Char('.') + QFileInfo(filePath).suffix();
    const QString stamp = QDateTime::currentDateTime().toString(stampFormat);
    QString name = stamp + suffix;
    for (int n = 2; dir.exists(name); ++n)
        name = stamp + QStringLiteral("-%1").arg(n) + suffix;

    AtomicFile version(dir.filePath(name));
    if (!version.write(bytes)) {
        error = tr("« %1 » : %2").arg(QDir::toNativeSeparators(dir.filePath(name)), version.errorString());
        return false;
    }
    // The index lists the versions oldest first; past the limit the oldest go.
    QVector<Version> kept = versions();
    kept.prepend({name, QDateTime(), entries, oneLine(change)});
    while (kept.size() > limit)
        QFile::remove(dir.filePath(kept.takeLast().name));
    QByteArray index;
    for (int i = kept.size() - 1; i >= 0; --i)
        index += kept.at(i).name.toUtf8() + '\t' + QByteArray::number(kept.at(i).entries) + '\t'
            + kept.at(i).change.toUtf8() + '\n';
    AtomicFile indexFile(dir.filePath(indexName));
    if (!indexFile.write(index)) {
        error = tr("« %1 » : %2").arg(QDir::toNativeSeparators(dir.filePath(indexName)), indexFile.errorString());
        return false;
    }
    return true;
}

bool FileHistory::read(const Version &version, QByteArray *bytes) const
{
    QFile file(QDir(folder()).filePath(version.name));
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    *bytes = file.readAll();
    return true;
}
