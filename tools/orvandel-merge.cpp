// orvandel-merge BASE OURS THEIRS [--path BOOK.xml] [--conflicts FILE]
// orvandel-merge --setup [REPOSITORY]
//
// A merge driver for git: merges three versions of a book (or of the
// monster list, known by its root "Monsters") entry by entry and writes
// the result into OURS, as git expects. Where both sides changed the same
// entry, the book keeps ours and theirs is written into BOOK.conflits.xml
// beside the book (named after --path, the book's name in the repository,
// else after OURS). Exit status: 0 merged, 1 the author must look at the
// conflicts, 2 when the command line is wrong or a version cannot be read
// (nothing written then), 3 when an output cannot be written.
//
// --setup writes the .gitattributes lines of the books found in the
// repository and the merge and diff drivers into its configuration; run
// again, it adds only what is missing.
#include "analysis/bookmerge.h"
#include "analysis/monstermerge.h"
#include "book/atomicfile.h"
#include "book/bookreader.h"
#include "book/commandline.h"
#include "book/monsterlist.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QXmlStreamReader>

#include <cstdio>

namespace {

bool readFile(const QString &path, QByteArray *bytes, QString *error)
{
    QFile file(path);
    if (!QFileInfo(path).isFile()) {
        *error = QStringLiteral("%1 : %2").arg(path, QFileInfo::exists(path) ? QStringLiteral("n'est pas un fichier ordinaire")
                                                                              : QStringLiteral("fichier introuvable"));
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1 : %2").arg(path, file.errorString());
        return false;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("%1 : %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

// Writes `bytes` into `path` atomically, then reads the file back.
bool writeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    AtomicFile file(path);
    if (!file.write(bytes)) {
        *error = QStringLiteral("%1 : %2").arg(path, file.errorString());
        return false;
    }
    if (!AtomicFile::holds(path, bytes)) {
        *error = QStringLiteral("%1 : le fichier écrit ne contient pas ce qui a été fait").arg(path);
        return false;
    }
    return true;
}

// The name of the root element, empty when there is none to read.
QString rootOf(const QByteArray &bytes)
{
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement)
            return xml.name().toString();
    return QString();
}

// "livre.xml" -> "livre.conflits.xml".
QString conflictsPath(const QString &book)
{
    QString base = book;
    if (base.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive))
        base.chop(4);
    return base + QStringLiteral(".conflits.xml");
}

// The text of a word for the shell that runs git's drivers.
QString quoted(const QString &word)
{
    QString out = word;
    out.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + out + QLatin1Char('\'');
}

// Runs git in `dir`; its standard output in `out`.
bool git(const QString &dir, const QStringList &args, QByteArray *out, QString *error)
{
    QProcess process;
    process.setWorkingDirectory(dir);
    process.start(QStringLiteral("git"), args);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QString said = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        *error = QStringLiteral("git %1 : %2").arg(args.value(0), said.isEmpty() ? process.errorString() : said);
        return false;
    }
    if (out)
        *out = process.readAllStandardOutput();
    return true;
}

// Adds to the file at `path` those of `lines` it does not hold yet.
bool addLines(const QString &path, const QStringList &lines, int *added, QString *error)
{
    QByteArray bytes;
    if (QFileInfo::exists(path) && !readFile(path, &bytes, error))
        return false;
    QSet<QString> there;
    for (const QByteArray &line : bytes.split('\n'))
        there.insert(QString::fromUtf8(line).trimmed());
    QByteArray more;
    for (const QString &line : lines)
        if (!there.contains(line)) {
            more += line.toUtf8() + '\n';
            there.insert(line);
            ++*added;
        }
    if (more.isEmpty())
        return true;
    if (!bytes.isEmpty() && !bytes.endsWith('\n'))
        bytes += '\n';
    QDir().mkpath(QFileInfo(path).path());
    return writeFile(path, bytes + more, error);
}

// A path as a .gitattributes pattern: from the repository's top, quoted
// as git reads it when it holds a space or a quote.
QString pattern(const QString &path)
{
    const QString rooted = QLatin1Char('/') + path;
    if (!rooted.contains(QLatin1Char(' ')) && !rooted.contains(QLatin1Char('"')) && !rooted.contains(QLatin1Char('\\')))
        return rooted;
    QString out = rooted;
    out.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    out.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

int setup(const CommandLine &line, const QString &where)
{
    QString error;
    QByteArray top;
    if (!git(where, {QStringLiteral("rev-parse"), QStringLiteral("--show-toplevel")}, &top, &error))
        return line.fail(error);
    const QString root = QString::fromUtf8(top).trimmed();
    const QString merger = QCoreApplication::applicationFilePath();
    const QString exporter = QCoreApplication::applicationDirPath() + QStringLiteral("/orvandel-export");
    if (!QFileInfo(exporter).isExecutable())
        return line.fail(QStringLiteral("%1 : orvandel-export est introuvable à côté de orvandel-merge").arg(exporter));

    // The books and monster lists the repository holds, committed or not.
    QByteArray listed;
    if (!git(root, {QStringLiteral("ls-files"), QStringLiteral("-z"), QStringLiteral("--cached"),
                    QStringLiteral("--others"), QStringLiteral("--exclude-standard")},
             &listed, &error))
        return line.fail(error);
    QStringList attributes, found;
    QSet<QString> seen;
    for (const QByteArray &name : listed.split('\0')) {
        const QString path = QString::fromUtf8(name);
        if (path.isEmpty() || seen.contains(path) || !path.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive)
            || path.endsWith(QLatin1String(".conflits.xml"), Qt::CaseInsensitive))
            continue;
        seen.insert(path);
        QByteArray bytes;
        if (!readFile(root + QLatin1Char('/') + path, &bytes, &error))
            continue; // listed but gone
        BookReader reader;
        if (!reader.read(bytes))
            continue;
        const Book &book = reader.book();
        if (book.rootName() == QLatin1String("Monsters")) {
            attributes << pattern(path) + QStringLiteral(" merge=orvandel");
        } else if (!book.isEmpty() && book.entry(0).tagName == QLatin1String("Attr")) {
            attributes << pattern(path) + QStringLiteral(" merge=orvandel diff=orvandel");
        } else {
            continue;
        }
        found << path;
    }

    const QVector<QStringList> config{
        {QStringLiteral("merge.orvandel.name"), QStringLiteral("Orvandel : livres fusionnés entrée par entrée")},
        {QStringLiteral("merge.orvandel.driver"), quoted(merger) + QStringLiteral(" %O %A %B --path %P")},
        {QStringLiteral("diff.orvandel.textconv"), quoted(exporter) + QStringLiteral(" --text")},
    };
    for (const QStringList &setting : config)
        if (!git(root, {QStringLiteral("config"), setting.at(0), setting.at(1)}, nullptr, &error))
            return line.fail(error);
    int added = 0, excluded = 0;
    if (!addLines(root + QStringLiteral("/.gitattributes"), attributes, &added, &error))
        return line.fail(error, 3);
    // The conflicts set aside by a merge are the author's to read, not to commit.
    QByteArray exclude;
    if (!git(root, {QStringLiteral("rev-parse"), QStringLiteral("--git-path"), QStringLiteral("info/exclude")},
             &exclude, &error))
        return line.fail(error);
    QString excludePath = QString::fromUtf8(exclude).trimmed();
    if (QFileInfo(excludePath).isRelative())
        excludePath = root + QLatin1Char('/') + excludePath;
    if (!addLines(excludePath, {QStringLiteral("*.conflits.xml")}, &excluded, &error))
        return line.fail(error, 3);
    for (const QString &path : qAsConst(found))
        std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %d livre(s) ou liste(s) de monstres, %d ligne(s) ajoutée(s) à .gitattributes\n",
                 qPrintable(root), int(found.size()), added);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    CommandLine line(
        QStringLiteral("orvandel-merge"),
        QStringLiteral("Fusionne trois versions d'un livre entrée par entrée, pour git ; ou prépare un dépôt."),
        {QStringLiteral("ORIGINE NÔTRE LEUR [--path LIVRE.xml] [--conflicts FICHIER]"),
         QStringLiteral("--setup [DÉPÔT]")});
    line.setArguments({{QStringLiteral("ORIGINE"), QStringLiteral("La version d'où partent les deux autres.")},
                       {QStringLiteral("NÔTRE"), QStringLiteral("Notre version, où la fusion est écrite.")},
                       {QStringLiteral("LEUR"), QStringLiteral("Leur version.")}},
                      0);
    line.addOption(QStringLiteral("path"), QStringLiteral("Le nom du livre dans le dépôt (%P de git)."),
                   QStringLiteral("LIVRE.xml"));
    line.addOption(QStringLiteral("conflicts"),
                   QStringLiteral("Où écrire leurs versions des entrées en conflit (LIVRE.conflits.xml par défaut)."),
                   QStringLiteral("FICHIER"));
    line.addOption(QStringLiteral("setup"),
                   QStringLiteral("Prépare le dépôt : .gitattributes des livres trouvés, pilotes de fusion et de "
                                  "différences."));
    if (!line.read())
        return line.exitStatus();
    const QStringList args = line.arguments();
    if (line.isSet(QStringLiteral("setup"))) {
        if (args.size() > 1)
            return line.refuse(QStringLiteral("--setup prend un dépôt au plus"));
        return setup(line, args.isEmpty() ? QDir::currentPath() : args.first());
    }
    if (args.size() != 3)
        return line.refuse(QStringLiteral("il faut trois versions : ORIGINE NÔTRE LEUR"));

    QByteArray base, ours, theirs;
    QString error;
    if (!readFile(args.at(0), &base, &error) || !readFile(args.at(1), &ours, &error)
        || !readFile(args.at(2), &theirs, &error))
        return line.fail(error);
    const QString bookName = line.isSet(QStringLiteral("path")) ? line.value(QStringLiteral("path")) : args.at(1);
    const QString asidePath =
        line.isSet(QStringLiteral("conflicts")) ? line.value(QStringLiteral("conflicts")) : conflictsPath(bookName);

    const bool monsters = rootOf(ours) == QLatin1String("Monsters");
    BookMerge books;
    MonsterMerge list;
    const bool read = monsters ? list.merge(base, ours, theirs) : books.merge(base, ours, theirs);
    if (!read)
        return line.fail(QStringLiteral("%1 : %2").arg(bookName, monsters ? list.errorString() : books.errorString()));
    const QByteArray result = monsters ? list.result() : books.result();
    const QVector<BookMerge::Conflict> conflicts = monsters ? list.conflicts() : books.conflicts();

    // Theirs' side of the conflicts first: the merged book is written only
    // once nothing of theirs can be lost.
    if (!conflicts.isEmpty()
        && !writeFile(asidePath, monsters ? list.conflictBook() : books.conflictBook(), &error))
        return line.fail(error, 3);
    if (result != ours && !writeFile(args.at(1), result, &error))
        return line.fail(error, 3);

    for (const BookMerge::Move &m : books.moves())
        line.fail(QStringLiteral("%1 : entrée %2 ajoutée des deux côtés ; la leur devient %3, ses renvois la suivent")
                      .arg(bookName, m.from, m.to),
                  0);
    for (const BookMerge::Conflict &c : conflicts)
        line.fail(QStringLiteral("%1 : %2").arg(bookName, c.describe(monsters)), 1);
    if (!conflicts.isEmpty())
        line.fail(QStringLiteral("%1 : %2 conflit(s) ; notre version est gardée, la leur est dans %3")
                      .arg(bookName).arg(conflicts.size()).arg(asidePath),
                  1);
    return conflicts.isEmpty() ? 0 : 1;
}
