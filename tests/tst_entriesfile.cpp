// Adding an entry to an existing book, whatever tool laid the book out:
// the entry goes last in the root, and every other byte stays as it was.
#include "persistence/entriesfile.h"

#include <QTest>

class TestEntriesFile : public QObject
{
    Q_OBJECT

private slots:
    void addsEntry_data();
    void addsEntry();
    void refuses_data();
    void refuses();
    void keepsWhatWasReadBeforeAFault();
};

static const QString entry = QStringLiteral("\t<Attr id=\"9\">\n\t\t<Text>é</Text>\n\t</Attr>");
static const QByteArray entryLf = entry.toUtf8();
static QByteArray entryCrLf()
{
    QByteArray e = entryLf;
    return e.replace("\n", "\r\n");
}

void TestEntriesFile::addsEntry_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("root");

    const QByteArray decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    const QByteArray own = "\t<Attr id=\"000\">\n\t\t<Text>a</Text>\n\t\t<Type>X</Type>\n\t</Attr>";
    QTest::newRow("own layout") << decl + "<Livre>\n" + own + "\n</Livre>"
                                << decl + "<Livre>\n" + own + entryLf + "\n</Livre>" << "Livre";
    QTest::newRow("one line") << QByteArray("<?xml version=\"1.0\"?><book><Attr id=\"1\"/></book>")
                              << "<?xml version=\"1.0\"?><book><Attr id=\"1\"/>" + entryLf
                                     + "</book>"
                              << "book";
    QTest::newRow("root attributes")
        << QByteArray("<book lang=\"fr\" v='2'>\n<Attr id=\"1\"/>\n</book>")
        << "<book lang=\"fr\" v='2'>\n<Attr id=\"1\"/>" + entryLf + "\n</book>" << "book";
    QTest::newRow("line feed after closing tag")
        << QByteArray("<book>\n<Attr id=\"1\"/>\n</book>\n")
        << "<book>\n<Attr id=\"1\"/>" + entryLf + "\n</book>\n" << "book";
    QTest::newRow("comment after closing tag")
        << QByteArray("<book>\n<Attr id=\"1\"/>\n</book>\n<!-- </book> -->\n")
        << "<book>\n<Attr id=\"1\"/>" + entryLf + "\n</book>\n<!-- </book> -->\n" << "book";
    QTest::newRow("comment inside, closing tag with spaces")
        << QByteArray("<book><Attr id=\"1\"/><!-- </book> --></book  >")
        << "<book><Attr id=\"1\"/><!-- </book> -->" + entryLf + "</book  >" << "book";
    QTest::newRow("CR LF")
        << QByteArray("<book>\r\n\t<Attr id=\"1\"/>\r\n</book>\r\n")
        << "<book>\r\n\t<Attr id=\"1\"/>" + entryCrLf() + "\r\n</book>\r\n" << "book";
    QTest::newRow("empty root element") << QByteArray("<book/>")
                                        << "<book>\n" + entryLf + "\n</book>" << "book";
    QTest::newRow("empty root with attributes")
        << QByteArray("<?xml version='1.0'?>\n<book a='1' />\n")
        << "<?xml version='1.0'?>\n<book a='1' >\n" + entryLf + "\n</book>\n" << "book";
    QTest::newRow("root without entries") << QByteArray("<book></book>")
                                          << "<book>\n" + entryLf + "</book>" << "book";
    QTest::newRow("root without entries, own lines")
        << QByteArray("<book>\n</book>") << "<book>" + QByteArray("\n") + entryLf + "\n</book>"
        << "book";
    QTest::newRow("byte-order mark")
        << QByteArray("\xEF\xBB\xBF<book>\n<Attr id=\"1\"/>\n</book>")
        << "\xEF\xBB\xBF<book>\n<Attr id=\"1\"/>" + entryLf + "\n</book>" << "book";
    QTest::newRow("multi-byte text before the end")
        << QByteArray("<livre><Attr id=\"1\">é€😀ü</Attr>\n</livre>")
        << "<livre><Attr id=\"1\">é€😀ü</Attr>" + entryLf + "\n</livre>" << "livre";
    QTest::newRow("prefixed root")
        << QByteArray("<g:book xmlns:g=\"urn:x\"><g:Attr id=\"1\"/></g:book>")
        << "<g:book xmlns:g=\"urn:x\"><g:Attr id=\"1\"/>" + entryLf + "</g:book>" << "g:book";
    QTest::newRow("declared utf-8 in lower case")
        << QByteArray("<?xml version=\"1.0\" encoding=\"utf-8\"?><b><a/></b>")
        << "<?xml version=\"1.0\" encoding=\"utf-8\"?><b><a/>" + entryLf + "</b>" << "b";
}

void TestEntriesFile::addsEntry()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QString, root);

    const BookScan scan = scanBook(before);
    QVERIFY2(scan.canInsert(), qPrintable(scan.refusal));
    QCOMPARE(scan.rootName, root);
    const QByteArray result = withEntryAdded(before, scan, entry);
    QCOMPARE(result, after);

    const BookScan again = scanBook(result);
    QVERIFY2(again.wellFormed, qPrintable(again.error));
    QCOMPARE(again.rootName, root);
    QCOMPARE(again.entryCount, scan.entryCount + 1);
    QCOMPARE(again.lastId, 9);
}

void TestEntriesFile::refuses_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("wellFormed");
    QTest::newRow("plain text") << QByteArray("Il était une fois") << false;
    QTest::newRow("blank lines") << QByteArray("\n\n  \n") << false;
    QTest::newRow("unclosed root") << QByteArray("<book><Attr id=\"1\"/>") << false;
    QTest::newRow("two roots") << QByteArray("<a/><b/>") << false;
    QTest::newRow("bare ampersand") << QByteArray("<b><Attr id=\"1\">A & B</Attr></b>") << false;
    QTest::newRow("NUL byte") << QByteArray("<b><a/></b>\0", 12) << false;
    QTest::newRow("latin-1 declared")
        << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><b><a>\xE9</a></b>") << true;
    QTest::newRow("latin-1 bytes in utf-8")
        << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><b><a>\xE9t\xE9</a></b>") << true;
}

void TestEntriesFile::refuses()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, wellFormed);
    const BookScan scan = scanBook(bytes);
    // A reader that decodes bad bytes as replacement characters may call the
    // text well-formed; either way nothing may be written into it.
    if (!wellFormed)
        QVERIFY(!scan.wellFormed);
    QVERIFY(!scan.canInsert());
    QVERIFY(!scan.refusal.isEmpty());
}

void TestEntriesFile::keepsWhatWasReadBeforeAFault()
{
    const BookScan scan = scanBook("<b><Attr id=\"004\"/><Attr id=\"007\"/><Attr id=\"9\" <</b>");
    QVERIFY(!scan.wellFormed);
    QCOMPARE(scan.lastId, 7);
    QVERIFY(scan.errorLine >= 1);
}

QTEST_APPLESS_MAIN(TestEntriesFile)
#include "tst_entriesfile.moc"
