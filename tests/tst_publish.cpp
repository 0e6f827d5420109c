// The book published for e-readers and for Twine: EPUBs that epubcheck
// accepts and whose pages follow the book; Twee stories that read back as
// the same book and that extwee, a parser of the Twine world, reads as
// Orvandel does; any Twine story made into a book.
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
#include <QXmlStreamReader>

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
    if (!reader.read(readBytes(path)))
        return Book();
    return reader.book();
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

// epubcheck as installed: Debian's is a jar, which needs java where jars
// do not run by themselves.
QStringList epubcheckCommand()
{
    const QString found = QStandardPaths::findExecutable(QStringLiteral("epubcheck"));
    if (found.isEmpty())
        return {};
    const QString jar = QFileInfo(found).canonicalFilePath();
    if (jar.endsWith(QLatin1String(".jar")))
        return {QStringLiteral("java"), QStringLiteral("-XX:TieredStopAtLevel=1"), QStringLiteral("-jar"), jar};
    return {found};
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
    void epubcheckAccepts_data();
    void epubcheckAccepts();
    void epubFollowsBook_data();
    void epubFollowsBook();
    void tweeReadsBack_data();
    void tweeReadsBack();
    void tweeThroughTwine_data();
    void tweeThroughTwine();
    void extweeReads_data();
    void extweeReads();
    void storyImported_data();
    void storyImported();
    void storyNumbered_data();
    void storyNumbered();
    void storyRefused_data();
    void storyRefused();

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

void TestPublish::epubcheckAccepts_data()
{
    QTest::addColumn<QString>("book");
    QTest::addColumn<QStringList>("options");
    // Every kind of section, texts that need escaping and references that
    // lead nowhere, right-to-left text, a book written by another tool, a
    // number borne twice.
    for (const char *name : {"print-every-section.xml", "twee-tricky.xml", "print-right-to-left.xml",
                             "book-foreign.xml", "check-flawed.xml"})
        QTest::newRow(name) << fixture(QLatin1String(name)) << QStringList();
    QTest::newRow("shuffled") << fixture(QStringLiteral("print-every-section.xml"))
                              << QStringList{"--renumber", "shuffle", "--seed", "5", "--title", "Les <Pièges> & co"};
    QTest::newRow("1,000 entries") << QString() << QStringList();
}

void TestPublish::epubcheckAccepts()
{
    QFETCH(QString, book);
    QFETCH(QStringList, options);
    const QStringList check = epubcheckCommand();
    if (check.isEmpty())
        QSKIP("epubcheck is not installed (tools/setup.sh installs it)");
    const QString epub = dir.filePath(QStringLiteral("checked.epub"));
    const Run made = exporter(QStringList{book.isEmpty() ? generated : book, "--epub", epub} + options);
    QVERIFY2(made.status == 0, made.err.constData());
    const Run checked = run(check.first(), check.mid(1) << epub);
    const QString said = QString::fromUtf8(checked.out + checked.err);
    QVERIFY2(checked.status == 0 && !said.contains(QLatin1String("ERROR")) && !said.contains(QLatin1String("FATAL")),
             qPrintable(said));
}

void TestPublish::epubFollowsBook_data()
{
    QTest::addColumn<QString>("book");
    QTest::addColumn<QStringList>("options");
    for (const QString &name : fixtureBooks(false))
        QTest::newRow(qPrintable(name)) << fixture(name) << QStringList();
    QTest::newRow("shuffled") << fixture(QStringLiteral("print-every-section.xml"))
                              << QStringList{"--renumber", "shuffle", "--seed", "5"};
    QTest::newRow("1,000 entries") << QString() << QStringList();
}

// The archive as readers take it, and each entry's page: in number order,
// every entry there once, every choice a link to its entry's section,
// every link to an entry it leads to, each monster in a table.
void TestPublish::epubFollowsBook()
{
    QFETCH(QString, book);
    QFETCH(QStringList, options);
    if (book.isEmpty())
        book = generated;
    const QString epub = dir.filePath(QStringLiteral("read.epub"));
    const Run made = exporter(QStringList{book, "--epub", epub} + options);
    QVERIFY2(made.status == 0, made.err.constData());
    Book expected = bookAt(book);
    BookReader renumbered;
    if (options.contains(QLatin1String("shuffle"))) {
        QVERIFY(renumbered.read(Renumbering::make(expected, Renumbering::Shuffle, 5).bytes(expected)));
        expected = renumbered.book();
    }

    // The mimetype first, stored, with no extra field.
    const QByteArray bytes = readBytes(epub);
    QCOMPARE(bytes.left(4), QByteArray("PK\x03\x04"));
    QCOMPARE(quint8(bytes.at(8)) | quint8(bytes.at(9)) << 8, 0);
    QCOMPARE(quint8(bytes.at(28)) | quint8(bytes.at(29)) << 8, 0);
    QCOMPARE(bytes.mid(30, 28), QByteArray("mimetypeapplication/epub+zip"));

    KZip zip(epub);
    QVERIFY(zip.open(QIODevice::ReadOnly));
    const auto content = [&zip](const QString &name) {
        const auto *file = dynamic_cast<const KArchiveFile *>(zip.directory()->entry(name));
        return file ? file->data() : QByteArray();
    };
    const QString package = QString::fromUtf8(content(QStringLiteral("EPUB/package.opf")));
    QHash<QString, QString> hrefs;
    for (auto it = QRegularExpression(QStringLiteral("<item id=\"([^\"]+)\" href=\"([^\"]+)\"")).globalMatch(package);
         it.hasNext();) {
        const auto m = it.next();
        hrefs.insert(m.captured(1), m.captured(2));
    }
    struct Section
    {
        int entry;
        QString file, heading;
        QStringList links;
        QString tables;
    };
    QVector<Section> sections;
    QHash<QString, int> anchors; // "file#id" -> section
    for (auto it = QRegularExpression(QStringLiteral("<itemref idref=\"([^\"]+)\"")).globalMatch(package);
         it.hasNext();) {
        const QString file = hrefs.value(it.next().captured(1));
        QXmlStreamReader page(content(QStringLiteral("EPUB/") + file));
        QVERIFY2(!page.atEnd(), qPrintable(file));
        int depth = 0, table = 0;
        while (!page.atEnd()) {
            page.readNext();
            if (page.isStartElement() && page.name() == QLatin1String("section")) {
                const QString id = page.attributes().value(QLatin1String("id")).toString();
                anchors.insert(file + QLatin1Char('#') + id, sections.size());
                sections.append({id.mid(1).toInt(), file, {}, {}, {}});
                depth = 1;
            } else if (depth > 0 && page.isStartElement()) {
                ++depth;
                table += page.name() == QLatin1String("table");
                if (page.name() == QLatin1String("a"))
                    sections.last().links << page.attributes().value(QLatin1String("href")).toString();
                if (page.name() == QLatin1String("h2")) {
                    sections.last().heading = page.readElementText(QXmlStreamReader::IncludeChildElements);
                    --depth;
                }
            } else if (depth > 0 && page.isEndElement()) {
                --depth;
                table -= page.name() == QLatin1String("table");
            } else if (table > 0 && page.isCharacters()) {
                sections.last().tables += page.text();
            }
        }
        QVERIFY2(!page.hasError(), qPrintable(file + QLatin1String(": ") + page.errorString()));
    }

    QCOMPARE(sections.size(), expected.size());
    qint64 last = -1;
    QSet<int> seen;
    for (const Section &s : qAsConst(sections)) {
        QVERIFY(s.entry >= 0 && s.entry < expected.size() && !seen.contains(s.entry));
        seen.insert(s.entry);
        const Entry &e = expected.entry(s.entry);
        // A line break is an element in the heading.
        QCOMPARE(s.heading, QString(e.id).remove(QLatin1Char('\n')));
        const qint64 number = expected.number(s.entry) < 0 ? qint64(1) << 40 : expected.number(s.entry);
        QVERIFY2(number >= last, qPrintable(s.heading));
        last = number;
        // Where the links lead, by the entries of the sections they reach.
        QVector<int> reached, leads;
        for (const QString &href : s.links) {
            QVERIFY2(anchors.contains(href), qPrintable(s.heading + QLatin1String(" -> ") + href));
            reached << sections.at(anchors.value(href)).entry;
        }
        for (const Reference &r : Reference::of(e))
            leads << expected.indexOfNumber(r.target);
        for (const int to : qAsConst(reached))
            QVERIFY2(leads.contains(to), qPrintable(s.heading + QLatin1String(" links to ") + expected.entry(to).id));
        for (const Entry::Choice &c : e.choices) {
            const int to = expected.indexOfNumber(EntryId::parse(c.value));
            if (to >= 0)
                QVERIFY2(reached.contains(to), qPrintable(s.heading + QLatin1String(": ") + c.value));
        }
        for (const Entry::Monster &m : e.monsters)
            QVERIFY2(s.tables.contains(m.name), qPrintable(s.heading + QLatin1String(": ") + m.name));
    }
}

void TestPublish::tweeReadsBack_data()
{
    QTest::addColumn<QString>("book");
    for (const QString &name : fixtureBooks(true))
        QTest::newRow(qPrintable(name)) << fixture(name);
    QTest::newRow("1,000 entries") << QString();
}

// Written as a Twine story and made into a book again, the book reads the
// same: its root, its entries in their order with every field, and each
// passage keeps its number. What the book's writer itself leaves out (a
// bonus of zeros, a flight without a round) is left out of both.
void TestPublish::tweeReadsBack()
{
    QFETCH(QString, book);
    if (book.isEmpty())
        book = generated;
    const QString twee = dir.filePath(QStringLiteral("back.twee")), back = dir.filePath(QStringLiteral("back.xml"));
    QFile::remove(back);
    Run done = exporter({book, "--twee", twee});
    QVERIFY2(done.status == 0, done.err.constData());
    done = exporter({"--import-twee", twee, "--output", back});
    QVERIFY2(done.status == 0 && !done.err.contains("ligne"), done.err.constData());
    QVERIFY(xmllintAccepts(back));
    const Book before = bookAt(book), after = bookAt(back);
    QVector<Entry> entries;
    for (int i = 0; i < before.size(); ++i)
        entries << before.entry(i);
    BookReader written;
    QVERIFY(written.read(EntryWriter::newBookText(before.rootName(), entries).toUtf8()));
    QCOMPARE(after.rootName(), before.rootName());
    QCOMPARE(after.size(), before.size());
    for (int i = 0; i < before.size(); ++i) {
        const Entry &a = after.entry(i), &b = before.entry(i);
        QCOMPARE(a.id, b.id);
        QCOMPARE(a.text, b.text);
        QCOMPARE(choicesOf(a), choicesOf(b));
        QCOMPARE(a.typeCodes(), b.typeCodes());
        QVERIFY2(a == written.book().entry(i), qPrintable(b.id));
    }
    const QStringList rows = QString::fromUtf8(readBytes(dir.filePath(QStringLiteral("back-passages.csv"))))
                                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), before.size() + 1);
    for (int i = 0; i < before.size(); ++i)
        QCOMPARE(rows.at(i + 1), before.entry(i).id + QLatin1Char(';') + before.entry(i).id);
}

void TestPublish::tweeThroughTwine_data()
{
    QTest::addColumn<QString>("book");
    QTest::newRow("every section") << fixture(QStringLiteral("print-every-section.xml"));
    QTest::newRow("brackets in choices") << fixture(QStringLiteral("twee-tricky.xml"));
}

// Twine keeps no metadata but a passage's place: the story comes back
// through its text and links alone, each choice still leading where it
// led, with its words.
void TestPublish::tweeThroughTwine()
{
    QFETCH(QString, book);
    const QString twee = dir.filePath(QStringLiteral("twine.twee")), back = dir.filePath(QStringLiteral("twine.xml"));
    QFile::remove(back);
    Run done = exporter({book, "--twee", twee});
    QVERIFY2(done.status == 0, done.err.constData());
    QString story = QString::fromUtf8(readBytes(twee));
    story.replace(QRegularExpression(QStringLiteral("^(::[^\\n]*?) \\{\"[^\\n]*$"),
                                     QRegularExpression::MultilineOption),
                  QStringLiteral("\\1"));
    QVERIFY(!story.contains(QLatin1String("\"orvandel\"")));
    QVERIFY(writeBytes(twee, story.toUtf8()));
    done = exporter({"--import-twee", twee, "--output", back});
    QVERIFY2(done.status == 0, done.err.constData());
    const Book before = bookAt(book), after = bookAt(back);
    QCOMPARE(after.size(), before.size());
    for (int i = 0; i < before.size(); ++i) {
        const Entry &b = before.entry(i), &a = after.entry(i);
        QCOMPARE(a.id, b.id);
        // The choices come last, after the links of fights, flight and luck.
        QVERIFY2(a.choices.size() >= b.choices.size(), qPrintable(b.id));
        const int first = a.choices.size() - b.choices.size();
        for (int c = 0; c < b.choices.size(); ++c) {
            const Entry::Choice &was = b.choices.at(c), &is = a.choices.at(first + c);
            const int to = before.indexOfNumber(EntryId::parse(was.value));
            QCOMPARE(is.value, to < 0 ? was.value : before.entry(to).id);
            if (!was.text.isEmpty() && !was.text.contains(QLatin1Char(']')))
                QCOMPARE(is.text, was.text.simplified());
        }
    }
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
    QCOMPARE(theirs.value("title").toString(), ours.title());
    QCOMPARE(ours.title(), QStringLiteral("L'{Épreuve} [du] \\ feu"));
    QCOMPARE(theirs.value("ifid").toString(), ours.ifid());
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-5[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$"))
                .match(ours.ifid())
                .hasMatch());
    const Book source = bookAt(book);
    QCOMPARE(theirs.value("start").toString(), source.entry(qMax(0, source.firstIndex())).id);
    const QJsonArray passages = theirs.value("passages").toArray();
    QCOMPARE(passages.size(), ours.passages().size());
    QCOMPARE(passages.size(), source.size());
    for (int k = 0; k < passages.size(); ++k) {
        const QJsonObject p = passages.at(k).toObject();
        QCOMPARE(p.value("name").toString(), source.entry(k).id);
        QCOMPARE(p.value("name").toString(), ours.passages().at(k).name);
        QCOMPARE(p.value("tags").toVariant().toStringList(), ours.passages().at(k).tags);
        QCOMPARE(p.value("metadata").toObject(), ours.passages().at(k).metadata);
        QVERIFY(p.value("metadata").toObject().contains(QLatin1String("orvandel")));
    }
    // Another export of the same book keeps its IFID.
    QVERIFY(exporter({book, "--twee", twee, "--title", "L'{Épreuve} [du] \\ feu"}).status == 0);
    TweeReader again;
    QVERIFY(again.read(readBytes(twee)));
    QCOMPARE(again.ifid(), ours.ifid());
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
    QCOMPARE(e.id, id);
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
    QTest::addColumn<QString>("numbers"); // passage=number, in the book's order
    QTest::addColumn<QString>("choices"); // of the first entry
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
}

void TestPublish::storyNumbered()
{
    QFETCH(QString, story);
    QFETCH(QString, numbers);
    QFETCH(QString, choices);
    const QString in = dir.filePath(QStringLiteral("numbered.twee")), out = dir.filePath(QStringLiteral("numbered.xml"));
    QFile::remove(out);
    QVERIFY(writeBytes(in, story.toUtf8()));
    const Run done = exporter({"--import-twee", in, "--output", out});
    QVERIFY2(done.status == 0, done.err.constData());
    const Book book = bookAt(out);
    QStringList got;
    const QStringList rows = QString::fromUtf8(readBytes(dir.filePath(QStringLiteral("numbered-passages.csv"))))
                                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (int i = 0; i < book.size(); ++i) {
        got << rows.value(i + 1).section(QLatin1Char(';'), 0, 0) + QLatin1Char('=') + book.entry(i).id;
        QCOMPARE(rows.value(i + 1).section(QLatin1Char(';'), 1), book.entry(i).id);
    }
    QCOMPARE(got.join(QLatin1Char(' ')), numbers);
    QCOMPARE(choicesOf(book.entry(0)), choices);
    // The reader starts at the start passage.
    QCOMPARE(book.firstIndex(), 0);
}

void TestPublish::storyRefused_data()
{
    QTest::addColumn<QString>("story");
    QTest::addColumn<QString>("said");
    QTest::newRow("a name twice") << ":: A\nun\n\n:: A\ndeux\n" << "ligne 4 : deux passages s'appellent « A »";
    QTest::newRow("no name") << ":: A\n[[B]]\n:: [étiquette]\nx\n" << "ligne 3 : un passage sans nom";
    QTest::newRow("tags not closed") << ":: A [b c\nx\n" << "ligne 1 : les étiquettes";
    QTest::newRow("no passage") << "Rien que du texte.\n" << "aucun passage";
    QTest::newRow("only the story's own") << ":: StoryTitle\nT\n:: JS [script]\nx\n" << "aucun passage";
}

// Nothing is written, and the line is said.
void TestPublish::storyRefused()
{
    QFETCH(QString, story);
    QFETCH(QString, said);
    QTemporaryDir folder;
    const QString in = folder.filePath(QStringLiteral("refusé.twee"));
    QVERIFY(writeBytes(in, story.toUtf8()));
    const Run done = exporter({"--import-twee", in, "--output", folder.filePath(QStringLiteral("livre.xml"))});
    QCOMPARE(done.status, 2);
    QVERIFY2(QString::fromUtf8(done.err).contains(said), done.err.constData());
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("refusé.twee")});
}

QTEST_MAIN(TestPublish)
#include "tst_publish.moc"
