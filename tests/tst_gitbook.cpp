// A book kept in git, as the program shows it: its commits in the book's
// history, each restored as one change; the conflicts a merge left,
// settled side by side. Real repositories in a temporary folder, the merge
// by `git merge` with the driver `orvandel-merge --setup` configures.
// Fixtures in tests/data/gitbook/: v1 to v4, the book's four commits (the
// fourth renames it), working.xml its uncommitted state; base, ours and
// theirs, the two sides of a merge.
#include "analysis/bookcommits.h"
#include "analysis/bookconflicts.h"
#include "app/bookwindow.h"
#include "app/conflictsui.h"
#include "app/historyui.h"
#include "app/mainwindow.h"
#include "document/bookdocument.h"
#include "support.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QListWidget>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>

using namespace Support;

namespace {

QByteArray gitbook(const QString &name)
{
    return readBytes(fixture(QStringLiteral("gitbook/") + name));
}

Book bookOf(const QByteArray &bytes)
{
    BookReader reader;
    return reader.read(bytes) ? reader.book() : Book();
}

const Entry *entryOf(const Book &book, const QString &id)
{
    for (int i = 0; i < book.size(); ++i)
        if (book.entry(i).id == id)
            return &book.entry(i);
    return nullptr;
}

// git in `dir`, each commit with its author and date; false (and the
// reason in the log) when git fails.
int git(const QString &dir, const QStringList &args, const QString &author = QString(), const QString &date = QString())
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!author.isEmpty()) {
        env.insert(QStringLiteral("GIT_AUTHOR_NAME"), author);
        env.insert(QStringLiteral("GIT_AUTHOR_DATE"), date);
        env.insert(QStringLiteral("GIT_COMMITTER_DATE"), date);
    }
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(dir);
    process.start(QStringLiteral("git"), args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    if (process.exitCode() != 0)
        qInfo("git %s: %s", qPrintable(args.join(QLatin1Char(' '))), process.readAllStandardError().constData());
    return process.exitCode();
}

bool initRepository(const QString &dir)
{
    return git(dir, {"init", "-q", "-b", "main"}) == 0 && git(dir, {"config", "user.name", "Auteur"}) == 0
        && git(dir, {"config", "user.email", "auteur@example.org"}) == 0;
}

// The book's commits, newest first: the fixture, the book's name, author, date, message.
struct Step
{
    const char *fixture, *file, *author, *date, *message;
};
const Step steps[] = {
    {"v1.xml", "livre.xml", "Alice", "2026-03-01T10:00:00+00:00", "Le début"},
    {"v2.xml", "livre.xml", "Bob", "2026-03-02T11:00:00+00:00", "Le sentier boueux, la colline"},
    {"v3.xml", "livre.xml", "Alice", "2026-03-03T12:00:00+00:00", "La rivière disparaît"},
    {"v4.xml", "tome1.xml", "Bob", "2026-03-04T13:00:00+00:00", "Le livre devient le tome 1"},
};

} // namespace

class TestGitBook : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void commits_data();
    void commits();
    void restoreCommit_data();
    void restoreCommit();
    void settleConflict_data();
    void settleConflict();
    void allSettled();
    void bookWindowShowsThem();

private:
    QString history() const { return repository.filePath(QStringLiteral("histoire")); }
    // The book and its conflicts file as `git merge` left them, in a folder of their own.
    bool merged(QString *book);

    QTemporaryDir home;
    QTemporaryDir repository;
    QTemporaryDir *work = nullptr;
    ModalScript *script = nullptr;
    QByteArray mergedBook, conflictsFile;
};

void TestGitBook::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("OrvandelTests"));
    // Nobody's own git settings.
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("GIT_CONFIG_NOSYSTEM", "1");

    // The book's history: four commits, the last renaming it, and a change not committed.
    QVERIFY(QDir().mkpath(history()));
    QVERIFY(initRepository(history()));
    QString previous;
    for (const Step &s : steps) {
        const QString file = QString::fromLatin1(s.file);
        if (!previous.isEmpty() && previous != file)
            QCOMPARE(git(history(), {"mv", previous, file}), 0);
        QVERIFY(writeBytes(history() + '/' + file, gitbook(s.fixture)));
        QCOMPARE(git(history(), {"add", file}), 0);
        QCOMPARE(git(history(), {"commit", "-q", "-m", s.message}, s.author, s.date), 0);
        previous = file;
    }
    QVERIFY(writeBytes(history() + "/tome1.xml", gitbook("working.xml")));

    // A merge: "main" is ours, "autre" theirs.
    const QString merge = repository.filePath(QStringLiteral("fusion"));
    QVERIFY(QDir().mkpath(merge));
    QVERIFY(initRepository(merge));
    QVERIFY(writeBytes(merge + "/livre.xml", gitbook("base.xml")));
    QProcess setup;
    setup.setWorkingDirectory(merge);
    setup.start(QStringLiteral(ORVANDEL_MERGE), {QStringLiteral("--setup")});
    QVERIFY(setup.waitForFinished(60000));
    QVERIFY2(setup.exitCode() == 0, setup.readAllStandardError().constData());
    QCOMPARE(git(merge, {"add", "-A"}), 0);
    QCOMPARE(git(merge, {"commit", "-q", "-m", "La base"}), 0);
    QCOMPARE(git(merge, {"checkout", "-q", "-b", "autre"}), 0);
    QVERIFY(writeBytes(merge + "/livre.xml", gitbook("theirs.xml")));
    QCOMPARE(git(merge, {"commit", "-q", "-a", "-m", "Leur version"}), 0);
    QCOMPARE(git(merge, {"checkout", "-q", "main"}), 0);
    QVERIFY(writeBytes(merge + "/livre.xml", gitbook("ours.xml")));
    QCOMPARE(git(merge, {"commit", "-q", "-a", "-m", "Notre version"}), 0);
    QCOMPARE(git(merge, {"merge", "-q", "autre"}), 1); // stopped on the conflicts
    QVERIFY(ConflictsUI::hasConflicts(merge + "/livre.xml"));
    mergedBook = readBytes(merge + "/livre.xml");
    conflictsFile = readBytes(merge + "/livre.conflits.xml");
    // The entry only theirs changed came in; the conflicts stayed ours.
    const Book book = bookOf(mergedBook);
    QVERIFY(entryOf(book, "004") && *entryOf(book, "004") == *entryOf(bookOf(gitbook("theirs.xml")), "004"));
    QVERIFY(entryOf(book, "001") && *entryOf(book, "001") == *entryOf(bookOf(gitbook("ours.xml")), "001"));
}

void TestGitBook::init()
{
    QSettings().clear();
    work = new QTemporaryDir;
    script = new ModalScript;
}

void TestGitBook::cleanup()
{
    QVERIFY2(script->unexpected.isEmpty(), qPrintable(script->unexpected.join(", ")));
    QCOMPARE(script->pending(), 0);
    delete script;
    delete work;
}

bool TestGitBook::merged(QString *book)
{
    *book = work->filePath(QStringLiteral("livre.xml"));
    return writeBytes(*book, mergedBook) && writeBytes(work->filePath(QStringLiteral("livre.conflits.xml")), conflictsFile);
}

void TestGitBook::commits_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("step");
    QTest::addColumn<QStringList>("changes");
    QTest::newRow("renamed, one entry changed") << 0 << 3 << QStringList{"003 modifiée"};
    QTest::newRow("changed and deleted") << 1 << 2 << QStringList{"000 modifiée", "002 supprimée"};
    QTest::newRow("changed and added") << 2 << 1 << QStringList{"001 modifiée", "003 ajoutée"};
    QTest::newRow("the first") << 3 << 0 << QStringList{"000 ajoutée", "001 ajoutée", "002 ajoutée"};
}

// Listed newest first through the rename, each with the entries it changed.
void TestGitBook::commits()
{
    QFETCH(int, row);
    QFETCH(int, step);
    QFETCH(QStringList, changes);
    BookCommits commits(history() + "/tome1.xml");
    QSignalSpy found(&commits, &BookCommits::changesFound);
    commits.start();
    QTRY_COMPARE_WITH_TIMEOUT(found.size(), 4, 60000);
    QCOMPARE(commits.commits().size(), 4);
    const BookCommits::Commit &c = commits.commits().at(row);
    const Step &s = steps[step];
    QCOMPARE(c.author, QString::fromUtf8(s.author));
    QCOMPARE(c.message, QString::fromUtf8(s.message));
    QCOMPARE(c.when, QDateTime::fromString(QString::fromLatin1(s.date), Qt::ISODate));
    QCOMPARE(c.path, QString::fromLatin1(s.file));
    QVERIFY(c.changesKnown);
    QCOMPARE(c.changes, changes);
    QByteArray bytes;
    QVERIFY2(commits.read(row, &bytes), qPrintable(commits.errorString()));
    QCOMPARE(bytes, gitbook(s.fixture));
}

void TestGitBook::restoreCommit_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("shown"); // the entries changed, as the history shows them
    QTest::newRow("the last") << 0 << "v4.xml" << "003 modifiée";
    QTest::newRow("under its old name") << 2 << "v2.xml" << "001 modifiée, 003 ajoutée";
    QTest::newRow("the first") << 3 << "v1.xml" << "000 ajoutée, 001 ajoutée, 002 ajoutée";
}

// "Historique du livre…", the commits' tab: the commit's exact bytes, one undo back.
void TestGitBook::restoreCommit()
{
    QFETCH(int, row);
    QFETCH(QString, fixture);
    QFETCH(QString, shown);
    // A copy of the repository: each row starts from the uncommitted book.
    QCOMPARE(git(work->path(), {"clone", "-q", history(), "depot"}), 0);
    const QString path = work->filePath("depot/tome1.xml");
    QVERIFY(writeBytes(path, gitbook("working.xml")));
    const QByteArray before = readBytes(path);

    MainWindow window;
    window.show();
    QVERIFY(window.openBookWindow(path));
    QString listed;
    script->then([&](QWidget *modal) {
        auto *tabs = modal->findChild<QTabWidget *>("tabs_History");
        auto *table = modal->findChild<QTableWidget *>("table_Commits");
        auto *history = qobject_cast<HistoryUI *>(modal);
        if (!tabs || !table || !history) {
            qobject_cast<QDialog *>(modal)->reject();
            return;
        }
        tabs->setCurrentIndex(1);
        const bool all = QTest::qWaitFor([&]() {
            const BookCommits *c = history->commits();
            return c->isListed() && !c->commits().isEmpty() && c->commits().last().changesKnown;
        }, 60000);
        listed = all && table->item(row, 3) ? table->item(row, 3)->text() : QString();
        table->selectRow(row);
        Form(modal).click("pb_Restore");
    });
    window.findChild<QAction *>("actionHistory")->trigger();
    QCOMPARE(listed, shown);
    QCOMPARE(readBytes(path), gitbook(fixture));
    QCOMPARE(window.document()->book().size(), bookOf(gitbook(fixture)).size());
    window.document()->undo();
    QCOMPARE(readBytes(path), before);
}

void TestGitBook::settleConflict_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("choice");   // ours, theirs, or a text written for the entry
    QTest::addColumn<QString>("expected"); // the entry afterwards: ours.xml's, theirs.xml's, "written" or "absent"
    QTest::newRow("changed both ways, theirs") << "001" << "theirs" << "theirs.xml";
    QTest::newRow("changed both ways, ours") << "001" << "ours" << "ours.xml";
    QTest::newRow("changed both ways, written") << "001" << "Un sentier de pierres et de boue." << "written";
    QTest::newRow("deleted by theirs, theirs") << "002" << "theirs" << "absent";
    QTest::newRow("deleted by theirs, ours") << "002" << "ours" << "ours.xml";
    QTest::newRow("deleted by us, theirs") << "003" << "theirs" << "theirs.xml";
    QTest::newRow("deleted by us, ours") << "003" << "ours" << "absent";
}

// One choice: the entry as chosen, every other entry as it was; undone,
// the book's exact bytes and the conflict open again.
void TestGitBook::settleConflict()
{
    QFETCH(QString, id);
    QFETCH(QString, choice);
    QFETCH(QString, expected);
    QString path;
    QVERIFY(merged(&path));
    const QSharedPointer<BookDocument> document = BookDocument::of(path);
    QVERIFY(document->load());
    QCOMPARE(document->claim(), BookDocument::Claimed);
    ConflictsUI window(document);
    window.show();
    QVERIFY2(window.isValid(), qPrintable(window.errorString()));
    QCOMPARE(window.count(), 3);
    auto *list = window.findChild<QListWidget *>("list_Conflicts");
    int row = -1;
    for (int r = 0; r < list->count(); ++r)
        if (list->item(r)->text() == "Entrée " + id)
            row = r;
    QVERIFY(row >= 0);
    list->setCurrentRow(row);
    const QByteArray before = readBytes(path);
    const Book was = bookOf(before);

    Entry written = entryOf(was, id) ? *entryOf(was, id) : Entry();
    if (choice == "ours")
        Form(&window).click("pb_Ours");
    else if (choice == "theirs")
        Form(&window).click("pb_Theirs");
    else {
        written.text = choice;
        QVERIFY(window.write(row, written));
    }
    QVERIFY(window.isSettled(row));
    const Book now = bookOf(readBytes(path));
    const Entry *entry = entryOf(now, id);
    if (expected == "absent")
        QVERIFY(!entry);
    else if (expected == "written")
        QVERIFY(entry && *entry == written);
    else
        QVERIFY(entry && *entry == *entryOf(bookOf(gitbook(expected)), id));
    for (int i = 0; i < was.size(); ++i)
        if (was.entry(i).id != id)
            QVERIFY(entryOf(now, was.entry(i).id) && *entryOf(now, was.entry(i).id) == was.entry(i));
    QVERIFY(QFileInfo::exists(work->filePath("livre.conflits.xml")));

    if (readBytes(path) != before) {
        document->undo();
        QCOMPARE(readBytes(path), before);
        QVERIFY(!window.isSettled(row));
    }
}

// Theirs for one, ours for the others: the conflicts file goes with the
// last, and the author is told to finish with git.
void TestGitBook::allSettled()
{
    QString path;
    QVERIFY(merged(&path));
    const QSharedPointer<BookDocument> document = BookDocument::of(path);
    QVERIFY(document->load());
    QCOMPARE(document->claim(), BookDocument::Claimed);
    ConflictsUI window(document);
    window.show();
    const QString conflicts = work->filePath("livre.conflits.xml");
    QCOMPARE(window.count(), 3);
    QVERIFY(window.choose(0, ConflictsUI::Theirs));
    QVERIFY(window.choose(1, ConflictsUI::Ours));
    QVERIFY(QFileInfo::exists(conflicts));
    // A choice undone is a conflict again: nothing is removed yet.
    document->undo();
    QVERIFY(!window.isSettled(0));
    QVERIFY(window.choose(2, ConflictsUI::Ours));
    QVERIFY(QFileInfo::exists(conflicts));
    QVERIFY(ConflictsUI::hasConflicts(path));
    QVERIFY(window.choose(0, ConflictsUI::Theirs));
    QVERIFY(!QFileInfo::exists(conflicts));
    QVERIFY(!ConflictsUI::hasConflicts(path));
    QVERIFY(window.findChild<QLabel *>("lbl_Status")->text().contains("git add livre.xml"));
}

// The book window of a merged book shows its conflicts as it opens.
void TestGitBook::bookWindowShowsThem()
{
    QString path;
    QVERIFY(merged(&path));
    BookWindow window;
    QVERIFY(window.openBook(path));
    window.show();
    QTRY_VERIFY(window.findChild<ConflictsUI *>());
    QCOMPARE(window.findChild<ConflictsUI *>()->count(), 3);
}

QTEST_MAIN(TestGitBook)
#include "tst_gitbook.moc"
