// The simulated readers' report as an author reads it (the share of
// victories, a word for each fight, why an entry is never visited, the
// charts and their pictures) and the playtest as a reader lives it.
#include "analysis/bookcheck.h"
#include "app/playui.h"
#include "app/reportcharts.h"
#include "app/simulationui.h"
#include "play/balance.h"
#include "play/simulation.h"
#include "support.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSet>
#include <QtCharts/QAbstractBarSeries>
#include <QtCharts/QChartView>

using namespace Support;
using namespace QtCharts;

namespace {

// "12,3 %", as the report writes a share.
QString shown(double share)
{
    return QString::number(share * 100, 'f', 1).replace('.', ',') + " %";
}

int indexOf(const Playbook &book, const QString &id)
{
    for (int i = 0; i < book.size(); ++i)
        if (book.page(i).id == id)
            return i;
    return -1;
}

// Label -> value of every bar of a chart, the sets of a stacked series
// added up.
QMap<QString, double> bars(QChartView *view)
{
    QMap<QString, double> out;
    auto *series = qobject_cast<QAbstractBarSeries *>(view->chart()->series().value(0));
    auto *axis = series ? qobject_cast<QBarCategoryAxis *>(series->attachedAxes().value(0)) : nullptr;
    if (!axis)
        axis = qobject_cast<QBarCategoryAxis *>(series->attachedAxes().value(1));
    if (!series || !axis)
        return out;
    for (int i = 0; i < axis->count(); ++i)
        for (QBarSet *set : series->barSets())
            out[axis->at(i)] += set->at(i);
    return out;
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

private slots:
    void unvisitedReasons_data();
    void unvisitedReasons();
    void fightWords_data();
    void fightWords();
    void chartsHoldTheReport();
    void playtestJournal_data();
    void playtestJournal();
    void roundsWithTheirDice();
    void startAndRestart();
    void endingMarks();
};

// Each entry nobody reached, with the way it lies behind, in the text, the
// JSON and the verdicts.
void TestReport::unvisitedReasons_data()
{
    QTest::addColumn<QString>("book");
    QTest::addColumn<int>("strategy");
    QTest::addColumn<int>("readers");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("reason"); // empty: visited
    QTest::addColumn<QString>("json");
    QTest::newRow("sans lien") << "report-unvisited.xml" << int(Simulation::Random) << 200 << "001" << "aucun chemin" << "noPath";
    QTest::newRow("chance jamais obtenue") << "report-unvisited.xml" << int(Simulation::Random) << 200 << "002" << "seulement par un test de chance" << "luck";
    QTest::newRow("fuite jamais prise") << "report-unvisited.xml" << int(Simulation::Random) << 200 << "004" << "seulement par une fuite" << "flight";
    QTest::newRow("au-delà d'une fuite") << "report-unvisited.xml" << int(Simulation::Random) << 200 << "006" << "seulement par une fuite" << "flight";
    QTest::newRow("combat presque impossible") << "report-unvisited.xml" << int(Simulation::Random) << 200 << "005" << "seulement après un combat presque impossible" << "hardFight";
    QTest::newRow("seule une fuite y mène") << "play-flight.xml" << int(Simulation::Random) << 300 << "001" << "seulement par une fuite" << "flight";
    QTest::newRow("le prudent fuit") << "play-flight.xml" << int(Simulation::Cautious) << 300 << "001" << "" << "";
    QTest::newRow("derrière une entrée jamais tirée") << "play-fork.xml" << int(Simulation::Random) << 1 << "003" << "seulement après un combat presque impossible" << "hardFight";
    QTest::newRow("choix jamais tiré") << "play-fork.xml" << int(Simulation::Random) << 1 << "001" << "chemin jamais tiré par les lecteurs simulés" << "rare";
}

void TestReport::unvisitedReasons()
{
    QFETCH(QString, book);
    QFETCH(int, strategy);
    QFETCH(int, readers);
    QFETCH(QString, entry);
    QFETCH(QString, reason);
    QFETCH(QString, json);
    const Playbook playbook(readFixture(book));
    Simulation simulation(playbook, Simulation::Strategy(strategy));
    const Simulation::Report report = simulation.run(readers, 1);
    const int at = indexOf(playbook, entry);
    QCOMPARE(report.neverVisited.contains(at), !reason.isEmpty());
    const QStringList lines = simulation.text(report).split('\n');
    const int heading = lines.indexOf(QRegularExpression("Entrées jamais visitées.*"));
    QVERIFY(heading > 0);
    const QString line = QString("  %1 : %2").arg(entry, reason);
    QCOMPARE(lines.mid(heading).contains(line), !reason.isEmpty());
    QString said;
    for (const QJsonValue &u : QJsonDocument::fromJson(simulation.json(report)).object()["unvisited"].toArray())
        if (u.toObject()["entry"].toString() == entry)
            said = u.toObject()["reason"].toString();
    QCOMPARE(said, json);
}

// The word of a fight follows the average reader's odds as shown: facile
// from 90,0 %, équilibré from 50,0 %, difficile from 10,0 %. The book has
// a fight just above and just below each threshold; every odds line gives
// the weak, the average and the strong reader in that order.
void TestReport::fightWords_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("json");
    QTest::newRow("90,0 %") << "001" << "facile" << "easy";
    QTest::newRow("89,9 %") << "002" << "équilibré" << "even";
    QTest::newRow("50,0 %") << "003" << "équilibré" << "even";
    QTest::newRow("49,9 %") << "004" << "difficile" << "hard";
    QTest::newRow("10,0 %") << "005" << "difficile" << "hard";
    QTest::newRow("9,9 %") << "006" << "presque impossible" << "nearlyImpossible";
}

void TestReport::fightWords()
{
    QFETCH(QString, entry);
    QFETCH(QString, word);
    QFETCH(QString, json);
    const Book book = readFixture("report-fights.xml");
    const Playbook playbook(book);
    const int at = indexOf(playbook, entry);
    const FightOdds::Profiles odds = FightOdds::profiles(playbook.page(at).monsters);
    Simulation simulation(playbook);
    const Simulation::Report report = simulation.run(50, 3);
    const QString line = QString("  %1 : faible %2, moyen %3, fort %4 — %5")
                             .arg(entry, shown(odds.weakest), shown(odds.average), shown(odds.strongest), word);
    QVERIFY2(simulation.text(report).split('\n').contains(line), qPrintable(line));
    bool found = false;
    for (const QJsonValue &f : QJsonDocument::fromJson(simulation.json(report)).object()["fightOdds"].toArray())
        if (f.toObject()["entry"].toString() == entry) {
            QCOMPARE(f.toObject()["verdict"].toString(), json);
            found = true;
        }
    QVERIFY(found);
    // The check and the entry's web page say the same three, in the same order.
    const auto whole = [](double p) { return QString("%1 %").arg(qRound(p * 100)); };
    QVERIFY(BookCheck::fightOdds(book.entry(at)).endsWith(
        QString(" : %1 (faible), %2 (moyen), %3 (fort)").arg(whole(odds.weakest), whole(odds.average), whole(odds.strongest))));
}

// Every bar is the report's own count as a share of the adventures; the
// share of victories heads the window; the pictures are written.
void TestReport::chartsHoldTheReport()
{
    const Book book = readFixture("report-fights.xml");
    SimulationUI window(book);
    window.show();
    Form form(&window);
    form.get<QSpinBox>("sb_Readers")->setValue(3000);
    form.get<QSpinBox>("sb_Seed")->setValue(9);
    form.click("pb_Run");
    const Simulation::Report &r = window.lastReport();
    QCOMPARE(r.adventures, 3000);
    const Playbook playbook(book);
    const auto percent = [&r](int n) { return 100.0 * n / r.adventures; };

    const QMap<QString, double> endings = bars(window.findChild<QChartView *>("chart_Endings"));
    QMap<QString, double> expected;
    QMap<QString, double> byMonster;
    int won = 0;
    for (auto it = r.finished.cbegin(); it != r.finished.cend(); ++it) {
        expected["fin " + playbook.page(it.key()).id] = percent(it.value());
        won += it.value();
    }
    for (auto it = r.deaths.cbegin(); it != r.deaths.cend(); ++it) {
        int inFight = 0;
        for (int m = 0; m + 1 < it.value().size(); ++m) {
            inFight += it.value().at(m);
            if (it.value().at(m))
                byMonster[playbook.page(it.key()).monsters.at(m).name] += percent(it.value().at(m));
        }
        expected["mort au combat " + playbook.page(it.key()).id] = percent(inFight);
    }
    QCOMPARE(endings.keys(), expected.keys());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QVERIFY2(qAbs(endings.value(it.key()) - it.value()) < 1e-9, qPrintable(it.key()));
    const QMap<QString, double> monsters = bars(window.findChild<QChartView *>("chart_DeathsByMonster"));
    QCOMPARE(monsters.keys(), byMonster.keys());
    for (auto it = byMonster.cbegin(); it != byMonster.cend(); ++it)
        QVERIFY2(qAbs(monsters.value(it.key()) - it.value()) < 1e-9, qPrintable(it.key()));
    // Lengths: 2 entries for those who die, 3 for those who win.
    const QMap<QString, double> lengths = bars(window.findChild<QChartView *>("chart_Lengths"));
    QCOMPARE(lengths.value("2"), percent(r.adventures - won));
    QCOMPARE(lengths.value("3"), percent(won));
    // No ending of this book is marked: they are endings, not victories.
    QVERIFY2(form.get<QLabel>("lbl_Headline")->text().startsWith(
        QString("Victoires : %1 des lecteurs ; fins sans marque %2").arg(shown(0.0), shown(double(won) / r.adventures))),
             qPrintable(form.get<QLabel>("lbl_Headline")->text()));

    QTemporaryDir dir;
    QString error;
    auto *view = window.findChild<QChartView *>("chart_Endings");
    QVERIFY2(ReportCharts::save(view, dir.filePath("fins.png"), &error), qPrintable(error));
    QVERIFY(!QImage(dir.filePath("fins.png")).isNull());
    QVERIFY2(ReportCharts::save(view, dir.filePath("fins.svg"), &error), qPrintable(error));
    const QByteArray svg = readBytes(dir.filePath("fins.svg"));
    QVERIFY(svg.contains("<svg") && svg.contains("Comment finissent les aventures"));
    QVERIFY(!ReportCharts::save(view, dir.filePath("absent/fins.png"), &error));
    QVERIFY(!error.isEmpty());
}

// What a test of luck tells the reader, after the dice: one seed lucky, one not.
void TestReport::playtestJournal_data()
{
    QTest::addColumn<uint>("seed");
    QTest::addColumn<QString>("told");
    QTest::addColumn<QString>("dice");
    QTest::newRow("chanceux") << 1u << "« Vous passez »" << "Test de chance : 6+2 = 8, Chance 12 : chanceux.";
    QTest::newRow("malchanceux") << 3u << "« Vous glissez dans le labyrinthe »" << "Test de chance : 5+3 = 8, Chance 7 : malchanceux.";
}

void TestReport::playtestJournal()
{
    QFETCH(uint, seed);
    QFETCH(QString, told);
    QFETCH(QString, dice);
    const Book book = readFixture("play-luck.xml");
    PlayUI play(book, -1, seed);
    play.show();
    Form form(&play);
    form.click("pb_Luck");
    auto *log = play.findChild<QListWidget *>("list_Log");
    QStringList lines;
    for (int i = 0; i < log->count(); ++i)
        lines << log->item(i)->text();
    const int at = lines.indexOf(dice);
    QVERIFY2(at > 0, qPrintable(lines.join('\n')));
    QCOMPARE(lines.value(at + 1), told);
    QVERIFY(log->wordWrap());
}

// A round in the journal: the dice as they were drawn (the sheet's four
// first, then the adventurer's two and the monster's two), the Habileté, the
// totals and who loses Endurance; the beaten monster named; a meal allowed
// without provisions said so.
void TestReport::roundsWithTheirDice()
{
    const Book book = readFixture("report-play.xml");
    for (quint32 seed : {4u, 11u, 23u}) {
        PlayUI play(book, -1, seed);
        play.show();
        Form form(&play);
        QCOMPARE(form.get<QLabel>("lbl_NoFood")->text(), "Un repas est permis ici. Pas de provisions.");
        SeededDice replay(seed);
        const int habilete = 6 + replay.d6();
        replay.d6(), replay.d6(), replay.d6();
        auto *log = play.findChild<QListWidget *>("list_Log");
        const QRegularExpression round("^Ronde (\\d+) — Vous : (\\d)\\+(\\d)\\+(\\d+) = (\\d+) · Troll : (\\d)\\+(\\d)\\+1 = (\\d+) → (.*)$");
        for (int n = 1; play.findChild<QPushButton *>("pb_Round"); ++n) {
            QVERIFY(n < 50);
            form.click("pb_Round");
            QString line;
            for (int i = log->count() - 1; i >= 0 && line.isEmpty(); --i)
                if (log->item(i)->text().startsWith("Ronde"))
                    line = log->item(i)->text();
            const QRegularExpressionMatch m = round.match(line);
            QVERIFY2(m.hasMatch(), qPrintable(line));
            QCOMPARE(m.captured(1).toInt(), n);
            int d[4];
            for (int &die : d)
                die = replay.d6();
            QCOMPARE(m.captured(2).toInt(), d[0]);
            QCOMPARE(m.captured(3).toInt(), d[1]);
            QCOMPARE(m.captured(4).toInt(), habilete);
            QCOMPARE(m.captured(6).toInt(), d[2]);
            QCOMPARE(m.captured(7).toInt(), d[3]);
            const int us = d[0] + d[1] + habilete, them = d[2] + d[3] + 1;
            QCOMPARE(m.captured(5).toInt(), us);
            QCOMPARE(m.captured(8).toInt(), them);
            QCOMPARE(m.captured(9), us > them ? "Troll perd 2 points d'Endurance"
                                    : us < them ? "vous perdez 2 points d'Endurance" : "égalité, personne n'est blessé");
        }
        QCOMPARE(log->item(log->count() - 3)->text(), "Vous avez vaincu Troll.");
        QCOMPARE(form.get<QLabel>("lbl_Status")->text(), "<b>Fin de l'aventure.</b>");
    }
    // With provisions, the meal is offered instead.
    PlayUI fed(readFixture("play-meal.xml"), -1, 2);
    fed.show();
    QVERIFY(fed.findChild<QPushButton *>("pb_Eat"));
    QVERIFY(!fed.findChild<QLabel *>("lbl_NoFood"));
}

// Started from an entry, the window says so and offers to restart at the
// first entry or there; from the first entry, one plain "Recommencer".
void TestReport::startAndRestart()
{
    const Book book = readFixture("play-luck.xml");
    PlayUI play(book, 2, 6);
    play.show();
    Form form(&play);
    QVERIFY(play.windowTitle().startsWith("Jouer depuis l'entrée 002"));
    QCOMPARE(form.get<QLabel>("lbl_Start")->text(), "Départ : l'entrée 002 (et non la première, 000).");
    QVERIFY(play.findChild<QTextBrowser *>("text_Entry")->toPlainText().contains("Un couloir du labyrinthe"));
    QCOMPARE(form.get<QPushButton>("pb_Restart")->text(), "Recommencer à la première entrée (000)");
    form.click("pb_Restart");
    QVERIFY(play.findChild<QTextBrowser *>("text_Entry")->toPlainText().contains("Une corniche"));
    QVERIFY(play.windowTitle().startsWith("Jouer depuis l'entrée 000"));
    form.click("pb_RestartHere");
    QVERIFY(play.findChild<QTextBrowser *>("text_Entry")->toPlainText().contains("Un couloir du labyrinthe"));

    PlayUI first(book, -1, 6);
    first.show();
    QCOMPARE(Form(&first).get<QPushButton>("pb_Restart")->text(), "Recommencer");
    QVERIFY(!first.findChild<QPushButton *>("pb_RestartHere"));
    QCOMPARE(Form(&first).get<QLabel>("lbl_Start")->text(), "Départ : la première entrée, 000.");
}

// An ending marked a victory counts as one, one marked a death as a death
// even reached alive, an unmarked one as neither.
void TestReport::endingMarks()
{
    const Playbook playbook(readFixture("report-marks.xml"));
    Simulation simulation(playbook);
    const Simulation::Report r = simulation.run(3000, 5);
    const QJsonObject json = QJsonDocument::fromJson(simulation.json(r)).object();
    const int victories = json["victories"].toInt(), plain = json["plainEndings"].toInt(),
              deaths = json["otherDeaths"].toInt();
    QVERIFY(victories > 800 && plain > 800 && deaths > 800);
    QCOMPARE(victories + plain + deaths, 3000);
    QCOMPARE(r.finished.value(1), victories); // the victory, entry 002
    QCOMPARE(r.finished.value(3), plain);
    QVERIFY(!r.finished.contains(2));
    QCOMPARE(r.deaths.value(2).value(r.deaths.value(2).size() - 1), deaths);
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"
