// The command-line tools as processes, and what they write: outputs that
// would land on an input.
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

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
