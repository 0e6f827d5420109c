// The book model and its files: the format to the byte, reading back, ids,
// numbering, changing one entry, and inputs nobody should have to write.
#include "book/atomicfile.h"
#include "book/bookfile.h"
#include "book/bookreader.h"
#include "book/entryid.h"
#include "book/entrywriter.h"
#include "book/filehistory.h"
#include "book/monsterlist.h"
#include "book/xmlscanner.h"
#include "support.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QLockFile>
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <thread>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Support;
Q_DECLARE_METATYPE(Entry)

namespace {

Entry withText(const QString &text)
{
    Entry e;
    e.id = "000";
    e.text = text;
    return e;
}

// Applies `edit`: only the edited bytes change, and the book in memory is
// what the new bytes read as.
bool editHolds(const Book &original, const Book::Edit &edit, Book *book)
{
    *book = original;
    book->apply(edit);
    const QByteArray &bytes = original.bytes();
    BookReader again;
    bool ok = book->bytes().startsWith(bytes.left(edit.at))
        && book->bytes().endsWith(bytes.mid(edit.at + edit.removed)) && again.read(book->bytes())
        && again.book().size() == book->size();
    for (int i = 0; ok && i < book->size(); ++i)
        ok = again.book().entry(i) == book->entry(i)
            && again.book().span(i).begin == book->span(i).begin
            && again.book().indexOfNumber(book->number(i)) == book->indexOfNumber(book->number(i));
    ok = ok && again.book().firstIndex() == book->firstIndex() && again.book().nextNumber() == book->nextNumber();
    if (ok && bytes.contains("\r\n")) // the file's own line ends, everywhere
        ok = book->bytes().count("\n") == book->bytes().count("\r\n");
    if (!ok)
        *book = Book();
    return ok;
}

} // namespace

class TestBook : public QObject
{
    Q_OBJECT

private slots:
    void element_data();
    void element();
    void typeCodes_data();
    void typeCodes();
    void entryIds_data();
    void entryIds();
    void entriesReadBackAsWritten();
    void writtenBackLosingNothing_data();
    void writtenBackLosingNothing();
    void nextNumber_data();
    void nextNumber();
    void edits_data();
    void edits();
    void removingEveryEntryThenAdding();
    void removalTakesItsLine_data();
    void removalTakesItsLine();
    void badInputs_data();
    void badInputs();
    void scannerReadsAsQtDoes_data();
    void scannerReadsAsQtDoes();
    void zeroWidthSpaceAtAnyOffset();
    void refusalNamesTheEncoding_data();
    void refusalNamesTheEncoding();
    void awkwardFiles_data();
    void awkwardFiles();
    void faultsSaidPlainly_data();
    void faultsSaidPlainly();
    void historyKeepsEveryVersion();
    void historyKeepsToItsFolder_data();
    void historyKeepsToItsFolder();
    void changeMadeWhileSavingIsSeen();
    void refusedSaves_data();
    void refusedSaves();
    void saveKeepsModeAndOwner();
    void changedOnDiskIsNeverOverwritten();
    void bytesReadBackFromTheFile_data();
    void bytesReadBackFromTheFile();
    void writeErrorsAreReported();
    void monsterList();
};

// Each row's element, byte for byte, stands in data/format/<row>.xml.
void TestBook::element_data()
{
    QTest::addColumn<Entry>("entry");
    Entry e = withText("T");
    e.types.choice = e.choiceActive = true;
    e.choices = {{"V", "W"}};
    QTest::newRow("one-choice") << e;
    e = withText("B");
    e.bonus.habilete = 2;
    QTest::newRow("bonus-all-three-lines") << e;
    e.bonus = {true, 0, -2, 0};
    QTest::newRow("penalty") << e;
    e = withText("F");
    e.flee = {true, false, 2, "12"};
    QTest::newRow("flight") << e;
    e.flee.round = 0;
    QTest::newRow("flight-without-round") << e;
    e = withText("M");
    e.monsterType = "R";
    e.monsters = {{"Orque", "7", "9", "3"}, {"Loup", "5", "4", "4"}};
    QTest::newRow("monsters") << e;
    e = withText("L");
    e.luck = {true, "5", "Ouf", "", ""};
    QTest::newRow("luck-unlucky-pair-empty") << e;
    e = withText("O");
    e.objects = {{"Épée", "0", "1", "1", "0", "0", "3", "1", "clé"}};
    QTest::newRow("object") << e;
    e = withText("Tout");
    e.bonus.chance = 1;
    e.flee = {false, true, 1, "9"};
    e.monsters = {{"Rat", "1", "1", "2"}};
    e.luck = {false, "3", "a", "4", "b"};
    e.choices = {{"5", "c"}};
    QTest::newRow("section-order") << e;
    // Reserved characters become references; tabs and line ends stay in
    // texts but not in attributes; what XML cannot carry is left out.
    e = withText("a<b & \"c\"\n\td\x01");
    e.choices = {{"1\t\"2\"\n", "x\ry"}};
    QTest::newRow("escaping") << e;
}

void TestBook::element()
{
    QFETCH(Entry, entry);
    const QString expected = QString::fromUtf8(
        readBytes(fixture(QString("format/%1.xml").arg(QLatin1String(QTest::currentDataTag())))));
    QVERIFY(!expected.isEmpty());
    QCOMPARE(EntryWriter::elementXml(entry), expected);
    // A new book is that element between the declaration and the root.
    QCOMPARE(EntryWriter::newBookText("Livre", entry),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Livre>\n\t" + expected + "\n</Livre>");
}

void TestBook::typeCodes_data()
{
    QTest::addColumn<QString>("boxes"); // letters of the checked boxes, "O" for one object
    QTest::addColumn<QString>("special");
    QTest::addColumn<QString>("codes");
    QTest::newRow("none") << "" << "" << "X";
    QTest::newRow("eat and choice") << "EC" << "" << "E,C";
    QTest::newRow("everything") << "EBOLAFSC" << "12" << "E,B,O,L,A,F,S12,C";
    QTest::newRow("special alone, empty") << "S" << "" << "S";
    QTest::newRow("object only") << "O" << "" << "O";
    QTest::newRow("special text with commas") << "SC" << "a,b" << "Sa,b,C";
    QTest::newRow("special text ending in ,C") << "S" << "x,C" << "Sx,C";
}

void TestBook::typeCodes()
{
    QFETCH(QString, boxes);
    QFETCH(QString, special);
    QFETCH(QString, codes);
    Entry e;
    Entry::Types &t = e.types;
    t.eat = boxes.contains('E');
    t.bonus = boxes.contains('B');
    t.luck = boxes.contains('L');
    t.attack = boxes.contains('A');
    t.flee = boxes.contains('F');
    t.special = boxes.contains('S');
    t.choice = boxes.contains('C');
    t.specialText = special;
    if (boxes.contains('O'))
        e.objects.append(Entry::Object());
    QCOMPARE(e.typeCodes(), codes);
    // Read back into boxes, the codes write the same text again.
    e.types = Entry::parseTypeCodes(codes);
    QCOMPARE(e.typeCodes(), codes);
}

void TestBook::entryIds_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("number");
    QTest::newRow("plain") << "12" << 12;
    QTest::newRow("leading zeros") << "012" << 12;
    QTest::newRow("spaces around") << " 7 " << 7;
    QTest::newRow("largest") << "999999999" << 999999999;
    for (const char *bad : {"", "+1", "-3", "1e3", "0x10", "fin", "1 2", "1000000000", "2147483648"})
        QTest::newRow(bad) << QString::fromLatin1(bad) << -1;
    QTest::newRow("full-width digits") << "\uFF11\uFF12" << -1;
}

void TestBook::entryIds()
{
    QFETCH(QString, text);
    QFETCH(int, number);
    QCOMPARE(EntryId::parse(text), number);
}

// Random entries, hostile texts included, come back from their element as
// they went in.
void TestBook::entriesReadBackAsWritten()
{
    QRandomGenerator random(20261207);
    const QStringList pieces{"a", "é", "&",
                             "<", ">", "\"",
                             "'", "\t", "\n",
                             "\r", " ", "]]>",
                             ",", "C", "\U0001F409"};
    auto text = [&](int most = 6) {
        QString s;
        for (int n = random.bounded(most + 1); n > 0; --n)
            s += pieces.at(random.bounded(pieces.size()));
        return s;
    };
    auto some = [&](int most) { return random.bounded(most + 1); };
    for (int round = 0; round < 300; ++round) {
        Entry e;
        e.id = text();
        e.text = text(20);
        e.types = {bool(some(1)), bool(some(1)), bool(some(1)), bool(some(1)), bool(some(1)),
                   bool(some(1)), bool(some(1)), text()};
        e.bonus = {bool(some(1)), some(198) - 99, some(2) - 1, some(2)};
        e.flee = {bool(some(1)), bool(some(1)), some(3), text()};
        e.luck = {bool(some(1)), text(), text(), text(), text()};
        e.monsterType = text(2);
        for (int n = some(2); n > 0; --n)
            e.monsters.append({text(), text(), text(), text()});
        for (int n = some(2); n > 0; --n)
            e.objects.append({text(), text(), text(), text(), text(), text(), text(), text(), text()});
        e.choiceActive = some(1);
        for (int n = some(3); n > 0; --n)
            e.choices.append({text(), text()});

        const QString xml = EntryWriter::elementXml(e);
        Entry back = BookReader::readElement(xml.toUtf8());
        QCOMPARE(back.typeCodes(), e.typeCodes());
        back.types = e.types; // a special text ending in ",C" reads back as the box
        // Absent sections read back empty; the rest exactly.
        if (!e.hasBonus())
            e.bonus = {};
        if (!e.hasFlee())
            e.flee = {};
        if (!e.hasLuck())
            e.luck = {};
        if (e.monsters.isEmpty())
            e.monsterType = "U";
        if (e.choices.isEmpty())
            e.choiceActive = false;
        if (!(back == e))
            QFAIL(qPrintable(QString("round %1 differs:\n%2\n%3")
                                 .arg(round).arg(xml, EntryWriter::elementXml(back))));
    }
}

void TestBook::writtenBackLosingNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("ownLayout");
    QTest::newRow("own layout") << "book-own.xml" << true;
    QTest::newRow("benchmark's book") << "check-flawed.xml" << true;
    QTest::newRow("from elsewhere, CR LF") << "book-foreign-crlf.xml" << false;
    QTest::newRow("from elsewhere, unknown elements") << "book-foreign.xml" << false;
}

void TestBook::writtenBackLosingNothing()
{
    QFETCH(QString, name);
    QFETCH(bool, ownLayout);
    const QByteArray bytes = readBytes(fixture(name));
    BookReader reader;
    QVERIFY2(reader.read(bytes), qPrintable(reader.errorString()));
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QString error;
    QVERIFY(EntryWriter::writeBook(reader.book(), &out, &error));
    if (ownLayout)
        QCOMPARE(out.data(), bytes);
    BookReader again;
    QVERIFY(again.read(out.data()));
    QCOMPARE(again.book().size(), reader.book().size());
    for (int i = 0; i < reader.book().size(); ++i)
        QVERIFY(again.book().entry(i) == reader.book().entry(i));
}

void TestBook::nextNumber_data()
{
    QTest::addColumn<QByteArray>("bytes"); // null: no file
    QTest::addColumn<int>("next");
    auto book = [](std::initializer_list<const char *> ids) {
        QByteArray b = "<Livre>";
        for (const char *id : ids)
            b += QByteArray("<Attr id=\"") + id + "\"><Text>t</Text><Type>X</Type></Attr>";
        return b + "</Livre>";
    };
    QTest::newRow("no file") << QByteArray() << 0;
    QTest::newRow("empty file") << QByteArray("") << 0;
    QTest::newRow("blank lines") << QByteArray("\n \r\n\t\n") << 0;
    QTest::newRow("000 to 005") << book({"000", "001", "002", "003", "004", "005"}) << 6;
    QTest::newRow("highest counts, not last") << book({"005", "003"}) << 6;
    QTest::newRow("ids that are no numbers") << book({"002", "fin", "0x10", "-3", "1e3", "+7"}) << 3;
    QTest::newRow("no numbers at all") << book({"fin"}) << 0;
    QTest::newRow("998") << book({"998"}) << 999;
    QTest::newRow("999") << book({"999"}) << 1000;
    QTest::newRow("largest taken") << book({"999999999"}) << -1;
    QTest::newRow("root without entries") << QByteArray("<Livre/>") << 0;
    QTest::newRow("not XML") << QByteArray("Chapitre 1") << 1;
}

void TestBook::nextNumber()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, next);
    QTemporaryDir dir;
    const QString path = dir.filePath("livre.xml");
    if (!bytes.isNull())
        QVERIFY(writeBytes(path, bytes));
    BookFile file;
    file.open(path);
    QCOMPARE(file.nextNumber(), next);
}

void TestBook::edits_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("newBytes"); // how a new entry lands, @@ standing for it
    const QByteArray own = readBytes(fixture("book-own.xml"));
    QTest::newRow("own layout: after the last \\t</Attr>")
        << own << QByteArray(own).replace("\n</Aventure>", "\t@@\n</Aventure>");
    QTest::newRow("CR LF") << readBytes(fixture("book-foreign-crlf.xml")) << QByteArray();
    QTest::newRow("unknown elements") << readBytes(fixture("book-foreign.xml")) << QByteArray();
    QTest::newRow("empty root") << QByteArray("<a b=\"1\"/>") << QByteArray("<a b=\"1\">\n\t@@\n</a>");
    QTest::newRow("root without entries") << QByteArray("<a></a>") << QByteArray("<a>\n\t@@</a>");
}

// Adding, replacing and removing an entry change that entry's bytes and no
// other, and the book in memory stays what the file reads as.
void TestBook::edits()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, newBytes);
    BookReader reader;
    QVERIFY(reader.read(bytes));
    const Book original = reader.book();
    Entry fresh = withText("Nouvelle\nentrée");
    fresh.id = "77";
    fresh.choices = {{"1", "Retour"}};

    Book added;
    QVERIFY(editHolds(original, original.appending(fresh), &added));
    QCOMPARE(added.entry(original.size()).text, fresh.text);
    // Numbers far beyond the others, then back among them.
    Entry far = fresh;
    far.id = "500000000";
    Book farther, back;
    QVERIFY(editHolds(added, added.appending(far), &farther));
    QCOMPARE(farther.indexOfNumber(500000000), added.size());
    QCOMPARE(farther.indexOfNumber(77), original.size());
    QVERIFY(editHolds(farther, farther.removing(added.size()), &back));
    QCOMPARE(back.indexOfNumber(500000000), -1);
    if (!newBytes.isEmpty())
        QCOMPARE(added.bytes(), newBytes.replace("@@", added.encoded(EntryWriter::elementXml(fresh))));
    for (int i = 0; i < original.size(); ++i) {
        Book same = original;
        same.apply(original.replacing(i, original.entry(i)));
        if (!newBytes.isEmpty())
            QCOMPARE(same.bytes(), bytes);
        Book book;
        QVERIFY(editHolds(original, original.replacing(i, fresh), &book));
        QVERIFY(editHolds(original, original.removing(i), &book));
    }
}

void TestBook::removalTakesItsLine_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("left"); // the file once that entry is removed
    const QByteArray lines = "<a>\n  <e id=\"1\"/>\n  <e id=\"2\"/> <e id=\"3\"/>\n</a>";
    QTest::newRow("alone on its line") << lines << 0 << QByteArray("<a>\n  <e id=\"2\"/> <e id=\"3\"/>\n</a>");
    QTest::newRow("another after it") << lines << 1 << QByteArray("<a>\n  <e id=\"1\"/>\n <e id=\"3\"/>\n</a>");
    QTest::newRow("another before it") << lines << 2 << QByteArray("<a>\n  <e id=\"1\"/>\n  <e id=\"2\"/>\n</a>");
    QTest::newRow("CR LF") << QByteArray("<a>\r\n\t<e id=\"1\"/>\t\r\n\t<e id=\"2\"/>\r\n</a>") << 0
                           << QByteArray("<a>\r\n\t<e id=\"2\"/>\r\n</a>");
    QTest::newRow("a long run of blanks") << "<a>\n" + QByteArray(1000, ' ') + "<e id=\"1\"/>" + QByteArray(700, '\t') + "\n</a>"
                                          << 0 << QByteArray("<a>\n</a>");
}

// An entry alone on its line goes with its line, otherwise with the white
// space before it on its line, whether the book's bytes are in memory or
// read back from its file around the entry.
void TestBook::removalTakesItsLine()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, index);
    QFETCH(QByteArray, left);
    BookReader reader;
    QVERIFY(reader.read(bytes));
    Book book = reader.book();
    book.apply(book.removing(index));
    QCOMPARE(book.bytes(), left);
    QTemporaryDir dir;
    const QString path = dir.filePath("livre.xml");
    QVERIFY(writeBytes(path, bytes));
    BookFile file;
    QVERIFY(file.open(path));
    QVERIFY(file.remove(index));
    QCOMPARE(readBytes(path), left);
}

// Emptied entry by entry, a book in the program's layout takes a new first
// entry in that layout again.
void TestBook::removingEveryEntryThenAdding()
{
    BookReader reader;
    QVERIFY(reader.read(readBytes(fixture("book-own.xml"))));
    Book book = reader.book();
    while (!book.isEmpty())
        book.apply(book.removing(book.size() / 2));
    const Entry e = withText("Seule");
    book.apply(book.appending(e));
    QCOMPARE(QString::fromUtf8(book.bytes()), EntryWriter::newBookText("Aventure", e));
}

void TestBook::badInputs_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("canAdd");
    const QByteArray own = readBytes(fixture("book-own.xml"));
    QTest::newRow("an icon (NUL first)") << QByteArray("\0\0\1\0\1\0\x10\x10", 8) + QByteArray(10000, '\x7f')
                                          << int(BookFile::Unreadable) << false;
    QTest::newRow("a book after a NUL byte") << QByteArray(1, '\0') + own << int(BookFile::Unreadable) << false;
    QTest::newRow("NUL inside") << QByteArray("<Livre>\0</Livre>", 16) << int(BookFile::Unreadable) << false;
    const QString utf16("<Livre><Attr id=\"0\"/></Livre>");
    QTest::newRow("UTF-16 without BOM") << QByteArray(reinterpret_cast<const char *>(utf16.utf16()), utf16.size() * 2)
                                     << -1 << false;
    QTest::newRow("byte-order mark") << "\xEF\xBB\xBF" + own << int(BookFile::Readable) << true;
    QTest::newRow("Latin-1 bytes in UTF-8") << QByteArray("<Livre><Attr id=\"0\"><Text>For\xEAt</Text></Attr></Livre>")
                                         << int(BookFile::Unreadable) << false;
    QTest::newRow("declared ISO-8859-1") << readBytes(fixture("book-latin1.xml"))
                                      << int(BookFile::Readable) << false;
    QTest::newRow("text, not XML") << QByteArray("Chapitre 1\nIl était une fois") << int(BookFile::Unreadable) << false;
    QTest::newRow("entity declared") << QByteArray("<!DOCTYPE L [<!ENTITY e \"xxxxxxxx\">]><L><Attr id=\"0\"><Text>&e;&e;</Text></Attr></L>")
                                  << int(BookFile::Unreadable) << false;
    QTest::newRow("junk after the root") << own + "<Livre/>" << int(BookFile::Unreadable) << false;
    QTest::newRow("attribute name with $") << QByteArray("<Livre><Attr i$d=\"0\"/></Livre>") << int(BookFile::Unreadable) << false;
    QTest::newRow("markup in a text") << QByteArray("<Livre><Attr id=\"0\"><Text>la <i>forêt</i></Text></Attr></Livre>")
                                   << int(BookFile::Readable) << true;
    QTest::newRow("deep nesting") << QByteArray("<Livre><Attr id=\"3\">") + QByteArray("<a>").repeated(100000)
                                         + QByteArray("</a>").repeated(100000) + "</Attr></Livre>"
                               << int(BookFile::Readable) << true;
}

// Whatever the file holds, it is either read or refused, and a file that is
// not a book Orvandel can write into is never written.
void TestBook::badInputs()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, state);
    QFETCH(bool, canAdd);
    QTemporaryDir dir;
    const QString path = dir.filePath("livre.xml");
    QVERIFY(writeBytes(path, bytes));
    BookFile file;
    file.open(path);
    if (state >= 0)
        QCOMPARE(int(file.state()), state);
    QVERIFY(file.state() != BookFile::New);
    Entry e = withText("Nouvelle");
    e.id = QString::number(file.nextNumber());
    QCOMPARE(file.append(e, "Livre"), canAdd);
    if (!canAdd) {
        QVERIFY(!file.errorString().isEmpty());
        QCOMPARE(readBytes(path), bytes);
    } else {
        QVERIFY(xmllintAccepts(path));
        QVERIFY(readBytes(path).startsWith(bytes.left(file.book().span(0).begin)));
    }
}

void TestBook::scannerReadsAsQtDoes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("scanned"); // false: the scanner leaves it to QXmlStreamReader
    const auto row = [](const char *name, const QByteArray &bytes, bool scanned) {
        QTest::newRow(name) << bytes << scanned;
    };
    for (const char *name : {"book-own.xml", "book-foreign.xml", "book-foreign-crlf.xml", "check-flawed.xml",
                             "play-rules.xml"})
        row(name, readBytes(fixture(name)), true);
    row("byte-order mark", "\xEF\xBB\xBF" + readBytes(fixture("book-own.xml")), true);
    row("references", "<L><Attr id=\"&#x31;2\" x=\"a&amp;b&lt;&gt;&quot;&apos;\"><Text>&#233;t&#xE9; &amp; &lt;&#x1F600;</Text>"
                      "<Choices><Elem Value=\"&#51;\">a&gt;b</Elem></Choices></Attr></L>", true);
    row("white space in values", "<L><Attr id=\"1\" x=\"a\tb\nc\r\nd\re  f\" y='&#9;&#10;&#13;'/></L>", true);
    row("line ends in texts", "<L>\r\n<Attr id=\"1\"><Text>a\r\nb\rc\n\r\nd<![CDATA[e\r\nf\rg]]></Text></Attr>\r\n</L>\r\n", true);
    row("CDATA", "<L><Attr id=\"1\"><Text>x<![CDATA[<i>&amp;]]]]><![CDATA[>]]></Text></Attr></L>", true);
    row("comments and instructions", "<?xml version='1.0' standalone='yes'?>\n<?xml-stylesheet href=\"a\"?><!-- a - b -->"
                                     "<L><!--x--><Attr id=\"1\"><?pi x?><Text>a<!-- b -->c<?p?>d</Text></Attr><?q?></L>\n<!--fin-->\n", true);
    row("markup in texts", "<L><Attr id=\"1\"><Text>la <i>for<b>ê</b>t</i><br/>.</Text><Choices active=\"1\">"
                           "<x Value=\"2\">un <em>pas</em></x><Elem Value=\"3\"/></Choices></Attr></L>", true);
    row("empty elements", "<L><Attr id=\"1\"/><Attr id=\"2\"><Text/><Bonus active=\"1\"><Elem Name=\"chance\" Value=\"2\"/></Bonus>"
                          "<Flee active=\"1\" Round=\"2\" Ref=\"1\"/><Luck><Lucky Value=\"1\"/><Unlucky Value=\"2\">non</Unlucky></Luck>"
                          "<Objects><Elem exchange=\"1\"><Gold Value=\"3\"/><Other>o</Other></Elem></Objects></Attr></L>", true);
    row("empty root", "<?xml version=\"1.0\" encoding=\"utf-8\"?><L a='1' />", true);
    row("spaces in tags", "<L ><Attr  id = '1'\n\tx=\"2\" ><Text >t</Text ></Attr\n></L >", true);
    row("unknown children", "<L>\n  <e id=\"1\" k=\"v\">\n\t<Note a=\"b\">n<i/></Note>\n <Text>t</Text>  <Autre/></e>\n</L>", true);
    row("default namespace", "<L xmlns=\"urn:l\"><Attr id=\"1\" xmlns=\"urn:a\" k=\"v\"/></L>", true);
    row("text beside the entries", "<L>avant <Attr id=\"1\"/> ]] > ] entre<Attr id=\"2\"/>après</L>", true);
    row("U+FEFF first in values", "<L><Attr id=\"\xEF\xBB\xBF\xEF\xBB\xBF" "1\"><Text>&#xFEFF;\xEF\xBB\xBFt</Text></Attr></L>", true);
    row("characters past ASCII", "<L><Attr id=\"1\" x=\"\xC2\x85\xEF\xBF\xBD\"><Text>\xC2\x80\xF0\x9F\x98\x80\xE2\x80\xA8</Text></Attr></L>", true);
    row("deep markup", "<L><Attr id=\"3\"><Text>" + QByteArray("<a>").repeated(100000) + "x" + QByteArray("</a>").repeated(100000)
                           + "</Text></Attr></L>", true);

    row("DOCTYPE", "<!DOCTYPE L><L><Attr id=\"1\"><Text>t</Text></Attr></L>", false);
    row("entity declared", "<!DOCTYPE L [<!ENTITY e \"x\">]><L><Attr id=\"0\"><Text>&e;</Text></Attr></L>", false);
    row("unknown entity", "<L><Attr id=\"0\"><Text>&eacute;</Text></Attr></L>", false);
    row("declared ISO-8859-1", readBytes(fixture("book-latin1.xml")), false);
    row("Latin-1 bytes in UTF-8", "<L><Attr id=\"0\"><Text>For\xEAt</Text></Attr></L>", false);
    row("overlong UTF-8", "<L><Attr id=\"0\"><Text>\xC0\xAF</Text></Attr></L>", false);
    row("surrogate in UTF-8", "<L><Attr id=\"0\" x=\"\xED\xA0\x80\"/></L>", false);
    row("U+FFFE", "<L><Attr id=\"0\"><Text>\xEF\xBF\xBE</Text></Attr></L>", false);
    row("control character", "<L><Attr id=\"0\"><Text>a\x01</Text></Attr></L>", false);
    row("NUL", QByteArray("<L><Attr id=\"0\"/>\0</L>", 20), false);
    row("reference to NUL", "<L><Attr id=\"0\"><Text>&#0;</Text></Attr></L>", false);
    row("reference past Unicode", "<L><Attr id=\"&#x110000;\"/></L>", false);
    row("reference without digits", "<L><Attr id=\"&#;\"/></L>", false);
    row("namespaces", "<L xmlns:x=\"u\"><x:Attr id=\"1\"/></L>", false);
    row("name past ASCII", "<Livre><Entrée id=\"1\"/></Livre>", false);
    row("name with $", "<Livre><Attr i$d=\"0\"/></Livre>", false);
    row("]]> in a text", "<L><Attr id=\"0\"><Text>a]]>b</Text></Attr></L>", false);
    row("]]> with a reference", "<L><Attr id=\"0\"><Text>&#93;]></Text></Attr></L>", false);
    row("] as a reference in a value", "<L><Attr id=\"0\" x=\"&#x5D;]>\"/></L>", false);
    row("a name past 4 KiB", "<L><" + QByteArray(4097, 'n') + "/></L>", false);
    row("-- in a comment", "<L><!-- a -- b --><Attr id=\"0\"/></L>", false);
    row("comment ending --->", "<L><!-- a ---><Attr id=\"0\"/></L>", false);
    row("mismatched tags", "<L><Attr id=\"0\"><Text>a</Txt></Attr></L>", false);
    row("unclosed", "<L><Attr id=\"0\"><Text>a", false);
    row("junk after the root", "<L/><L/>", false);
    row("text after the root", "<L/>fin", false);
    row("text before the root", "début<L/>", false);
    row("two attributes alike", "<L><Attr id=\"0\" id=\"1\"/></L>", false);
    row("attributes run together", "<L><Attr id=\"0\"x=\"1\"/></L>", false);
    row("< in a value", "<L><Attr id=\"<\"/></L>", false);
    row("unquoted value", "<L><Attr id=0/></L>", false);
    row("declaration not first", " <?xml version=\"1.0\"?><L/>", false);
    row("declaration twice", "<?xml version=\"1.0\"?><?xml version=\"1.0\"?><L/>", false);
    row("version 1.1", "<?xml version=\"1.1\"?><L/>", false);
    row("encoding UTF8", "<?xml version=\"1.0\" encoding=\"UTF8\"?><L/>", false);
    row("encoding first", "<?xml encoding=\"UTF-8\" version=\"1.0\"?><L/>", false);
    row("UTF-16 byte-order mark", "\xFF\xFE<\0L\0/\0>\0", false);
    row("nothing", "", false);
    row("blank", " \n", false);
    row("end tag first", "</L>", false);
}

// The scanner reads what it takes on exactly as QXmlStreamReader does, and
// leaves the rest to it: the book, its spans and where a new entry goes, or
// the same error, come out alike either way.
void TestBook::scannerReadsAsQtDoes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, scanned);
    XmlScanner scanner(bytes);
    if (scanner.readRoot())
        scanner.skip();
    QCOMPARE(scanner.finish(), scanned);

    BookReader fast, checked;
    checked.setFastPath(false);
    const bool read = checked.read(bytes);
    QCOMPARE(fast.read(bytes), read);
    QCOMPARE(fast.errorString(), checked.errorString());
    if (!read)
        return;
    const Book &a = fast.book(), &b = checked.book();
    QCOMPARE(a.rootName(), b.rootName());
    QCOMPARE(a.size(), b.size());
    for (int i = 0; i < a.size(); ++i) {
        QCOMPARE(a.entry(i).text, b.entry(i).text); // the first to differ, shown
        QVERIFY(a.entry(i) == b.entry(i));
        QCOMPARE(a.span(i).begin, b.span(i).begin);
        QCOMPARE(a.span(i).end, b.span(i).end);
    }
    QCOMPARE(a.whyNotWritable(), b.whyNotWritable());
    if (a.isWritable()) {
        const Book::Edit one = a.appending(withText("Nouvelle")), other = b.appending(withText("Nouvelle"));
        QCOMPARE(one.at, other.at);
        QCOMPARE(one.inserted, other.inserted);
    }
}

// A U+FEFF in a text is kept wherever it falls, by either reader, and the
// entry's bytes are where they are (QXmlStreamReader fed 8 KiB at a time
// lost one that started a piece, and every offset after it).
void TestBook::zeroWidthSpaceAtAnyOffset()
{
    for (const bool fast : {true, false})
        for (int at : {8190, 8191, 8192, 8193, 16384}) {
            const QByteArray head = "<L><Attr id=\"0\"><Text>";
            const QByteArray bytes = head + QByteArray(at - head.size(), 'a') + "\xEF\xBB\xBF</Text></Attr></L>";
            BookReader reader;
            reader.setFastPath(fast);
            QVERIFY(reader.read(bytes));
            QCOMPARE(reader.book().entry(0).text, QString(at - head.size(), 'a') + QChar(0xFEFF));
            QCOMPARE(reader.book().span(0).end, bytes.indexOf("</L>"));
        }
}

void TestBook::refusalNamesTheEncoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("encoding");
    QTest::newRow("ISO-8859-1") << readBytes(fixture("book-latin1.xml")) << "ISO-8859-1";
    QTest::newRow("US-ASCII") << QByteArray("<?xml version=\"1.0\" encoding=\"US-ASCII\"?><L/>") << "US-ASCII";
    QTest::newRow("UTF-16") << QByteArray("\xFF\xFE<\0L\0/\0>\0", 10) << "UTF-16";
    QTest::newRow("UTF-32") << QByteArray("\xFF\xFE\0\0<\0\0\0L\0\0\0/\0\0\0>\0\0\0", 20) << "UTF-32LE";
}

// A book Orvandel will not write into says in which encoding it is.
void TestBook::refusalNamesTheEncoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, encoding);
    BookReader reader;
    QVERIFY(reader.read(bytes));
    QVERIFY2(reader.book().whyNotWritable().contains(encoding), qPrintable(reader.book().whyNotWritable()));
}

void TestBook::awkwardFiles_data()
{
    QTest::addColumn<QString>("kind");
    for (const char *kind : {"fifo", "symlink loop", "read-only", "over 1 GiB", "folder"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

// Files that are no book to write into are refused, and left as they were.
void TestBook::awkwardFiles()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath("livre.xml");
    const QByteArray own = readBytes(fixture("book-own.xml"));
    if (kind == "fifo")
        QCOMPARE(QProcess::execute("mkfifo", {path}), 0);
    else if (kind == "symlink loop")
        QVERIFY(QFile::link(path, path));
    else if (kind == "folder")
        QVERIFY(QDir(dir.path()).mkdir("livre.xml"));
    else
        QVERIFY(writeBytes(path, own));
    if (kind == "read-only")
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    if (kind == "over 1 GiB")
        QVERIFY(QFile::resize(path, (qint64(1) << 30) + 1));
    const QFileInfo before(path);
    BookFile file;
    file.open(path);
    QVERIFY(!file.append(withText("T"), "Livre"));
    QVERIFY(!file.errorString().isEmpty());
    const QFileInfo after(path);
    QCOMPARE(after.isSymLink(), before.isSymLink());
    QCOMPARE(after.isFile(), before.isFile());
    QCOMPARE(after.permissions(), before.permissions());
    if (kind == "read-only")
        QCOMPARE(readBytes(path), own);
}

void TestBook::faultsSaidPlainly_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("said");
    QTest::newRow("Latin-1 byte, line 3") << QByteArray("<?xml version=\"1.0\"?>\n<L>\n<Attr id=\"0\"><Text>abc\xE9</Text></Attr></L>")
                                         << "ligne 3, colonne 23 : ces octets ne sont pas de l'UTF-8 (0xE9)";
    QTest::newRow("NUL") << QByteArray("<L>\n<Attr id=\"0\">\n<Text>a\0b</Text></Attr></L>", 39)
                         << "ligne 3, colonne 8 : le caractère U+0000 est interdit en XML";
    QTest::newRow("control character after a DOCTYPE") << QByteArray("<!DOCTYPE L><L><Attr id=\"0\"><Text>\x01</Text></Attr></L>")
                                                       << "ligne 1, colonne 35 : le caractère U+0001";
    QByteArray crowded = "<L><Attr id=\"0\"";
    for (int i = 0; i < 100000; ++i)
        crowded += " a" + QByteArray::number(i) + "=\"\"";
    QTest::newRow("100,000 attributes") << crowded + "/></L>" << "plus de 1000 attributs";
}

// A refused file says what is wrong where it is, in French, at once.
void TestBook::faultsSaidPlainly()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, said);
    QElapsedTimer clock;
    clock.start();
    for (const bool fast : {true, false}) {
        BookReader reader;
        reader.setFastPath(fast);
        QVERIFY(!reader.read(bytes));
        QVERIFY2(reader.errorString().contains(said), qPrintable(reader.errorString()));
    }
    QVERIFY(clock.elapsed() < 5000);
}

// Every change keeps the book as it was; restoring a version gives its exact
// bytes back, and is itself a change kept in the history.
void TestBook::historyKeepsEveryVersion()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("livre.xml");
    QVERIFY(QFile::copy(fixture("book-own.xml"), path));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    BookFile file;
    QVERIFY(file.open(path));
    QVector<QByteArray> states{readBytes(path)};
    struct stat read;
    QVERIFY(::stat(QFile::encodeName(path).constData(), &read) == 0);
    QVERIFY(file.replace(0, withText("Une autre orée")));
    states << readBytes(path);
    // The version before is the file read under a second name, not a copy.
    struct stat kept;
    const QString first = QDir(file.history().folder()).filePath(file.history().versions().first().name);
    QVERIFY(::stat(QFile::encodeName(first).constData(), &kept) == 0);
    QCOMPARE(kept.st_ino, read.st_ino);
    QVERIFY(file.remove(1));
    states << readBytes(path);
    QVERIFY(file.append(withText("Une fin")));
    const QVector<FileHistory::Version> versions = file.history().versions();
    QCOMPARE(versions.size(), 3);
    QCOMPARE(versions.first().change, QStringLiteral("entrée 000 ajoutée"));
    QCOMPARE(versions.last().change, QStringLiteral("entrée 000 modifiée"));
    QCOMPARE(versions.last().entries, 3);
    for (int k = 0; k < 3; ++k) {
        QByteArray bytes;
        QVERIFY(file.history().read(versions.at(2 - k), &bytes));
        QCOMPARE(bytes, states.at(k));
    }
    QVERIFY(file.restore(states.first(), "version restaurée"));
    QCOMPARE(readBytes(path), states.first());
    QCOMPARE(file.book().size(), 3);
    QCOMPARE(file.history().versions().size(), 4);
    QCOMPARE(QFileInfo(path).permissions() & ~QFile::Permissions(0x0F00), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);

    // The oldest go past the limits, of versions and of bytes (the newest stays).
    FileHistory small(path, 2);
    for (int k = 0; k < 4; ++k)
        QVERIFY(small.keep(states.at(k % 3), k, "x"));
    QCOMPARE(small.versions().size(), 2);
    QCOMPARE(QDir(small.folder()).entryList(QDir::Files).size(), 3); // two versions and the index
    FileHistory tight(dir.filePath("autre.xml"), 50, states.at(0).size() + states.at(1).size() - 1);
    QVERIFY(tight.keep(states.at(0), 3, "y") && tight.keep(states.at(1), 3, "y"));
    QCOMPARE(tight.versions().size(), 1);
    QCOMPARE(QDir(tight.folder()).entryList(QDir::Files).size(), 2);

    // A history that cannot be written stops the change unless the author goes on.
    QVERIFY(QDir(small.folder()).removeRecursively());
    QVERIFY(writeBytes(small.folder(), "un fichier à la place du dossier"));
    QVERIFY(!file.remove(0));
    QCOMPARE(file.error(), BookFile::HistoryError);
    QCOMPARE(readBytes(path), states.first());
    file.setHistoryRequired(false);
    QVERIFY(file.remove(0));
}

void TestBook::historyKeepsToItsFolder_data()
{
    QTest::addColumn<QString>("planted"); // what stands where the history looks
    QTest::addColumn<bool>("kept");       // whether a new version can still be kept
    QTest::newRow("index naming ../../") << "relative" << true;
    QTest::newRow("index naming an absolute path") << "absolute" << true;
    QTest::newRow("version that is a link") << "version link" << true;
    QTest::newRow("index that is a link") << "index link" << false;
    QTest::newRow("folder that is a link") << "folder link" << false;
}

// The history reads, lists and removes only its own files in its own
// folder, and writes through no link, whatever its index says.
void TestBook::historyKeepsToItsFolder()
{
    QFETCH(QString, planted);
    QFETCH(bool, kept);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("victim") && QDir(dir.path()).mkpath("livres"));
    const QString victim = dir.filePath("victim/precious.txt");
    QVERIFY(writeBytes(victim, "précieux"));
    FileHistory history(dir.filePath("livres/livre.xml"), 1);
    const QString folder = history.folder();
    QVERIFY(QDir().mkpath(folder));
    const QString stamp = "2026-01-01_10-00-00-000.xml";
    QByteArray index;
    if (planted == "relative")
        index = "../../victim/precious.txt\t1\tx\n";
    else if (planted == "absolute")
        index = victim.toUtf8() + "\t1\tx\n";
    else if (planted == "version link")
        QVERIFY(QFile::link(victim, QDir(folder).filePath(stamp)));
    else if (planted == "index link")
        QVERIFY(QFile::link(victim, QDir(folder).filePath("index.tsv")));
    else if (planted == "folder link")
        QVERIFY(QDir(folder).removeRecursively() && QFile::link(dir.filePath("victim"), folder));
    if (planted == "version link")
        index = stamp.toUtf8() + "\t1\tx\n";
    if (!index.isEmpty())
        QVERIFY(writeBytes(QDir(folder).filePath("index.tsv"), index));

    QVERIFY(history.versions().isEmpty());
    QCOMPARE(history.keep("un", 1, "a"), kept);
    QCOMPARE(history.keep("deux", 1, "b"), kept); // past the limit: the oldest goes
    QCOMPARE(history.versions().size(), kept ? 1 : 0);
    QByteArray bytes;
    QVERIFY(!history.read({victim, {}, 1, {}}, &bytes));
    QVERIFY(!history.read({"../../victim/precious.txt", {}, 1, {}}, &bytes));
    QVERIFY(!history.read({stamp, {}, 1, {}}, &bytes));
    QCOMPARE(readBytes(victim), QByteArray("précieux"));
    QCOMPARE(QDir(dir.filePath("victim")).entryList(QDir::Files), QStringList{"precious.txt"});
}

// Another program that writes the book without a lock while ours keeps
// the version before: its change is seen, never overwritten, and no
// version is left in the history for a change that did not happen.
void TestBook::changeMadeWhileSavingIsSeen()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("livre.xml");
    QVERIFY(QFile::copy(fixture("book-own.xml"), path));
    BookFile file;
    QVERIFY(file.open(path));
    QVERIFY(QDir().mkpath(file.history().folder()));
    // Keeping a version reads the index: a pipe holds the save there until
    // the other program has written.
    const QString index = QDir(file.history().folder()).filePath("index.tsv");
    QVERIFY(::mkfifo(QFile::encodeName(index).constData(), 0600) == 0);
    const QByteArray theirs = readBytes(path).replace("orée", "lisière");
    std::thread other([&] {
        QFile pipe(index);
        pipe.open(QIODevice::WriteOnly); // returns once the save reads the index
        writeBytes(path, theirs);
        pipe.close();
    });
    const bool saved = file.append(withText("La mienne"));
    other.join();
    QVERIFY(!saved);
    QCOMPARE(file.error(), BookFile::ChangedError);
    QCOMPARE(readBytes(path), theirs);
    QVERIFY(file.history().versions().isEmpty());
}

void TestBook::refusedSaves_data()
{
    QTest::addColumn<QString>("why");
    QTest::addColumn<int>("error");
    QTest::newRow("open read-only") << "read-only" << int(BookFile::RefusedError);
    QTest::newRow("another save holds the lock") << "locked" << int(BookFile::WriteError);
    QTest::newRow("the write fails after the history is kept") << "no write" << int(BookFile::WriteError);
}

// A save that cannot be made writes nothing: not the book, not a version
// in its history.
void TestBook::refusedSaves()
{
    QFETCH(QString, why);
    QFETCH(int, error);
    QTemporaryDir dir;
    const QString path = dir.filePath("livre.xml");
    QVERIFY(QFile::copy(fixture("book-own.xml"), path));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    BookFile file;
    QVERIFY(file.open(path));
    QVERIFY(file.replace(0, withText("Une première")));
    const QByteArray before = readBytes(path);
    QLockFile other(path + ".lock");
    if (why == "read-only")
        file.setReadOnly(true);
    if (why == "locked") {
        QVERIFY(other.tryLock());
        file.setLockWait(200);
    }
    if (why == "no write")
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
    QVERIFY(!file.replace(0, withText("Une autre")));
    QVERIFY(!file.remove(0));
    QVERIFY(!file.append(withText("Une de plus")));
    QVERIFY(!file.restore("<L/>", "x"));
    QCOMPARE(int(file.error()), error);
    QCOMPARE(readBytes(path), before);
    QCOMPARE(file.history().versions().size(), 1);
}

// A save gives the new file the old one's mode, set-id bits included, and
// its owner.
void TestBook::saveKeepsModeAndOwner()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("livre.xml");
    QVERIFY(QFile::copy(fixture("book-own.xml"), path));
    const QByteArray name = QFile::encodeName(path);
    QVERIFY(::chmod(name.constData(), 02640) == 0);
    QVERIFY(::chown(name.constData(), 4321, 4322) == 0);
    BookFile file;
    QVERIFY(file.open(path));
    QVERIFY(file.replace(0, withText("Une autre orée")));
    struct stat after;
    QVERIFY(::stat(name.constData(), &after) == 0);
    QCOMPARE(after.st_mode & 07777, mode_t(02640));
    QCOMPARE(after.st_uid, uid_t(4321));
    QCOMPARE(after.st_gid, gid_t(4322));
}

void TestBook::changedOnDiskIsNeverOverwritten()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("livre.xml");
    QVERIFY(QFile::copy(fixture("book-own.xml"), path));
    BookFile file;
    QVERIFY(file.open(path));
    const QByteArray theirs = readBytes(path).replace("orée", "lisière");
    QVERIFY(writeBytes(path, theirs));
    QVERIFY(!file.append(withText("Ma nouvelle")));
    QCOMPARE(file.error(), BookFile::ChangedError);
    QVERIFY(!file.remove(0));
    QCOMPARE(readBytes(path), theirs);
    // Read again, the book takes the change.
    QVERIFY(file.open(path));
    QVERIFY(file.replace(0, file.book().entry(0)));
    QCOMPARE(readBytes(path), theirs);
}

void TestBook::bytesReadBackFromTheFile_data()
{
    QTest::addColumn<QString>("meanwhile"); // what befalls the file between reading and saving
    QTest::addColumn<bool>("saved");
    QTest::newRow("nothing") << "nothing" << true;
    QTest::newRow("touched") << "touched" << true;
    QTest::newRow("the same bytes in a new file") << "copied" << true;
    QTest::newRow("changed in place, size and time kept") << "forged" << false;
}

// The book's bytes are not kept but read back from the file for each
// change: a file that still holds them takes the change, splice by splice,
// whatever its time says; one that does not, whatever its time says, is
// left alone.
void TestBook::bytesReadBackFromTheFile()
{
    QFETCH(QString, meanwhile);
    QFETCH(bool, saved);
    QTemporaryDir dir;
    const QString path = dir.filePath("livre.xml");
    QVERIFY(QFile::copy(fixture("book-own.xml"), path));
    const QByteArray ours = readBytes(path);
    const QByteArray name = QFile::encodeName(path);
    // Sets the file's time `seconds` from `from` (its time as it stands when none).
    const auto setTime = [&name](qint64 seconds, const struct stat *from = nullptr) {
        struct stat st;
        if (::stat(name.constData(), &st) != 0)
            return false;
        struct timespec times[2] = {st.st_atim, from ? from->st_mtim : st.st_mtim};
        times[1].tv_sec += seconds;
        return ::utimensat(AT_FDCWD, name.constData(), times, 0) == 0;
    };
    BookFile file;
    QVERIFY(file.open(path));
    QVERIFY(file.book().bytes() == ours);
    struct stat read;
    QVERIFY(::stat(name.constData(), &read) == 0);
    QByteArray theirs = ours;
    if (meanwhile == "touched") {
        QVERIFY(setTime(-100));
    } else if (meanwhile == "copied") {
        QVERIFY(writeBytes(path + ".autre", ours) && ::rename(QFile::encodeName(path + ".autre").constData(), name.constData()) == 0);
    } else if (meanwhile == "forged") {
        QVERIFY(theirs.contains("orée"));
        theirs.replace("orée", "oréa");
        QFile inPlace(path);
        QVERIFY(inPlace.open(QIODevice::ReadWrite) && inPlace.write(theirs) == theirs.size());
        inPlace.close();
        QVERIFY(setTime(0, &read)); // the same file, size and time as when it was read
        struct stat now;
        QVERIFY(::stat(name.constData(), &now) == 0 && now.st_ino == read.st_ino && now.st_size == read.st_size);
    }
    const Book::Span first = file.book().span(0);
    const Entry changed = withText("Une autre orée");
    QCOMPARE(file.replace(0, changed), saved);
    if (!saved) {
        QCOMPARE(file.error(), BookFile::ChangedError);
        QCOMPARE(readBytes(path), theirs);
        QVERIFY(file.book().bytes().isNull());
        return;
    }
    const QByteArray after = readBytes(path);
    QVERIFY(after.startsWith(ours.left(first.begin)) && after.endsWith(ours.mid(first.end)));
    BookReader reader;
    QVERIFY(reader.read(after));
    QCOMPARE(reader.book().entry(0), changed);
    QVERIFY(file.book().bytes() == after);
    // What was written is known by its digest: touched again, the file is
    // still ours, and the next change goes on from its bytes.
    QVERIFY(setTime(-200));
    QVERIFY2(file.remove(1), qPrintable(file.errorString()));
    QVERIFY(reader.read(readBytes(path)));
    QCOMPARE(reader.book().size(), file.book().size());
    QCOMPARE(reader.book().entry(0), changed);
}

void TestBook::writeErrorsAreReported()
{
    QTemporaryDir dir;
    BookFile file;
    file.open(dir.filePath("absent/livre.xml"));
    QCOMPARE(file.state(), BookFile::New);
    QVERIFY(!file.append(withText("T"), "Livre"));
    QCOMPARE(file.error(), BookFile::WriteError);
    QVERIFY(!file.errorString().isEmpty());
    QVERIFY(!QDir(dir.filePath("absent")).exists());

    QVERIFY(QDir(dir.path()).mkdir("dossier.xml"));
    QVERIFY(!file.open(dir.filePath("dossier.xml")));
    QCOMPARE(file.state(), BookFile::Unreadable);

    // The writers report a device that fills up.
    BookReader reader;
    QVERIFY(reader.read(readBytes(fixture("book-own.xml"))));
    MonsterList list;
    list.rows = {{"Orque", "7", "9"}};
    for (const qint64 room : {0, 100}) {
        FailDevice device(room);
        QString error;
        QVERIFY(!EntryWriter::writeBook(reader.book(), &device, &error));
        QCOMPARE(error, "No space left on device");
        FailDevice other(room);
        QVERIFY(!list.write(&other));
        QCOMPARE(list.errorString(), "No space left on device");
    }
}

void TestBook::monsterList()
{
    QFile file(fixture("monsters.xml"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    MonsterList list;
    QVERIFY(list.read(&file));
    QCOMPARE(list.rows.size(), 2);
    QCOMPARE(list.rows.at(1), (MonsterRow{"Démon & cæ", "12", "20"}));
    list.rows.append({"Dragon \"rouge\" 龍", "1\t", QString()});
    QCOMPARE(list.toBytes(),
             QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<Monsters>\n"
                        "\t<Elem id=\"0\" Name=\"Orque\" Habilete=\"7\" Endurance=\"12\"/>\n"
                        "\t<Elem id=\"1\" Name=\"D\xE9mon &amp; c\xE6\" Habilete=\"12\" Endurance=\"20\"/>\n"
                        "\t<Elem id=\"2\" Name=\"Dragon &quot;rouge&quot; &#40845;\" Habilete=\"1&#9;\" Endurance=\"\"/>\n"
                        "</Monsters>"));
    QByteArray bytes = list.toBytes();
    QBuffer back(&bytes);
    back.open(QIODevice::ReadOnly);
    MonsterList again;
    QVERIFY(again.read(&back));
    QCOMPARE(again.rows, list.rows);
}

QTEST_GUILESS_MAIN(TestBook)
#include "tst_book.moc"
