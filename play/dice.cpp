#include "play/dice.h"

int Dice::roll(int count)
{
    int sum = 0;
    for (int i = 0; i < count; ++i)
        sum += d6();
    return sum;
}

quint32 SeededDice::next()
{
    // quint32 arithmetic wraps modulo 2^32 like the JavaScript version.
    state += 0x6D2B79F5u;
    quint32 t = state;
    t = (t ^ (t >> 15)) * (t | 1u);
    t ^= t + (t ^ (t >> 7)) * (t | 61u);
    return t ^ (t >> 14);
}

int ScriptedDice::d6()
{
    if (used < values.size())
        return values.at(used++);
    exhausted = true;
    return 1;
}
