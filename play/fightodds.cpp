#include "play/fightodds.h"

#include "play/rules.h"

#include <array>
#include <numeric>

namespace {

// How far apart the two sides' dice can end in a round, either way.
constexpr int spread = Rules::fightDice * (Rules::dieSides - 1);

// How many of the rolls of a round (every die of both sides) end `s` apart
// (s = -spread..spread, stored at s + spread).
const std::array<int, 2 * spread + 1> &differences()
{
    static const std::array<int, 2 * spread + 1> counts = [] {
        // ways[k]: the rolls of one side that total fightDice + k.
        std::array<int, spread + 1> ways{};
        ways[0] = 1;
        for (int die = 0; die < Rules::fightDice; ++die) {
            std::array<int, spread + 1> more{};
            for (int k = 0; k <= spread; ++k)
                for (int face = 0; face < Rules::dieSides && k + face <= spread; ++face)
                    more[k + face] += ways[k];
            ways = more;
        }
        std::array<int, 2 * spread + 1> c{};
        for (int a = 0; a <= spread; ++a)
            for (int b = 0; b <= spread; ++b)
                c[a - b + spread] += ways[a] * ways[b];
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
    // Past the dice's spread either way every roll goes the same way.
    difference = qBound(-(spread + 1), difference, spread + 1);
    const auto &c = differences();
    const double rolls = std::accumulate(c.begin(), c.end(), 0.0);
    for (int s = -spread; s <= spread; ++s) {
        const double p = c[s + spread] / rolls;
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
