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
    r.adventurerScore = habilete;
    for (int &die : r.adventurerDice) {
        die = dice.d6();
        r.adventurerScore += die;
    }
    r.monsterScore = o.habilete;
    for (int &die : r.monsterDice) {
        die = dice.d6();
        r.monsterScore += die;
    }
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
