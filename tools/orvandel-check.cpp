// orvandel-check BOOK.xml [--monsters FILE] [--dot FILE] [--svg FILE] [--hard-fight PERCENT]
//
// Prints one finding per line, "kind<TAB>entry id<TAB>detail", then a
// summary on standard error. Exit status: 0 when the book has no dangling,
// duplicate-id or not-a-number finding, 1 when it has, 2 when the command
// line is wrong or a book or monster list cannot be read, 3 when an output
// cannot be written or would land on an input or on the other output.
#include "analysis/bookcheck.h"
#include "analysis/bookmap.h"
#include "book/atomicfile.h"
#include "book/bookfile.h"
#include "book/commandline.h"
#include "book/filepaths.h"
#include "book/monsterlist.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSaveFile>

#include <cstdio>
#include <functional>

namespace {

// A value as one field of a finding line: tabs, line ends and backslashes
// are written as escapes, so that no value can forge a line or a field.
QByteArray field(const QString &value)
{
    QByteArray out;
    for (const char c : value.toUtf8()) {
        switch (c) {
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\\': out += "\\\\"; break;
        default: out += c;
        }
    }
    return out;
}

// Writes an output file: a regular file is replaced atomically, a device or
// a pipe is written straight to; anything else is refused.
// A file is replaced whole once written (atomically); a device or a pipe
// (/dev/stdout) is written as it goes.
bool writeOutput(const QString &path, const std::function<bool(QFileDevice *, QString *)> &write,
                 QString *error)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        *error = QStringLiteral("c'est un dossier");
        return false;
    }
    const bool regular = !info.exists() || info.isFile();
    QSaveFile saved(path);
    QFile device(path);
    QFileDevice &out = regular ? static_cast<QFileDevice &>(saved) : device;
    if (!out.open(QIODevice::WriteOnly)) {
        *error = out.errorString();
        return false;
    }
    if (!write(&out, error))
        return false;
    if (regular && !saved.commit()) {
        *error = saved.errorString();
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    CommandLine line(
        QStringLiteral("orvandel-check"),
        QStringLiteral("Vérifie un livre : un constat par ligne, « genre<TAB>entrée<TAB>détail »."),
        {QStringLiteral("LIVRE.xml [--monsters FICHIER] [--dot FICHIER] [--svg FICHIER] [--hard-fight POURCENT]")});
    line.addOption(QStringLiteral("monsters"), QStringLiteral("Signale les monstres absents de cette liste."),
                   QStringLiteral("FICHIER"));
    line.addOption(QStringLiteral("dot"), QStringLiteral("Écrit la carte du livre en DOT (Graphviz)."),
                   QStringLiteral("FICHIER"));
    line.addOption(QStringLiteral("svg"), QStringLiteral("Écrit la carte du livre en SVG."),
                   QStringLiteral("FICHIER"));
    line.addOption(QStringLiteral("hard-fight"),
                   QStringLiteral("Signale les combats qu'un aventurier moyen gagne moins souvent (50 par défaut)."),
                   QStringLiteral("POURCENT"), QStringLiteral("50"));
    if (!line.read())
        return line.exitStatus();
    bool ok = false;
    const double threshold = line.percent(QStringLiteral("hard-fight"), &ok);
    if (!ok)
        return line.refuse(line.errorString());
    const QString bookPath = line.book(), monstersPath = line.value(QStringLiteral("monsters")),
                  dotPath = line.value(QStringLiteral("dot")), svgPath = line.value(QStringLiteral("svg"));
    FilePaths paths;
    if (!paths.outputsApart({bookPath, monstersPath}, {dotPath, svgPath}))
        return line.fail(paths.errorString(), 3);

    BookFile file;
    if (!file.open(bookPath) || file.state() != BookFile::Readable)
        return line.fail(file.state() == BookFile::New
                             ? QStringLiteral("%1 : le livre est vide ou absent").arg(bookPath)
                             : file.errorString());
    const Book &book = file.book();

    QSet<QString> monsterNames;
    if (!monstersPath.isEmpty()) {
        QFile monsters(monstersPath);
        MonsterList list;
        if (!QFileInfo(monstersPath).isFile() || !monsters.open(QIODevice::ReadOnly) || !list.read(&monsters))
            return line.fail(QStringLiteral("%1 : fichier des monstres illisible %2")
                                 .arg(monstersPath, list.errorString()));
        for (const MonsterRow &row : list.rows)
            monsterNames.insert(row.name);
    }

    const QVector<BookFinding> findings =
        BookCheck::run(book, monstersPath.isEmpty() ? nullptr : &monsterNames, threshold);
    QMap<QString, int> counts;
    bool errors = false;
    for (const BookFinding &f : findings) {
        const QString key = BookCheck::key(f.kind);
        std::printf("%s\t%s\t%s\n", qPrintable(key), field(book.entry(f.entry).id).constData(),
                    field(f.detail).constData());
        ++counts[key];
        errors = errors || BookCheck::isError(f.kind);
    }
    std::fflush(stdout);

    const int entries = book.size();
    QString error;
    if (!dotPath.isEmpty() || !svgPath.isEmpty()) {
        QByteArray dot = BookMap::dot(book, findings);
        const auto writeDot = [&dot](QFileDevice *out, QString *error) {
            return AtomicFile::writeAll(*out, dot, error) && out->flush();
        };
        if (!dotPath.isEmpty() && !writeOutput(dotPath, writeDot, &error))
            return line.fail(QStringLiteral("%1 : %2").arg(dotPath, error), 3);
        file = BookFile(); // the book is no longer needed: Graphviz gets the memory
        const auto writeSvg = [&dot](QFileDevice *out, QString *error) {
            return BookMap::renderSvg(std::move(dot), out, error);
        };
        if (!svgPath.isEmpty() && !writeOutput(svgPath, writeSvg, &error))
            return line.fail(QStringLiteral("%1 : %2").arg(svgPath, error), 3);
    }

    QStringList summary;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        summary << QStringLiteral("%1 %2").arg(it.value()).arg(it.key());
    std::fprintf(stderr, "%s: %d entries, %d findings%s\n", qPrintable(bookPath), entries,
                 findings.size(),
                 summary.isEmpty() ? "" : qPrintable(QStringLiteral(" (%1)").arg(summary.join(QStringLiteral(", ")))));
    return errors ? 1 : 0;
}
