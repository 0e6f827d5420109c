// Whatever the author's book holds, binding and saving give a clear message
// or a correct silent result, never a crash and never a damaged file.
#include "entry/entryui.h"
#include "faildevice.h"
#include "monsters/monsterfile.h"
#include "persistence/atomicwrite.h"
#include "persistence/bookreader.h"
#include "persistence/xmltext.h"
#include "testsupport.h"

#include <QTemporaryDir>

using namespace TestSupport;

class TestBadInputs : public QObject
{
    Q_OBJECT

private slots:
    void book_data();
    void book();
    void monsters_data();
    void monsters();
    void failingDevice_data();
    void failingDevice();
};

static QByteArray ownBook(int entries, const QByteArray &text = "t")
{
    QByteArray b = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Livre>\n";
    for (int i = 0; i < entries; ++i)
        b += "\t<Attr id=\"" + QByteArray::number(i).rightJustified(3, '0') + "\">\n\t\t<Text>"
            + text + "</Text>\n\t\t<Type>X</Type>\n\t</Attr>";
    return b + "\n</Livre>";
}

enum Outcome { Saved, Refused };

void TestBadInputs::book_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("bindMessage");
    QTest::addColumn<int>("outcome");

    QTest::newRow("empty file") << QByteArray() << "000" << false << int(Saved);
    QTest::newRow("line feeds only") << QByteArray("\n\n\n") << "001" << true << int(Refused);
    QTest::newRow("NUL bytes") << QByteArray("<Livre>\0\0</Livre>", 17) << "001" << true
                               << int(Refused);
    QTest::newRow("NUL first") << QByteArray("\0<Livre/>", 9) << "000" << false << int(Saved);
    QTest::newRow("byte-order mark") << "\xEF\xBB\xBF" + ownBook(2) << "002" << false
                                     << int(Saved);
    QTest::newRow("CR LF") << ownBook(3).replace("\n", "\r\n") << "003" << false << int(Saved);
    QTest::newRow("latin-1 bytes in a UTF-8 book") << ownBook(1, "For\xEAt") << "001" << true
                                                   << int(Refused);
    QTest::newRow("unknown encoding")
        << QByteArray("<?xml version=\"1.0\" encoding=\"klingon-7\"?>\n<Livre><Attr id=\"4\"/></Livre>")
        << "001" << true << int(Refused);
    QTest::newRow("50 MB book") << ownBook(200000, QByteArray(200, 'x')) << "200000" << false
                                << int(Saved);
    QTest::newRow("deep nesting") << QByteArray("<Livre><Attr id=\"3\">") + QByteArray("<a>").repeated(100000)
                                         + QByteArray("</a>").repeated(100000) + "</Attr></Livre>"
                                  << "004" << false << int(Saved);
    QTest::newRow("one 10 MB line") << "<Livre><Attr id=\"000\"><Text>" + QByteArray(10 << 20, 'y')
                                           + "</Text></Attr></Livre>"
                                    << "001" << false << int(Saved);
    QTest::newRow("root with no entries") << QByteArray("<Livre></Livre>") << "001" << false
                                          << int(Saved);
    QTest::newRow("empty root element") << QByteArray("<Livre/>") << "001" << false << int(Saved);
    QTest::newRow("entries without attributes")
        << QByteArray("<Livre><Attr/><Attr><Text/><Type/></Attr></Livre>") << "001" << false
        << int(Saved);
    QTest::newRow("text, not XML") << QByteArray("Chapitre 1\nIl était une fois") << "001"
                                   << true << int(Refused);
}

void TestBadInputs::book()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QFETCH(bool, bindMessage);
    QFETCH(int, outcome);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("livre.xml"));
    QVERIFY(writeBytes(path, bytes));
    ModalScript script;
    Seen seen;
    if (bindMessage)
        answerMessage(script, &seen);
    EntryUI dialog;
    dialog.setEntriesFile(path);
    QCOMPARE(seen.titles.size(), bindMessage ? 1 : 0);
    Form form(&dialog);
    QCOMPARE(form.shownId(), shown);

    form.text("textEdit", QStringLiteral("Nouvelle & dernière")).choice(QStringLiteral("1"), QStringLiteral("Suite"));
    if (holdsNoText(bytes))
        answerPrompt(script, QStringLiteral("Livre"));
    if (outcome == Refused)
        answerMessage(script, &seen);
    form.click("pb_Save");
    QVERIFY2(script.unexpected.isEmpty(), qPrintable(script.unexpected.join(QLatin1Char(' '))));
    QCOMPARE(script.pending(), 0);

    const QByteArray now = readBytes(path);
    if (outcome == Refused) {
        QCOMPARE(dialog.result(), 0);
        QCOMPARE(seen.titles.last(), QStringLiteral("saveEntry - Fichier illisible"));
        QVERIFY(now == bytes);
        return;
    }
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const Book book = readBook(now);
    QVERIFY2(book.ok, qPrintable(book.error));
    QCOMPARE(book.entries.last().data.id, shown);
    QCOMPARE(book.entries.last().data.text, QStringLiteral("Nouvelle & dernière"));
    // Every earlier entry is still there, the new one after them.
    const Book before = readBook(bytes);
    QCOMPARE(book.entries.size(), (before.ok ? before.entries.size() : 0) + 1);
    for (int i = 0; i < book.entries.size() - 1; ++i)
        QCOMPARE(book.entries.at(i).data.text, before.entries.at(i).data.text);
    if (now.size() < (1 << 20)) {
        QString why;
        QVERIFY2(xmllintAccepts(path, &why), qPrintable(why));
    }
}

void TestBadInputs::monsters_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("rows"); // -1: not readable
    QTest::newRow("NUL bytes") << QByteArray("<M><E Name=\"a\"/>\0</M>", 21) << -1;
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF<M><E Name=\"a\"/></M>") << 1;
    QTest::newRow("unknown encoding")
        << QByteArray("<?xml version=\"1.0\" encoding=\"klingon-7\"?><M><E/></M>") << -1;
    QTest::newRow("deep nesting") << "<M><E>" + QByteArray("<a>").repeated(100000)
                                         + QByteArray("</a>").repeated(100000) + "</E></M>"
                                  << 1;
    QTest::newRow("100 000 monsters")
        << "<M>" + QByteArray("<E Name=\"Orque\" Habilete=\"7\" Endurance=\"9\"/>").repeated(100000)
               + "</M>"
        << 100000;
}

void TestBadInputs::monsters()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, rows);
    QVector<MonsterRow> read;
    QCOMPARE(MonsterFile::read(bytes, &read), rows >= 0);
    QCOMPARE(read.size(), qMax(rows, 0));
}

void TestBadInputs::failingDevice_data()
{
    QTest::addColumn<int>("room");
    QTest::newRow("full at once") << 0;
    QTest::newRow("full midway") << 1000;
}

void TestBadInputs::failingDevice()
{
    QFETCH(int, room);
    FailDevice device(room);
    QVERIFY(device.open(QIODevice::WriteOnly));
    QString error;
    QVERIFY(!writeAll(device, QByteArray(5000, 'x'), &error));
    QVERIFY(error.contains(QStringLiteral("No space left")));
    QCOMPARE(device.written.size(), room);
}

QTEST_MAIN(TestBadInputs)
#include "tst_badinputs.moc"
