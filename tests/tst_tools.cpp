// The command-line tools as processes, and what they write: outputs that
// would land on an input, file names that are not UTF-8.
#include "support.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace Support;

namespace {

struct Run
{
    int status;
    QByteArray out, err;
};

Run run(const QString &program, const QStringList &args, const QString &folder = QString())
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, args);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

// Every name in `folder` with what it holds (a link by its target), to see
// that nothing was written.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    const QFileInfoList all = QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &info : all)
        files[info.fileName()] = info.isSymLink() ? "-> " + info.symLinkTarget().toUtf8()
            : info.isFile()                       ? readBytes(info.filePath())
                                                  : QByteArray("<dossier>");
    return files;
}

} // namespace

class TestTools : public QObject
{
    Q_OBJECT

private slots:
    void outputsApart_data();
    void outputsApart();
    void namesThatAreNotUtf8_data();
    void namesThatAreNotUtf8();
};

void TestTools::outputsApart_data()
{
    QTest::addColumn<QString>("setUp"); // shell commands in the folder, which holds livre.xml
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    const QString exporter = QStringLiteral(ORVANDEL_EXPORT), checker = QStringLiteral(ORVANDEL_CHECK);
    QTest::newRow("page through a link to the book")
        << "ln -s livre.xml page.html" << exporter << QStringList{"livre.xml", "--html", "page.html"} << 3;
    QTest::newRow("page on a hard link of the book")
        << "ln livre.xml page.html" << exporter << QStringList{"livre.xml", "--print-html", "page.html"} << 3;
    QTest::newRow("page through a link to the folder")
        << "ln -s . ici" << exporter << QStringList{"livre.xml", "--pdf", "ici/livre.xml"} << 3;
    QTest::newRow("two pages into one file through a dangling link")
        << "ln -s cible.html page.html" << exporter
        << QStringList{"livre.xml", "--html", "page.html", "--print-html", "cible.html"} << 3;
    QTest::newRow("renumbered book over its own table")
        << "" << exporter << QStringList{"livre.xml", "--renumber", "compact", "--output", "nouveau.csv"} << 3;
    QTest::newRow("table over the book read")
        << "mv livre.xml livre.csv" << exporter
        << QStringList{"livre.csv", "--renumber", "compact", "--output", "livre.xml"} << 3;
    QTest::newRow("renumbered book apart")
        << "" << exporter << QStringList{"livre.xml", "--renumber", "compact", "--output", "nouveau.xml"} << 0;
    QTest::newRow("map through a link to the book")
        << "ln -s livre.xml carte.dot" << checker << QStringList{"livre.xml", "--dot", "carte.dot"} << 3;
    QTest::newRow("map on a hard link of the monsters")
        << QString("cp '%1' monstres.xml && ln monstres.xml carte.svg").arg(fixture("monsters.xml")) << checker
        << QStringList{"livre.xml", "--monsters", "monstres.xml", "--svg", "carte.svg"} << 3;
    QTest::newRow("dot and svg into one file")
        << "" << checker << QStringList{"livre.xml", "--dot", "carte", "--svg", "./carte"} << 3;
    QTest::newRow("dot and svg to one device")
        << "" << checker << QStringList{"livre.xml", "--dot", "/dev/null", "--svg", "/dev/null"} << 0;
}

// An output that would land on an input, or on another output, is refused
// before anything is written.
void TestTools::outputsApart()
{
    QFETCH(QString, setUp);
    QFETCH(QString, tool);
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QTemporaryDir dir;
    QVERIFY(QFile::copy(fixture("check-clean.xml"), dir.filePath("livre.xml")));
    QCOMPARE(QProcess::execute("sh", {"-c", QString("cd '%1' && true %2 %3").arg(dir.path(), setUp.isEmpty() ? "" : "&&", setUp)}), 0);
    const QMap<QString, QByteArray> before = snapshot(dir.path());
    const Run done = run(tool, args, dir.path());
    QVERIFY2(done.status == status, done.err.constData());
    if (status == 3) {
        QVERIFY2(done.err.contains("la sortie serait écrite"), done.err.constData());
        QCOMPARE(snapshot(dir.path()), before);
    }
}

void TestTools::namesThatAreNotUtf8_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QString>("args"); // for the shell: "$f" is the book
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("holds");
    QTest::newRow("check") << ORVANDEL_CHECK << "--dot \"$f.dot\"" << "$f.dot" << "digraph";
    QTest::newRow("play") << ORVANDEL_PLAY << "--seed 3 --trace >\"$f.trace\"" << "$f.trace" << "départ";
    // A title in UTF-8 beside such a name stays what it was.
    QTest::newRow("export") << ORVANDEL_EXPORT << "--print-html \"$f.html\" --title 'Épreuve'" << "$f.html"
                            << "<title>Épreuve</title>";
}

// A book whose name is not UTF-8 is read by every tool, and what it writes
// beside it lands under the name given.
void TestTools::namesThatAreNotUtf8()
{
    QFETCH(QString, tool);
    QFETCH(QString, args);
    QFETCH(QString, written);
    QFETCH(QString, holds);
    QTemporaryDir dir;
    // The shell removes the files: under its UTF-8 locale, this test could not name them.
    const QString script = QString("cd '%1' || exit 99; f=$(printf 'livre\\351.xml') && cp '%2' \"$f\" && '%3' \"$f\" %4 "
                                   "&& grep -qF '%5' \"%6\"; s=$?; rm -f ./*; exit $s")
                               .arg(dir.path(), fixture("check-clean.xml"), tool, args, holds, written);
    QProcess shell;
    shell.start("sh", {"-c", script});
    QVERIFY(shell.waitForFinished(60000));
    QVERIFY2(shell.exitStatus() == QProcess::NormalExit && shell.exitCode() == 0, shell.readAllStandardError().constData());
}

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
