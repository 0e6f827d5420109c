// orvandel-play BOOK.xml --simulate N [--seed S] [--strategy random|cautious] [--json]
// orvandel-play BOOK.xml --trace [--seed S] [--strategy random|cautious]
//
// Plays the book under the rules of the game: N simulated readers and a
// report of where they ended, or one reader, one line per entry, for
// comparing another implementation of the rules against this one. The same
// seed gives the same output. Exit status: 0, or 2 when the book cannot be
// read or the command line is wrong.
#include "book/bookfile.h"
#include "book/filepaths.h"
#include "play/playbook.h"
#include "play/simulation.h"

#include <QCoreApplication>
#include <QRandomGenerator>

#include <cstdio>

namespace {

const char usage[] =
    "usage: orvandel-play BOOK.xml --simulate N [--seed S] [--strategy random|cautious] [--json]\n"
    "       orvandel-play BOOK.xml --trace [--seed S] [--strategy random|cautious]";

int fail(const QString &message)
{
    std::fprintf(stderr, "orvandel-play: %s\n", qPrintable(message));
    return 2;
}

bool parseCount(const QString &text, qint64 max, qint64 *value)
{
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    if (!ok || v < 0 || v > max || text.startsWith(QLatin1Char('+')))
        return false;
    *value = v;
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    FilePaths::keepNameBytes();
    const QStringList args = app.arguments().mid(1);
    QString bookPath;
    qint64 adventures = -1, seed = -1;
    bool trace = false, json = false;
    Simulation::Strategy strategy = Simulation::Random;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        const bool valued = a == QLatin1String("--simulate") || a == QLatin1String("--seed")
            || a == QLatin1String("--strategy");
        if (valued && i + 1 >= args.size())
            return fail(QStringLiteral("%1 attend une valeur\n%2").arg(a, QLatin1String(usage)));
        if (a == QLatin1String("--simulate")) {
            if (!parseCount(args.at(++i), 100000000, &adventures) || adventures == 0)
                return fail(QStringLiteral("--simulate attend un nombre d'aventures, pas « %1 »").arg(args.at(i)));
        } else if (a == QLatin1String("--seed")) {
            if (!parseCount(args.at(++i), 0xFFFFFFFFll, &seed))
                return fail(QStringLiteral("--seed attend un entier de 0 à 4294967295, pas « %1 »").arg(args.at(i)));
        } else if (a == QLatin1String("--strategy")) {
            if (!Simulation::parseStrategy(args.at(++i), &strategy))
                return fail(QStringLiteral("stratégie inconnue : %1 (random ou cautious)").arg(args.at(i)));
        } else if (a == QLatin1String("--trace")) {
            trace = true;
        } else if (a == QLatin1String("--json")) {
            json = true;
        } else if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            std::printf("%s\n", usage);
            return 0;
        } else if (a.startsWith(QLatin1String("--"))) {
            return fail(QStringLiteral("option inconnue : %1\n%2").arg(a, QLatin1String(usage)));
        } else if (bookPath.isEmpty()) {
            bookPath = a;
        } else {
            return fail(QStringLiteral("argument en trop : %1\n%2").arg(a, QLatin1String(usage)));
        }
    }
    if (bookPath.isEmpty() || trace == (adventures > 0) || (trace && json))
        return fail(QLatin1String(usage));

    BookFile file;
    if (!file.open(bookPath) || file.state() != BookFile::Readable)
        return fail(file.state() == BookFile::New
                        ? QStringLiteral("%1 : le livre est vide ou absent").arg(bookPath)
                        : file.errorString());
    const Playbook book(file.book());
    if (book.first() < 0)
        return fail(QStringLiteral("%1 : aucune entrée numérotée où commencer").arg(bookPath));
    if (seed < 0) {
        seed = QRandomGenerator::global()->generate();
        std::fprintf(stderr, "orvandel-play: graine %lld\n", seed);
    }

    Simulation simulation(book, strategy);
    if (trace) {
        SeededDice dice{quint32(seed)};
        Adventure adventure(book, dice);
        adventure.start();
        simulation.play(adventure, dice);
        for (const QString &line : adventure.state().trace)
            std::printf("%s\n", line.toUtf8().constData());
        return 0;
    }
    const Simulation::Report report = simulation.run(int(adventures), quint32(seed));
    const QByteArray out = json ? simulation.json(report) : simulation.text(report).toUtf8();
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return 0;
}
