#include "play/simulation.h"

#include "play/balance.h"
#include "play/fightodds.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QVarLengthArray>

#include <thread>
#include <vector>

bool Simulation::parseStrategy(const QString &name, Strategy *strategy)
{
    if (name == QLatin1String("random"))
        *strategy = Random;
    else if (name == QLatin1String("cautious"))
        *strategy = Cautious;
    else
        return false;
    return true;
}

QString Simulation::strategyName(Strategy strategy)
{
    return strategy == Cautious ? QStringLiteral("cautious") : QStringLiteral("random");
}

Simulation::Simulation(const Playbook &book, Strategy strategy, const Rules &rules)
    : book(&book), strategy(strategy), rules(rules)
{
}

// The chance of beating the monsters of `entry` from the start, for this
// sheet. Readers meet the same fights with the same sheets again and again.
double Simulation::odds(int entry, const Sheet &sheet)
{
    const quint64 key = (quint64(quint32(entry)) << 32) | (quint64(quint16(sheet.habilete)) << 16)
        | quint16(sheet.endurance);
    auto it = oddsCache.constFind(key);
    if (it != oddsCache.constEnd())
        return *it;
    const double p = FightOdds::win(sheet.habilete, sheet.endurance, book->page(entry).monsters,
                                    rules.wound);
    oddsCache.insert(key, p);
    return p;
}

bool Simulation::decide(Adventure &adventure, SeededDice &dice)
{
    const Adventure::State &s = adventure.state();
    if (s.phase == Adventure::Over)
        return false;
    if (adventure.canEat() && s.sheet.endurance < s.sheet.enduranceMax)
        return adventure.eat();
    switch (s.phase) {
    case Adventure::Fighting:
        if (strategy == Cautious && adventure.canFlee()
            && !(adventure.page().fleePenalty && s.sheet.endurance <= rules.fleePenalty)
            && FightOdds::win(s.sheet.habilete, s.sheet.endurance, s.fight.remaining(), rules.wound) < rules.cautiousOdds)
            return adventure.flee();
        return adventure.fightRound();
    case Adventure::TestingLuck:
        return adventure.testLuck();
    case Adventure::Choosing: {
        const QVector<Playbook::Way> &ways = adventure.page().choices;
        QVarLengthArray<int, 16> open;
        if (strategy == Cautious) {
            for (int i = 0; i < ways.size(); ++i) {
                const int t = ways.at(i).target;
                if (t < 0 || book->page(t).monsters.isEmpty() || odds(t, s.sheet) >= rules.cautiousOdds)
                    open.append(i);
            }
        }
        if (open.isEmpty())
            for (int i = 0; i < ways.size(); ++i)
                open.append(i);
        return adventure.choose(open.at(open.size() > 1 ? dice.below(open.size()) : 0));
    }
    case Adventure::Over:
        break;
    }
    return false;
}

void Simulation::play(Adventure &adventure, SeededDice &dice)
{
    while (decide(adventure, dice)) {
    }
}

// Plays adventures [from, to) into `r`, whose `reached` is sized already.
void Simulation::runPart(Report &r, int from, int to, quint32 seed)
{
    QVector<int> lastSeen(book->size(), -1);
    for (int k = from; k < to; ++k) {
        SeededDice dice(seed + quint32(k));
        Adventure a(*book, dice, rules);
        a.setRecording(false);
        a.trackVisits(&r.reached, &lastSeen, k);
        if (!a.start())
            return;
        play(a, dice);
        const Adventure::State &s = a.state();
        r.steps += s.steps;
        r.longest = qMax(r.longest, s.steps);
        if (s.steps >= r.lengths.size())
            r.lengths.resize(s.steps + 1);
        ++r.lengths[s.steps];
        switch (s.ending) {
        case Adventure::Finished: ++r.finished[s.entry]; break;
        case Adventure::Died: {
            QVector<int> &d = r.deaths[s.entry];
            if (d.isEmpty())
                d.resize(book->page(s.entry).monsters.size() + 1);
            ++d[s.killedBy < 0 ? d.size() - 1 : s.killedBy];
            break;
        }
        case Adventure::Broken: ++r.broken[s.entry]; break;
        case Adventure::Looped: ++r.looped[s.entry]; break;
        case Adventure::NotOver: break;
        }
    }
}

namespace {

void addCounts(QMap<int, int> &to, const QMap<int, int> &from)
{
    for (auto it = from.cbegin(); it != from.cend(); ++it)
        to[it.key()] += it.value();
}

void addVector(QVector<int> &to, const QVector<int> &from)
{
    if (to.size() < from.size())
        to.resize(from.size());
    for (int i = 0; i < from.size(); ++i)
        to[i] += from.at(i);
}

} // namespace

// Each adventure depends only on its own seed, so the adventures are shared
// out between the cores in runs of consecutive numbers and the counts added
// up: the report is the same whatever the number of cores.
Simulation::Report Simulation::run(int adventures, quint32 seed)
{
    Report r;
    r.seed = seed;
    r.adventures = adventures;
    r.strategy = strategy;
    r.stepLimit = rules.stepLimit;
    r.reached = QVector<int>(book->size(), 0);

    const int parts = qBound(1, qMin(threads > 0 ? threads : QThread::idealThreadCount(), adventures / minimumPart), maximumParts);
    QVector<Report> partial(parts - 1);
    std::vector<std::thread> workers;
    const auto bounds = [adventures, parts](int p) { return int(qint64(adventures) * p / parts); };
    for (int p = 1; p < parts; ++p) {
        Report &mine = partial[p - 1];
        mine.reached = r.reached;
        // each worker has its own copy, made here before this thread runs
        // its own part: the odds cache is not shared
        workers.emplace_back([own = *this, &mine, p, bounds, seed]() mutable {
            own.runPart(mine, bounds(p), bounds(p + 1), seed);
        });
    }
    runPart(r, 0, bounds(1), seed);
    for (std::thread &w : workers)
        w.join();
    for (const Report &m : qAsConst(partial)) {
        addCounts(r.finished, m.finished);
        addCounts(r.broken, m.broken);
        addCounts(r.looped, m.looped);
        for (auto it = m.deaths.cbegin(); it != m.deaths.cend(); ++it)
            addVector(r.deaths[it.key()], it.value());
        r.steps += m.steps;
        r.longest = qMax(r.longest, m.longest);
        addVector(r.lengths, m.lengths);
        addVector(r.reached, m.reached);
    }

    for (int i = 0; i < r.reached.size(); ++i)
        if (r.reached.at(i) == 0)
            r.neverVisited.append(i);
    for (int i = 0; i < book->size(); ++i)
        if (!book->page(i).monsters.isEmpty())
            r.fights.append({i, FightOdds::profiles(book->page(i).monsters, rules.wound)});
    return r;
}

namespace {

QString share(int count, int of)
{
    return QString::number(of ? 100.0 * count / of : 0.0, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(','))
        + QStringLiteral(" %");
}

} // namespace

QString Simulation::text(const Report &r) const
{
    QString out;
    auto line = [&out](const QString &s) { out += s + QLatin1Char('\n'); };
    auto id = [this](int i) { return book->page(i).id; };
    line(tr("Aventures simulées : %1 (graine %2, lecteur %3)")
             .arg(r.adventures).arg(r.seed)
             .arg(r.strategy == Cautious ? tr("prudent") : tr("au hasard")));
    const Balance balance(*book, r);
    line(balance.headline());
    line(tr("Fins atteintes :"));
    for (auto it = r.finished.cbegin(); it != r.finished.cend(); ++it)
        line(tr("  %1 : %2 (%3)").arg(id(it.key()), share(it.value(), r.adventures)).arg(it.value()));
    if (r.finished.isEmpty())
        line(tr("  aucune"));
    line(tr("Morts :"));
    if (r.deaths.isEmpty())
        line(tr("  aucune"));
    for (auto it = r.deaths.cbegin(); it != r.deaths.cend(); ++it) {
        const QVector<int> &d = it.value();
        int total = 0;
        QStringList causes;
        for (int m = 0; m < d.size(); ++m) {
            total += d.at(m);
            if (d.at(m))
                causes << tr("%1 %2").arg(m + 1 < d.size() ? book->page(it.key()).monsters.at(m).name
                                                             : tr("autre cause"))
                              .arg(d.at(m));
        }
        line(tr("  %1 : %2 (%3) — %4").arg(id(it.key()), share(total, r.adventures)).arg(total)
                 .arg(causes.join(QStringLiteral(", "))));
    }
    for (auto it = r.broken.cbegin(); it != r.broken.cend(); ++it)
        line(tr("Renvoi vers une entrée absente depuis %1 : %2").arg(id(it.key())).arg(it.value()));
    int loops = 0;
    QStringList where;
    for (auto it = r.looped.cbegin(); it != r.looped.cend(); ++it) {
        loops += it.value();
        where << id(it.key());
    }
    line(tr("Boucles sans fin (plus de %1 entrées) : %2%3")
             .arg(r.stepLimit).arg(loops)
             .arg(where.isEmpty() ? QString() : tr(", arrêtées en %1").arg(where.join(QStringLiteral(", ")))));
    line(tr("Chemin : %1 entrées en moyenne, %2 au plus")
             .arg(QString::number(r.adventures ? double(r.steps) / r.adventures : 0.0, 'f', 1)
                      .replace(QLatin1Char('.'), QLatin1Char(',')))
             .arg(r.longest));
    out += balance.text();
    if (r.neverVisited.isEmpty())
        line(tr("Entrées jamais visitées : aucune"));
    return out;
}

QByteArray Simulation::json(const Report &r) const
{
    auto id = [this](int i) { return book->page(i).id; };
    auto counts = [&](const QMap<int, int> &map) {
        QJsonArray a;
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            a.append(QJsonObject{{QStringLiteral("entry"), id(it.key())},
                                 {QStringLiteral("count"), it.value()},
                                 {QStringLiteral("share"), double(it.value()) / r.adventures}});
        return a;
    };
    QJsonArray deaths;
    for (auto it = r.deaths.cbegin(); it != r.deaths.cend(); ++it) {
        const QVector<int> &d = it.value();
        QJsonArray fights;
        int total = 0;
        for (int m = 0; m + 1 < d.size(); ++m) {
            fights.append(QJsonObject{{QStringLiteral("monster"), book->page(it.key()).monsters.at(m).name},
                                      {QStringLiteral("count"), d.at(m)}});
            total += d.at(m);
        }
        total += d.last();
        deaths.append(QJsonObject{{QStringLiteral("entry"), id(it.key())},
                                  {QStringLiteral("count"), total},
                                  {QStringLiteral("share"), double(total) / r.adventures},
                                  {QStringLiteral("fights"), fights},
                                  {QStringLiteral("other"), d.last()}});
    }
    QJsonArray never;
    for (int i : r.neverVisited)
        never.append(id(i));
    const Balance balance(*book, r);
    static const char *const words[] = {"easy", "even", "hard", "nearlyImpossible"};
    QJsonArray fights;
    for (const Balance::FightVerdict &f : balance.fights())
        fights.append(QJsonObject{{QStringLiteral("entry"), id(f.entry)},
                                  {QStringLiteral("weakest"), f.odds.weakest},
                                  {QStringLiteral("average"), f.odds.average},
                                  {QStringLiteral("strongest"), f.odds.strongest},
                                  {QStringLiteral("verdict"), QLatin1String(words[f.word])}});
    static const char *const reasons[] = {"rare", "flight", "luck", "hardFight", "noPath"};
    QJsonArray unvisited;
    for (const Balance::Unvisited &u : balance.unvisited())
        unvisited.append(QJsonObject{{QStringLiteral("entry"), id(u.entry)},
                                     {QStringLiteral("reason"), QLatin1String(reasons[u.reason])}});
    QJsonArray lengths;
    for (const Balance::Bin &b : balance.lengths())
        lengths.append(QJsonObject{{QStringLiteral("from"), b.from}, {QStringLiteral("to"), b.to},
                                   {QStringLiteral("count"), b.count}});
    const QJsonObject root{
        {QStringLiteral("seed"), double(r.seed)},
        {QStringLiteral("adventures"), r.adventures},
        {QStringLiteral("victories"), balance.victories()},
        {QStringLiteral("plainEndings"), balance.plainEndings()},
        {QStringLiteral("fightDeaths"), balance.fightDeaths()},
        {QStringLiteral("otherDeaths"), balance.otherDeaths()},
        {QStringLiteral("strategy"), strategyName(r.strategy)},
        {QStringLiteral("stepLimit"), r.stepLimit},
        {QStringLiteral("endings"), counts(r.finished)},
        {QStringLiteral("deaths"), deaths},
        {QStringLiteral("broken"), counts(r.broken)},
        {QStringLiteral("loops"), counts(r.looped)},
        {QStringLiteral("averagePath"), r.adventures ? double(r.steps) / r.adventures : 0.0},
        {QStringLiteral("longestPath"), r.longest},
        {QStringLiteral("neverVisited"), never},
        {QStringLiteral("unvisited"), unvisited},
        {QStringLiteral("lengths"), lengths},
        {QStringLiteral("fightOdds"), fights},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}
