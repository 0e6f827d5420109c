#ifndef ORVANDEL_RULES_H
#define ORVANDEL_RULES_H

#include <QStringList>

// The numbers of the classic rules, in one place, so that the engine, the
// odds and the text of the rules cannot drift apart. Each is an option: a
// book may want kinder fights or a longer walk before a loop is called one.
struct Rules
{
    // Starting values: `dice` six-sided dice plus `base`.
    int habileteDice = 1, habileteBase = 6;
    int enduranceDice = 2, enduranceBase = 12;
    int chanceDice = 1, chanceBase = 6;
    // Provisions before the book gives any (its objects carry "Food").
    int provisions = 0;

    int wound = 2;         // Endurance lost by the side that loses a round
    int fleePenalty = 2;   // Endurance lost fleeing when the entry says so
    int meal = 4;          // Endurance one provision gives back
    int luckCost = 1;      // Chance lost by each test of luck, lucky or not
    int stepLimit = 10000; // entries visited before a walk counts as an endless loop

    // The cautious reader flees a fight, or turns away from one, that it
    // wins less often than this.
    double cautiousOdds = 0.5;

    // The dice themselves: the faces of a die, and how many dice each side
    // throws in a round and a test of luck takes. They set the shape of a
    // round's record and of the trace, and the table of the exact odds, so
    // they are the same for every book.
    static constexpr int dieSides = 6;
    static constexpr int fightDice = 2;
    static constexpr int luckDice = 2;

    // Every number the rules take from a book, and every value of the
    // sheet, stays within what a paper adventure sheet holds: a slip of the
    // keyboard (or a hostile book) of two billion then costs neither an
    // overflow nor minutes of fight odds, and the web page, which counts in
    // doubles, plays the very same game.
    static constexpr int valueLimit = 999;
    // `value` brought within `low`..valueLimit: low is 0 for what cannot be
    // negative (a monster's Habileté), -valueLimit for a change.
    static int bounded(qint64 value, int low = -valueLimit)
    {
        return int(qBound<qint64>(low, value, valueLimit));
    }
};

// The adventurer's sheet. The starting values are also the caps: nothing
// raises a value above where it started.
struct Sheet
{
    int habilete = 0, endurance = 0, chance = 0;
    int habileteMax = 0, enduranceMax = 0, chanceMax = 0;
    int gold = 0, provisions = 0;
    QStringList items;

    static Sheet starting(int habilete, int endurance, int chance, int provisions = 0)
    {
        Sheet s;
        s.habilete = s.habileteMax = habilete;
        s.endurance = s.enduranceMax = endurance;
        s.chance = s.chanceMax = chance;
        s.provisions = provisions;
        return s;
    }
    bool operator==(const Sheet &o) const
    {
        return habilete == o.habilete && endurance == o.endurance && chance == o.chance
            && habileteMax == o.habileteMax && enduranceMax == o.enduranceMax
            && chanceMax == o.chanceMax && gold == o.gold && provisions == o.provisions
            && items == o.items;
    }
};

#endif
