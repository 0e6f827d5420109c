#ifndef ORVANDEL_DICE_H
#define ORVANDEL_DICE_H

#include "play/rules.h"

#include <QVector>
#include <QtGlobal>

// Where the rules get their dice. Every roll of the game goes through d6(),
// one die at a time, so that a run is the sequence of its dice.
class Dice
{
public:
    virtual ~Dice() = default;
    virtual int d6() = 0;
    // `count` dice added up, drawn one after another.
    int roll(int count);
};

// Dice a web page can replay: mulberry32 over a 32-bit state, everything
// modulo 2^32 and the products taken like Math.imul:
//
//   state += 0x6D2B79F5; t = state;
//   t = (t ^ (t >> 15)) * (t | 1);
//   t ^= t + (t ^ (t >> 7)) * (t | 61);
//   value = t ^ (t >> 14);
//
// A die is 1 + floor(value * Rules::dieSides / 2^32); a choice among n is
// floor(value * n / 2^32), from one value of its own. The state starts at
// the seed.
class SeededDice : public Dice
{
public:
    explicit SeededDice(quint32 seed) : origin(seed), state(seed) {}
    quint32 seed() const { return origin; }
    quint32 next();
    int d6() override { return 1 + int((quint64(next()) * Rules::dieSides) >> 32); }
    // 0 to n - 1, each as likely (to within 2^-32).
    int below(int n) { return int((quint64(next()) * quint64(n)) >> 32); }

private:
    quint32 origin;
    quint32 state;
};

// Dice that give the values they were given, in that order, for tests and
// for replaying a run by hand. Once they run out they give 1 and say so.
class ScriptedDice : public Dice
{
public:
    explicit ScriptedDice(const QVector<int> &values = {}) : values(values) {}
    void add(int value) { values.append(value); }
    int d6() override;
    int remaining() const { return values.size() - used; }
    bool ranOut() const { return exhausted; }

private:
    QVector<int> values;
    int used = 0;
    bool exhausted = false;
};

#endif
