#include "play/fight.h"

Fight::Fight(const QVector<Opponent> &opponents, int wound)
    : opponents(opponents), wound(wound)
{
    left = opponents.isEmpty() ? 0 : opponents.first().endurance;
    skipBeaten();
}

void Fight::skipBeaten()
{
    while (monster < opponents.size() && left <= 0) {
        if (++monster < opponents.size())
            left = opponents.at(monster).endurance;
    }
}

Fight::Round Fight::round(Dice &dice, int habilete, int *endurance)
{
    Round r;
    r.monster = monster;
    if (isWon())
        return r;
    const Opponent &o = opponents.at(monster);
    r.adventurerDice[0] = dice.d6();
    r.adventurerDice[1] = dice.d6();
    r.monsterDice[0] = dice.d6();
    r.monsterDice[1] = dice.d6();
    r.adventurerScore = r.adventurerDice[0] + r.adventurerDice[1] + habilete;
    r.monsterScore = r.monsterDice[0] + r.monsterDice[1] + o.habilete;
    ++rounds;
    if (r.adventurerScore > r.monsterScore) {
        r.outcome = Won;
        left = qMax(0, left - wound);
        skipBeaten();
    } else if (r.adventurerScore < r.monsterScore) {
        r.outcome = Lost;
        *endurance = qMax(0, *endurance - wound);
    }
    return r;
}

QVector<Fight::Opponent> Fight::remaining() const
{
    QVector<Opponent> out;
    for (int i = monster; i < opponents.size(); ++i) {
        out.append(opponents.at(i));
        if (i == monster)
            out.last().endurance = left;
    }
    return out;
}
