#include "book/booktitle.h"

#include "book/atomicfile.h"
#include "book/book.h"

#include <QFile>
#include <QFileInfo>

namespace {

const QLatin1String titleKey("titre="), authorKey("auteur=");

// One line of the file holds one value: line ends inside it become spaces.
QString oneLine(const QString &value)
{
    QString v = value;
    v.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return v.trimmed();
}

} // namespace

QString BookTitle::pathFor(const QString &bookPath)
{
    return bookPath + QStringLiteral(".titre");
}

void BookTitle::parse(const QByteArray &bytes)
{
    title.clear();
    author.clear();
    others.clear();
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.startsWith(titleKey))
            title = line.mid(titleKey.size()).trimmed();
        else if (line.startsWith(authorKey))
            author = line.mid(authorKey.size()).trimmed();
        else if (!line.trimmed().isEmpty())
            others += line + QLatin1Char('\n');
    }
}

QByteArray BookTitle::bytes() const
{
    QString text;
    if (!oneLine(title).isEmpty())
        text += titleKey + oneLine(title) + QLatin1Char('\n');
    if (!oneLine(author).isEmpty())
        text += authorKey + oneLine(author) + QLatin1Char('\n');
    return (text + others).toUtf8();
}

bool BookTitle::read(const QString &bookPath)
{
    error.clear();
    parse(QByteArray());
    QFile file(pathFor(bookPath));
    if (!file.exists())
        return false;
    if (!file.open(QIODevice::ReadOnly)) {
        error = tr("%1 : %2").arg(file.fileName(), file.errorString());
        return false;
    }
    parse(file.readAll());
    return true;
}

bool BookTitle::write(const QString &bookPath)
{
    error.clear();
    const QString path = pathFor(bookPath);
    const QByteArray text = bytes();
    if (text.isEmpty()) {
        if (QFileInfo::exists(path) && !QFile::remove(path)) {
            error = tr("%1 : le fichier n'a pas pu être supprimé").arg(path);
            return false;
        }
        return true;
    }
    AtomicFile file(path, AtomicFile::RefuseLinks);
    if (!file.write(text)) {
        error = file.errorString();
        return false;
    }
    return true;
}

QString BookTitle::titleFromRoot(const QString &rootName)
{
    QString t = rootName;
    t.replace(QLatin1Char('_'), QLatin1Char(' '));
    return t.simplified();
}

QString BookTitle::shownTitle(const Book &book) const
{
    const QString kept = oneLine(title);
    return kept.isEmpty() ? titleFromRoot(book.rootName()) : kept;
}
