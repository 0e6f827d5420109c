// The monsters file, byte for byte, and how it reads back.
#include "monsters/monsterfile.h"
#include "persistence/xmltext.h"

#include <QTest>

Q_DECLARE_METATYPE(QVector<MonsterRow>)

class TestMonsterFile : public QObject
{
    Q_OBJECT

private slots:
    void exactBytes();
    void emptyList();
    void emptyText_data();
    void emptyText();
    void readRules_data();
    void readRules();
    void notWellFormed_data();
    void notWellFormed();
    void valuesReadBack_data();
    void valuesReadBack();
};

static const QByteArray head = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<Monsters>\n";

void TestMonsterFile::exactBytes()
{
    const QVector<MonsterRow> rows{
        {QStringLiteral("Orque"), QStringLiteral("7"), QStringLiteral("12")},
        {QStringLiteral("Éléphant à çà"), QStringLiteral("10"), QStringLiteral("20")},
        {QStringLiteral("Maître ê"), QStringLiteral("5"), QStringLiteral("4")},
    };
    const QByteArray expected = head
        + "\t<Elem id=\"0\" Name=\"Orque\" Habilete=\"7\" Endurance=\"12\"/>\n"
        + "\t<Elem id=\"1\" Name=\"\xC9l\xE9phant \xE0 \xE7\xE0\" Habilete=\"10\" Endurance=\"20\"/>\n"
        + "\t<Elem id=\"2\" Name=\"Ma\xEEtre \xEA\" Habilete=\"5\" Endurance=\"4\"/>\n"
        + "</Monsters>";
    QCOMPARE(MonsterFile::write(rows), expected);
}

void TestMonsterFile::emptyList()
{
    const QByteArray bytes = MonsterFile::write({});
    QCOMPARE(bytes, head + "</Monsters>");
    QVector<MonsterRow> rows{{QStringLiteral("x"), QString(), QString()}};
    QVERIFY(MonsterFile::read(bytes, &rows));
    QVERIFY(rows.isEmpty());
}

void TestMonsterFile::emptyText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("empty");
    QTest::newRow("nothing") << QByteArray() << true;
    QTest::newRow("LF") << QByteArray("\n") << true;
    QTest::newRow("CR LF") << QByteArray("\r\n") << true;
    QTest::newRow("NUL first") << QByteArray("\0<Monsters/>", 12) << true;
    QTest::newRow("two line feeds") << QByteArray("\n\n") << false;
    QTest::newRow("spaces") << QByteArray("  ") << false;
    QTest::newRow("a file") << MonsterFile::write({}) << false;
}

void TestMonsterFile::emptyText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, empty);
    QCOMPARE(holdsNoText(bytes), empty);
}

void TestMonsterFile::readRules_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QVector<MonsterRow>>("rows");
    QTest::newRow("ids ignored, order kept")
        << head + "\t<Elem id=\"7\" Name=\"A\" Habilete=\"1\" Endurance=\"2\"/>\n"
                  "\t<Elem id=\"3\" Name=\"B\" Habilete=\"3\" Endurance=\"4\"/>\n"
                  "\t<Elem id=\"3\" Name=\"C\" Habilete=\"5\" Endurance=\"6\"/>\n</Monsters>"
        << QVector<MonsterRow>{{"A", "1", "2"}, {"B", "3", "4"}, {"C", "5", "6"}};
    QTest::newRow("any tag, missing attribute")
        << QByteArray("<Monsters><Beast Name=\"Loup\" Endurance=\"5\"/><Elem/></Monsters>")
        << QVector<MonsterRow>{{"Loup", "", "5"}, {"", "", ""}};
    QTest::newRow("comments and text skipped")
        << QByteArray("<Monsters>text<!-- <Elem Name=\"no\"/> --><Elem Name=\"yes\"/></Monsters>")
        << QVector<MonsterRow>{{"yes", "", ""}};
    QTest::newRow("any root, nested children not rows")
        << QByteArray("<Bestiaire><Elem Name=\"A\"><Elem Name=\"inner\"/></Elem></Bestiaire>")
        << QVector<MonsterRow>{{"A", "", ""}};
    QTest::newRow("values as they stand")
        << QByteArray("<M><Elem Name=\" \" Habilete=\"beaucoup\" Endurance=\"-3\"/></M>")
        << QVector<MonsterRow>{{" ", "beaucoup", "-3"}};
    QTest::newRow("latin-1 decoded")
        << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><M><E Name=\"D\xE9mon\"/></M>")
        << QVector<MonsterRow>{{"Démon", "", ""}};
    QTest::newRow("CR LF lines")
        << QByteArray("<M>\r\n\t<E Name=\"A\" Habilete=\"1\" Endurance=\"1\"/>\r\n</M>\r\n")
        << QVector<MonsterRow>{{"A", "1", "1"}};
}

void TestMonsterFile::readRules()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QVector<MonsterRow>, rows);
    QVector<MonsterRow> read;
    QVERIFY(MonsterFile::read(bytes, &read));
    QCOMPARE(read.size(), rows.size());
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(read[i].name, rows[i].name);
        QCOMPARE(read[i].habilete, rows[i].habilete);
        QCOMPARE(read[i].endurance, rows[i].endurance);
    }
}

void TestMonsterFile::notWellFormed_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("blank lines") << QByteArray("\n\n\n");
    QTest::newRow("spaces") << QByteArray("   \n  ");
    QTest::newRow("unclosed") << QByteArray("<Monsters><Elem Name=\"A\"/>");
    QTest::newRow("bad attribute") << QByteArray("<Monsters><Elem Name=A/></Monsters>");
}

void TestMonsterFile::notWellFormed()
{
    QFETCH(QByteArray, bytes);
    QVector<MonsterRow> rows;
    QVERIFY(!MonsterFile::read(bytes, &rows));
    QVERIFY(rows.isEmpty());
}

void TestMonsterFile::valuesReadBack_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("reserved") << "Tom & \"Jerry\" <le chat> 'x'";
    QTest::newRow("white space") << "a\tb\nc\r\nd  ";
    QTest::newRow("beyond latin-1") << "Cœur de dragon 5€ Ωμέγα 😀";
    QTest::newRow("accents") << "àâçéèêëîïôöùûüÿ ÀÉ";
}

void TestMonsterFile::valuesReadBack()
{
    QFETCH(QString, value);
    const QVector<MonsterRow> rows{{value, value, value}, {QStringLiteral("n"), value, value}};
    const QByteArray bytes = MonsterFile::write(rows);
    // The declaration stays true: every byte is a Latin-1 character.
    QCOMPARE(QString::fromLatin1(bytes).toLatin1(), bytes);
    QVector<MonsterRow> read;
    QVERIFY(MonsterFile::read(bytes, &read));
    QCOMPARE(read.size(), 2);
    QCOMPARE(read[0].name, value);
    QCOMPARE(read[0].habilete, value);
    QCOMPARE(read[1].endurance, value);
}

QTEST_APPLESS_MAIN(TestMonsterFile)
#include "tst_monsterfile.moc"
