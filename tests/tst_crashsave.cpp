// A save killed at any moment leaves the book either exactly as it was or
// exactly with the change, never anything in between.
#include "bookgen.h"
#include "support.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <signal.h>

using namespace Support;

class TestCrashSave : public QObject
{
    Q_OBJECT

private slots:
    void killedAtRandomMoments();
};

void TestCrashSave::killedAtRandomMoments()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("livre.xml"));
    const QByteArray before = generateBook(5000);
    QVERIFY(writeBytes(path, before));

    // One undisturbed save gives the only other acceptable content.
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(QProcess::execute(QStringLiteral(ORVANDEL_SAVECHILD), {path}), 0);
    const qint64 fullRun = qMax<qint64>(clock.elapsed(), 20);
    const QByteArray after = readBytes(path);
    QVERIFY(after.size() > before.size());

    QRandomGenerator random(QRandomGenerator::global()->generate());
    const int rounds = qEnvironmentVariableIntValue("ORVANDEL_KILL_ROUNDS") > 0
        ? qEnvironmentVariableIntValue("ORVANDEL_KILL_ROUNDS")
        : 150;
    int keptOld = 0, gotNew = 0;
    for (int round = 0; round < rounds; ++round) {
        QVERIFY(writeBytes(path, before));
        QProcess child;
        child.start(QStringLiteral(ORVANDEL_SAVECHILD), {path});
        QVERIFY(child.waitForStarted());
        // Most kills land inside the save itself, near the end of the run.
        QThread::msleep(quint64(random.bounded(int(fullRun * 12 / 10) + 1)));
        ::kill(pid_t(child.processId()), SIGKILL);
        child.waitForFinished();
        const QByteArray now = readBytes(path);
        if (now == before)
            ++keptOld;
        else if (now == after)
            ++gotNew;
        else
            QFAIL(qPrintable(QStringLiteral("round %1: the book holds %2 bytes, neither the old "
                                            "(%3) nor the new (%4) text")
                                 .arg(round).arg(now.size()).arg(before.size()).arg(after.size())));
    }
    qInfo("%d kills: %d left the old book, %d the new one, 0 anything else", rounds, keptOld, gotNew);
}

QTEST_GUILESS_MAIN(TestCrashSave)
#include "tst_crashsave.moc"
