// The rules of the game, the exact fight odds, the simulated readers and the
// orvandel-play command, over fixture books.
#include "book/bookreader.h"
#include "play/adventure.h"
#include "play/fightodds.h"
#include "play/simulation.h"
#include "support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QElapsedTimer>
#include <QtMath>

#include <sys/resource.h>

using namespace Support;

namespace {

Playbook load(const QString &name)
{
    return Playbook(readFixture(name));
}

int indexOf(const Playbook &book, const QString &id)
{
    for (int i = 0; i < book.size(); ++i)
        if (book.page(i).id == id)
            return i;
    qFatal("no entry %s", qPrintable(id));
    return -1;
}

QVector<int> numbers(const QString &text)
{
    QVector<int> out;
    for (const QString &n : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        out << n.toInt();
    return out;
}

// "H/Hmax E/Emax C/Cmax gold provisions [items]"
Sheet sheet(const QString &text)
{
    const QStringList f = text.split(QRegularExpression(QStringLiteral("[ /]")));
    Sheet s = Sheet::starting(f.at(1).toInt(), f.at(3).toInt(), f.at(5).toInt(), f.at(7).toInt());
    s.habilete = f.at(0).toInt();
    s.endurance = f.at(2).toInt();
    s.chance = f.at(4).toInt();
    s.gold = f.at(6).toInt();
    s.items = f.mid(8);
    return s;
}

QString text(const Sheet &s)
{
    return (QStringList{QStringLiteral("%1/%2 %3/%4 %5/%6 %7 %8").arg(s.habilete).arg(s.habileteMax)
                            .arg(s.endurance).arg(s.enduranceMax).arg(s.chance).arg(s.chanceMax)
                            .arg(s.gold).arg(s.provisions)} + s.items).join(QLatin1Char(' '));
}

QString phase(const Adventure::State &s)
{
    static const char *const playing[] = {"combat", "chance", "choix"};
    static const char *const over[] = {"", "fin", "mort", "rompu", "boucle"};
    return QLatin1String(s.phase == Adventure::Over ? over[s.ending] : playing[s.phase]);
}

// The generator written out again from its description, as a web page would.
quint32 mulberry32(quint64 *state)
{
    *state = (*state + 0x6D2B79F5) & 0xFFFFFFFF;
    quint64 t = *state;
    t = ((t ^ (t >> 15)) * (t | 1)) & 0xFFFFFFFF;
    t ^= (t + (((t ^ (t >> 7)) * (t | 61)) & 0xFFFFFFFF)) & 0xFFFFFFFF;
    return quint32(t ^ (t >> 14));
}

QVector<Fight::Opponent> monsters(const QString &text)
{
    QVector<Fight::Opponent> out;
    for (const QString &m : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        out.append({m, m.section(QLatin1Char(':'), 0, 0).toInt(), m.section(QLatin1Char(':'), 1, 1).toInt()});
    return out;
}

struct Run
{
    int status;
    QByteArray out;
};

Run play(const QStringList &args)
{
    QProcess process;
    process.start(QStringLiteral(ORVANDEL_PLAY), args);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput()};
}

} // namespace

class TestPlay : public QObject
{
    Q_OBJECT

private slots:
    void dice_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<quint32>("first");
        QTest::addColumn<QString>("dice");
        // From the JavaScript version (Math.imul, >>> 0) of the generator.
        QTest::newRow("0") << 0u << 1144304738u << "1 2 1 3 4 4 4 3";
        QTest::newRow("1") << 1u << 2693262067u << "1 4 6 6 2 4 5 3";
        QTest::newRow("42") << 42u << 2581720956u << "3 6 5 2 4 2 4 6";
        QTest::newRow("max") << 4294967295u << 3850105811u << "2 5 6 6 4 5 3 1";
        QTest::newRow("123456789") << 123456789u << 1107202814u << "6 5 2 2 5 5 2 1";
    }
    void dice()
    {
        QFETCH(quint32, seed);
        QFETCH(quint32, first);
        QFETCH(QString, dice);
        SeededDice seeded(seed);
        QCOMPARE(seeded.next(), first);
        QVector<int> rolled;
        for (int i = 0; i < 8; ++i)
            rolled << seeded.d6();
        QCOMPARE(rolled, numbers(dice));
    }

    void rules_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("dice");
        QTest::addColumn<QString>("actions"); // "!" before one that must be refused
        QTest::addColumn<QString>("at");
        QTest::addColumn<QString>("phase");
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<int>("monsterLeft");
        const QString full = QStringLiteral("10/10 20/20 9/9 0 0");
        QTest::newRow("victoire") << "001" << full << "6 6 1 1 6 6 1 1" << "r r" << "002" << "fin" << full << -1;
        QTest::newRow("le lecteur lance d'abord") << "001" << "7/7 20/20 9/9 0 0" << "1 1 6 6" << "r" << "001" << "combat" << "7/7 18/20 9/9 0 0" << 4;
        QTest::newRow("le monstre blessé") << "001" << "7/7 20/20 9/9 0 0" << "5 4 2 3" << "r" << "001" << "combat" << "7/7 20/20 9/9 0 0" << 2;
        QTest::newRow("égalité") << "001" << "7/7 20/20 9/9 0 0" << "3 4 5 2" << "r" << "001" << "combat" << "7/7 20/20 9/9 0 0" << 4;
        QTest::newRow("mort au combat") << "001" << "7/7 2/20 9/9 0 0" << "1 1 6 6" << "r !r !f" << "001" << "mort" << "7/7 0/20 9/9 0 0" << -1;
        QTest::newRow("premier monstre battu") << "003" << full << "6 6 1 1" << "r" << "003" << "combat" << full << 2;
        QTest::newRow("victoire du dernier monstre") << "003" << full << "6 6 1 1 6 6 1 1" << "r r" << "005" << "fin" << full << -1;
        QTest::newRow("chanceux") << "006" << full << "4 5" << "l" << "007" << "fin" << "10/10 20/20 8/9 0 0" << -1;
        QTest::newRow("malchanceux") << "006" << full << "5 5" << "l" << "008" << "fin" << "10/10 20/20 8/9 0 0" << -1;
        QTest::newRow("plus de chance") << "006" << "10/10 20/20 0/9 0 0" << "1 1" << "l" << "008" << "fin" << "10/10 20/20 0/9 0 0" << -1;
        QTest::newRow("fuite après la ronde 2, pénalité") << "009" << "9/9 20/20 9/9 0 0" << "1 1 6 6 3 3 3 3" << "!f r !f r f" << "010" << "fin" << "9/9 16/20 9/9 0 0" << -1;
        QTest::newRow("fuite sans pénalité") << "011" << "9/9 20/20 9/9 0 0" << "3 3 3 3" << "!f r f" << "010" << "fin" << "9/9 20/20 9/9 0 0" << -1;
        QTest::newRow("bonus plafonné") << "012" << "10/11 20/20 8/9 0 0" << "" << "!e" << "012" << "choix" << "11/11 17/20 9/9 0 0" << -1;
        QTest::newRow("objets et repas") << "013" << "8/9 10/20 9/9 0 0" << "" << "e !e c0" << "010" << "fin" << "9/9 14/20 9/9 5 1 Épée" << -1;
        QTest::newRow("repas plafonné") << "013" << "9/9 18/20 9/9 0 0" << "" << "e" << "013" << "choix" << "9/9 20/20 9/9 5 1 Épée" << -1;
        QTest::newRow("bonus mortel") << "014" << full << "" << "!c0" << "014" << "mort" << "10/10 0/20 9/9 0 0" << -1;
        QTest::newRow("retour en arrière") << "006" << full << "4 5" << "!b l b" << "006" << "chance" << full << -1;
        QTest::newRow("renvoi introuvable") << "015" << full << "" << "c0" << "015" << "rompu" << full << -1;
        QTest::newRow("choix hors liste") << "000" << full << "" << "!c3 !l c0" << "001" << "combat" << full << 4;
    }
    void rules()
    {
        QFETCH(QString, entry);
        QFETCH(QString, start);
        QFETCH(QString, dice);
        QFETCH(QString, actions);
        const Playbook book = load(QStringLiteral("play-rules.xml"));
        ScriptedDice scripted(numbers(dice));
        Adventure a(book, scripted);
        QVERIFY(a.start(sheet(start), indexOf(book, entry)));
        for (const QString &action : actions.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const bool refused = action.startsWith(QLatin1Char('!'));
            const QString act = action.mid(refused ? 1 : 0);
            const bool done = act == QLatin1String("r") ? a.fightRound()
                : act == QLatin1String("f")              ? a.flee()
                : act == QLatin1String("l")              ? a.testLuck()
                : act == QLatin1String("e")              ? a.eat()
                : act == QLatin1String("b")              ? a.back()
                                                         : a.choose(act.mid(1).toInt());
            QVERIFY2(done != refused, qPrintable(action + QLatin1Char(' ') + a.errorString()));
        }
        QCOMPARE(scripted.remaining(), 0);
        QVERIFY(!scripted.ranOut());
        QTEST(a.page().id, "at");
        QTEST(phase(a.state()), "phase");
        QTEST(text(a.state().sheet), "sheet");
        QFETCH(int, monsterLeft);
        if (monsterLeft >= 0)
            QCOMPARE(a.state().fight.currentEndurance(), monsterLeft);
    }

    // Going back undoes a decision and all it led to: the path, the log,
    // the trace, the entry's dice, the objects found on the way.
    void back_data()
    {
        QTest::addColumn<QString>("book");
        QTest::addColumn<QString>("actions");
        QTest::newRow("choix et chance") << "play-rules.xml" << "c1 l";
        QTest::newRow("un long combat") << "play-long-fight.xml" << QString("r ").repeated(40);
        QTest::newRow("objets sur un cercle") << "play-ring.xml" << "c0 c0 c0 c1";
    }
    void back()
    {
        QFETCH(QString, book);
        QFETCH(QString, actions);
        const Playbook playbook = load(book);
        SeededDice dice(5);
        Adventure a(playbook, dice);
        QVERIFY(a.start(Sheet::starting(12, 24, 12)));
        QVector<Adventure::State> before;
        for (const QString &act : actions.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            before << a.state();
            QVERIFY(act == QLatin1String("r") ? a.fightRound()
                    : act == QLatin1String("l") ? a.testLuck() : a.choose(act.mid(1).toInt()));
        }
        while (!before.isEmpty()) {
            QVERIFY(a.back());
            const Adventure::State &now = a.state(), &then = before.takeLast();
            QCOMPARE(now.entry, then.entry);
            QCOMPARE(now.sheet, then.sheet);
            QCOMPARE(now.fight.roundsFought(), then.fight.roundsFought());
            QCOMPARE(now.path, then.path);
            QCOMPARE(now.log, then.log);
            QCOMPARE(now.trace, then.trace);
            QCOMPARE(now.events.size(), then.events.size());
            QCOMPARE(now.firstEvent, then.firstEvent);
        }
        QVERIFY(!a.canGoBack());
    }

    void odds_data()
    {
        QTest::addColumn<int>("habilete");
        QTest::addColumn<int>("endurance");
        QTest::addColumn<QString>("monsters");
        QTest::addColumn<double>("expected");
        // Of the 1296 rolls 146 tie, 575 go each way; one point ahead turns
        // 146 more into wins and 140 into ties: 721 won, 435 lost.
        const double ahead = 721.0 / 1156, behind = 435.0 / 1156;
        QTest::newRow("égaux, un coup chacun") << 7 << 1 << "7:1" << 0.5;
        QTest::newRow("égaux, 2 contre 2") << 9 << 2 << "9:2" << 0.5;
        QTest::newRow("égaux, deux coups à porter") << 8 << 1 << "8:3" << 0.25;
        QTest::newRow("égaux, deux coups à encaisser") << 8 << 3 << "8:1" << 0.75;
        QTest::newRow("égaux, deux monstres") << 8 << 1 << "8:1 8:1" << 0.25;
        QTest::newRow("égaux, deux contre deux monstres") << 8 << 3 << "8:1 8:1" << 0.5;
        QTest::newRow("un point de plus") << 8 << 1 << "7:1" << ahead;
        QTest::newRow("un point de moins") << 7 << 1 << "8:1" << behind;
        QTest::newRow("un point de plus, deux coups") << 8 << 1 << "7:3" << ahead * ahead;
        QTest::newRow("un point de plus, deux vies") << 8 << 3 << "7:1" << 1 - behind * behind;
        QTest::newRow("dix points de moins") << 7 << 24 << "17:1" << 0.0;
        QTest::newRow("monstre sans Endurance") << 7 << 1 << "30:0" << 1.0;
    }
    void odds()
    {
        QFETCH(int, habilete);
        QFETCH(int, endurance);
        QFETCH(QString, monsters);
        QTEST(FightOdds::win(habilete, endurance, ::monsters(monsters)), "expected");
    }

    // A number typed absurdly large fights as the largest the rules take,
    // at the cost of that one; past the limits of int it once overflowed.
    void oddsOfHugeNumbers_data()
    {
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("bounded");
        QTest::newRow("Endurance de deux milliards") << "7:2000000000" << "7:999";
        QTest::newRow("Endurance au plafond des int") << "7:2147483647" << "7:999";
        QTest::newRow("Habileté au plafond des int") << "2147483640:5" << "999:5";
        QTest::newRow("Habileté très négative") << "-2147483640:5" << "0:5";
    }
    void oddsOfHugeNumbers()
    {
        QFETCH(QString, written);
        QFETCH(QString, bounded);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(FightOdds::win(12, 24, monsters(written)), FightOdds::win(12, 24, monsters(bounded)));
        QVERIFY(clock.elapsed() < 1000);
    }

    void amounts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("expected");
        const int most = Rules::valueLimit;
        QTest::newRow("signe et blancs") << " +3 " << -most << 3;
        QTest::newRow("négatif") << "-4" << -most << -4;
        QTest::newRow("négatif, caractéristique") << "-4" << 0 << 0;
        QTest::newRow("deux milliards") << "2000000000" << 0 << most;
        QTest::newRow("au-delà de 64 bits") << "99999999999999999999" << 0 << most;
        QTest::newRow("au-delà des int, négatif") << "-2147483649" << -most << -most;
        QTest::newRow("un exposant") << "1e3" << -most << 0;
        QTest::newRow("un signe seul") << "-" << -most << 0;
    }
    void amounts()
    {
        QFETCH(QString, text);
        QFETCH(int, low);
        QTEST(Playbook::amount(text, low), "expected");
    }

    // Every number of a book is read within the rules' range, the sheet's
    // gold too: two purses of the most there is still make the most.
    void hugeBook()
    {
        const Playbook book = load(QStringLiteral("play-huge.xml"));
        const int most = Rules::valueLimit;
        const Playbook::Page &hoard = book.page(0);
        QCOMPARE(QVector<int>({hoard.habilete, hoard.endurance, hoard.chance}), QVector<int>({most, -most, most}));
        QCOMPARE(book.page(1).monsters.at(0).habilete, most);
        QCOMPARE(book.page(1).monsters.at(0).endurance, most);
        SeededDice dice(3);
        Adventure a(book, dice);
        QVERIFY(a.start());
        Simulation(book).play(a, dice);
        const Adventure::State &s = a.state();
        QCOMPARE(s.sheet.gold, most);
        QCOMPARE(s.sheet.provisions, most);
        // The Colosse wins every round: the reader falls, back at full
        // Endurance after the purse, in as many rounds as wounds it takes.
        QCOMPARE(phase(s), QStringLiteral("mort"));
        QCOMPARE(s.killedBy, 0);
        QCOMPARE(s.events.size() - s.firstEvent, (s.sheet.enduranceMax + 1) / 2);
    }

    // The cautious reader flees a fight it cannot win as soon as it may,
    // but fights on when the flight's penalty would kill it. The giant of
    // play-flight.xml wins the first round; flight is allowed after it.
    void cautiousFlight_data()
    {
        QTest::addColumn<int>("endurance");
        QTest::addColumn<QString>("left"); // the entry's dice and where the reader went
        QTest::newRow("la fuite laisse 1") << 5 << "R1+1/6+6 F | 001";
        QTest::newRow("la fuite tuerait") << 4 << "R1+1/6+6 R1+1/6+6 | mort";
    }
    void cautiousFlight()
    {
        QFETCH(int, endurance);
        const Playbook book = load(QStringLiteral("play-flight.xml"));
        ScriptedDice dice({1, 1, 6, 6, 1, 1, 6, 6});
        SeededDice unused(0);
        Adventure a(book, dice);
        QVERIFY(a.start(Sheet::starting(9, endurance, 9)));
        Simulation(book, Simulation::Cautious).play(a, unused);
        const QString line = a.state().trace.value(1);
        QTEST(line.section(QStringLiteral(" | "), 0, 0).section(QLatin1Char(' '), 2) + QStringLiteral(" | ")
                  + line.section(QStringLiteral(" | "), 2),
              "left");
    }

    void oddsMatchSampling_data()
    {
        QTest::addColumn<int>("habilete");
        QTest::addColumn<int>("endurance");
        QTest::addColumn<QString>("monsters");
        QTest::newRow("moyen contre un orque") << 9 << 19 << "7:9";
        QTest::newRow("faible contre deux") << 7 << 14 << "8:8 7:6";
        QTest::newRow("fort contre trois") << 12 << 24 << "10:10 11:12 9:8";
        QTest::newRow("serré") << 8 << 10 << "9:12";
        QTest::newRow("Endurance impaire") << 10 << 7 << "9:5 9:5";
    }
    void oddsMatchSampling()
    {
        QFETCH(int, habilete);
        QFETCH(int, endurance);
        QFETCH(QString, monsters);
        const int fights = 200000;
        SeededDice dice(quint32(habilete * 1000 + endurance));
        int won = 0;
        for (int i = 0; i < fights; ++i) {
            Fight fight(::monsters(monsters));
            int left = endurance;
            while (left > 0 && !fight.isWon())
                fight.round(dice, habilete, &left);
            won += fight.isWon();
        }
        const double p = FightOdds::win(habilete, endurance, ::monsters(monsters));
        const double error = 3 * qSqrt(p * (1 - p) / fights);
        QVERIFY2(qAbs(double(won) / fights - p) <= error,
                 qPrintable(QStringLiteral("%1 sampled, %2 exact").arg(double(won) / fights).arg(p)));
    }

    void simulation_data()
    {
        QTest::addColumn<QString>("book");
        QTest::addColumn<int>("strategy");
        QTest::addColumn<int>("adventures");
        QTest::addColumn<QString>("shares");
        QTest::addColumn<QString>("never");
        QTest::newRow("fourche au hasard") << "play-fork.xml" << int(Simulation::Random) << 4000 << "fin:002=1/2 mort:001:Dragon=1/2" << "003";
        QTest::newRow("fourche prudente") << "play-fork.xml" << int(Simulation::Cautious) << 2000 << "fin:002=1/1" << "001 003";
        // Chance 7 to 12 alike; 2d6 is at most 7, ..., 12 in 21, 26, 30, 33, 35, 36 rolls of 36.
        QTest::newRow("chance et boucle") << "play-luck.xml" << int(Simulation::Random) << 2000 << "fin:004=181/216 boucle:003=35/216" << "";
        QTest::newRow("sans fuir") << "play-flight.xml" << int(Simulation::Random) << 500 << "mort:000:Géant=1/1" << "001 002";
        QTest::newRow("fuite prudente") << "play-flight.xml" << int(Simulation::Cautious) << 500 << "fin:001=1/1" << "002";
    }
    void simulation()
    {
        QFETCH(QString, book);
        QFETCH(int, strategy);
        QFETCH(int, adventures);
        QFETCH(QString, shares);
        const Playbook playbook = load(book);
        Simulation simulation(playbook, Simulation::Strategy(strategy));
        const Simulation::Report r = simulation.run(adventures, 2024);
        QMap<QString, int> seen;
        auto id = [&playbook](int i) { return playbook.page(i).id; };
        const QMap<QString, const QMap<int, int> *> counted{
            {"fin:", &r.finished}, {"boucle:", &r.looped}, {"rompu:", &r.broken}};
        for (auto kind = counted.cbegin(); kind != counted.cend(); ++kind)
            for (auto it = kind.value()->cbegin(); it != kind.value()->cend(); ++it)
                seen[kind.key() + id(it.key())] += it.value();
        for (auto it = r.deaths.cbegin(); it != r.deaths.cend(); ++it)
            for (int m = 0; m < it.value().size(); ++m)
                if (it.value().at(m))
                    seen[QStringLiteral("mort:%1:%2").arg(id(it.key()), m + 1 < it.value().size()
                         ? playbook.page(it.key()).monsters.at(m).name : QStringLiteral("autre"))] += it.value().at(m);
        for (const QString &share : shares.split(QLatin1Char(' '))) {
            const QString key = share.section(QLatin1Char('='), 0, 0);
            const QString ratio = share.section(QLatin1Char('='), 1);
            const double p = ratio.section(QLatin1Char('/'), 0, 0).toDouble() / ratio.section(QLatin1Char('/'), 1).toDouble();
            const double got = double(seen.take(key)) / adventures;
            QVERIFY2(qAbs(got - p) <= 4 * qSqrt(p * (1 - p) / adventures) + 1e-9,
                     qPrintable(QStringLiteral("%1: %2 instead of %3").arg(key).arg(got).arg(p)));
        }
        QVERIFY2(seen.isEmpty(), qPrintable(seen.keys().join(QLatin1Char(' '))));
        QStringList never;
        for (int i : r.neverVisited)
            never << id(i);
        QTEST(never.join(QLatin1Char(' ')), "never");
    }

    // Sharing the readers between threads changes nothing in the report.
    void sameReportOnAnyCores_data()
    {
        QTest::addColumn<QString>("book");
        QTest::addColumn<int>("strategy");
        QTest::newRow("fourche") << "play-fork.xml" << int(Simulation::Random);
        QTest::newRow("chance et boucle") << "play-luck.xml" << int(Simulation::Random);
        QTest::newRow("fuite prudente") << "play-flight.xml" << int(Simulation::Cautious);
    }
    void sameReportOnAnyCores()
    {
        QFETCH(QString, book);
        QFETCH(int, strategy);
        const Playbook playbook = load(book);
        Simulation one(playbook, Simulation::Strategy(strategy));
        one.setThreads(1);
        Simulation three(playbook, Simulation::Strategy(strategy));
        three.setThreads(3);
        const int readers = 3 * Simulation::minimumPart + 7;
        const Simulation::Report a = one.run(readers, 99);
        const Simulation::Report b = three.run(readers, 99);
        QCOMPARE(b.reached, a.reached);
        QCOMPARE(b.lengths, a.lengths);
        QCOMPARE(b.steps, a.steps);
        QCOMPARE(three.json(b), one.json(a));
    }

    void command_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        const QString fork = fixture(QStringLiteral("play-fork.xml"));
        QTest::newRow("rapport") << QStringList{fork, "--simulate", "500", "--seed", "7"} << 0;
        QTest::newRow("json") << QStringList{fork, "--simulate", "500", "--seed", "7", "--json", "--strategy", "cautious"} << 0;
        QTest::newRow("trace") << QStringList{fixture("play-rules.xml"), "--trace", "--seed", "42"} << 0;
        QTest::newRow("aucune aventure") << QStringList{fork, "--simulate", "0"} << 2;
        QTest::newRow("nombre illisible") << QStringList{fork, "--simulate", "dix"} << 2;
        QTest::newRow("stratégie inconnue") << QStringList{fork, "--simulate", "5", "--strategy", "bold"} << 2;
        QTest::newRow("graine négative") << QStringList{fork, "--trace", "--seed", "-1"} << 2;
        QTest::newRow("ni l'un ni l'autre") << QStringList{fork} << 2;
        QTest::newRow("les deux") << QStringList{fork, "--simulate", "5", "--trace"} << 2;
        QTest::newRow("sans livre") << QStringList{"--simulate", "5"} << 2;
        QTest::newRow("livre absent") << QStringList{fixture("nowhere.xml"), "--simulate", "5"} << 2;
        QTest::newRow("livre illisible") << QStringList{fixture("book-broken.xml"), "--simulate", "5"} << 2;
        // Two billion of Endurance once meant a billion rounds kept in memory.
        QTest::newRow("nombres énormes, trace") << QStringList{fixture("play-huge.xml"), "--trace", "--seed", "42"} << 0;
        QTest::newRow("nombres énormes, simulation") << QStringList{fixture("play-huge.xml"), "--simulate", "1", "--seed", "7"} << 0;
    }
    void command()
    {
        QFETCH(QStringList, args);
        const Run first = play(args), second = play(args);
        QTEST(first.status, "status");
        if (first.status != 0)
            return;
        QVERIFY(!first.out.isEmpty());
        QCOMPARE(second.out, first.out);
        const QStringList other = QStringList(args).replaceInStrings(QRegularExpression("^(7|42)$"), "8");
        QVERIFY(play(other).out != first.out);
        if (args.contains("--json")) {
            const QJsonObject o = QJsonDocument::fromJson(first.out).object();
            QCOMPARE(o.value("adventures").toInt(), 500);
            QCOMPARE(o.value("endings").toArray().at(0).toObject().value("count").toInt(), 500);
        }
    }

    // A trace keeps what it prints, not a copy of the adventure at every
    // round: twelve monsters of 999 take some 6,000 rounds, which copied
    // that way held 670 MiB.
    void longFightTrace()
    {
        const Run run = play({fixture("play-long-fight.xml"), "--trace", "--seed", "3"});
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.count(" R") >= 12 * 500); // a round per blow at least
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer holds freed memory aside: the peak says nothing of the trace");
#endif
        rusage children;
        QCOMPARE(getrusage(RUSAGE_CHILDREN, &children), 0);
        QVERIFY2(children.ru_maxrss < 200 * 1024, qPrintable(QString::number(children.ru_maxrss)));
    }

    // Every die and every drawn choice of a trace comes from its seed, in
    // the order the rules text gives, as another implementation redraws them.
    void trace_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed : {0u, 1u, 42u, 4294967295u})
            QTest::addRow("%u", seed) << seed;
    }
    void trace()
    {
        QFETCH(quint32, seed);
        const Run run = play({fixture("play-rules.xml"), "--trace", "--seed", QString::number(seed)});
        const QStringList lines = QString::fromUtf8(run.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(lines.size() > 2);
        quint64 state = seed;
        auto value = [&state]() { return quint64(mulberry32(&state)); };
        auto die = [&value]() { return int(1 + ((value() * 6) >> 32)); };
        const int h = die() + 6, e = die() + die() + 12, c = die() + 6;
        QCOMPARE(lines.first().section(QStringLiteral(" or="), 0, 0),
                 QStringLiteral("0 départ - | H=%1/%1 E=%2/%2 C=%3/%3").arg(h).arg(e).arg(c));
        for (const QString &line : lines.mid(1)) {
            for (const QString &token : line.section(QStringLiteral(" | "), 0, 0).split(QLatin1Char(' ')).mid(2)) {
                QString expected = token;
                if (token.startsWith(QLatin1Char('R'))) {
                    const int a = die(), b = die(), m = die(), n = die();
                    expected = QStringLiteral("R%1+%2/%3+%4").arg(a).arg(b).arg(m).arg(n);
                } else if (token.startsWith(QLatin1Char('L'))) {
                    const int a = die(), b = die();
                    expected = QStringLiteral("L%1+%2").arg(a).arg(b);
                } else if (token.startsWith(QLatin1Char('C'))) {
                    const quint64 n = token.section(QLatin1Char('/'), 1).toULongLong();
                    if (n > 1)
                        expected = QStringLiteral("C%1/%2").arg(((value() * n) >> 32) + 1).arg(n);
                }
                QCOMPARE(token, expected);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestPlay)
#include "tst_play.moc"
