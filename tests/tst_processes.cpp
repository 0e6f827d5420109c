// Several processes at one book: changes killed at any moment leave the book
// exactly as it was before or after one of them, with the version before it
// in the history; two writers at once lose nothing.
#include "book/bookfile.h"
#include "bookgen.h"
#include "support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSet>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <signal.h>

using namespace Support;

namespace {

const int changes = 12;

// Change `k` of the sequence: an entry added, one rewritten, one removed, in turn.
bool change(BookFile &file, int k)
{
    Entry e;
    e.id = EntryId::text(file.nextNumber());
    e.text = QStringLiteral("Changement %1, tué peut-être en route.").arg(k);
    e.choices = {{QStringLiteral("1"), QStringLiteral("Suite")}};
    switch (k % 3) {
    case 0: return file.append(e);
    case 1: return file.replace(k % file.book().size(), e);
    default: return file.remove(k % file.book().size());
    }
}

} // namespace

// Adds `count` entries, each under the next free number; when the other
// writer got in first, the book is read again and the entry saved after it.
int addEntries(const QString &path, int count)
{
    BookFile file;
    file.open(path);
    for (int added = 0; added < count;) {
        Entry e;
        e.id = EntryId::text(file.nextNumber());
        e.text = QStringLiteral("Écrite par %1").arg(QCoreApplication::applicationPid());
        e.choices = {{QStringLiteral("0"), QStringLiteral("Retour")}};
        if (file.append(e, QStringLiteral("Livre")))
            ++added;
        else if (file.error() == BookFile::ChangedError)
            file.open(path);
        else
            return 1;
    }
    return 0;
}

class TestProcesses : public QObject
{
    Q_OBJECT

private slots:
    void twoWritersLoseNothing();
    void killedAtRandomMoments();
};

void TestProcesses::twoWritersLoseNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("livre.xml"));
    const QString self = QCoreApplication::applicationFilePath();
    QProcess a, b;
    a.start(self, {QStringLiteral("--add"), path});
    b.start(self, {QStringLiteral("--add"), path});
    QVERIFY(a.waitForFinished(120000) && b.waitForFinished(120000));
    QCOMPARE(a.exitCode(), 0);
    QCOMPARE(b.exitCode(), 0);
    BookFile file;
    QVERIFY(file.open(path));
    QCOMPARE(file.book().size(), 400);
    QSet<int> numbers;
    for (int i = 0; i < file.book().size(); ++i)
        numbers.insert(file.book().number(i));
    QCOMPARE(numbers.size(), 400);
    QVERIFY(xmllintAccepts(path));
}

void TestProcesses::killedAtRandomMoments()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("livre.xml"));
    const QByteArray before = generateBook(5000);

    // Every state the book may be left in: before any change, after each.
    QVector<QByteArray> states{before};
    QVERIFY(writeBytes(path, before));
    BookFile file;
    QVERIFY(file.open(path));
    for (int k = 0; k < changes; ++k) {
        QVERIFY(change(file, k));
        states << file.book().bytes();
    }

    // An undisturbed run tells how long the changes take once the child has
    // read the book (it says "ready" then); the kills land within that time.
    const QString self = QCoreApplication::applicationFilePath();
    auto start = [&](QProcess &child) {
        child.start(self, {QStringLiteral("--change"), path});
        return child.waitForReadyRead(30000);
    };
    QVERIFY(writeBytes(path, before));
    QElapsedTimer clock;
    {
        QProcess child;
        QVERIFY(start(child));
        clock.start();
        QVERIFY(child.waitForFinished(30000));
    }
    const int changing = int(qMax<qint64>(clock.elapsed(), 10));
    QCOMPARE(readBytes(path), states.last());
    QRandomGenerator random(QRandomGenerator::global()->generate());
    const int rounds = qEnvironmentVariableIntValue("ORVANDEL_KILL_ROUNDS") > 0
        ? qEnvironmentVariableIntValue("ORVANDEL_KILL_ROUNDS")
        : 100;
    QVector<int> seen(states.size(), 0);
    const FileHistory history(path);
    for (int round = 0; round < rounds; ++round) {
        QVERIFY(writeBytes(path, before));
        QVERIFY(QDir(history.folder()).removeRecursively());
        QProcess child;
        QVERIFY(start(child));
        QThread::msleep(quint64(random.bounded(changing * 11 / 10)));
        ::kill(pid_t(child.processId()), SIGKILL);
        child.waitForFinished();
        const int state = states.indexOf(readBytes(path));
        if (state < 0)
            QFAIL(qPrintable(QStringLiteral("round %1: the book is in none of the %2 states it may be in")
                                 .arg(round).arg(states.size())));
        ++seen[state];
        // The history holds the version before the last change done, or
        // before the one under way.
        const QVector<FileHistory::Version> kept = history.versions();
        QByteArray newest;
        QVERIFY(kept.isEmpty() ? state == 0 : history.read(kept.first(), &newest));
        QVERIFY2(kept.isEmpty() || newest == states.at(state) || (state > 0 && newest == states.at(state - 1)),
                 qPrintable(QStringLiteral("round %1: the history lacks the book's earlier version").arg(round)));
    }
    QStringList counts;
    for (int k = 0; k < seen.size(); ++k)
        counts << QString::number(seen.at(k));
    qInfo("%d kills; books left after 0, 1, 2... changes: %s", rounds, qPrintable(counts.join(' ')));
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--add")
        return addEntries(QString::fromLocal8Bit(argv[2]), 200);
    if (argc == 3 && QByteArray(argv[1]) == "--change") {
        BookFile file;
        file.open(QString::fromLocal8Bit(argv[2]));
        std::printf("ready\n");
        std::fflush(stdout);
        for (int k = 0; k < changes; ++k)
            if (!change(file, k))
                return 1;
        return 0;
    }
    TestProcesses test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_processes.moc"
