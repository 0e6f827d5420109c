// A save killed at any moment leaves the book either exactly as it was or
// exactly with the new entry, never anything in between.
#include "persistence/entryformat.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <signal.h>

using namespace TestSupport;

class TestCrashSave : public QObject
{
    Q_OBJECT

private slots:
    void killedAtRandomMoments();
};

static QByteArray largeBook(int entries)
{
    QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Livre>\n");
    for (int i = 0; i < entries; ++i) {
        EntryData e;
        e.id = EntryFormat::entryIdText(i);
        e.text = QStringLiteral("Entrée %1 : vous avancez dans le couloir sombre.\nUne porte.").arg(i);
        e.choices.append({QString::number(i + 1), QStringLiteral("Ouvrir la porte")});
        e.choices.append({QString::number(i + 2), QStringLiteral("Rebrousser chemin")});
        text += EntryFormat::entryXml(e);
    }
    return (text + QStringLiteral("\n</Livre>")).toUtf8();
}

void TestCrashSave::killedAtRandomMoments()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("livre.xml"));
    const QByteArray before = largeBook(5000);
    QVERIFY(writeBytes(path, before));

    // One undisturbed save gives the only other acceptable content.
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(QProcess::execute(QStringLiteral(ORVANDEL_SAVECHILD), {path}), 0);
    const qint64 fullRun = qMax<qint64>(clock.elapsed(), 20);
    const QByteArray after = readBytes(path);
    QVERIFY(after.size() > before.size());
    QVERIFY(after.startsWith(before.left(before.size() - 9)));

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
        const qint64 delay = random.bounded(int(fullRun * 12 / 10) + 1);
        QThread::msleep(quint64(delay));
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
    qInfo("%d kills: %d left the old book, %d the new one, 0 anything else", rounds, keptOld,
          gotNew);
}

QTEST_GUILESS_MAIN(TestCrashSave)
#include "tst_crashsave.moc"
