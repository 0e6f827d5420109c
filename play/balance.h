#ifndef ORVANDEL_BALANCE_H
#define ORVANDEL_BALANCE_H

#include "play/fightodds.h"
#include "play/playbook.h"
#include "play/simulation.h"

#include <QCoreApplication>
#include <QString>
#include <QVector>

// What an author can act on, read off simulated readers and the book: how
// many readers win, a word for each fight, why an entry is never visited,
// and the figures the charts draw. Built once per report; the book and the
// report must outlive it.
class Balance
{
    Q_DECLARE_TR_FUNCTIONS(Balance)

public:
    // A fight's word, from the average reader's exact odds as shown (to the
    // tenth of a percent): facile from 90 %, équilibré from 50 %, difficile
    // from 10 %, presque impossible below.
    enum Word { Easy, Even, Hard, NearlyImpossible };
    static constexpr int easyFrom = 900, evenFrom = 500, hardFrom = 100; // per mille
    static Word word(double averageOdds);
    static QString wordText(Word word);

    // Why nobody reached an entry: every way there leaves the entries the
    // readers did reach by a flight none took, by the side of a test of
    // luck none got, or past a fight the average reader nearly never wins;
    // or no way leads there at all; or an ordinary choice or victory leads
    // there and the readers simply never drew it.
    enum Reason { Rare, OnlyByFlight, OnlyByLuck, OnlyPastHardFight, NoPath };
    static QString reasonText(Reason reason);

    struct FightVerdict
    {
        int entry = -1;
        FightOdds::Profiles odds;
        Word word = Even;
    };
    struct Unvisited
    {
        int entry = -1;
        Reason reason = Rare;
    };
    // One bar of a chart: what it stands for and how many adventures.
    enum Kind { Ending, FightDeath, OtherDeath, BrokenReference, Loop, Monster, Others, Victory };
    struct Bar
    {
        QString label;
        int count = 0;
        Kind kind = Ending;
        int entry = -1;
    };
    struct Bin
    {
        int from = 0, to = 0; // entries arrived at, both included
        int count = 0;
    };

    Balance(const Playbook &book, const Simulation::Report &report);

    int adventures() const { return r->adventures; }
    // Adventures that reached alive an ending marked a victory, and one
    // marked neither victory nor death.
    int victories() const;
    int plainEndings() const;
    // Deaths in a fight (Endurance brought to 0 by a monster), and the others.
    int fightDeaths() const;
    int otherDeaths() const;

    const QVector<FightVerdict> &fights() const { return verdicts; }
    const QVector<Unvisited> &unvisited() const { return never; }

    // Every way an adventure ended: each ending, each entry's deaths in a
    // fight and otherwise, each broken reference, each loop; in that order,
    // entries in book order within each.
    QVector<Bar> endings() const;
    // Deaths per entry (fights and other causes together), and per monster
    // (by name, over the whole book), most first.
    QVector<Bar> deathsByEntry() const;
    QVector<Bar> deathsByMonster() const;
    // The lengths of the adventures in at most `bins` bins of equal width.
    QVector<Bin> lengths(int bins = 20) const;

    // "faible 14,0 %, moyen 91,0 %, fort 100,0 %": the one order of the
    // three readers everywhere.
    static QString oddsText(const FightOdds::Profiles &odds);
    static QString percent(double share);
    // The share of victories and of each other way out, in one line.
    QString headline() const;
    // The fights with their words, then the entries never visited with
    // their reasons, a line each.
    QString text() const;

private:
    const Playbook *book;
    const Simulation::Report *r;
    QVector<FightVerdict> verdicts;
    QVector<Unvisited> never;
};

#endif
