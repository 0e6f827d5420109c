#ifndef ORVANDEL_FIGHT_H
#define ORVANDEL_FIGHT_H

#include "play/dice.h"

#include <QString>
#include <QVector>

// A fight against the monsters of one entry, one after another. The
// adventurer's Endurance stays on the sheet: the fight wounds it through a
// pointer, so that a meal or a flight between rounds sees the same value.
class Fight
{
public:
    struct Opponent
    {
        QString name;
        int habilete = 0, endurance = 0;
    };
    enum Outcome { Won, Lost, Tie }; // for the adventurer
    struct Round
    {
        int monster = 0;                 // which opponent
        int adventurerDice[Rules::fightDice] = {}; // rolled first
        int monsterDice[Rules::fightDice] = {};    // then these
        int adventurerScore = 0, monsterScore = 0;
        Outcome outcome = Tie;
    };

    Fight() = default;
    // A monster without Endurance is beaten before the first round.
    explicit Fight(const QVector<Opponent> &opponents, int wound = Rules().wound);

    // One round against the current monster: the adventurer's dice, then the
    // monster's; the higher total wounds the other for `wound`, a tie
    // wounds nobody. Endurance never goes below 0.
    Round round(Dice &dice, int habilete, int *endurance);

    bool isWon() const { return monster >= opponents.size(); }
    int current() const { return monster; }
    int currentEndurance() const { return isWon() ? 0 : left; }
    int roundsFought() const { return rounds; }
    const QVector<Opponent> &all() const { return opponents; }
    // The current monster as it stands now, then those still to come.
    QVector<Opponent> remaining() const;

private:
    void skipBeaten();

    QVector<Opponent> opponents;
    int wound = Rules().wound;
    int monster = 0;
    int left = 0;
    int rounds = 0;
};

#endif
