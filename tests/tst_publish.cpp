// The book published for e-readers and for Twine: EPUBs that epubcheck
// accepts and whose pages follow the book; Twee stories that read back as
// the same book and that extwee, a parser of the Twine world, reads as
// Orvandel does; any Twine story made into a book.
#include "book/booktitle.h"
#include "analysis/renumbering.h"
#include "book/entryid.h"
#include "book/entrywriter.h"
#include "book/reference.h"
#include "bookgen.h"
#include "export/tweereader.h"
#include "support.h"

#include <KZip>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace Support;

namespace {

struct Run
{
    int status;
    QByteArray out, err;
};

Run run(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    process.waitForFinished(300000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

Run exporter(const QStringList &args)
{
    return run(QStringLiteral(ORVANDEL_EXPORT), args);
}

Book bookAt(const QString &path)
{
    BookReader reader;
    return reader.read(readBytes(path)) ? reader.book() : Book();
}

// The fixture books that read and hold entries; with `numbered`, only
// those whose every entry bears a number of its own, which a story keeps.
QStringList fixtureBooks(bool numbered)
{
    QStringList books;
    const QDir data(QStringLiteral(ORVANDEL_TEST_DATA));
    for (const QString &name : data.entryList({QStringLiteral("*.xml")}, QDir::Files)) {
        BookReader reader;
        if (!reader.read(readBytes(data.filePath(name))) || reader.book().isEmpty())
            continue;
        QSet<int> numbers;
        for (int i = 0; i < reader.book().size(); ++i)
            numbers.insert(reader.book().number(i));
        if (!numbered || (numbers.size() == reader.book().size() && !numbers.contains(-1)))
            books << name;
    }
    return books;
}

// The choices of an entry as "value:text|value:text".
QString choicesOf(const Entry &e)
{
    QStringList c;
    for (const Entry::Choice &choice : e.choices)
        c << choice.value + QLatin1Char(':') + choice.text;
    return c.join(QLatin1Char('|'));
}

} // namespace

class TestPublish : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void epubFollowsBook_data();
    void epubFollowsBook();
    void tweeReadsBack_data();
    void tweeReadsBack();
    void extweeReads_data();
    void extweeReads();
    void titlePublished_data();
    void titlePublished();
    void storyImported_data();
    void storyImported();
    void storyNumbered_data();
    void storyNumbered();

private:
    QTemporaryDir dir;
    QString generated;
};

void TestPublish::initTestCase()
{
    QVERIFY(dir.isValid());
    generated = dir.filePath(QStringLiteral("generated-1000.xml"));
    QVERIFY(writeBytes(generated, generateBook(1000)));
}

void TestPublish::epubFollowsBook_data()
{
    QTest::addColumn<QString>("book");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("epubcheck");
    // epubcheck (some seconds each) on every kind of section, texts that
    // need escaping, references that lead nowhere, right-to-left text, a
    // book written by another tool, a number borne twice.
    const QStringList checked{"print-every-section.xml", "twee-tricky.xml", "print-right-to-left.xml",
                              "book-foreign.xml", "check-flawed.xml"};
    for (const QString &name : fixtureBooks(false))
        QTest::newRow(qPrintable(name)) << fixture(name) << QStringList() << checked.contains(name);
    QTest::newRow("shuffled") << fixture(QStringLiteral("print-every-section.xml"))
                              << QStringList{"--renumber", "shuffle", "--seed", "5", "--title", "Les <Pièges> & co"}
                              << true;
    QTest::newRow("1,000 entries") << QString() << QStringList() << true;
}

// epubcheck finds no error; the archive is as readers take it, and the
// pages follow the book: in number order, every entry there once, every
// choice a link to its entry's section, every link to an entry it leads
// to, each monster in a table.
void TestPublish::epubFollowsBook()
{
    QFETCH(QString, book);
    QFETCH(QStringList, options);
    QFETCH(bool, epubcheck);
    const QString epub = dir.filePath(QStringLiteral("read.epub"));
    const Run made = exporter(QStringList{book.isEmpty() ? generated : book, "--epub", epub} + options);
    QVERIFY2(made.status == 0, made.err.constData());
    // Debian's epubcheck is a jar, run through java where jars do not run by themselves.
    const QString jar = QFileInfo(QStandardPaths::findExecutable(QStringLiteral("epubcheck"))).canonicalFilePath();
    if (epubcheck && jar.isEmpty())
        QSKIP("epubcheck is not installed (tools/setup.sh installs it)");
    if (epubcheck) {
        const Run checked = run(QStringLiteral("java"), {"-XX:TieredStopAtLevel=1", "-jar", jar, epub});
        const QString said = QString::fromUtf8(checked.out + checked.err);
        QVERIFY2(checked.status == 0 && !said.contains(QLatin1String("ERROR")) && !said.contains(QLatin1String("FATAL")),
                 qPrintable(said));
    }
    Book expected = bookAt(book.isEmpty() ? generated : book);
    BookReader renumbered;
    if (options.contains(QLatin1String("shuffle"))) {
        QVERIFY(renumbered.read(Renumbering::make(expected, Renumbering::Shuffle, 5).bytes(expected)));
        expected = renumbered.book();
    }
    // The mimetype first, stored (method 0), with no extra field.
    const QByteArray bytes = readBytes(epub);
    QCOMPARE(bytes.mid(8, 2) + bytes.mid(28, 2), QByteArray(4, '\0'));
    QCOMPARE(bytes.mid(30, 28), QByteArray("mimetypeapplication/epub+zip"));

    KZip zip(epub);
    QVERIFY(zip.open(QIODevice::ReadOnly));
    const auto content = [&zip](const QString &name) {
        const auto *file = dynamic_cast<const KArchiveFile *>(zip.directory()->entry(QStringLiteral("EPUB/") + name));
        return file ? QString::fromUtf8(file->data()) : QString();
    };
    // The pages in the reader's order, each entry's section in them.
    const QString package = content(QStringLiteral("package.opf"));
    const QRegularExpression itemref(QStringLiteral("<itemref idref=\"([^\"]+)\"")),
        section(QStringLiteral("<section class=\"entry\" id=\"e(\\d+)\"><h2[^>]*>(.*?)</h2>(.*?)</section>")),
        href(QStringLiteral("href=\"([^\"]+)\"")), table(QStringLiteral("<table>(.*?)</table>"));
    QVector<int> order;
    QHash<QString, int> anchors; // "file#e12" -> entry 12
    QVector<QStringList> links(expected.size());
    QVector<QString> tables(expected.size());
    for (auto it = itemref.globalMatch(package); it.hasNext();) {
        const QString id = it.next().captured(1);
        const QString file = QRegularExpression(QStringLiteral("id=\"%1\" href=\"([^\"]+)\"").arg(id))
                                 .match(package)
                                 .captured(1);
        const QString page = content(file);
        for (auto s = section.globalMatch(page); s.hasNext();) {
            const auto m = s.next();
            const int entry = m.captured(1).toInt();
            QVERIFY(entry < expected.size() && !order.contains(entry));
            // A line break is an element in the heading.
            QCOMPARE(m.captured(2).remove(QStringLiteral("<br/>")), QString(expected.entry(entry).id).remove(QLatin1Char('\n')).toHtmlEscaped());
            order << entry;
            anchors.insert(file + QStringLiteral("#e") + m.captured(1), entry);
            for (auto h = href.globalMatch(m.captured(3)); h.hasNext();)
                links[entry] << h.next().captured(1);
            for (auto t = table.globalMatch(m.captured(3)); t.hasNext();)
                tables[entry] += t.next().captured(1);
        }
    }
    QCOMPARE(order.size(), expected.size());
    for (int k = 1; k < order.size(); ++k)
        QVERIFY(quint32(expected.number(order.at(k - 1))) <= quint32(expected.number(order.at(k))));
    for (int i = 0; i < expected.size(); ++i) {
        const Entry &e = expected.entry(i);
        // Every link leads to an entry this one leads to; every choice has one.
        QVector<int> reached, leads;
        for (const QString &to : links.at(i)) {
            QVERIFY2(anchors.contains(to), qPrintable(e.id + QLatin1String(" -> ") + to));
            reached << anchors.value(to);
        }
        for (const Reference &r : Reference::of(e))
            leads << expected.indexOfNumber(r.target);
        for (const int to : qAsConst(reached))
            QVERIFY2(leads.contains(to), qPrintable(e.id + QLatin1String(" -> ") + expected.entry(to).id));
        for (const Entry::Choice &c : e.choices)
            QVERIFY2(expected.indexOfNumber(EntryId::parse(c.value)) < 0
                         || reached.contains(expected.indexOfNumber(EntryId::parse(c.value))),
                     qPrintable(e.id + QLatin1String(": ") + c.value));
        for (const Entry::Monster &m : e.monsters)
            QVERIFY2(tables.at(i).contains(m.name.toHtmlEscaped()), qPrintable(e.id + QLatin1String(": ") + m.name));
    }
}

void TestPublish::tweeReadsBack_data()
{
    QTest::addColumn<QString>("book");
    QTest::addColumn<bool>("throughTwine");
    for (const QString &name : fixtureBooks(true))
        QTest::newRow(qPrintable(name)) << fixture(name) << false;
    QTest::newRow("1,000 entries") << QString() << false;
    QTest::newRow("through Twine: every section") << fixture(QStringLiteral("print-every-section.xml")) << true;
    QTest::newRow("through Twine: brackets") << fixture(QStringLiteral("twee-tricky.xml")) << true;
}

// Written as a Twine story and made into a book again, the book reads the
// same: its root, its entries in their order with every field, and each
// passage keeps its number. What the book's writer itself leaves out (a
// bonus of zeros, a flight without a round) is left out of both. Twine
// keeps no metadata but a passage's place: through Twine, the story comes
// back through its text and links alone, each choice still leading where
// it led, with its words.
void TestPublish::tweeReadsBack()
{
    QFETCH(QString, book);
    QFETCH(bool, throughTwine);
    if (book.isEmpty())
        book = generated;
    const QString twee = dir.filePath(QStringLiteral("back.twee")), back = dir.filePath(QStringLiteral("back.xml"));
    QFile::remove(back);
    QFile::remove(BookTitle::pathFor(back));
    Run done = exporter({book, "--twee", twee, "--author", "Anne Lefèvre"});
    QVERIFY2(done.status == 0, done.err.constData());
    if (throughTwine) {
        const QString story = QString::fromUtf8(readBytes(twee)).replace(
            QRegularExpression(QStringLiteral("^(::[^\\n]*?) \\{\"[^\\n]*$"), QRegularExpression::MultilineOption),
            QStringLiteral("\\1"));
        QVERIFY(!story.contains(QLatin1String("\"orvandel\"")) && writeBytes(twee, story.toUtf8()));
    }
    done = exporter({"--import-twee", twee, "--output", back});
    QVERIFY2(done.status == 0 && !done.err.contains("ligne"), done.err.constData());
    QVERIFY(xmllintAccepts(back));
    const Book before = bookAt(book), after = bookAt(back);
    QVector<Entry> entries;
    for (int i = 0; i < before.size(); ++i)
        entries << before.entry(i);
    BookReader written;
    QVERIFY(written.read(EntryWriter::newBookText(before.rootName(), entries).toUtf8()));
    QCOMPARE(after.size(), before.size());
    for (int i = 0; i < before.size(); ++i) {
        const Entry &a = after.entry(i), &b = before.entry(i);
        QCOMPARE(a.id, b.id);
        if (!throughTwine) {
            QCOMPARE(choicesOf(a), choicesOf(b));
            QVERIFY2(a == written.book().entry(i), qPrintable(b.id));
            continue;
        }
        // The choices come last, after the links of fights, flight and luck.
        QVERIFY2(a.choices.size() >= b.choices.size(), qPrintable(b.id));
        for (int c = 0; c < b.choices.size(); ++c) {
            const Entry::Choice &was = b.choices.at(c), &is = a.choices.at(a.choices.size() - b.choices.size() + c);
            const int to = before.indexOfNumber(EntryId::parse(was.value));
            QCOMPARE(is.value, to < 0 ? was.value : before.entry(to).id);
            if (!was.text.isEmpty() && !was.text.contains(QLatin1Char(']')))
                QCOMPARE(is.text, was.text.simplified());
        }
    }
    QVERIFY(throughTwine || after.rootName() == before.rootName());
    BookTitle named;
    QVERIFY(named.read(back));
    QCOMPARE(named.author, QString("Anne Lefèvre"));
}

void TestPublish::extweeReads_data()
{
    QTest::addColumn<QString>("book");
    QTest::newRow("every section") << fixture(QStringLiteral("print-every-section.xml"));
    QTest::newRow("braces and brackets") << fixture(QStringLiteral("twee-tricky.xml"));
    QTest::newRow("another tool's book") << fixture(QStringLiteral("book-foreign.xml"));
    QTest::newRow("1,000 entries") << QString();
}

// extwee reads without a word the passages, tags and metadata Orvandel
// reads, the title, the start and the IFID.
void TestPublish::extweeReads()
{
    QFETCH(QString, book);
    const QString modules = QStringLiteral(ORVANDEL_NODE_MODULES);
    if (!QFileInfo::exists(modules + QLatin1String("/extwee/package.json")))
        QSKIP("extwee is not installed (./test installs it with tools/setup.sh)");
    if (book.isEmpty())
        book = generated;
    const QString twee = dir.filePath(QStringLiteral("extwee.twee"));
    const Run made = exporter({book, "--twee", twee, "--title", "L'{Épreuve} [du] \\ feu"});
    QVERIFY2(made.status == 0, made.err.constData());
    const Run parsed = run(QStringLiteral("node"), {QStringLiteral(ORVANDEL_TWEEPARSE), modules, twee});
    QVERIFY2(parsed.status == 0 && parsed.err.isEmpty(), parsed.err.constData());
    const QJsonObject theirs = QJsonDocument::fromJson(parsed.out).object();

    TweeReader ours;
    QVERIFY2(ours.read(readBytes(twee)), qPrintable(ours.errorString()));
    QCOMPARE(theirs.value("title").toString(), QStringLiteral("L'{Épreuve} [du] \\ feu"));
    QCOMPARE(theirs.value("ifid").toString(), ours.ifid());
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-5[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$"))
                .match(ours.ifid())
                .hasMatch());
    const Book source = bookAt(book);
    QCOMPARE(theirs.value("start").toString(), source.entry(qMax(0, source.firstIndex())).id);
    const QJsonArray passages = theirs.value("passages").toArray();
    QCOMPARE(passages.size(), source.size());
    QCOMPARE(ours.passages().size(), source.size());
    for (int k = 0; k < passages.size(); ++k) {
        const QJsonObject p = passages.at(k).toObject();
        QCOMPARE(p.value("name").toString(), source.entry(k).id);
        QCOMPARE(p.value("tags").toVariant().toStringList(), ours.passages().at(k).tags);
        QCOMPARE(p.value("metadata").toObject(), ours.passages().at(k).metadata);
        QVERIFY(p.value("metadata").toObject().contains(QLatin1String("orvandel")));
    }
}

void TestPublish::titlePublished_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QByteArray>("kept"); // beside the book
    QTest::addColumn<QStringList>("holds"); // what the output (for an EPUB, its package) says
    const QByteArray kept("titre=Le Manoir <des> Ombres & co\nauteur=Jeanne Martin\n");
    // (The PDF's, and a book without them: TestTools::printedFacts.)
    QTest::newRow("web page") << "--html" << kept
                              << QStringList{"<title>Le Manoir &lt;des&gt; Ombres &amp; co</title>",
                                             "<h1 id=\"titre\">Le Manoir &lt;des&gt; Ombres &amp; co</h1>",
                                             "<p id=\"auteur\">Jeanne Martin</p>"};
    QTest::newRow("page to print") << "--print-html" << kept
                                   << QStringList{"<title>Le Manoir &lt;des&gt; Ombres &amp; co</title>",
                                                  "<h1 align='center'>Le Manoir &lt;des&gt; Ombres &amp; co</h1>",
                                                  "Jeanne Martin"};
    QTest::newRow("EPUB") << "--epub" << kept
                          << QStringList{"<dc:title>Le Manoir &lt;des&gt; Ombres &amp; co</dc:title>",
                                         "<dc:creator>Jeanne Martin</dc:creator>"};
    QTest::newRow("Twee") << "--twee" << kept
                          << QStringList{":: StoryTitle\nLe Manoir <des> Ombres & co\n", "\"orvandel-author\": \"Jeanne Martin\""};
}

// The title and author kept beside the book are those every published
// form shows; without them, the book's root name read as words.
void TestPublish::titlePublished()
{
    QFETCH(QString, option);
    QFETCH(QByteArray, kept);
    QFETCH(QStringList, holds);
    QTemporaryDir folder;
    const QString book = folder.filePath(QStringLiteral("livre.xml")), out = folder.filePath(QStringLiteral("sortie"));
    QVERIFY(QFile::copy(fixture(QStringLiteral("print-facts.xml")), book) && writeBytes(book + QStringLiteral(".titre"), kept));
    const Run done = exporter({book, option, out});
    QVERIFY2(done.status == 0, done.err.constData());
    QString said = QString::fromUtf8(readBytes(out));
    if (option == QLatin1String("--epub")) {
        KZip zip(out);
        QVERIFY(zip.open(QIODevice::ReadOnly));
        const auto *package = dynamic_cast<const KArchiveFile *>(zip.directory()->entry(QStringLiteral("EPUB/package.opf")));
        QVERIFY(package);
        said = QString::fromUtf8(package->data());
    }
    for (const QString &h : holds)
        QVERIFY2(said.contains(h), qPrintable(h + QStringLiteral(" | ") + said.left(2000)));
}

void TestPublish::storyImported_data()
{
    QTest::addColumn<QString>("passage");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("choices");
    QTest::addColumn<QString>("types");
    // StoryData names the start; the others follow in the file's order,
    // the script and the style sheet left out.
    QTest::newRow("start, every link form") << "Orée du bois" << "001"
        << "Vous êtes à l'orée du bois. Un sentier s'enfonce vers le nord.\n:: une ligne qui commence par deux-points"
        << "003:sentier|004:La cabane|003:Aller à la clairière|003:Par le ruisseau|004:Entrer|Ailleurs:Nulle part"
        << "E,C";
    QTest::newRow("escaped name and tags") << "Chemin [nord]" << "002" << "Un loup surgit."
                                           << "001:Fuir|003:Combattre" << "A,Snuit] a\\b,C";
    QTest::newRow("escaped braces") << "Clairière {ronde}" << "003" << "Le soleil perce."
                                    << "001:Orée du bois|001:Revenir" << "L,C";
    QTest::newRow("an ending") << "La cabane" << "004" << "Fin." << "" << "X";
}

void TestPublish::storyImported()
{
    QFETCH(QString, passage);
    QFETCH(QString, id);
    QFETCH(QString, text);
    QFETCH(QString, choices);
    QFETCH(QString, types);
    const QString out = dir.filePath(QStringLiteral("forêt.xml"));
    QFile::remove(out);
    const Run done = exporter({"--import-twee", fixture(QStringLiteral("story-twine.twee")), "--output", out});
    QVERIFY2(done.status == 0 && !done.err.contains("ligne"), done.err.constData());
    const Book book = bookAt(out);
    QCOMPARE(book.rootName(), QStringLiteral("La_Forêt_des_Ombres"));
    QCOMPARE(book.size(), 4);
    const int i = book.indexOfNumber(EntryId::parse(id));
    QVERIFY(i >= 0);
    const Entry &e = book.entry(i);
    QCOMPARE(e.text, text);
    QCOMPARE(choicesOf(e), choices);
    QCOMPARE(e.typeCodes(), types);
    QCOMPARE(e.choiceActive, !choices.isEmpty());
    const QStringList rows = QString::fromUtf8(readBytes(dir.filePath(QStringLiteral("forêt-passages.csv"))))
                                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(rows.value(id.toInt()), passage + QLatin1Char(';') + id);
}

void TestPublish::storyNumbered_data()
{
    QTest::addColumn<QString>("story");
    QTest::addColumn<QString>("numbers"); // passage=number in the book's order; empty when refused
    QTest::addColumn<QString>("said");    // the first entry's choices, or why the story is refused
    QTest::newRow("numbers kept") << ":: 10\n[[20]]\n\n:: 20\n[[Retour->10]]\n" << "10=10 20=20" << "20:20";
    QTest::newRow("start not the lowest") << ":: StoryData\n{\"start\": \"20\"}\n\n:: 10\n[[20]]\n\n:: 20\n[[10]]\n"
                                          << "20=001 10=002" << "002:10";
    QTest::newRow("a passage named Start") << ":: Intro\n[[Start]]\n:: Start\n[[Plus loin|Intro]] [[x->7]]\n"
                                           << "Start=001 Intro=002" << "002:Plus loin|7:x";
    QTest::newRow("start unknown, then the first") << ":: StoryData\n{\"start\": \"Nulle part\"}\n:: B\n[[A]]\n:: A\n"
                                                   << "B=001 A=002" << "002:A";
    QTest::newRow("number twice") << ":: 1\n[[01]]\n:: 01\n" << "1=001 01=002" << "002:01";
    QTest::newRow("crlf and a byte-order mark") << "\xEF\xBB\xBF:: A\r\n[[B]]\r\n:: B\r\nFin\r\n" << "A=001 B=002"
                                                << "002:B";
    QTest::newRow("a name twice") << ":: A\nun\n\n:: A\ndeux\n" << "" << "ligne 4 : deux passages s'appellent « A »";
    QTest::newRow("no name") << ":: A\n[[B]]\n:: [étiquette]\nx\n" << "" << "ligne 3 : un passage sans nom";
    QTest::newRow("tags not closed") << ":: A [b c\nx\n" << "" << "ligne 1 : les étiquettes";
    QTest::newRow("no passage") << "Rien que du texte.\n" << "" << "aucun passage";
    QTest::newRow("only the story's own") << ":: StoryTitle\nT\n:: JS [script]\nx\n" << "" << "aucun passage";
}

// The reader starts at the start passage; a story refused writes nothing
// and says the line.
void TestPublish::storyNumbered()
{
    QFETCH(QString, story);
    QFETCH(QString, numbers);
    QFETCH(QString, said);
    QTemporaryDir folder;
    const QString in = folder.filePath(QStringLiteral("histoire.twee")), out = folder.filePath(QStringLiteral("n.xml"));
    QVERIFY(writeBytes(in, story.toUtf8()));
    const Run done = exporter({"--import-twee", in, "--output", out});
    if (numbers.isEmpty()) {
        QCOMPARE(done.status, 2);
        QVERIFY2(QString::fromUtf8(done.err).contains(said), done.err.constData());
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("histoire.twee")});
        return;
    }
    QVERIFY2(done.status == 0, done.err.constData());
    const Book book = bookAt(out);
    const QStringList rows = QString::fromUtf8(readBytes(folder.filePath(QStringLiteral("n-passages.csv"))))
                                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(QStringList(rows.mid(1)).replaceInStrings(QStringLiteral(";"), QStringLiteral("=")).join(' '), numbers);
    for (int i = 0; i < book.size(); ++i)
        QCOMPARE(book.entry(i).id, rows.value(i + 1).section(QLatin1Char(';'), 1));
    QCOMPARE(choicesOf(book.entry(0)), said);
    QCOMPARE(book.firstIndex(), 0);
}

QTEST_MAIN(TestPublish)
#include "tst_publish.moc"
