// Books merged by git: two clones of a bare repository, set up by
// `orvandel-merge --setup`, each committing its side; then `git merge`.
// Each case of tests/data/merge/ holds the base, ours (the clone that
// merges), theirs (the clone that pushed first), and what the merge must
// leave: merged.xml, and conflits.xml when theirs was set aside.
#include "analysis/bookcheck.h"
#include "analysis/bookmerge.h"
#include "analysis/renumbering.h"
#include "book/bookreader.h"
#include "book/entryid.h"
#include "bookgen.h"
#include "support.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Ran
{
    int status = -1;
    QByteArray out, err;
};

Ran run(const QString &dir, const QString &program, const QStringList &args, const QString &home)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Nobody's own git settings: a home of the test's, fixed names.
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("GIT_CONFIG_NOSYSTEM"), QStringLiteral("1"));
    env.insert(QStringLiteral("GIT_AUTHOR_NAME"), QStringLiteral("Auteur"));
    env.insert(QStringLiteral("GIT_AUTHOR_EMAIL"), QStringLiteral("auteur@example.org"));
    env.insert(QStringLiteral("GIT_COMMITTER_NAME"), QStringLiteral("Auteur"));
    env.insert(QStringLiteral("GIT_COMMITTER_EMAIL"), QStringLiteral("auteur@example.org"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(dir);
    process.start(program, args);
    Ran ran;
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit)
        ran.status = process.exitCode();
    ran.out = process.readAllStandardOutput();
    ran.err = process.readAllStandardError();
    return ran;
}

// A bare repository and two clones of it, "alice" and "bob".
class Repositories
{
public:
    QString alice() const { return dir.filePath(QStringLiteral("alice")); }
    QString bob() const { return dir.filePath(QStringLiteral("bob")); }
    QString home() const { return dir.path(); }

    Ran git(const QString &clone, const QStringList &args) const
    {
        return run(clone, QStringLiteral("git"), args, home());
    }
    Ran setup(const QString &clone) const { return run(clone, QStringLiteral(ORVANDEL_MERGE), {QStringLiteral("--setup")}, home()); }
    bool ok(const QString &clone, const QStringList &args) const
    {
        const Ran ran = git(clone, args);
        if (ran.status != 0)
            qWarning("git %s: %s", qPrintable(args.join(QLatin1Char(' '))), ran.err.constData());
        return ran.status == 0;
    }
    // Writes `bytes` as `file` in `clone` and commits it.
    bool commit(const QString &clone, const QString &file, const QByteArray &bytes, const QString &message) const
    {
        const QString path = clone + QLatin1Char('/') + file;
        return QDir().mkpath(QFileInfo(path).path()) && Support::writeBytes(path, bytes)
            && ok(clone, {QStringLiteral("add"), QStringLiteral("-A")})
            && ok(clone, {QStringLiteral("commit"), QStringLiteral("-q"), QStringLiteral("-m"), message});
    }

    // Alice starts the book from `base`, set up for Orvandel, and pushes;
    // Bob clones it and sets up his clone.
    bool start(const QString &file, const QByteArray &base)
    {
        const QString bare = dir.filePath(QStringLiteral("livre.git"));
        return dir.isValid() && ok(dir.path(), {QStringLiteral("init"), QStringLiteral("-q"), QStringLiteral("--bare"), QStringLiteral("-b"), QStringLiteral("main"), bare})
            && ok(dir.path(), {QStringLiteral("init"), QStringLiteral("-q"), QStringLiteral("-b"), QStringLiteral("main"), alice()})
            && Support::writeBytes(alice() + QLatin1Char('/') + file, base)
            && setup(alice()).status == 0
            && commit(alice(), file, base, QStringLiteral("Le livre"))
            && ok(alice(), {QStringLiteral("remote"), QStringLiteral("add"), QStringLiteral("origin"), bare})
            && ok(alice(), {QStringLiteral("push"), QStringLiteral("-q"), QStringLiteral("origin"), QStringLiteral("main")})
            && ok(dir.path(), {QStringLiteral("clone"), QStringLiteral("-q"), bare, bob()})
            && setup(bob()).status == 0;
    }

private:
    QTemporaryDir dir;
};

QByteArray fixture(const QString &name)
{
    return Support::readBytes(Support::fixture(QStringLiteral("merge/") + name));
}

Book read(const QByteArray &bytes)
{
    BookReader reader;
    if (!reader.read(bytes))
        return Book();
    return reader.book();
}

// "kind<TAB>id<TAB>detail" of each finding, as orvandel-check prints them.
QSet<QString> findings(const Book &book)
{
    QSet<QString> out;
    for (const BookFinding &f : BookCheck::run(book))
        out.insert(BookCheck::key(f.kind) + QLatin1Char('\t') + book.entry(f.entry).id + QLatin1Char('\t') + f.detail);
    return out;
}

// The book with `count` random changes of an author: texts and choices
// rewritten, entries deleted, new entries under the next number with a
// choice leading to each. Made through the book model, as the program does.
QByteArray edited(const QByteArray &bytes, quint32 seed, int count)
{
    BookReader reader;
    if (!reader.read(bytes))
        return QByteArray();
    Book book = reader.book();
    QRandomGenerator random(seed);
    for (int k = 0; k < count && book.size() > 2; ++k) {
        const int i = int(random.bounded(quint32(book.size())));
        Entry e = book.entry(i);
        const int what = int(random.bounded(100));
        if (what < 35) {
            e.text = QStringLiteral("Réécrit (%1/%2).").arg(seed).arg(k);
            book.apply(book.replacing(i, e));
        } else if (what < 55) {
            e.choices.append({EntryId::text(book.number(int(random.bounded(quint32(book.size()))))),
                              QStringLiteral("Choix %1").arg(k)});
            book.apply(book.replacing(i, e));
        } else if (what < 70) {
            book.apply(book.removing(i));
        } else {
            Entry added;
            added.id = EntryId::text(book.nextNumber());
            added.text = QStringLiteral("Nouvelle (%1/%2).").arg(seed).arg(k);
            e.choices.append({added.id, QStringLiteral("Vers la nouvelle")});
            book.apply(book.replacing(i, e));
            book.apply(book.appending(added));
        }
    }
    return book.bytes();
}

// What `side` changed or added since `base`, by key: entry -> its version.
QVector<Entry> changedSince(const Book &base, const Book &side)
{
    QVector<Entry> out;
    for (int i = 0; i < side.size(); ++i) {
        const int was = base.indexOfNumber(side.number(i));
        if (was < 0 || base.entry(was) != side.entry(i))
            out.append(side.entry(i));
    }
    return out;
}

bool holds(const Book &book, const Entry &entry)
{
    const int i = book.indexOfNumber(EntryId::parse(entry.id));
    return i >= 0 && book.entry(i) == entry;
}

} // namespace

class TestMerge : public QObject
{
    Q_OBJECT

private slots:
    void gitMerge_data();
    void gitMerge();
    void setupTwice();
    void textDiff_data();
    void textDiff();
    void threeWay_data();
    void threeWay();
    void unreadable_data();
    void unreadable();
    void commandLine_data();
    void commandLine();
};

void TestMerge::gitMerge_data()
{
    QTest::addColumn<QString>("name");      // the folder in tests/data/merge/
    QTest::addColumn<QString>("file");      // the book's name in the repository
    QTest::addColumn<bool>("clean");
    QTest::addColumn<QStringList>("said");  // in what git merge prints
    QTest::addColumn<bool>("findingsUnion"); // the checker finds what it found on each side

    const QString book = QStringLiteral("livre.xml"), monsters = QStringLiteral("monstres.xml");
    QTest::newRow("disjoint edits") << "disjoint" << book << true << QStringList() << false;
    QTest::newRow("both add 043") << "both-add" << book << true
                                  << QStringList{QStringLiteral("entrée 043 ajoutée des deux côtés ; la leur devient 044")}
                                  << true;
    QTest::newRow("same entry edited twice")
        << "both-changed" << book << false
        << QStringList{QStringLiteral("entrée 001 modifiée des deux côtés"), QStringLiteral("livre.conflits.xml")} << false;
    QTest::newRow("deleted here, changed there")
        << "deleted-changed" << book << false
        << QStringList{QStringLiteral("entrée 002 supprimée de ce côté, modifiée de l'autre")} << false;
    QTest::newRow("changed here, deleted there")
        << "changed-deleted" << book << false
        << QStringList{QStringLiteral("entrée 002 modifiée de ce côté, supprimée de l'autre")} << false;
    QTest::newRow("their new first entry, our first deleted") << "before-first" << book << true << QStringList() << false;
    QTest::newRow("their line ends CRLF, ours LF") << "crlf" << book << true << QStringList() << false;
    QTest::newRow("their comment and root attribute") << "outside" << book << true << QStringList() << false;
    QTest::newRow("the same change on both sides") << "same-change" << book << true << QStringList() << true;
    QTest::newRow("monsters, disjoint") << "monsters-disjoint" << monsters << true << QStringList() << false;
    QTest::newRow("monsters, one changed twice")
        << "monsters-conflict" << monsters << false
        << QStringList{QStringLiteral("monstre « Orque » modifié des deux côtés")} << false;
}

void TestMerge::gitMerge()
{
    QFETCH(QString, name);
    QFETCH(QString, file);
    QFETCH(bool, clean);
    QFETCH(QStringList, said);
    QFETCH(bool, findingsUnion);
    const QByteArray base = fixture(name + QStringLiteral("/base.xml")), ours = fixture(name + QStringLiteral("/ours.xml")),
                     theirs = fixture(name + QStringLiteral("/theirs.xml")),
                     merged = fixture(name + QStringLiteral("/merged.xml")),
                     aside = fixture(name + QStringLiteral("/conflits.xml"));
    QVERIFY(!base.isEmpty() && !ours.isEmpty() && !theirs.isEmpty() && !merged.isEmpty());

    Repositories repos;
    QVERIFY(repos.start(file, base));
    QVERIFY(repos.commit(repos.alice(), file, theirs, QStringLiteral("Leur version")));
    QVERIFY(repos.ok(repos.alice(), {QStringLiteral("push"), QStringLiteral("-q"), QStringLiteral("origin"), QStringLiteral("main")}));
    QVERIFY(repos.commit(repos.bob(), file, ours, QStringLiteral("Notre version")));
    QVERIFY(repos.ok(repos.bob(), {QStringLiteral("fetch"), QStringLiteral("-q"), QStringLiteral("origin")}));
    const Ran merge = repos.git(repos.bob(), {QStringLiteral("merge"), QStringLiteral("--no-edit"), QStringLiteral("origin/main")});
    const QString told = QString::fromUtf8(merge.out + merge.err);
    QCOMPARE(merge.status == 0, clean);
    for (const QString &words : said)
        QVERIFY2(told.contains(words), qPrintable(told));

    // The book as the merge left it, the conflicts (theirs) beside it.
    const QString path = repos.bob() + QLatin1Char('/') + file;
    const QByteArray result = Support::readBytes(path);
    QCOMPARE(QString::fromUtf8(result), QString::fromUtf8(merged));
    const QString asidePath = repos.bob() + QLatin1Char('/') + QFileInfo(file).completeBaseName() + QStringLiteral(".conflits.xml");
    QCOMPARE(QFileInfo::exists(asidePath), !clean);
    if (!clean)
        QCOMPARE(QString::fromUtf8(Support::readBytes(asidePath)), QString::fromUtf8(aside));
    const Ran unmerged = repos.git(repos.bob(), {QStringLiteral("ls-files"), QStringLiteral("-u"), file});
    QCOMPARE(unmerged.out.isEmpty(), clean);
    // The conflicts file is the author's to read, never to commit by mistake.
    const Ran status = repos.git(repos.bob(), {QStringLiteral("status"), QStringLiteral("--porcelain")});
    QVERIFY2(!status.out.contains(".conflits.xml"), status.out.constData());

    // Every id once, the book read back.
    const Book book = read(result);
    QVERIFY(!book.isEmpty());
    QSet<QString> ids;
    for (int i = 0; i < book.size(); ++i)
        ids.insert(book.entry(i).id);
    QCOMPARE(ids.size(), book.size());

    if (findingsUnion) {
        // Theirs' findings with the numbers their entries took in the merge.
        QMap<int, int> moved;
        const QRegularExpression move(QStringLiteral("entrée (\\d+) ajoutée des deux côtés ; la leur devient (\\d+)"));
        for (auto m = move.globalMatch(told); m.hasNext();) {
            const auto found = m.next();
            moved.insert(EntryId::parse(found.captured(1)), EntryId::parse(found.captured(2)));
        }
        const Book theirBook = read(theirs);
        const Book theirsMoved = read(Renumbering::moving(moved).bytes(theirBook));
        QCOMPARE(theirsMoved.size(), theirBook.size());
        QCOMPARE(findings(book), findings(read(ours)) + findings(theirsMoved));
    }
}

void TestMerge::setupTwice()
{
    Repositories repos;
    QVERIFY(repos.start(QStringLiteral("livre.xml"), fixture(QStringLiteral("disjoint/base.xml"))));
    QVERIFY(repos.commit(repos.bob(), QStringLiteral("monstres.xml"), fixture(QStringLiteral("monsters-disjoint/base.xml")),
                         QStringLiteral("Les monstres")));
    QVERIFY(repos.commit(repos.bob(), QStringLiteral("notes/carte.xml"), "<carte><lieu nom=\"x\"/></carte>",
                         QStringLiteral("Pas un livre")));
    const QString attributes = repos.bob() + QStringLiteral("/.gitattributes");
    const Ran first = repos.setup(repos.bob());
    QCOMPARE(first.status, 0);
    const QByteArray once = Support::readBytes(attributes);
    QCOMPARE(once, QByteArray("/livre.xml merge=orvandel diff=orvandel\n/monstres.xml merge=orvandel\n"));
    QCOMPARE(repos.setup(repos.bob()).status, 0);
    QCOMPARE(Support::readBytes(attributes), once);
    const Ran driver = repos.git(repos.bob(), {QStringLiteral("config"), QStringLiteral("merge.orvandel.driver")});
    QVERIFY(driver.out.contains("orvandel-merge' %O %A %B --path %P"));
    const Ran textconv = repos.git(repos.bob(), {QStringLiteral("config"), QStringLiteral("diff.orvandel.textconv")});
    QVERIFY(textconv.out.contains("orvandel-export' --text"));
    const Ran check = repos.git(repos.bob(), {QStringLiteral("check-attr"), QStringLiteral("merge"), QStringLiteral("diff"),
                                              QStringLiteral("--"), QStringLiteral("livre.xml"), QStringLiteral("notes/carte.xml")});
    QCOMPARE(check.out, QByteArray("livre.xml: merge: orvandel\nlivre.xml: diff: orvandel\n"
                                   "notes/carte.xml: merge: unspecified\nnotes/carte.xml: diff: unspecified\n"));
}

void TestMerge::textDiff_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QStringList>("lines"); // lines of git's diff

    QTest::newRow("a monster and a new entry")
        << "disjoint/base.xml" << "disjoint/theirs.xml"
        << QStringList{QStringLiteral("-003 · Monstre 1 : Orque — habileté 7, endurance 9, victoire 042"),
                       QStringLiteral("+003 · Monstre 1 : Orque — habileté 7, endurance 12, victoire 042"),
                       QStringLiteral("+042 · Choix 1 : 043 — Ouvrir le coffre"),
                       QStringLiteral("+043 · Texte : Un trésor.")};
    QTest::newRow("a choice added, an entry gone")
        << "changed-deleted/base.xml" << "changed-deleted/theirs.xml"
        << QStringList{QStringLiteral("-000 · Choix 2 : 002 — Longer la rivière"),
                       QStringLiteral("-002 · Texte : La rivière gronde."),
                       QStringLiteral("-002 · Choix 1 : 003 — Traverser le gué")};
    QTest::newRow("entries in number order, whatever the file's order")
        << "text/order-before.xml" << "text/order-after.xml"
        << QStringList{QStringLiteral("-002 · Texte : Deux."), QStringLiteral("+002 · Texte : Deux, encore."),
                       QStringLiteral(" 010 · Texte : Dix."), QStringLiteral(" fin · Texte : Sans numéro.")};
}

void TestMerge::textDiff()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QStringList, lines);
    Repositories repos;
    QVERIFY(repos.start(QStringLiteral("livre.xml"), fixture(before)));
    QVERIFY(repos.commit(repos.bob(), QStringLiteral("livre.xml"), fixture(after), QStringLiteral("Changé")));
    const Ran diff = repos.git(repos.bob(), {QStringLiteral("diff"), QStringLiteral("-U100"), QStringLiteral("HEAD~1"),
                                             QStringLiteral("HEAD")});
    QCOMPARE(diff.status, 0);
    QCOMPARE(QString::fromUtf8(diff.err), QString()); // nothing but the text
    const QStringList shown = QString::fromUtf8(diff.out).split(QLatin1Char('\n'));
    for (const QString &line : lines)
        QVERIFY2(shown.contains(line), qPrintable(line + QStringLiteral("\n---\n") + shown.join(QLatin1Char('\n'))));
    // One block per entry, in number order.
    QStringList order;
    for (const QString &line : shown) {
        const QString id = line.mid(1).section(QStringLiteral(" · "), 0, 0);
        if (line.contains(QStringLiteral(" · ")) && !line.startsWith(QLatin1Char('-')) && order.value(order.size() - 1) != id)
            order << id;
    }
    QStringList sorted = order;
    std::stable_sort(sorted.begin(), sorted.end(), [](const QString &a, const QString &b) {
        return unsigned(EntryId::parse(a)) < unsigned(EntryId::parse(b));
    });
    QCOMPARE(order, sorted);
    QCOMPARE(QSet<QString>(order.begin(), order.end()).size(), order.size());
}

void TestMerge::threeWay_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("changes"); // on each side
    for (quint32 seed = 1; seed <= 60; ++seed)
        QTest::addRow("seed %u", seed) << seed << int(20 + seed % 4 * 20) << int(2 + seed % 7);
}

// Random edits on both sides of a generated book: nothing either side
// changed is lost, every id is held once, the merge reads back.
void TestMerge::threeWay()
{
    QFETCH(quint32, seed);
    QFETCH(int, entries);
    QFETCH(int, changes);
    const QByteArray base = generateBook(entries, seed);
    const QByteArray ours = edited(base, seed * 2, changes), theirs = edited(base, seed * 2 + 1, changes);
    BookMerge merge;
    QVERIFY2(merge.merge(base, ours, theirs), qPrintable(merge.errorString()));
    const Book result = read(merge.result());
    const Book aside = read(merge.conflictBook());
    QVERIFY(!result.isEmpty());
    QCOMPARE(merge.isClean(), merge.conflictBook().isNull());
    if (!merge.isClean())
        QCOMPARE(aside.size() > 0 || merge.conflicts().size() > 0, true);

    QSet<int> numbers;
    for (int i = 0; i < result.size(); ++i) {
        QVERIFY(result.number(i) >= 0);
        numbers.insert(result.number(i));
    }
    QCOMPARE(numbers.size(), result.size());

    const Book b = read(base), o = read(ours), t = read(theirs);
    // Ours' changes are all in the book; theirs' in the book or set aside,
    // with the numbers their entries moved to.
    for (const Entry &e : changedSince(b, o))
        QVERIFY2(holds(result, e), qPrintable(e.id));
    QMap<int, int> moved;
    for (const BookMerge::Move &m : merge.moves())
        moved.insert(EntryId::parse(m.from), EntryId::parse(m.to));
    const Renumbering renumbering = Renumbering::moving(moved);
    for (const Entry &e : changedSince(b, t)) {
        const Entry their = renumbering.renumbered(e);
        bool kept = holds(result, their);
        for (int k = 0; k < aside.size() && !kept; ++k)
            kept = aside.entry(k) == their;
        QVERIFY2(kept, qPrintable(their.id));
    }
    // What neither changed stays; what one deleted and the other left goes.
    for (int i = 0; i < b.size(); ++i) {
        const int inOurs = o.indexOfNumber(b.number(i)), inTheirs = t.indexOfNumber(b.number(i));
        const bool oursSame = inOurs >= 0 && o.entry(inOurs) == b.entry(i);
        const bool theirsSame = inTheirs >= 0 && t.entry(inTheirs) == b.entry(i);
        if (oursSame && theirsSame)
            QVERIFY(holds(result, b.entry(i)));
        if ((inOurs < 0 && theirsSame) || (inTheirs < 0 && oursSame))
            QCOMPARE(result.indexOfNumber(b.number(i)), -1);
    }
    // A clean merge without moves is the same whichever side merges.
    if (merge.isClean() && merge.moves().isEmpty()) {
        BookMerge other;
        QVERIFY(other.merge(base, theirs, ours));
        const Book mirror = read(other.result());
        QCOMPARE(mirror.size(), result.size());
        for (int i = 0; i < mirror.size(); ++i)
            QVERIFY2(holds(result, mirror.entry(i)), qPrintable(mirror.entry(i).id));
    }
}

void TestMerge::unreadable_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("ours");
    QTest::addColumn<QString>("theirs");
    const QString good = QStringLiteral("merge/disjoint/ours.xml");
    QTest::newRow("theirs not well-formed") << good << good << "book-broken.xml";
    QTest::newRow("ours not well-formed") << good << "book-broken.xml" << good;
    QTest::newRow("base not well-formed") << "book-broken.xml" << good << good;
    QTest::newRow("ours not UTF-8") << "book-latin1.xml" << "book-latin1.xml" << good;
    QTest::newRow("a version missing") << good << good << "merge/absent.xml";
}

// A version that cannot be read leaves ours as it was: status 2, nothing written.
void TestMerge::unreadable()
{
    QFETCH(QString, base);
    QFETCH(QString, ours);
    QFETCH(QString, theirs);
    QTemporaryDir dir;
    const QString oursPath = dir.filePath(QStringLiteral("livre.xml"));
    const QByteArray before = Support::readBytes(Support::fixture(ours));
    QVERIFY(Support::writeBytes(oursPath, before));
    const Ran ran = run(dir.path(), QStringLiteral(ORVANDEL_MERGE),
                        {Support::fixture(base), oursPath, Support::fixture(theirs)}, dir.path());
    QCOMPARE(ran.status, 2);
    QVERIFY(ran.err.startsWith("orvandel-merge: "));
    QCOMPARE(Support::readBytes(oursPath), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("livre.xml")});
}

void TestMerge::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said"); // on standard error
    const QString book = Support::fixture(QStringLiteral("merge/disjoint/base.xml"));
    QTest::newRow("two versions") << QStringList{book, book} << 2 << "il faut trois versions";
    QTest::newRow("four versions") << QStringList{book, book, book, book} << 2 << "argument en trop";
    QTest::newRow("--setup with two repositories") << QStringList{QStringLiteral("--setup"), book, book} << 2
                                                   << "--setup prend un dépôt au plus";
    QTest::newRow("--setup outside a repository") << QStringList{QStringLiteral("--setup"), QStringLiteral("/")} << 2
                                                  << "git rev-parse";
    QTest::newRow("an unknown option") << QStringList{QStringLiteral("--theirs")} << 2 << "option inconnue : --theirs";
}

void TestMerge::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, said);
    QTemporaryDir dir;
    const Ran ran = run(dir.path(), QStringLiteral(ORVANDEL_MERGE), args, dir.path());
    QCOMPARE(ran.status, status);
    QVERIFY2(QString::fromUtf8(ran.err).contains(said), ran.err.constData());
}

QTEST_GUILESS_MAIN(TestMerge)
#include "tst_merge.moc"
