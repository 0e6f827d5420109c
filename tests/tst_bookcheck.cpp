// Checking a book for broken references, unreachable entries and the like,
// in the library, on the command line and in the program.
#include "app/bookcheckui.h"
#include "app/bookmapui.h"
#include "app/mainwindow.h"
#include "check/bookcheck.h"
#include "check/bookmap.h"
#include "testsupport.h"

#include <QAction>
#include <QFileDialog>
#include <QTemporaryDir>

using namespace TestSupport;

class TestBookCheck : public QObject
{
    Q_OBJECT

private slots:
    void referenceNumbers_data();
    void referenceNumbers();
    void flawedBook_data();
    void flawedBook();
    void cleanBookHasNoFinding();
    void firstEntryIsTheLowestNumber();
    void commandLine_data();
    void commandLine();
    void commandLineWritesTheMap();
    void checkDialogFromTheMenu();
    void mapSurvivesAnyText();
    void mapDialogZooms();

private:
    static QString data(const char *name)
    {
        return QStringLiteral(ORVANDEL_TEST_DATA "/") + QLatin1String(name);
    }
    static BookModel model(const char *name) { return buildModel(readBook(readBytes(data(name)))); }
};

void TestBookCheck::referenceNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("number");
    QTest::newRow("plain") << "12" << 12;
    QTest::newRow("leading zeros") << "012" << 12;
    QTest::newRow("zero") << "000" << 0;
    QTest::newRow("spaces") << " 7 " << 7;
    QTest::newRow("word") << "abc" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("negative") << "-3" << -1;
    QTest::newRow("signed") << "+3" << -1;
    QTest::newRow("exponent") << "1e3" << -1;
    QTest::newRow("too long") << "12345678901" << -1;
}

void TestBookCheck::referenceNumbers()
{
    QFETCH(QString, text);
    QFETCH(int, number);
    QCOMPARE(referenceNumber(text), number);
}

void TestBookCheck::flawedBook_data()
{
    QTest::addColumn<QStringList>("expected"); // "kind id" pairs, in any order
    QTest::newRow("check-flawed.xml")
        << QStringList{"dangling 000",     "not-a-number 001", "unknown-monster 001",
                       "dead-end 002",     "duplicate-id 002", "unreachable 002",
                       "unreachable 005"};
}

void TestBookCheck::flawedBook()
{
    QFETCH(QStringList, expected);
    const BookModel m = model("check-flawed.xml");
    QCOMPARE(m.nodes.size(), 5);
    const QVector<BookFinding> findings = checkBook(m, true, {QStringLiteral("Orque")});
    QStringList got;
    for (const BookFinding &f : findings)
        got << findingKey(f.kind) + QLatin1Char(' ') + m.nodes.at(f.node).id;
    got.sort();
    expected.sort();
    QCOMPARE(got, expected);

    // Without a monsters file there is no monster to call unknown.
    for (const BookFinding &f : checkBook(m))
        QVERIFY(f.kind != BookFinding::UnknownMonster);
}

void TestBookCheck::cleanBookHasNoFinding()
{
    const BookModel m = model("check-clean.xml");
    QCOMPARE(m.nodes.size(), 4);
    QVERIFY(checkBook(m, true, {QStringLiteral("Orque")}).isEmpty());
    // Every kind of reference was followed: choice, victory, flight, luck.
    QCOMPARE(m.nodes.at(2).references.size(), 3);
}

void TestBookCheck::firstEntryIsTheLowestNumber()
{
    const QByteArray bytes = "<Livre><Attr id=\"7\"><Choices active=\"1\"><Elem id=\"1\" Value=\"3\">x</Elem>"
                             "</Choices></Attr><Attr id=\"3\"><Choices active=\"1\"><Elem id=\"1\" "
                             "Value=\"7\">y</Elem></Choices></Attr><Attr id=\"9\"><Choices active=\"1\">"
                             "<Elem id=\"1\" Value=\"3\">z</Elem></Choices></Attr></Livre>";
    const BookModel m = buildModel(readBook(bytes));
    QCOMPARE(m.nodes.at(m.first).id, QStringLiteral("3"));
    const QVector<BookFinding> findings = checkBook(m);
    QCOMPARE(findings.size(), 1);
    QCOMPARE(findings.first().kind, BookFinding::Unreachable);
    QCOMPARE(m.nodes.at(findings.first().node).id, QStringLiteral("9"));
}

void TestBookCheck::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("firstLine");
    QTest::newRow("flawed") << QStringList{data("check-flawed.xml"), "--monsters", data("check-monsters.xml")}
                            << 1 << "dangling\t000\tchoix vers 99 : cette entrée n'existe pas";
    QTest::newRow("clean") << QStringList{data("check-clean.xml")} << 0 << "";
    QTest::newRow("dangling victory") << QStringList{data("book-own.xml")} << 1
                                   << "dangling\t001\tvictoire vers 3 : cette entrée n'existe pas";
    QTest::newRow("not XML") << QStringList{data("book-broken.xml")} << 2 << "";
    QTest::newRow("missing file") << QStringList{data("no-such-book.xml")} << 2 << "";
    QTest::newRow("unreadable monsters")
        << QStringList{data("check-clean.xml"), "--monsters", data("monsters-blank.xml")} << 2 << "";
    QTest::newRow("no book") << QStringList{} << 2 << "";
}

void TestBookCheck::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, firstLine);
    QProcess check;
    check.start(QStringLiteral(ORVANDEL_CHECK), args);
    QVERIFY(check.waitForFinished(30000));
    const QString out = QString::fromUtf8(check.readAllStandardOutput());
    const QString err = QString::fromUtf8(check.readAllStandardError());
    QCOMPARE(check.exitCode(), status);
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (!firstLine.isEmpty())
        QCOMPARE(lines.value(0), firstLine);
    for (const QString &line : lines)
        QCOMPARE(line.count(QLatin1Char('\t')), 2);
    if (status == 2)
        QVERIFY(out.isEmpty() && !err.isEmpty());
    else
        QVERIFY2(err.contains(QStringLiteral("%1 findings").arg(lines.size())), qPrintable(err));
}

void TestBookCheck::commandLineWritesTheMap()
{
    QTemporaryDir dir;
    const QString dot = dir.filePath(QStringLiteral("livre.dot"));
    const QString svg = dir.filePath(QStringLiteral("livre.svg"));
    QProcess check;
    check.start(QStringLiteral(ORVANDEL_CHECK),
                {data("check-flawed.xml"), QStringLiteral("--dot"), dot, QStringLiteral("--svg"), svg});
    QVERIFY(check.waitForFinished(60000));
    QCOMPARE(check.exitCode(), 1);
    const QByteArray graph = readBytes(dot);
    QVERIFY(graph.startsWith("digraph"));
    QVERIFY(graph.contains("missing99 [label=\"99 ?\", shape=octagon"));
    QVERIFY(graph.contains("n0 -> missing99 [label=\"choix\""));
    QVERIFY(graph.contains("n1 -> n2 [label=\"victoire\""));
    QVERIFY(graph.contains("label=\"000\\nDépart.\""));
    const QByteArray picture = readBytes(svg);
    QVERIFY(picture.contains("<svg"));
    QVERIFY(picture.contains("99 ?"));
    QString why;
    QVERIFY2(xmllintAccepts(svg, &why), qPrintable(why));
}

void TestBookCheck::checkDialogFromTheMenu()
{
    QTemporaryDir dir;
    const QString book = dir.filePath(QStringLiteral("livre.xml"));
    QVERIFY(writeBytes(book, readBytes(data("check-flawed.xml"))));
    MainWindow window;
    window.show();
    ModalScript script;
    answerFileDialog(script, book);
    QString summary;
    int rows = -1;
    QString firstEntry;
    script.then([&](QWidget *modal) {
        summary = modal->findChild<QLabel *>(QStringLiteral("lbl_Summary"))->text();
        auto *table = modal->findChild<QTableWidget *>(QStringLiteral("table_Findings"));
        rows = table->rowCount();
        table->sortByColumn(1, Qt::DescendingOrder);
        firstEntry = table->item(0, 1)->text();
        qobject_cast<QDialog *>(modal)->reject();
    });
    auto *action = window.findChild<QAction *>(QStringLiteral("actionCheckBook"));
    QCOMPARE(action->text(), QStringLiteral("Vérifier le livre…"));
    action->trigger();
    QCOMPARE(rows, 6); // no monsters file in the program: six findings
    QVERIFY(summary.contains(QStringLiteral("Entrée inaccessible : 2")));
    QCOMPARE(firstEntry, QStringLiteral("005"));
    QVERIFY(script.unexpected.isEmpty());
}

void TestBookCheck::mapSurvivesAnyText()
{
    // Quotes, backslashes and braces in a text must not break the graph.
    const QByteArray bytes = "<Livre><Attr id=\"0\"><Text>Il dit \"\\n}\" puis { \\\\ ;</Text>"
                             "<Choices active=\"1\"><Elem id=\"1\" Value=\"0\">x</Elem></Choices></Attr></Livre>";
    const BookModel m = buildModel(readBook(bytes));
    QCOMPARE(m.nodes.size(), 1);
    QByteArray svg;
    QString error;
    QVERIFY2(renderSvg(bookDot(m, checkBook(m)), m.nodes.size(), &svg, &error), qPrintable(error));
    QVERIFY(svg.contains("Il dit"));
}

void TestBookCheck::mapDialogZooms()
{
    const BookModel m = model("check-clean.xml");
    QByteArray svg;
    QString error;
    QVERIFY2(renderSvg(bookDot(m, checkBook(m)), m.nodes.size(), &svg, &error), qPrintable(error));
    BookMapUI map(svg);
    map.show();
    const double before = map.zoom();
    map.findChild<QPushButton *>(QStringLiteral("pb_ZoomIn"))->click();
    QVERIFY(map.zoom() > before);
    map.findChild<QPushButton *>(QStringLiteral("pb_ZoomOut"))->click();
    map.findChild<QPushButton *>(QStringLiteral("pb_ZoomOut"))->click();
    QVERIFY(map.zoom() < before);
}

QTEST_MAIN(TestBookCheck)
#include "tst_bookcheck.moc"
