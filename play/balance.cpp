#include "play/balance.h"

#include <QHash>

#include <algorithm>

namespace {

enum Way { Choice = 1, Victory = 2, HardVictory = 4, Flight = 8, Luck = 16 };

// Every way out of entry `i`, with its kind.
template<typename Follow>
void waysOut(const Playbook &book, const QVector<bool> &hardFight, int i, Follow follow)
{
    const Playbook::Page &p = book.page(i);
    if (!p.monsters.isEmpty()) {
        follow(p.victory, hardFight.at(i) ? HardVictory : Victory);
        if (p.flee)
            follow(p.fleeTo, Flight);
    }
    if (p.luck) {
        follow(p.lucky, Luck);
        follow(p.unlucky, Luck);
    }
    for (const Playbook::Way &way : p.choices)
        follow(way, Choice);
}

} // namespace

Balance::Word Balance::word(double averageOdds)
{
    const int shown = qRound(averageOdds * 1000);
    return shown >= easyFrom ? Easy : shown >= evenFrom ? Even : shown >= hardFrom ? Hard : NearlyImpossible;
}

QString Balance::wordText(Word word)
{
    switch (word) {
    case Easy: return tr("facile");
    case Even: return tr("équilibré");
    case Hard: return tr("difficile");
    case NearlyImpossible: return tr("presque impossible");
    }
    return QString();
}

QString Balance::reasonText(Reason reason)
{
    switch (reason) {
    case Rare: return tr("chemin jamais tiré par les lecteurs simulés");
    case OnlyByFlight: return tr("seulement par une fuite");
    case OnlyByLuck: return tr("seulement par un test de chance");
    case OnlyPastHardFight: return tr("seulement après un combat presque impossible");
    case NoPath: return tr("aucun chemin");
    }
    return QString();
}

QString Balance::percent(double share)
{
    return QString::number(qRound(share * 1000) / 10.0, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(','))
        + QStringLiteral(" %");
}

QString Balance::oddsText(const FightOdds::Profiles &odds)
{
    return tr("faible %1, moyen %2, fort %3")
        .arg(percent(odds.weakest), percent(odds.average), percent(odds.strongest));
}

Balance::Balance(const Playbook &book, const Simulation::Report &report) : book(&book), r(&report)
{
    QVector<bool> hard(book.size(), false);
    for (const auto &f : report.fights) {
        const Word w = word(f.second.average);
        verdicts.append({f.first, f.second, w});
        hard[f.first] = w == NearlyImpossible;
    }
    if (report.neverVisited.isEmpty())
        return;
    // Where the readers went is known; an entry none reached lies behind
    // ways they never took. Every path from the entries they did reach is
    // followed, noting which of the three unlikely ways (a flight, a side of
    // a test of luck, a victory over a nearly impossible fight) it needed:
    // an entry's reason is its least demanding path.
    enum Needs { ByFlight = 1, ByLuck = 2, PastHardFight = 4, AllNeeds = 8 };
    const auto visited = [&report](int i) { return i < report.reached.size() && report.reached.at(i) > 0; };
    QVector<quint8> paths(book.size(), 0); // bit m: a path needing exactly the set m
    QVector<QPair<int, int>> queue;
    const auto reach = [&](int entry, int needs) {
        if (!visited(entry) && !(paths.at(entry) & (1 << needs))) {
            paths[entry] |= quint8(1 << needs);
            queue.append({entry, needs});
        }
    };
    const auto onward = [&](int from, int needs) {
        waysOut(book, hard, from, [&](const Playbook::Way &way, int kind) {
            if (way.target >= 0)
                reach(way.target, needs | (kind == Flight ? ByFlight : kind == Luck ? ByLuck
                                           : kind == HardVictory ? PastHardFight : 0));
        });
    };
    for (int i = 0; i < book.size(); ++i)
        if (visited(i))
            onward(i, 0);
    if (book.first() >= 0)
        reach(book.first(), 0);
    for (int at = 0; at < queue.size(); ++at)
        onward(queue.at(at).first, queue.at(at).second);
    for (int i : report.neverVisited) {
        const int p = paths.at(i);
        never.append({i, p == 0 ? NoPath
                         : p & (1 << 0) ? Rare
                         : p & (1 << ByFlight) ? OnlyByFlight
                         : p & (1 << ByLuck) ? OnlyByLuck
                         : p & (1 << PastHardFight) ? OnlyPastHardFight
                         // every path needs two of them: the first that every one needs
                         : [p] {
                               int common = AllNeeds - 1;
                               for (int m = 0; m < AllNeeds; ++m)
                                   if (p & (1 << m))
                                       common &= m;
                               return common & ByFlight ? OnlyByFlight : common & ByLuck ? OnlyByLuck
                                                                                        : OnlyPastHardFight;
                           }()});
    }
}

int Balance::victories() const
{
    int n = 0;
    for (auto it = r->finished.cbegin(); it != r->finished.cend(); ++it)
        n += book->page(it.key()).victoryMarked ? it.value() : 0;
    return n;
}

int Balance::plainEndings() const
{
    int n = 0;
    for (auto it = r->finished.cbegin(); it != r->finished.cend(); ++it)
        n += book->page(it.key()).victoryMarked ? 0 : it.value();
    return n;
}

int Balance::fightDeaths() const
{
    int n = 0;
    for (const QVector<int> &d : r->deaths)
        for (int m = 0; m + 1 < d.size(); ++m)
            n += d.at(m);
    return n;
}

int Balance::otherDeaths() const
{
    int n = 0;
    for (const QVector<int> &d : r->deaths)
        n += d.last();
    return n;
}

QVector<Balance::Bar> Balance::endings() const
{
    QVector<Bar> bars;
    for (auto it = r->finished.cbegin(); it != r->finished.cend(); ++it)
        bars.append(book->page(it.key()).victoryMarked
                        ? Bar{tr("victoire %1").arg(book->page(it.key()).id), it.value(), Victory, it.key()}
                        : Bar{tr("fin %1").arg(book->page(it.key()).id), it.value(), Ending, it.key()});
    for (auto it = r->deaths.cbegin(); it != r->deaths.cend(); ++it) {
        const QVector<int> &d = it.value();
        int inFight = 0;
        for (int m = 0; m + 1 < d.size(); ++m)
            inFight += d.at(m);
        const QString id = book->page(it.key()).id;
        if (inFight)
            bars.append({tr("mort au combat %1").arg(id), inFight, FightDeath, it.key()});
        if (d.last())
            bars.append({tr("mort %1").arg(id), d.last(), OtherDeath, it.key()});
    }
    for (auto it = r->broken.cbegin(); it != r->broken.cend(); ++it)
        bars.append({tr("renvoi rompu %1").arg(book->page(it.key()).id), it.value(), BrokenReference, it.key()});
    for (auto it = r->looped.cbegin(); it != r->looped.cend(); ++it)
        bars.append({tr("boucle %1").arg(book->page(it.key()).id), it.value(), Loop, it.key()});
    return bars;
}

namespace {

void mostFirst(QVector<Balance::Bar> *bars)
{
    std::stable_sort(bars->begin(), bars->end(),
                     [](const Balance::Bar &a, const Balance::Bar &b) { return a.count > b.count; });
}

} // namespace

QVector<Balance::Bar> Balance::deathsByEntry() const
{
    QVector<Bar> bars;
    for (auto it = r->deaths.cbegin(); it != r->deaths.cend(); ++it) {
        int total = 0;
        for (int n : it.value())
            total += n;
        const bool fight = it.value().size() > 1 && total > it.value().last();
        bars.append({book->page(it.key()).id, total, fight ? FightDeath : OtherDeath, it.key()});
    }
    mostFirst(&bars);
    return bars;
}

QVector<Balance::Bar> Balance::deathsByMonster() const
{
    QVector<Bar> bars;
    QHash<QString, int> at;
    for (auto it = r->deaths.cbegin(); it != r->deaths.cend(); ++it) {
        const QVector<int> &d = it.value();
        for (int m = 0; m + 1 < d.size(); ++m) {
            if (!d.at(m))
                continue;
            const QString name = book->page(it.key()).monsters.at(m).name;
            auto found = at.constFind(name);
            if (found == at.constEnd()) {
                at.insert(name, bars.size());
                bars.append({name, d.at(m), Monster, it.key()});
            } else {
                bars[*found].count += d.at(m);
            }
        }
    }
    mostFirst(&bars);
    return bars;
}

QVector<Balance::Bin> Balance::lengths(int bins) const
{
    QVector<Bin> out;
    int shortest = -1, longest = 0;
    for (int n = 0; n < r->lengths.size(); ++n)
        if (r->lengths.at(n)) {
            if (shortest < 0)
                shortest = n;
            longest = n;
        }
    if (shortest < 0 || bins < 1)
        return out;
    const int width = qMax(1, (longest - shortest + bins) / bins);
    for (int from = shortest; from <= longest; from += width)
        out.append({from, qMin(longest, from + width - 1), 0});
    for (int n = shortest; n <= longest; ++n)
        out[(n - shortest) / width].count += r->lengths.at(n);
    return out;
}

QString Balance::headline() const
{
    const int of = r->adventures;
    // The count beside a share that rounds to 0 or 100 % without being it.
    auto share = [of](int n) {
        const QString p = percent(of ? double(n) / of : 0.0);
        const int shown = of ? qRound(1000.0 * n / of) : 0;
        return (shown == 0 && n > 0) || (shown == 1000 && n < of) ? tr("%1 (%2)").arg(p).arg(n) : p;
    };
    int broken = 0, loops = 0;
    for (int n : r->broken)
        broken += n;
    for (int n : r->looped)
        loops += n;
    return tr("Victoires : %1 des lecteurs ; fins sans marque %2, morts au combat %3, autres morts %4, "
              "renvois rompus %5, boucles %6")
        .arg(share(victories()), share(plainEndings()), share(fightDeaths()), share(otherDeaths()), share(broken),
             share(loops));
}

QString Balance::text() const
{
    QString out;
    auto line = [&out](const QString &s) { out += s + QLatin1Char('\n'); };
    if (!verdicts.isEmpty())
        line(tr("Combats (chances exactes de gagner : faible 7/14, moyen 9/19, fort 12/24) :"));
    for (const FightVerdict &f : verdicts)
        line(tr("  %1 : %2 — %3").arg(book->page(f.entry).id, oddsText(f.odds), wordText(f.word)));
    if (!never.isEmpty())
        line(tr("Entrées jamais visitées (%1) :").arg(never.size()));
    for (const Unvisited &u : never)
        line(tr("  %1 : %2").arg(book->page(u.entry).id, reasonText(u.reason)));
    return out;
}
