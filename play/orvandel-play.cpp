// orvandel-play BOOK.xml --simulate N [--seed S] [--strategy random|cautious] [--json]
// orvandel-play BOOK.xml --trace [--seed S] [--strategy random|cautious]
//
// Plays the book under the rules of the game: N simulated readers and a
// report of where they ended, or one reader, one line per entry, for
// comparing another implementation of the rules against this one. The same
// seed gives the same output. Exit status: 0, or 2 when the book cannot be
// read or the command line is wrong.
#include "book/bookfile.h"
#include "book/commandline.h"
#include "play/playbook.h"
#include "play/simulation.h"

#include <QCoreApplication>
#include <QRandomGenerator>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    CommandLine line(QStringLiteral("orvandel-play"),
                     QStringLiteral("Joue le livre selon les règles du jeu : des lecteurs simulés et où ils "
                                    "finissent, ou une aventure pas à pas."),
                     {QStringLiteral("LIVRE.xml --simulate N [--seed S] [--strategy random|cautious] [--json]"),
                      QStringLiteral("LIVRE.xml --trace [--seed S] [--strategy random|cautious]")});
    line.addOption(QStringLiteral("simulate"), QStringLiteral("Fait jouer N lecteurs simulés (de 1 à 100000000)."),
                   QStringLiteral("N"));
    line.addOption(QStringLiteral("trace"), QStringLiteral("Écrit une aventure, une ligne par entrée."));
    line.addOption(QStringLiteral("seed"),
                   QStringLiteral("La graine des dés, de 0 à 4294967295 (tirée au hasard par défaut)."),
                   QStringLiteral("S"));
    line.addOption(QStringLiteral("strategy"),
                   QStringLiteral("Le lecteur : random choisit au hasard, cautious fuit les combats perdus d'avance."),
                   QStringLiteral("random|cautious"), QStringLiteral("random"));
    line.addOption(QStringLiteral("json"), QStringLiteral("Écrit le rapport en JSON."));
    if (!line.read())
        return line.exitStatus();
    bool ok = true;
    qint64 adventures = 0, seed = -1; // no seed given: one drawn at random, and said
    if (line.isSet(QStringLiteral("simulate")))
        adventures = line.number(QStringLiteral("simulate"), 1, 100000000, &ok);
    if (ok && line.isSet(QStringLiteral("seed")))
        seed = line.number(QStringLiteral("seed"), 0, 0xFFFFFFFFll, &ok);
    if (!ok)
        return line.refuse(line.errorString());
    Simulation::Strategy strategy = Simulation::Random;
    if (!Simulation::parseStrategy(line.value(QStringLiteral("strategy")), &strategy))
        return line.refuse(QStringLiteral("--strategy attend random ou cautious, pas « %1 »")
                               .arg(line.value(QStringLiteral("strategy"))));
    const bool trace = line.isSet(QStringLiteral("trace")), json = line.isSet(QStringLiteral("json"));
    if (trace == (adventures > 0))
        return line.refuse(trace ? QStringLiteral("--trace ne va pas avec --simulate")
                                 : QStringLiteral("il faut --simulate N ou --trace"));
    if (trace && json)
        return line.refuse(QStringLiteral("--json ne va pas avec --trace"));
    const QString bookPath = line.book();

    BookFile file;
    if (!file.open(bookPath) || file.state() != BookFile::Readable)
        return line.fail(file.state() == BookFile::New
                             ? QStringLiteral("%1 : le livre est vide ou absent").arg(bookPath)
                             : file.errorString());
    const Playbook book(file.book());
    if (book.first() < 0)
        return line.fail(QStringLiteral("%1 : aucune entrée numérotée où commencer").arg(bookPath));
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
        for (const QString &step : adventure.state().trace)
            std::printf("%s\n", step.toUtf8().constData());
        return 0;
    }
    const Simulation::Report report = simulation.run(int(adventures), quint32(seed));
    const QByteArray out = json ? simulation.json(report) : simulation.text(report).toUtf8();
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return 0;
}
