// The checks, the map and the orvandel-check command, over fixture books.
#include "analysis/bookcheck.h"
#include "analysis/bookcounts.h"
#include "analysis/bookfind.h"
#include "analysis/bookmap.h"
#include "analysis/maplayout.h"
#include "analysis/mapplaces.h"
#include "analysis/renumbering.h"
#include "book/entryid.h"
#include "book/reference.h"
#include "book/bookfile.h"
#include "book/bookreader.h"
#include "export/webpage.h"
#include "play/simulation.h"
#include "bookgen.h"
#include "support.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

using namespace Support;

namespace {


// "kind id" for each finding, in order.
QStringList summary(const Book &book, const QVector<BookFinding> &findings)
{
    QStringList out;
    for (const BookFinding &f : findings)
        out << BookCheck::key(f.kind) + QLatin1Char(' ') + book.entry(f.entry).id;
    return out;
}

struct Run
{
    int status;
    QString out, err;
};

Run check(const QStringList &args)
{
    QProcess process;
    process.start(QStringLiteral(ORVANDEL_CHECK), args);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// The books the web page is played with, each with a seed, in Chromium and
// under node; `shows` is the last entry's text as the page shows it.
struct PagePlay
{
    const char *book;
    quint32 seed;
    const char *shows;
};
const PagePlay pagePlays[] = {
    {"play-rules.xml", 1, ""}, {"play-rules.xml", 42, ""}, {"play-rules.xml", 2026, ""},
    {"play-luck.xml", 1, ""}, {"play-luck.xml", 42, ""}, {"play-luck.xml", 2026, ""},
    {"play-meal.xml", 5, ""}, // the random reader eats
    {"play-death.xml", 4, ""}, {"play-death.xml", 5, ""}, {"play-death.xml", 6, ""}, // a death, a victory marked
    {"book-script.xml", 7,
     "&lt;/script&gt;&lt;script&gt;document.title=\"PWNED\"&lt;/script&gt;&lt;b&gt;gras&lt;/b&gt;"},
    {"book-comment.xml", 1, "La fin &lt;!--&lt;script&gt;\u2028&lt;/script&gt;"},
    // Numbers past the rules' range, which the page must bring within it
    // as orvandel-play does, sums of gold included.
    {"play-huge.xml", 3, ""},
};

} // namespace

class TestAnalysis : public QObject
{
    Q_OBJECT

private slots:
    void endings_data();
    void endings();
    void findings_data();
    void findings();
    void oneIdParserForNumberingAndChecks();
    void checkKeptInStep();
    void commandLine_data();
    void commandLine();
    void mapLabelsStayShort();
    void mapLaidOut_data();
    void mapLaidOut();
    void mapPlaces_data();
    void mapPlaces();
    void fileNamesThatAreNotUtf8();
    void renumbering_data();
    void renumbering();
    void wordCount_data();
    void wordCount();
    void countsFollowChanges();
    void findAndReplace_data();
    void findAndReplace();
    void renumberingKeepsTheRest_data();
    void renumberingKeepsTheRest();
    void printedRenumbered();
    void webPage_data();
    void webPage();
    void webPageProgress_data();
    void webPageProgress();
    void webPageUnderNode_data();
    void webPageUnderNode();
    void webPageEndings();
};

void TestAnalysis::endings_data()
{
    QTest::addColumn<QString>("line"); // as orvandel-check prints it
    QTest::addColumn<QString>("title"); // as the check list names it
    QTest::newRow("marked victory") << "victory\t006\tfin de l'aventure : victoire" << "Victoire";
    QTest::newRow("marked death") << "death\t007\tfin de l'aventure : mort" << "Mort";
    QTest::newRow("unmarked") << "ending\t008\tfin de l'aventure : aucune sortie" << "Fin";
    QTest::newRow("victory reached with no ENDURANCE")
        << "death\t009\tfin marquée victoire, mais le lecteur y perd toute son ENDURANCE : c'est une mort" << "Mort";
    QTest::newRow("a mark not known") << "ending\t010\tfin de l'aventure : aucune sortie" << "Fin";
}

// The check tells a victory from a death from an ending and no more; an
// ending no reader leaves alive is a death whatever its mark. Endings are
// no faults: an export is asked about the broken reference only.
void TestAnalysis::endings()
{
    QFETCH(QString, line);
    QFETCH(QString, title);
    QVERIFY2(check({fixture("print-facts.xml")}).out.split('\n').contains(line), qPrintable(line));
    BookReader reader;
    QVERIFY(reader.read(readBytes(fixture("print-facts.xml"))));
    const Book &book = reader.book();
    const QString id = line.section('\t', 1, 1);
    for (const BookFinding &f : BookCheck::run(book))
        if (book.entry(f.entry).id == id && BookCheck::isEnding(f.kind))
            QCOMPARE(BookCheck::title(f.kind), title);
    QCOMPARE(BookCheck::faults(book), QStringList{"001 : Renvoi vers une entrée absente : choix vers 99 : cette entrée n'existe pas"});
    QVERIFY(BookCheck::exportQuestion(BookCheck::faults(book)).endsWith("\n\nExporter quand même ?"));
}

void TestAnalysis::findings_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("flawed") << "check-flawed.xml"
        << QStringList{"dangling 000", "not-a-number 001", "ending 002", "duplicate-id 002",
                       "unreachable 002", "unreachable 005"};
    QTest::newRow("clean") << "check-clean.xml" << QStringList();
    // A flight with no round, or a test of luck with no lucky text, is no way out.
    QTest::newRow("own") << "book-own.xml" << QStringList{"dangling 001", "ending 002"};
    QTest::newRow("+1 is not a number") << "book-plus-one.xml"
        << QStringList{"dangling 000", "ending +1", "unreachable +1"};
    // A flight written without a round is never offered: the author is told.
    QTest::newRow("written by hand") << "renumber-keeps.xml"
        << QStringList{"not-a-number 000", "idle-flight 7", "dangling 010", "ending 999999999"};
}

void TestAnalysis::findings()
{
    QFETCH(QString, name);
    QFETCH(QStringList, expected);
    const Book book = readFixture(name);
    QCOMPARE(summary(book, BookCheck::run(book)), expected);
    // Past the author's threshold a fight is a finding, with its odds.
    const QVector<BookFinding> strict = BookCheck::run(book, nullptr, 0.999);
    const auto hard = std::find_if(strict.begin(), strict.end(),
                                   [](const BookFinding &f) { return f.kind == BookFinding::HardFight; });
    if (name == "check-flawed.xml") {
        QVERIFY(hard != strict.end());
        QCOMPARE(hard->entry, 1);
        QVERIFY(hard->detail.startsWith("Combat contre Dragon, Orque : "));
        QVERIFY(hard->detail.endsWith(" (fort)"));
    }
}

// The dialog numbers the next entry from the same reading of ids as the
// checker: an id "+1" is no entry 1, so 000's choice "1" dangles, and the
// next entry is 001.
void TestAnalysis::oneIdParserForNumberingAndChecks()
{
    BookFile file;
    QVERIFY(file.open(fixture("book-plus-one.xml")));
    QCOMPARE(file.nextNumber(), 1);
    const QVector<BookFinding> findings = BookCheck::run(file.book());
    QCOMPARE(findings.first().kind, BookFinding::Dangling);
    QCOMPARE(file.book().indexOfNumber(1), -1);
}

// A checker kept beside a book being written finds after each change what
// a fresh check of the whole book finds.
void TestAnalysis::checkKeptInStep()
{
    BookReader reader;
    QVERIFY(reader.read(readBytes(fixture("check-flawed.xml"))));
    Book book = reader.book();
    const QSet<QString> names{"Orque"};
    BookCheck kept(&names, 0.5);
    kept.findings(book);
    const auto entry = [](const QString &id, const QStringList &to, const QString &monster = QString()) {
        Entry e;
        e.id = id;
        e.text = "Texte de " + id;
        for (const QString &t : to)
            e.choices.append({t, "Aller en " + t});
        if (!monster.isEmpty())
            e.monsters.append({monster, "12", "20", "000"});
        return e;
    };
    struct Step { int at, removed; Entry inserted; bool hasEntry; };
    const QVector<Step> steps{
        {5, 0, entry("006", {"050"}), true},           // a new entry: dangling, unreachable
        {6, 0, entry("050", {"005"}), true},           // its target written: reached? no, still cut off
        {0, 1, entry("000", {"001", "006"}), true},     // the start now leads there: all reached
        {3, 1, Entry(), false},                        // the second 002 goes: no more duplicate
        {1, 1, entry("001", {"abc"}, "Troll"), true},  // not a number, unknown monster, hard fight
        {0, 1, entry("000", {}), true},                // the start is an ending: the rest cut off
    };
    for (const Step &step : steps) {
        const Book::Edit edit = step.hasEntry
            ? (step.removed ? book.replacing(step.at, step.inserted) : book.appending(step.inserted))
            : book.removing(step.at);
        book.apply(edit);
        kept.changed(step.at, step.removed, step.hasEntry ? 1 : 0);
        const QVector<BookFinding> fresh = BookCheck::run(book, &names, 0.5), now = kept.findings(book);
        QCOMPARE(summary(book, now), summary(book, fresh));
        for (int k = 0; k < fresh.size(); ++k)
            QCOMPARE(now.at(k).detail, fresh.at(k).detail);
    }
}

void TestAnalysis::commandLine_data()
{
    QTest::addColumn<QStringList>("args"); // @ stands for a temporary folder
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::newRow("clean") << QStringList{fixture("check-clean.xml")} << 0 << "";
    QTest::newRow("flawed")
        << QStringList{fixture("check-flawed.xml")} << 1
        << "dangling\t000\tchoix vers 99 : cette entrée n'existe pas\n"
           "not-a-number\t001\tvictoire : « abc » n'est pas un numéro d'entrée\n"
           "ending\t002\tfin de l'aventure : aucune sortie\n"
           "duplicate-id\t002\tle numéro 2 est déjà celui de l'entrée de la ligne 13\n"
           "unreachable\t002\taucun chemin n'y mène depuis l'entrée 000\n"
           "unreachable\t005\taucun chemin n'y mène depuis l'entrée 000\n";
    QTest::newRow("unknown monster")
        << QStringList{fixture("check-monsters.xml"), "--monsters", fixture("monsters.xml")} << 0
        << "ending\t0\tfin de l'aventure : aucune sortie\n";
    QTest::newRow("ids escaped") << QStringList{fixture("book-forged-id.xml")} << 0
        << "ending\ta\\tb\\nunreachable\\tx\tfin de l'aventure : aucune sortie\n"
           "unreachable\ta\\tb\\nunreachable\\tx\taucune entrée numérotée d'où partir\n";
    QTest::newRow("svg to a device") << QStringList{fixture("check-clean.xml"), "--svg", "/dev/null"} << 0 << "";
    QTest::newRow("not a book") << QStringList{fixture("book-broken.xml")} << 2 << "";
    QTest::newRow("missing book") << QStringList{"@/absent.xml"} << 2 << "";
    QTest::newRow("unknown option") << QStringList{"-x", fixture("check-clean.xml")} << 2 << "";
    QTest::newRow("output over the book") << QStringList{"@/b.xml", "--dot", "@/b.xml"} << 3 << "";
    QTest::newRow("output into a missing folder")
        << QStringList{fixture("check-clean.xml"), "--dot", "@/absent/map.dot"} << 3 << "";
    QTest::newRow("dot and svg") << QStringList{fixture("check-clean.xml"), "--dot", "@/map.dot", "--svg", "@/map.svg"} << 0 << "";
}

void TestAnalysis::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, out);
    QTemporaryDir dir;
    QVERIFY(QFile::copy(fixture("check-clean.xml"), dir.filePath("b.xml")));
    for (QString &a : args)
        a.replace(QLatin1Char('@'), dir.path());
    const QByteArray book = readBytes(dir.filePath("b.xml"));
    const Run run = check(args);
    QVERIFY2(run.status == status, qPrintable(run.err));
    if (!out.isEmpty() || status == 0)
        QCOMPARE(run.out, out);
    QCOMPARE(readBytes(dir.filePath("b.xml")), book);
    if (args.contains("--dot") && args.contains("--svg")) {
        QVERIFY(readBytes(dir.filePath("map.dot")).startsWith("digraph"));
        QVERIFY(xmllintAccepts(dir.filePath("map.svg")));
    }
}

// Whatever an id holds, its label is one short line with every character
// whole: Graphviz crashes on labels of thousands of lines.
void TestAnalysis::mapLabelsStayShort()
{
    BookReader reader;
    const QString id = "\U0001F409&quot;\\" + QString("&#10;").repeated(32767);
    QVERIFY(reader.read(QString("<L><Attr id=\"%1\"><Text>Un dragon \U0001F409</Text></Attr></L>")
                            .arg(id).toUtf8()));
    const QByteArray dot = BookMap::dot(reader.book(), {});
    const int at = dot.indexOf("n0 [label=");
    const QByteArray label = dot.mid(at, dot.indexOf('\n', at) - at);
    QVERIFY2(label.size() < 200, label.left(200).constData());
    QVERIFY(label.contains("\xF0\x9F\x90\x89\\\"\\\\"));
    QCOMPARE(label.count("\\n"), 1);
    MapLayout layout;
    QString error;
    QVERIFY2(BookMap::layOut(dot, &layout, &error), qPrintable(error));
    QCOMPARE(layout.nodes.size(), 1);
    QVERIFY(layout.nodes.at(0).lines.value(0).startsWith("\U0001F409\"\\"));

    // The layered layout takes minutes past a few hundred references: such
    // books are laid out by force.
    for (const int entries : {40, 200}) {
        BookReader generated;
        QVERIFY(generated.read(generateBook(entries)));
        QCOMPARE(BookMap::dot(generated.book(), {}).contains("layout=dot"), entries == 40);
    }
}


// The map read back from Graphviz: every entry once, every reference as an
// edge running from its entry's box to its target's, missing targets apart.
void TestAnalysis::mapLaidOut_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("downwards"); // each entry below, or right of, one that leads to it
    QTest::newRow("layered by Graphviz, with findings") << readBytes(fixture("check-flawed.xml")) << false;
    QTest::newRow("layered, many references") << generateBook(300) << true;
    QTest::newRow("layered, few") << generateBook(70) << true;
    QTest::newRow("layered, a gamebook in columns") << generateGamebook(400) << true;
    QTest::newRow("by force, spread out") << generateBook(1500) << false;
}

void TestAnalysis::mapLaidOut()
{
    QFETCH(QByteArray, bytes);
    BookReader reader;
    QVERIFY(reader.read(bytes));
    const Book &book = reader.book();
    const QVector<BookFinding> findings = BookCheck::run(book);
    MapLayout layout = BookMap::drawing(book, findings);
    QString error;
    QVERIFY2(BookMap::layOut(&layout, &error), qPrintable(error));

    QVector<int> nodeOf(book.size(), -1);
    for (int n = 0; n < layout.nodes.size(); ++n) {
        const MapLayout::Node &node = layout.nodes.at(n);
        QVERIFY(layout.bounds.adjusted(-1, -1, 1, 1).contains(node.box));
        if (node.entry < 0) {
            QCOMPARE(node.pen, 0xffc62828u); // a missing target
            continue;
        }
        QCOMPARE(nodeOf.at(node.entry), -1);
        nodeOf[node.entry] = n;
        QCOMPARE(node.lines.value(0), book.entry(node.entry).id);
    }
    QVERIFY(!nodeOf.contains(-1));
    QFETCH(bool, downwards);
    QCOMPARE(layout.layered, downwards || layout.nodes.size() < 100);
    if (downwards) {
        // The map reads as the adventure goes: from the first entry, each
        // entry comes after one a step nearer the start, lower in its column
        // or in a column to the left.
        QVector<int> steps(layout.nodes.size(), -1);
        QVector<int> queue{layout.first};
        steps[layout.first] = 0;
        for (int k = 0; k < queue.size(); ++k)
            for (const MapLayout::Edge &e : qAsConst(layout.edges))
                if (e.from == queue.at(k) && steps.at(e.to) < 0) {
                    steps[e.to] = steps.at(e.from) + 1;
                    queue << e.to;
                }
        QVERIFY(queue.size() > layout.nodes.size() / 2);
        for (int n : qAsConst(queue)) {
            if (n == layout.first)
                continue;
            const QRectF box = layout.nodes.at(n).box;
            bool after = false;
            for (const MapLayout::Edge &e : qAsConst(layout.edges))
                if (e.to == n && steps.at(e.from) == steps.at(n) - 1) {
                    const QRectF from = layout.nodes.at(e.from).box;
                    after = after || from.bottom() < box.top() || from.right() < box.left();
                }
            QVERIFY2(after, qPrintable(layout.nodes.at(n).lines.value(0)));
        }
        QCOMPARE(layout.nodes.at(layout.first).box.top(), 20.0);
    }
    for (int a = 0; a < layout.nodes.size(); ++a)
        for (int b = a + 1; b < layout.nodes.size(); ++b)
            QVERIFY2(!layout.nodes.at(a).box.intersects(layout.nodes.at(b).box),
                     qPrintable(layout.nodes.at(a).lines.value(0) + " / " + layout.nodes.at(b).lines.value(0)));
    for (const BookFinding &f : findings) {
        if (BookCheck::isEnding(f.kind))
            QCOMPARE(layout.nodes.at(nodeOf.at(f.entry)).shape, MapLayout::DoubleOctagon);
        // Every entry that bears a number held twice, the first one too.
        if (f.kind == BookFinding::DuplicateId)
            for (int i = 0; i < book.size(); ++i)
                if (book.number(i) == book.number(f.entry))
                    QCOMPARE(layout.nodes.at(nodeOf.at(i)).pen, 0xffc62828u);
    }

    // A missing entry is drawn once, a reference that is no number each time.
    QSet<int> absent;
    int notNumbers = 0;
    for (int i = 0; i < book.size(); ++i)
        for (const Reference &ref : Reference::of(book.entry(i))) {
            if (ref.target < 0)
                ++notNumbers;
            else if (book.indexOfNumber(ref.target) < 0)
                absent.insert(ref.target);
        }
    QCOMPARE(int(std::count_if(layout.nodes.cbegin(), layout.nodes.cend(),
                               [](const MapLayout::Node &n) { return n.entry < 0; })),
             absent.size() + notNumbers);

    QHash<QPair<int, int>, int> expected; // from node, to node -> references
    for (int i = 0; i < book.size(); ++i)
        for (const Reference &ref : Reference::of(book.entry(i)))
            if (ref.target >= 0 && book.indexOfNumber(ref.target) >= 0)
                ++expected[{nodeOf.at(i), nodeOf.at(book.indexOfNumber(ref.target))}];
    for (const MapLayout::Edge &edge : layout.edges) {
        const MapLayout::Node &from = layout.nodes.at(edge.from), &to = layout.nodes.at(edge.to);
        QVERIFY(from.box.adjusted(-2, -2, 2, 2).contains(edge.curve.value(0)));
        QVERIFY(to.box.adjusted(-2, -2, 2, 2).contains(edge.tip));
        if (to.entry >= 0 && --expected[{edge.from, edge.to}] == 0)
            expected.remove({edge.from, edge.to});
    }
    QVERIFY(expected.isEmpty());
    // A layered map reads from top to bottom, the first entry above every
    // other, even those that lead back to it.
    if (BookMap::dot(book, findings).contains("layout=dot"))
        for (int n = 0; n < layout.nodes.size(); ++n)
            if (n != nodeOf.at(book.firstIndex()))
                QVERIFY(layout.nodes.at(n).box.top() > layout.nodes.at(nodeOf.at(book.firstIndex())).box.bottom());
}

void TestAnalysis::mapPlaces_data()
{
    QTest::addColumn<int>("entries"); // in the book laid out
    QTest::addColumn<QString>("change"); // to the book, before its map is opened again
    QTest::addColumn<QString>("damage"); // to the places file
    QTest::addColumn<bool>("placed"); // or to be laid out again
    QTest::newRow("layered, as it was") << 30 << "" << "" << true;
    QTest::newRow("by force, as it was") << 300 << "" << "" << true;
    QTest::newRow("with findings, as it was") << 0 << "" << "" << true;
    QTest::newRow("layered, an entry added") << 30 << "add 1" << "" << true;
    QTest::newRow("by force, entries added") << 300 << "add 40" << "" << true;
    QTest::newRow("an entry removed") << 30 << "remove" << "" << true;
    // Nothing leads to the first new one: it goes below the map, the
    // others around it, outside the map as it was.
    QTest::newRow("entries apart") << 30 << "apart 5" << "" << true;
    QTest::newRow("more than a quarter new") << 30 << "add 11" << "" << false;
    QTest::newRow("an entry before the first") << 30 << "first" << "" << false;
    QTest::newRow("a line of a later kind") << 30 << "" << "later line" << true;
    QTest::newRow("cut short") << 30 << "" << "cut" << false;
    QTest::newRow("a later version") << 30 << "" << "version" << false;
    QTest::newRow("not a places file") << 30 << "" << "foreign" << false;
}

// A map's places written and read back: every box where it was, new
// entries near an entry that leads to them, none covering another, a
// removed entry's place dropped; a damaged file, or a book that changed
// too much, gives no places.
void TestAnalysis::mapPlaces()
{
    QFETCH(int, entries);
    QFETCH(QString, change);
    QFETCH(QString, damage);
    QFETCH(bool, placed);
    const auto bookOf = [](const QVector<Entry> &entries) {
        QString text = "<Livre>";
        for (const Entry &entry : entries)
            text += EntryWriter::elementXml(entry);
        BookReader reader;
        if (!reader.read((text + "</Livre>").toUtf8()))
            qFatal("%s", qPrintable(reader.errorString()));
        return reader.book();
    };
    QVector<Entry> before = generateEntries(entries), after = before;
    if (entries == 0) { // missing entries, a number held twice, references that are no number
        const Book flawed = readFixture("check-flawed.xml");
        for (int i = 0; i < flawed.size(); ++i)
            before << flawed.entry(i);
        after = before;
    }
    if (change == "first") { // an entry nothing led to
        before.removeFirst();
        const auto away = [](QString &target) { target = target == "0" ? "1" : target; };
        for (Entry &entry : before) {
            for (Entry::Choice &choice : entry.choices)
                away(choice.value);
            for (Entry::Monster &monster : entry.monsters)
                away(monster.victory);
            away(entry.flee.ref);
            away(entry.luck.luckyValue);
            away(entry.luck.unluckyValue);
        }
    }
    if (change == "remove")
        after.remove(5);
    for (int k = 0; k < change.section(' ', 1).toInt(); ++k) {
        Entry entry;
        entry.id = EntryId::text(entries + k);
        entry.text = "Une entrée de plus";
        if (change.startsWith("apart")) {
            if (k > 0) {
                after[entries].types.choice = after[entries].choiceActive = true;
                after[entries].choices.append({entry.id, "Plus loin"});
            }
            after.append(entry);
            continue;
        }
        Entry &from = after[k * 7 % entries];
        from.types.choice = from.choiceActive = true;
        from.choices.append({entry.id, "Vers la nouvelle"});
        after.append(entry);
    }
    const Book laidOutBook = bookOf(before), book = bookOf(after);
    MapLayout laidOut = BookMap::drawing(laidOutBook, BookCheck::run(laidOutBook));
    QString error;
    QVERIFY2(BookMap::layOut(&laidOut, &error), qPrintable(error));
    QTemporaryDir dir;
    const QString path = MapPlaces::pathFor(dir.filePath("livre.xml"));
    MapPlaces written = MapPlaces::of(laidOutBook, laidOut);
    QVERIFY2(written.write(path), qPrintable(written.errorString()));
    QByteArray file = readBytes(path);
    if (damage == "cut")
        file.truncate(file.lastIndexOf("\nbox") + 1);
    else if (damage == "later line")
        file.insert(file.indexOf('\n') + 1, "view 0.5 120 80\n");
    else if (damage == "version")
        file.replace("orvandel-carte 1", "orvandel-carte 2");
    else if (damage == "foreign")
        file = generateBook(3);
    QVERIFY(writeBytes(path, file));

    MapPlaces places;
    QCOMPARE(places.read(path), damage.isEmpty() || damage == "later line");
    QCOMPARE(places.errorString().isEmpty(), damage.isEmpty() || damage == "later line");
    MapLayout map = BookMap::drawing(book, BookCheck::run(book));
    bool changed = false;
    QCOMPARE(places.place(book, &map, &changed), placed);
    if (!placed)
        return;
    QCOMPARE(changed, !change.isEmpty());
    QHash<int, int> nodeOf; // entry number -> node laid out
    for (int j = 0; j < laidOut.nodes.size(); ++j)
        if (laidOut.nodes.at(j).entry >= 0)
            nodeOf.insert(laidOutBook.number(laidOut.nodes.at(j).entry), j);
    const QPointF shift = map.nodes.at(map.first).box.topLeft() - laidOut.nodes.at(laidOut.first).box.topLeft();
    for (int j = 0; j < map.nodes.size(); ++j) {
        const MapLayout::Node &node = map.nodes.at(j);
        QVERIFY(map.bounds.adjusted(-1, -1, 1, 1).contains(node.box));
        for (int k = j + 1; k < map.nodes.size(); ++k)
            QVERIFY(!node.box.intersects(map.nodes.at(k).box));
        if (change.isEmpty()) { // every box where it was
            const QRectF kept = laidOut.nodes.at(j).box.translated(shift);
            QVERIFY2(qAbs(kept.x() - node.box.x()) + qAbs(kept.y() - node.box.y()) < 0.02, qPrintable(node.lines.value(0)));
            continue;
        }
        if (node.entry < 0)
            continue;
        const int was = nodeOf.value(book.number(node.entry), -1);
        if (was >= 0) {
            const QRectF kept = laidOut.nodes.at(was).box.translated(shift);
            QVERIFY2(qAbs(kept.x() - node.box.x()) + qAbs(kept.y() - node.box.y()) < 0.02, qPrintable(book.entry(node.entry).id));
            continue;
        }
        // Near an entry that leads to it: within a quarter of the map.
        int from = -1;
        for (const MapLayout::Edge &edge : map.edges)
            from = edge.to == j && from < 0 ? edge.from : from;
        if (from < 0 && change.startsWith("apart"))
            continue;
        QVERIFY(from >= 0);
        const double distance = QLineF(map.nodes.at(from).box.center(), node.box.center()).length();
        QVERIFY2(distance < QLineF(map.bounds.topLeft(), map.bounds.bottomRight()).length() / 4,
                 qPrintable(book.entry(node.entry).id));
    }
    // A layered map's arrows follow their curves as they were.
    if (change.isEmpty() && laidOut.layered) {
        QCOMPARE(map.edges.size(), laidOut.edges.size());
        for (int e = 0; e < map.edges.size(); ++e)
            QVERIFY(QLineF(map.edges.at(e).curve.value(1), laidOut.edges.at(e).curve.value(1) + shift).length() < 0.02);
    }
    written = MapPlaces::of(book, map);
    QVERIFY(written.write(path));
    const QByteArray kept = readBytes(path);
    QCOMPARE(kept.contains("\nbox 5 "), change != "remove");
    QVERIFY(kept.contains(entries ? "\nbox 6 " : "\nbox 2/2 "));
}

void TestAnalysis::fileNamesThatAreNotUtf8()
{
    QTemporaryDir dir;
    const QString script = QString("cd '%1' && f=$(printf 'livre-\\377.xml') && cp '%2' \"$f\" && '%3' \"$f\" --dot \"$f.dot\" && test -s \"$f.dot\"")
                               .arg(dir.path(), fixture("check-clean.xml"), ORVANDEL_CHECK);
    QCOMPARE(QProcess::execute("sh", {"-c", script}), 0);
}

static QStringList kinds(const QVector<BookFinding> &findings)
{
    QStringList out;
    for (const BookFinding &f : findings)
        out << QStringLiteral("%1 %2").arg(f.kind).arg(f.entry);
    return out;
}

void TestAnalysis::renumbering_data()
{
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("mode");
    QTest::addColumn<quint32>("seed");
    for (const int entries : {5, 40, 400})
        for (const quint32 seed : {1u, 7u, 2026u}) {
            QTest::addRow("compact %d/%u", entries, seed) << entries << int(Renumbering::Compact) << seed;
            QTest::addRow("shuffle %d/%u", entries, seed) << entries << int(Renumbering::Shuffle) << seed;
        }
}

// Renumbered, a book has the same entries and findings, every reference leads
// to the entry it led to, the first entry and the pinned numbers stay; dealt
// at random, no two entries that followed each other still do.
void TestAnalysis::renumbering()
{
    QFETCH(int, entries);
    QFETCH(int, mode);
    QFETCH(quint32, seed);
    // Gaps, a missing target and a pinned number, in a generated book.
    QByteArray bytes = generateBook(entries, seed);
    bytes.replace("<Attr id=\"002\"", "<Attr id=\"902\"").replace("Value=\"3\"", "Value=\"9999\"");
    BookReader reader;
    QVERIFY(reader.read(bytes));
    const Book &before = reader.book();
    const int pin = entries / 2 + 1;
    const QSet<int> pinned{pin};
    const Renumbering r = Renumbering::make(before, Renumbering::Mode(mode), seed, pinned);
    BookReader again;
    QVERIFY2(again.read(r.bytes(before)), qPrintable(again.errorString()));
    const Book &after = again.book();
    QCOMPARE(after.size(), before.size());
    QCOMPARE(after.entry(after.firstIndex()).text, before.entry(before.firstIndex()).text);
    QCOMPARE(after.number(after.firstIndex()), before.number(before.firstIndex()));
    QCOMPARE(after.number(pin), pin);
    QCOMPARE(kinds(BookCheck::run(after)), kinds(BookCheck::run(before)));
    int consecutive = 0;
    for (int i = 0; i < before.size(); ++i) {
        const QVector<Reference> old = Reference::of(before.entry(i)), now = Reference::of(after.entry(i));
        QCOMPARE(now.size(), old.size());
        for (int k = 0; k < old.size(); ++k)
            QCOMPARE(after.indexOfNumber(now.at(k).target), before.indexOfNumber(old.at(k).target));
        if (i + 1 < before.size() && before.number(i + 1) == before.number(i) + 1)
            consecutive += qAbs(after.number(i + 1) - after.number(i)) == 1;
    }
    if (mode == Renumbering::Shuffle && entries >= 40)
        QCOMPARE(consecutive, 0);
    if (mode == Renumbering::Compact) // no gaps left
        for (int i = 0; i < after.size(); ++i)
            QVERIFY(after.number(i) < after.size());
}

void TestAnalysis::renumberingKeepsTheRest_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("pinned");
    QTest::newRow("compact") << int(Renumbering::Compact) << -1;
    QTest::newRow("shuffle") << int(Renumbering::Shuffle) << -1;
    QTest::newRow("compact, the largest number kept") << int(Renumbering::Compact) << EntryId::maximum;
    QTest::newRow("shuffle, the largest number kept") << int(Renumbering::Shuffle) << EntryId::maximum;
}

// A book written by hand (comments, instructions, markup, attributes and
// elements of its own, odd values) keeps every byte but its numbers, and
// the checks find the same things, up to the largest number an entry bears.
void TestAnalysis::renumberingKeepsTheRest()
{
    QFETCH(int, mode);
    QFETCH(int, pinned);
    const Book before = readFixture("renumber-keeps.xml");
    const Renumbering r = Renumbering::make(before, Renumbering::Mode(mode), 3,
                                            pinned < 0 ? QSet<int>() : QSet<int>{pinned});
    const QByteArray bytes = r.bytes(before);
    QVERIFY2(!bytes.isNull(), qPrintable(r.errorString()));
    QVERIFY(bytes != before.bytes());
    auto numbersHidden = [](const QByteArray &xml) {
        return QString::fromUtf8(xml).replace(QRegularExpression("\\b(id|Value|Ref)=(['\"])\\d+\\2"), "\\1=#");
    };
    QCOMPARE(numbersHidden(bytes), numbersHidden(before.bytes()));
    BookReader reader;
    QVERIFY(reader.read(bytes));
    const Book &after = reader.book();
    QCOMPARE(kinds(BookCheck::run(after)), kinds(BookCheck::run(before)));
    for (int i = 0; i < before.size(); ++i) {
        QCOMPARE(after.entry(i).flee.ref.isEmpty(), before.entry(i).flee.ref.isEmpty());
        QCOMPARE(after.indexOfNumber(EntryId::parse(after.entry(i).flee.ref)),
                 before.indexOfNumber(EntryId::parse(before.entry(i).flee.ref)));
    }
}

// Renumbered for print only: the exported book has the new numbers, the
// book itself is unchanged.
void TestAnalysis::printedRenumbered()
{
    QTemporaryDir dir;
    const QByteArray before = readBytes(fixture("check-flawed.xml"));
    QCOMPARE(QProcess::execute(ORVANDEL_EXPORT, {fixture("check-flawed.xml"), "--renumber", "compact",
                                                 "--print-html", dir.filePath("livre.html")}), 0);
    const QByteArray printed = readBytes(dir.filePath("livre.html"));
    QVERIFY(printed.contains(">003</h2>") && !printed.contains(">005</h2>"));
    QCOMPARE(readBytes(fixture("check-flawed.xml")), before);
}

void TestAnalysis::webPage_data()
{
    QTest::addColumn<QString>("book");
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<QString>("shows");
    for (const PagePlay &p : pagePlays)
        QTest::addRow("%s %u", p.book, p.seed) << p.book << p.seed << QString::fromUtf8(p.shows);
}

// The exported page, played headless in Chromium by a given seed, takes the
// same path with the same rolls and ends with the same sheet as
// orvandel-play; a book's text shows as text and runs nothing.
void TestAnalysis::webPage()
{
    QFETCH(QString, book);
    QFETCH(quint32, seed);
    const bool script = book == "book-script.xml"; // shown at its first entry, not played
    QTemporaryDir dir;
    const QString page = dir.filePath("livre.html");
    QCOMPARE(QProcess::execute(ORVANDEL_EXPORT, {fixture(book), "--html", page}), 0);
    QProcess play, browser;
    play.start(ORVANDEL_PLAY, {fixture(book), "--seed", QString::number(seed), "--trace"});
    QVERIFY(play.waitForFinished(60000));
    browser.start("chromium", {"--headless", "--no-sandbox", "--disable-gpu", "--user-data-dir=" + dir.filePath("profil"),
                               "--dump-dom", QUrl::fromLocalFile(page).toString() + QStringLiteral("#graine=%1%2").arg(seed).arg(script ? "" : "&auto")});
    QVERIFY(browser.waitForFinished(120000));
    const QString dom = QString::fromUtf8(browser.readAllStandardOutput());
    const int from = dom.indexOf("<pre id=\"trace\" hidden=\"\">") , to = dom.indexOf("</pre>", from);
    QVERIFY2(from >= 0 && to > from, qPrintable(dom.left(500)));
    const QString trace = dom.mid(dom.indexOf('>', from) + 1, to - dom.indexOf('>', from) - 1);
    if (!script)
        QCOMPARE(trace.trimmed(), QString::fromUtf8(play.readAllStandardOutput()).trimmed().toHtmlEscaped());
    // What the page shows stands before its scripts: the book's texts there
    // are text, not elements, and the injected script never ran.
    const QString shown = dom.left(dom.indexOf("<script type=\"application/json\""));
    QVERIFY(!dom.contains("PWNED</title>"));
    QVERIFY(!shown.contains("<script") && !shown.contains("<img") && !shown.contains("<b>"));
    QFETCH(QString, shows);
    QVERIFY(shown.contains(shows));
    QCOMPARE(dom.count("</script>"), 2); // the book's text did not close the data block
}

void TestAnalysis::webPageProgress_data()
{
    QTest::addColumn<QString>("before"); // run in the page's origin before it opens
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("clicks");     // on whatever leads on, as a reader would
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("warned");
    QTest::addColumn<int>("storedBelow");
    // A state saved at `entry`, as the page saves it; entry 2 has choices.
    const QString saved = "const saved = entry => JSON.stringify({v: 1, book: EMPREINTE, rng: 5, history: [],"
        " now: {seed: 1, entry: entry, phase: 'choose', ending: '', steps: 3, events: [], log: [],"
        " fight: {monster: 0, left: 0, rounds: 0}, fightDone: false, luckDone: false, mealTaken: false,"
        " sheet: {h: 9, hm: 9, e: 9, em: 9, c: 9, cm: 9, gold: 0, prov: 0, items: []}}});";
    const QString full = "try { for (let i = 0; ; ++i) localStorage.setItem('m' + i, 'x'.repeat(1 << 20)); } catch (e) {}"
        " try { for (let i = 0; ; ++i) localStorage.setItem('k' + i, 'x'.repeat(1024)); } catch (e) {}";
    QTest::newRow("its own state") << saved + "localStorage.setItem('orvandel:' + EMPREINTE, saved(2));"
                                   << "" << 0 << "002" << false << 0;
    QTest::newRow("another book's, same title") << saved + "localStorage.setItem('orvandel:Livre', saved(2));"
                                                << "" << 0 << "000" << false << 0;
    QTest::newRow("a state that does not fit") << saved + "localStorage.setItem('orvandel:Livre', saved(40));"
        " localStorage.setItem('orvandel:' + EMPREINTE, saved(40));" << "" << 0 << "000" << false << 0;
    QTest::newRow("storage full") << full << "" << 0 << "000" << true << 0;
    // A luck test lost, then 399 steps in a ring of two entries.
    QTest::newRow("400 steps") << "" << "#graine=3" << 400 << "003" << false << 64 * 1024;
}

// The page opened inside a page of the same folder, which prepares the
// browser's storage, plays, and writes down what the page shows and keeps.
void TestAnalysis::webPageProgress()
{
    QFETCH(QString, before);
    QFETCH(QString, address);
    QFETCH(int, clicks);
    QTemporaryDir dir;
    QCOMPARE(QProcess::execute(ORVANDEL_EXPORT, {fixture("play-luck.xml"), "--html", dir.filePath("livre.html")}), 0);
    const QRegularExpressionMatch fingerprint
        = QRegularExpression("data-empreinte=\"(\\w+)\"").match(QString::fromUtf8(readBytes(dir.filePath("livre.html"))));
    const QString harness = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body><p id=\"r\"></p><script>const EMPREINTE = '"
        + fingerprint.captured(1) + "';\n" + before + "\nconst f = document.createElement('iframe');"
        " f.onload = () => { const d = f.contentDocument;"
        " for (let n = 0; n < " + QString::number(clicks) + "; ++n) {"
        "  const b = [...d.querySelectorAll('a.choix, button')].find(x => !/^(Recommencer|Revenir en arrière)$/.test(x.textContent));"
        "  if (b) b.click(); }"
        " const warning = d.getElementById('sauvegarde'), h2 = d.querySelector('h2');"
        " document.getElementById('r').textContent = JSON.stringify({entry: h2 ? h2.textContent : '',"
        "  restart: [...d.querySelectorAll('button')].some(b => b.textContent === 'Recommencer'),"
        "  warned: !!warning && !warning.hidden,"
        "  stored: Math.max(0, ...Object.keys(localStorage).filter(k => k.startsWith('orvandel:')).map(k => localStorage.getItem(k).length))}); };"
        " f.src = 'livre.html" + address + "'; document.body.appendChild(f);</script></body></html>";
    QVERIFY(writeBytes(dir.filePath("essai.html"), harness.toUtf8()));
    QProcess browser;
    browser.start("chromium", {"--headless", "--no-sandbox", "--disable-gpu", "--allow-file-access-from-files",
                               "--user-data-dir=" + dir.filePath("profil"), "--dump-dom",
                               QUrl::fromLocalFile(dir.filePath("essai.html")).toString()});
    QVERIFY(browser.waitForFinished(120000));
    const QString dom = QString::fromUtf8(browser.readAllStandardOutput());
    const QString report = QRegularExpression("<p id=\"r\">([^<]*)</p>").match(dom).captured(1).replace("&quot;", "\"");
    const QJsonObject seen = QJsonDocument::fromJson(report.toUtf8()).object();
    QVERIFY2(!seen.isEmpty(), qPrintable(dom.left(300)));
    QVERIFY(seen.value("restart").toBool());
    QTEST(seen.value("entry").toString(), "entry");
    QTEST(seen.value("warned").toBool(), "warned");
    QFETCH(int, storedBelow);
    if (storedBelow > 0)
        QVERIFY2(seen.value("stored").toInt() < storedBelow, qPrintable(report));
}

void TestAnalysis::webPageUnderNode_data()
{
    QTest::addColumn<QString>("book");
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<bool>("classic");
    for (const PagePlay &p : pagePlays)
        for (const bool classic : {true, false})
            QTest::addRow("%s %u %s", p.book, p.seed, classic ? "classic" : "other rules") << p.book << p.seed << classic;
}

// The page's own script and data, run by node, write the very trace of
// orvandel-play; under other rules, that of the C++ engine under the same
// rules: the script plays by the numbers it is given, and has none of its own.
void TestAnalysis::webPageUnderNode()
{
    QFETCH(QString, book);
    QFETCH(quint32, seed);
    QFETCH(bool, classic);
    const Book read = readFixture(book);
    Rules rules;
    QByteArray expected;
    if (classic) {
        QProcess play;
        play.start(ORVANDEL_PLAY, {fixture(book), "--seed", QString::number(seed), "--trace"});
        QVERIFY(play.waitForFinished(60000));
        expected = play.readAllStandardOutput();
    } else {
        rules.habileteDice = 2; rules.habileteBase = 1; rules.enduranceDice = 3; rules.enduranceBase = 4;
        rules.chanceDice = 2; rules.chanceBase = 3; rules.provisions = 2;
        rules.wound = 3; rules.meal = 1; rules.luckCost = 2; rules.stepLimit = 30;
        const Playbook play(read);
        SeededDice dice(seed);
        Adventure adventure(play, dice, rules);
        adventure.start();
        Simulation(play, Simulation::Random, rules).play(adventure, dice);
        expected = (adventure.state().trace.join('\n') + '\n').toUtf8();
    }
    QTemporaryDir dir;
    WebPage page(read, QString(), rules);
    const QByteArray html = page.html();
    QVERIFY2(!html.isEmpty(), qPrintable(page.errorString()));
    QVERIFY(writeBytes(dir.filePath("livre.html"), html));
    QProcess node;
    node.start("node", {QStringLiteral(ORVANDEL_TEST_DATA "/../webtrace.js"), dir.filePath("livre.html"),
                        QString::number(seed)});
    QVERIFY(node.waitForFinished(60000));
    QVERIFY2(node.exitCode() == 0, node.readAllStandardError().constData());
    QCOMPARE(node.readAllStandardOutput(), expected);
}

// The page tells a victory from a death and from an ending left unmarked.
void TestAnalysis::webPageEndings()
{
    QTemporaryDir dir;
    const Book book = readFixture("print-facts.xml");
    WebPage page(book, QString(), Rules());
    QVERIFY(writeBytes(dir.filePath("livre.html"), page.html()));
    QProcess node;
    node.start("node", {QStringLiteral(ORVANDEL_TEST_DATA "/../webtrace.js"), dir.filePath("livre.html"), "--endings"});
    QVERIFY(node.waitForFinished(60000));
    QVERIFY2(node.exitCode() == 0, node.readAllStandardError().constData());
    const QStringList lines = QString::fromUtf8(node.readAllStandardOutput()).split('\n');
    for (const char *expected : {"006 Victoire ! Votre aventure s'achève ici.", "007 Vous êtes mort.",
                                 "008 Fin de l'aventure.", "010 Fin de l'aventure."})
        QVERIFY2(lines.contains(QString::fromUtf8(expected)), qPrintable(lines.join(" / ")));
}

void TestAnalysis::wordCount_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("words");
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("punctuation only") << " — ? !\n" << 0;
    QTest::newRow("French spacing") << "Une fin ? Oui !" << 3;
    QTest::newRow("apostrophes keep one word") << "l'épée d’Aubrac, aujourd'hui" << 3;
    QTest::newRow("hyphens keep one word") << "peut-être vingt-deux - seul" << 3;
    QTest::newRow("a quote at a word's edge") << "'non' -- oui-" << 2;
    QTest::newRow("numbers are words") << "Rendez-vous au 42." << 3;
    QTest::newRow("decomposed accents") << QString::fromUtf8("cafe\xcc\x81 cre\xcc\x80me") << 2;
    QTest::newRow("lines") << "Un.\nDeux trois.\n\nQuatre" << 4;
}

void TestAnalysis::wordCount()
{
    QFETCH(QString, text);
    QFETCH(int, words);
    QCOMPARE(BookCounts::words(text), words);
}

// Kept entry by entry through a series of changes, the counts are those of
// the book counted afresh.
void TestAnalysis::countsFollowChanges()
{
    BookReader reader;
    QVERIFY(reader.read(generateBook(60, 3)));
    Book book = reader.book();
    BookCounts kept;
    kept.reset(book);
    QRandomGenerator random(5);
    for (int step = 0; step < 200; ++step) {
        const int i = int(random.bounded(quint32(book.size())));
        Entry e = book.entry((i * 7) % book.size());
        e.id = book.entry(i).id;
        const int kind = int(random.bounded(3u));
        if (kind == 0 && book.size() > 2) {
            book.apply(book.removing(i));
            kept.changed(book, i, 1, 0);
        } else if (kind == 1) {
            book.apply(book.replacing(i, e));
            kept.changed(book, i, 1, 1);
        } else {
            e.id = EntryId::text(book.nextNumber());
            book.apply(book.appending(e));
            kept.changed(book, book.size() - 1, 0, 1);
        }
        BookCounts fresh;
        fresh.reset(book);
        QCOMPARE(BookCounts::said(kept.totals()), BookCounts::said(fresh.totals()));
        QCOMPARE(kept.wordsOf(i), fresh.wordsOf(i));
    }
}

void TestAnalysis::findAndReplace_data()
{
    QTest::addColumn<QString>("words");
    QTest::addColumn<QString>("with");
    QTest::addColumn<QString>("where"); // entry:field of each match, in order
    QTest::addColumn<QByteArray>("absent"); // from the file once replaced
    QTest::newRow("case and accents folded, every field") << "epee" << "lame"
        << "001:texte 001:texte 001:texte 001:choix 1 002:monstre 1 002:objet 1 002:objet 1 (autre) 003:texte 003:chance 003:malchance"
        << QByteArray("lame\xcc\x81"); // a decomposed accent goes with its letter
    QTest::newRow("words with accents, decomposed") << QString::fromUtf8("E\xcc\x81pe\xcc\x81""e") << "lame"
        << "001:texte 001:texte 001:texte 001:choix 1 002:monstre 1 002:objet 1 002:objet 1 (autre) 003:texte 003:chance 003:malchance"
        << QByteArray("pée");
    QTest::newRow("a decomposed accent at the end") << "CAFÉ" << "thé" << "003:texte"
                                                    << QByteArray("th\xc3\xa9\xcc\x81");
    QTest::newRow("a ligature, its case folded") << "Œuf" << "oeuf" << "004:texte 004:texte" << QByteArray("œuf");
    QTest::newRow("markup in the replacement") << "rouillée" << "<b>&amp;\"" << "001:texte" << QByteArray("<b>");
    QTest::newRow("the replacement holds the words") << "spectre" << "grand spectre" << "002:texte 002:monstre 1"
                                                     << QByteArray("Le spectre");
    QTest::newRow("nothing found") << "dragon" << "x" << "" << QByteArray("dragon");
}

// Every field a reader reads is searched, case and accents folded; replacing
// rewrites only the entries with a match, what the form does not show
// included, and leaves every other byte of the file as it was.
void TestAnalysis::findAndReplace()
{
    QFETCH(QString, words);
    QFETCH(QString, with);
    QFETCH(QString, where);
    QFETCH(QByteArray, absent);
    const QByteArray before = readBytes(fixture("find-replace.xml"));
    BookReader reader;
    QVERIFY(reader.read(before));
    const Book &book = reader.book();
    const BookFind find(words);
    QStringList seen;
    QSet<int> entries;
    for (const BookFind::Match &m : find.in(book)) {
        seen << book.entry(m.entry).id + ':' + BookFind::fieldName(m);
        entries.insert(m.entry);
    }
    QCOMPARE(seen.join(' '), where);

    int changed = -1, replaced = -1;
    const BookFile::Change change = find.replaceAll(book, with, &changed, &replaced);
    QCOMPARE(changed, entries.size());
    QCOMPARE(replaced, seen.size());
    QByteArray after;
    qsizetype from = 0;
    for (const BookFile::Change::Piece &p : change.pieces) {
        QVERIFY(p.at >= from);
        QCOMPARE(before.mid(p.at, p.removed.size()), p.removed);
        after += before.mid(from, p.at - from) + p.inserted;
        from = p.at + p.removed.size();
    }
    after += before.mid(from);
    QVERIFY2(!after.contains(absent), after.constData());
    BookReader again;
    QVERIFY(again.read(after));
    QCOMPARE(again.book().size(), book.size());
    for (int i = 0; i < book.size(); ++i) {
        const Entry &old = book.entry(i), &now = again.book().entry(i);
        if (!entries.contains(i)) {
            QCOMPARE(after.mid(again.book().span(i).begin, again.book().span(i).end - again.book().span(i).begin),
                     before.mid(book.span(i).begin, book.span(i).end - book.span(i).begin));
            continue;
        }
        QCOMPARE(now, find.replaced(old, with));
        QCOMPARE(now.otherAttributes, old.otherAttributes);
        QVERIFY(BookFind(with).in(now, i).size() >= find.in(old, i).size());
    }
    const bool holds = BookFind::folded(with).contains(BookFind::folded(words));
    QCOMPARE(find.in(again.book()).size(), holds ? seen.size() : 0);
    QCOMPARE(after.left(book.span(0).begin), before.left(book.span(0).begin));
}

QTEST_GUILESS_MAIN(TestAnalysis)
#include "tst_analysis.moc"
