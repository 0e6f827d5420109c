// The book model and its files: the format to the byte, reading back, ids,
// numbering, changing one entry, and inputs nobody should have to write.
#include "book/atomicfile.h"
#include "book/bookfile.h"
#include "book/bookreader.h"
#include "book/entryid.h"
#include "book/entrywriter.h"
#include "book/monsterlist.h"
#include "support.h"

#include <QBuffer>
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>

using namespace Support;
Q_DECLARE_METATYPE(Entry)

namespace {

const QString header = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");

Entry withText(const QString &text)
{
    Entry e;
    e.id = QStringLiteral("000");
    e.text = text;
    return e;
}

// The value lines of a bonus group, as the format writes them.
QString bonusLines(const QString &h, const QString &e, const QString &c)
{
    return QStringLiteral("\t\t\t<Elem id=\"1\" Name=\"habilete\" Value=\"%1\" />\n"
                          "\t\t\t<Elem id=\"2\" Name=\"endurance\" Value=\"%2\" />\n"
                          "\t\t\t<Elem id=\"3\" Name=\"chance\" Value=\"%3\" />\n")
        .arg(h, e, c);
}

QString opening(const QString &text, const QString &types)
{
    return QStringLiteral("<Attr id=\"000\">\n\t\t<Text>%1</Text>\n\t\t<Type>%2</Type>\n").arg(text, types);
}

const QString closing = QStringLiteral("\t</Attr>");

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
            && again.book().span(i).begin == book->span(i).begin;
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
    void badInputs_data();
    void badInputs();
    void changedOnDiskIsNeverOverwritten();
    void writeErrorsAreReported();
    void monsterList();
};

void TestBook::element_data()
{
    QTest::addColumn<Entry>("entry");
    QTest::addColumn<QString>("expected");

    Entry e = withText(QStringLiteral("T"));
    e.types.choice = e.choiceActive = true;
    e.choices.append({QStringLiteral("V"), QStringLiteral("W")});
    QTest::newRow("one choice") << e
        << opening("T", "C") + "\t\t<Choices active=\"1\">\t\t\t<Elem id=\"1\" Value=\"V\">W</Elem>\t\t</Choices>" + closing;

    e = withText(QStringLiteral("B"));
    e.bonus.habilete = 2;
    QTest::newRow("bonus, all three lines") << e
        << opening("B", "X") + "\t\t<Bonus active=\"0\">\n" + bonusLines("2", "0", "0") + "\t\t</Bonus>\n" + closing;
    e.bonus = {true, 0, -2, 0};
    QTest::newRow("penalty") << e
        << opening("B", "X") + "\t\t<Bonus active=\"1\">\n" + bonusLines("0", "-2", "0") + "\t\t</Bonus>\n" + closing;

    e = withText(QStringLiteral("F"));
    e.flee = {true, false, 2, QStringLiteral("12")};
    QTest::newRow("flight") << e
        << opening("F", "X") + "\t\t<Flee active=\"1\" Penality=\"0\" Round=\"2\" Ref=\"12\"/>\n" + closing;
    e.flee.round = 0;
    QTest::newRow("flight without round") << e << opening("F", "X") + closing;

    e = withText(QStringLiteral("M"));
    e.monsterType = QStringLiteral("R");
    e.monsters = {{QStringLiteral("Orque"), QStringLiteral("7"), QStringLiteral("9"), QStringLiteral("3")},
                  {QStringLiteral("Loup"), QStringLiteral("5"), QStringLiteral("4"), QStringLiteral("4")}};
    QTest::newRow("monsters") << e
        << opening("M", "X") + "\t\t<Monster Type=\"R\">\n"
               "\t\t\t<Elem id=\"1\" Name=\"Orque\" habilete=\"7\" endurance=\"9\" Value=\"3\" />\n"
               "\t\t\t<Elem id=\"2\" Name=\"Loup\" habilete=\"5\" endurance=\"4\" Value=\"4\" />\n"
               "\t\t</Monster>\n" + closing;

    e = withText(QStringLiteral("L"));
    e.luck = {true, QStringLiteral("5"), QStringLiteral("Ouf"), QString(), QString()};
    QTest::newRow("luck, unlucky pair empty") << e
        << opening("L", "X") + "\t\t<Luck active=\"1\">\t\t\t<Lucky Value=\"5\">Ouf</Lucky>"
               "\t\t\t<Unlucky Value=\"\"></Unlucky>\t\t</Luck>" + closing;

    e = withText(QStringLiteral("O"));
    e.objects.append({QStringLiteral("Épée"), "0", "1", "1", "0", "0", "3", "1", QStringLiteral("clé")});
    QTest::newRow("object") << e
        << opening("O", "O") + "\t\t<Objects>\t\t\t<Elem id=\"1\" exchange=\"0\" throw=\"1\">"
               "\t\t\t\t<Text>Épée</Text>\t\t\t\t<Bonus>"
               "\t\t\t\t\t<Elem id=\"1\" Name=\"habilete\" Value=\"1\" />"
               "\t\t\t\t\t<Elem id=\"2\" Name=\"endurance\" Value=\"0\" />"
               "\t\t\t\t\t<Elem id=\"3\" Name=\"chance\" Value=\"0\" />"
               "\t\t\t\t</Bonus>\t\t\t\t<Gold Value=\"3\" />\t\t\t\t<Food Value=\"1\" />"
               "\t\t\t\t<Other>clé</Other>\t\t\t</Elem>\t\t</Objects>" + closing;

    // Every section at once comes in the format's order.
    e = withText(QStringLiteral("Tout"));
    e.bonus.chance = 1;
    e.flee = {false, true, 1, QStringLiteral("9")};
    e.monsters = {{QStringLiteral("Rat"), "1", "1", "2"}};
    e.luck = {false, QStringLiteral("3"), QStringLiteral("a"), QStringLiteral("4"), QStringLiteral("b")};
    e.choices = {{QStringLiteral("5"), QStringLiteral("c")}};
    QTest::newRow("section order") << e
        << opening("Tout", "X") + "\t\t<Bonus active=\"0\">\n" + bonusLines("0", "0", "1") + "\t\t</Bonus>\n"
               "\t\t<Flee active=\"0\" Penality=\"1\" Round=\"1\" Ref=\"9\"/>\n"
               "\t\t<Monster Type=\"U\">\n\t\t\t<Elem id=\"1\" Name=\"Rat\" habilete=\"1\" endurance=\"1\" Value=\"2\" />\n\t\t</Monster>\n"
               "\t\t<Luck active=\"0\">\t\t\t<Lucky Value=\"3\">a</Lucky>\t\t\t<Unlucky Value=\"4\">b</Unlucky>\t\t</Luck>"
               "\t\t<Choices active=\"0\">\t\t\t<Elem id=\"1\" Value=\"5\">c</Elem>\t\t</Choices>" + closing;

    // Reserved characters become references; tabs and line ends stay in
    // texts but not in attributes; what XML cannot carry is left out.
    e = withText(QStringLiteral("a<b & \"c\"\n\td\x01"));
    e.choices = {{QStringLiteral("1\t\"2\"\n"), QStringLiteral("x\ry")}};
    QTest::newRow("escaping") << e
        << opening("a&lt;b &amp; &quot;c&quot;\n\td", "X")
               + "\t\t<Choices active=\"0\">\t\t\t<Elem id=\"1\" Value=\"1&#9;&quot;2&quot;&#10;\">x&#13;y</Elem>\t\t</Choices>" + closing;
}

void TestBook::element()
{
    QFETCH(Entry, entry);
    QFETCH(QString, expected);
    QCOMPARE(EntryWriter::elementXml(entry), expected);
    // A new book is that element between the declaration and the root.
    QCOMPARE(EntryWriter::newBookText(QStringLiteral("Livre"), entry),
             header + "<Livre>\n\t" + expected + "\n</Livre>");
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
    QTest::newRow("full-width digits") << QStringLiteral("\uFF11\uFF12") << -1;
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
    const QStringList pieces{QStringLiteral("a"), QStringLiteral("é"), QStringLiteral("&"),
                             QStringLiteral("<"), QStringLiteral(">"), QStringLiteral("\""),
                             QStringLiteral("'"), QStringLiteral("\t"), QStringLiteral("\n"),
                             QStringLiteral("\r"), QStringLiteral(" "), QStringLiteral("]]>"),
                             QStringLiteral(","), QStringLiteral("C"), QStringLiteral("\U0001F409")};
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
            e.monsterType = QStringLiteral("U");
        if (e.choices.isEmpty())
            e.choiceActive = false;
        if (!(back == e))
            QFAIL(qPrintable(QStringLiteral("round %1 differs:\n%2\n%3")
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
    const QString path = dir.filePath(QStringLiteral("livre.xml"));
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
    const QByteArray own = readBytes(fixture(QStringLiteral("book-own.xml")));
    QTest::newRow("own layout: after the last \\t</Attr>")
        << own << QByteArray(own).replace("\n</Aventure>", "\t@@\n</Aventure>");
    QTest::newRow("CR LF") << readBytes(fixture(QStringLiteral("book-foreign-crlf.xml"))) << QByteArray();
    QTest::newRow("unknown elements") << readBytes(fixture(QStringLiteral("book-foreign.xml"))) << QByteArray();
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
    Entry fresh = withText(QStringLiteral("Nouvelle\nentrée"));
    fresh.id = QStringLiteral("77");
    fresh.choices = {{QStringLiteral("1"), QStringLiteral("Retour")}};

    Book added;
    QVERIFY(editHolds(original, original.appending(fresh), &added));
    QCOMPARE(added.entry(original.size()).text, fresh.text);
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

// Emptied entry by entry, a book in the program's layout takes a new first
// entry in that layout again.
void TestBook::removingEveryEntryThenAdding()
{
    BookReader reader;
    QVERIFY(reader.read(readBytes(fixture(QStringLiteral("book-own.xml")))));
    Book book = reader.book();
    while (!book.isEmpty())
        book.apply(book.removing(book.size() / 2));
    const Entry e = withText(QStringLiteral("Seule"));
    book.apply(book.appending(e));
    QCOMPARE(QString::fromUtf8(book.bytes()), EntryWriter::newBookText(QStringLiteral("Aventure"), e));
}

void TestBook::badInputs_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("canAdd");
    const QByteArray own = readBytes(fixture(QStringLiteral("book-own.xml")));
    QTest::newRow("an icon (NUL first)") << QByteArray("\0\0\1\0\1\0\x10\x10", 8) + QByteArray(10000, '\x7f')
                                          << int(BookFile::Unreadable) << false;
    QTest::newRow("a book after a NUL byte") << QByteArray(1, '\0') + own << int(BookFile::Unreadable) << false;
    QTest::newRow("NUL inside") << QByteArray("<Livre>\0</Livre>", 16) << int(BookFile::Unreadable) << false;
    QTest::newRow("UTF-16 without BOM") << QByteArray::fromRawData(reinterpret_cast<const char *>(
                                                QStringLiteral("<Livre><Attr id=\"0\"/></Livre>").utf16()), 58)
                                     << -1 << false;
    QTest::newRow("byte-order mark") << "\xEF\xBB\xBF" + own << int(BookFile::Readable) << true;
    QTest::newRow("Latin-1 bytes in UTF-8") << QByteArray("<Livre><Attr id=\"0\"><Text>For\xEAt</Text></Attr></Livre>")
                                         << int(BookFile::Unreadable) << false;
    QTest::newRow("declared ISO-8859-1") << readBytes(fixture(QStringLiteral("book-latin1.xml")))
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
    const QString path = dir.filePath(QStringLiteral("livre.xml"));
    QVERIFY(writeBytes(path, bytes));
    BookFile file;
    file.open(path);
    if (state >= 0)
        QCOMPARE(int(file.state()), state);
    QVERIFY(file.state() != BookFile::New);
    Entry e = withText(QStringLiteral("Nouvelle"));
    e.id = QString::number(file.nextNumber());
    QCOMPARE(file.append(e, QStringLiteral("Livre")), canAdd);
    if (!canAdd) {
        QVERIFY(!file.errorString().isEmpty());
        QCOMPARE(readBytes(path), bytes);
    } else {
        QVERIFY(xmllintAccepts(path));
        QVERIFY(readBytes(path).startsWith(bytes.left(file.book().span(0).begin)));
    }
}

void TestBook::changedOnDiskIsNeverOverwritten()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("livre.xml"));
    QVERIFY(QFile::copy(fixture(QStringLiteral("book-own.xml")), path));
    BookFile file;
    QVERIFY(file.open(path));
    const QByteArray theirs = readBytes(path).replace("orée", "lisière");
    QVERIFY(writeBytes(path, theirs));
    QVERIFY(!file.append(withText(QStringLiteral("Ma nouvelle"))));
    QCOMPARE(file.error(), BookFile::ChangedError);
    QVERIFY(!file.remove(0));
    QCOMPARE(readBytes(path), theirs);
    // Read again, the book takes the change.
    QVERIFY(file.open(path));
    QVERIFY(file.replace(0, file.book().entry(0)));
    QCOMPARE(readBytes(path), theirs);
}

void TestBook::writeErrorsAreReported()
{
    QTemporaryDir dir;
    BookFile file;
    file.open(dir.filePath(QStringLiteral("absent/livre.xml")));
    QCOMPARE(file.state(), BookFile::New);
    QVERIFY(!file.append(withText(QStringLiteral("T")), QStringLiteral("Livre")));
    QCOMPARE(file.error(), BookFile::WriteError);
    QVERIFY(!file.errorString().isEmpty());
    QVERIFY(!QDir(dir.filePath(QStringLiteral("absent"))).exists());

    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("dossier.xml")));
    QVERIFY(!file.open(dir.filePath(QStringLiteral("dossier.xml"))));
    QCOMPARE(file.state(), BookFile::Unreadable);

    // The writers report a device that fills up.
    BookReader reader;
    QVERIFY(reader.read(readBytes(fixture(QStringLiteral("book-own.xml")))));
    MonsterList list;
    list.rows = {{QStringLiteral("Orque"), QStringLiteral("7"), QStringLiteral("9")}};
    for (const qint64 room : {0, 100}) {
        FailDevice device(room);
        QString error;
        QVERIFY(!EntryWriter::writeBook(reader.book(), &device, &error));
        QCOMPARE(error, QStringLiteral("No space left on device"));
        FailDevice other(room);
        QVERIFY(!list.write(&other));
        QCOMPARE(list.errorString(), QStringLiteral("No space left on device"));
    }
}

void TestBook::monsterList()
{
    QFile file(fixture(QStringLiteral("monsters.xml")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    MonsterList list;
    QVERIFY(list.read(&file));
    QCOMPARE(list.rows.size(), 2);
    QCOMPARE(list.rows.at(1), (MonsterRow{QStringLiteral("Démon & cæ"), QStringLiteral("12"), QStringLiteral("20")}));
    list.rows.append({QStringLiteral("Dragon \"rouge\" 龍"), QStringLiteral("1\t"), QString()});
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
