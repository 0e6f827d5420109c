#ifndef ORVANDEL_FIGHTODDS_H
#define ORVANDEL_FIGHTODDS_H

#include "play/fight.h"

#include <QVector>

// The exact chance of winning a fight, worked out rather than sampled, so
// that an author sees the same figure every time and the cautious reader can
// weigh a fight before walking into it.
class FightOdds
{
public:
    struct RoundOdds
    {
        double won = 0, lost = 0, tie = 0;
    };
    // One round, for the adventurer, when its Habileté exceeds the monster's
    // by `difference` (negative when it falls short).
    static RoundOdds round(int difference);

    // The chance that an adventurer with `habilete` and `endurance` beats
    // every one of `monsters`, one after another, losing `wound` Endurance
    // per round lost.
    static double win(int habilete, int endurance, const QVector<Fight::Opponent> &monsters,
                      int wound = Rules().wound);

    // Three adventurers an author should think of: the worst starting
    // rolls, the expected ones (1d6+6 and 2d6+12 rounded) and the best.
    struct Adventurer
    {
        int habilete, endurance;
    };
    static constexpr Adventurer weakest{7, 14};
    static constexpr Adventurer average{9, 19};
    static constexpr Adventurer strongest{12, 24};
    struct Profiles
    {
        double weakest = 0, average = 0, strongest = 0;
    };
    static Profiles profiles(const QVector<Fight::Opponent> &monsters, int wound = Rules().wound);
};

#endif
