#ifndef ORVANDEL_SIMULATION_H
#define ORVANDEL_SIMULATION_H

#include "play/adventure.h"
#include "play/dice.h"
#include "play/fightodds.h"
#include "play/playbook.h"
#include "play/rules.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QHash>
#include <QMap>
#include <QVector>

// Simulated readers, to tell an author where readers end up: which endings,
// which fights kill them, which entries nobody reaches, which walks never end.
//
// How a reader decides, the same for every strategy unless said otherwise:
// - a meal is taken as soon as one is allowed and Endurance is below its start;
// - a fight is fought round after round; the cautious reader flees, once the
//   entry allows it, when the exact chance of winning the rest of the fight
//   is below one half and the flight would not kill;
// - among the choices of an entry one is drawn with SeededDice::below(n),
//   one value of the generator, only when there are two or more to draw
//   from. The cautious reader first sets aside every choice leading straight
//   to a fight it wins with less than even odds, unless that leaves none.
//
// Adventure k of a run seeded with S uses its own SeededDice seeded with
// S + k (modulo 2^32), the sheet rolled first: adventure 0 is the one the
// trace shows.
class Simulation
{
    Q_DECLARE_TR_FUNCTIONS(Simulation)

public:
    enum Strategy { Random, Cautious };
    static bool parseStrategy(const QString &name, Strategy *strategy);
    static QString strategyName(Strategy strategy);

    struct Report
    {
        quint32 seed = 0;
        int adventures = 0;
        Strategy strategy = Random;
        int stepLimit = 0;
        QMap<int, int> finished; // entry -> adventures that ended there
        // entry -> deaths by each of its monsters, then one more slot for
        // any other death there (a bonus, a flight)
        QMap<int, QVector<int>> deaths;
        QMap<int, int> broken;   // entry whose reference led nowhere -> adventures
        QMap<int, int> looped;   // entry where the step limit was reached -> adventures
        qint64 steps = 0;        // entries arrived at, over all adventures
        QVector<int> lengths;    // lengths[n]: the adventures that arrived at n entries
        int longest = 0;
        QVector<int> neverVisited;
        QVector<int> reached;    // per entry, the adventures that arrived there
        // every entry with a fight, and its odds for the three model adventurers
        QVector<QPair<int, FightOdds::Profiles>> fights;
    };

    explicit Simulation(const Playbook &book, Strategy strategy = Random,
                        const Rules &rules = Rules());

    // Takes one decision for the reader; false once the adventure is over.
    bool decide(Adventure &adventure, SeededDice &dice);
    // Plays a started adventure to its end.
    void play(Adventure &adventure, SeededDice &dice);

    Report run(int adventures, quint32 seed);
    // How many threads run() may use; 0, the default, means one per core.
    void setThreads(int count) { threads = count; }

    // The report for the author, in French, and the same for a program.
    QString text(const Report &report) const;
    QByteArray json(const Report &report) const;

    // Below this many adventures a part, a thread costs more than it saves.
    static constexpr int minimumPart = 2000;
    static constexpr int maximumParts = 16;

private:
    double odds(int entry, const Sheet &sheet);
    void runPart(Report &r, int from, int to, quint32 seed);

    const Playbook *book;
    Strategy strategy;
    Rules rules;
    QHash<quint64, double> oddsCache;
    int threads = 0;
};

#endif
