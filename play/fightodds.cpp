#include "play/fightodds.h"

#include "play/rules.h"

#include <array>

namespace {

// How many of the 1296 rolls of 2d6 against 2d6 end `s` apart (s = -10..10,
// stored at s + 10).
const std::array<int, 21> &differences()
{
    static const std::array<int, 21> counts = [] {
        std::array<int, 21> c{};
        for (int a = 2; a <= 12; ++a)
            for (int b = 2; b <= 12; ++b)
                c[a - b + 10] += (6 - qAbs(a - 7)) * (6 - qAbs(b - 7));
        return c;
    }();
    return counts;
}

// Callers outside the rules (the checks of a book) hand in numbers as
// written: brought within the rules' range, a fight costs at most
// (valueLimit / wound)^2 steps per monster, whatever it says.
int hitsToBeat(int endurance, int wound)
{
    endurance = Rules::bounded(endurance, 0);
    return endurance == 0 ? 0 : (endurance + wound - 1) / wound;
}

} // namespace

FightOdds::RoundOdds FightOdds::round(int difference)
{
    RoundOdds odds;
    // Past 10 either way every roll goes the same way.
    difference = qBound(-11, difference, 11);
    const auto &c = differences();
    for (int s = -10; s <= 10; ++s) {
        const double p = c[s + 10] / 1296.0;
        const int margin = s + difference;
        (margin > 0 ? odds.won : margin < 0 ? odds.lost : odds.tie) += p;
    }
    return odds;
}

double FightOdds::win(int habilete, int endurance, const QVector<Fight::Opponent> &monsters,
                      int wound)
{
    wound = qBound(1, wound, Rules::valueLimit);
    // Only the number of blows each side can still take matters, so the
    // states are counted in blows rather than in points of Endurance.
    const int lives = hitsToBeat(endurance, wound);
    if (lives == 0)
        return 0;
    // after[i]: the chance of winning what comes after the monster at hand
    // with i blows left; after the last monster that is a win.
    QVector<double> after(lives + 1, 1.0);
    after[0] = 0;
    QVector<double> column(lives + 1);
    for (int k = monsters.size() - 1; k >= 0; --k) {
        const int blows = hitsToBeat(monsters.at(k).endurance, wound);
        if (blows == 0)
            continue;
        const RoundOdds r = round(Rules::bounded(habilete, 0) - Rules::bounded(monsters.at(k).habilete, 0));
        const double decided = r.won + r.lost; // ties repeat the round: divide them out
        // column[i] holds P(i blows left, j - 1 blows left to the monster)
        // and becomes the same for j, for j from 1 up to the monster's full.
        column = after;
        for (int j = 1; j <= blows; ++j) {
            column[0] = 0;
            for (int i = 1; i <= lives; ++i)
                column[i] = (r.won * column[i] + r.lost * column[i - 1]) / decided;
        }
        after = column;
    }
    return after[lives];
}

FightOdds::Profiles FightOdds::profiles(const QVector<Fight::Opponent> &monsters, int wound)
{
    return {win(weakest.habilete, weakest.endurance, monsters, wound),
            win(average.habilete, average.endurance, monsters, wound),
            win(strongest.habilete, strongest.endurance, monsters, wound)};
}
