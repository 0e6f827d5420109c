// orvandel-check BOOK.xml [--monsters FILE] [--dot FILE] [--svg FILE]
//
// Prints one finding per line, "kind<TAB>entry id<TAB>detail", then a
// summary on standard error. Exit status: 0 when the book has no dangling,
// duplicate-id or not-a-number finding, 1 when it has, 2 when it cannot be read.
#include "check/bookcheck.h"
#include "check/bookmap.h"
#include "monsters/monsterfile.h"
#include "persistence/atomicwrite.h"

#include <QCoreApplication>
#include <QFile>
#include <QMap>

#include <cstdio>

static QByteArray readFile(const QString &path, bool *ok)
{
    QFile file(path);
    *ok = file.open(QIODevice::ReadOnly);
    return *ok ? file.readAll() : QByteArray();
}

static int fail(const QString &message)
{
    std::fprintf(stderr, "orvandel-check: %s\n", qPrintable(message));
    return 2;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString bookPath, monstersPath, dotPath, svgPath;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        auto value = [&](QString *target) {
            if (i + 1 >= args.size())
                return false;
            *target = args.at(++i);
            return true;
        };
        if (a == QLatin1String("--monsters")) {
            if (!value(&monstersPath))
                return fail(QStringLiteral("--monsters attend un fichier"));
        } else if (a == QLatin1String("--dot")) {
            if (!value(&dotPath))
                return fail(QStringLiteral("--dot attend un fichier"));
        } else if (a == QLatin1String("--svg")) {
            if (!value(&svgPath))
                return fail(QStringLiteral("--svg attend un fichier"));
        } else if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            std::printf("usage: orvandel-check BOOK.xml [--monsters FILE] [--dot FILE] [--svg FILE]\n");
            return 0;
        } else if (bookPath.isEmpty() && !a.startsWith(QLatin1String("--"))) {
            bookPath = a;
        } else {
            return fail(QStringLiteral("argument inconnu : %1").arg(a));
        }
    }
    if (bookPath.isEmpty())
        return fail(QStringLiteral("usage: orvandel-check BOOK.xml [--monsters FILE] [--dot FILE] [--svg FILE]"));

    bool ok = false;
    const QByteArray bytes = readFile(bookPath, &ok);
    if (!ok)
        return fail(QStringLiteral("%1 : impossible de lire le fichier").arg(bookPath));
    const Book book = readBook(bytes);
    if (!book.ok)
        return fail(QStringLiteral("%1 : %2").arg(bookPath, book.error));

    QSet<QString> monsterNames;
    if (!monstersPath.isEmpty()) {
        const QByteArray monsterBytes = readFile(monstersPath, &ok);
        QVector<MonsterRow> rows;
        if (!ok || !MonsterFile::read(monsterBytes, &rows))
            return fail(QStringLiteral("%1 : fichier des monstres illisible").arg(monstersPath));
        for (const MonsterRow &row : rows)
            monsterNames.insert(row.name);
    }

    const BookModel model = buildModel(book);
    const QVector<BookFinding> findings = checkBook(model, !monstersPath.isEmpty(), monsterNames);
    QMap<QString, int> counts;
    bool errors = false;
    for (const BookFinding &f : findings) {
        QString detail = f.detail;
        detail.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        std::printf("%s\t%s\t%s\n", qPrintable(findingKey(f.kind)),
                    qPrintable(model.nodes.at(f.node).id), qPrintable(detail));
        ++counts[findingKey(f.kind)];
        errors = errors || isError(f.kind);
    }
    std::fflush(stdout);

    QString error;
    if (!dotPath.isEmpty() || !svgPath.isEmpty()) {
        const QByteArray dot = bookDot(model, findings);
        if (!dotPath.isEmpty() && !writeFileAtomically(dotPath, dot, &error))
            return fail(QStringLiteral("%1 : %2").arg(dotPath, error));
        QByteArray svg;
        if (!svgPath.isEmpty()
            && (!renderSvg(dot, model.nodes.size(), &svg, &error)
                || !writeFileAtomically(svgPath, svg, &error)))
            return fail(QStringLiteral("%1 : %2").arg(svgPath, error));
    }

    QStringList summary;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        summary << QStringLiteral("%1 %2").arg(it.value()).arg(it.key());
    std::fprintf(stderr, "%s: %d entries, %d findings%s%s\n", qPrintable(bookPath),
                 model.nodes.size(), findings.size(), summary.isEmpty() ? "" : " (",
                 summary.isEmpty() ? "" : qPrintable(summary.join(QStringLiteral(", ")) + QLatin1Char(')')));
    return errors ? 1 : 0;
}
