// The text of the entries file, byte for byte, built from plain data.
#include "persistence/entryformat.h"
#include "persistence/xmltext.h"

#include <QTest>

using namespace EntryFormat;

class TestEntryFormat : public QObject
{
    Q_OBJECT

private slots:
    void firstFileWithOneChoice();
    void entryWithEverySection();
    void typeCodes_data();
    void typeCodes();
    void sections_data();
    void sections();
    void saveable_data();
    void saveable();
    void multiLineTextKeepsItsLines();
    void idsFollowTableOrder();
    void entryIdText_data();
    void entryIdText();
    void escaping_data();
    void escaping();
    void xmlNames_data();
    void xmlNames();
};

static EntryData withText(const QString &text = QStringLiteral("T"))
{
    EntryData e;
    e.id = QStringLiteral("000");
    e.text = text;
    return e;
}

void TestEntryFormat::firstFileWithOneChoice()
{
    EntryData e = withText(QStringLiteral("Vous êtes dans une forêt."));
    e.choice = true;
    e.choiceActive = true;
    e.choices.append({QStringLiteral("12"), QStringLiteral("Aller au nord")});

    const QString expected = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n")
        + QStringLiteral("<Livre>\n")
        + QStringLiteral("\t<Attr id=\"000\">\n")
        + QStringLiteral("\t\t<Text>Vous êtes dans une forêt.</Text>\n")
        + QStringLiteral("\t\t<Type>C</Type>\n")
        + QStringLiteral("\t\t<Choices active=\"1\">")
        + QStringLiteral("\t\t\t<Elem id=\"1\" Value=\"12\">Aller au nord</Elem>")
        + QStringLiteral("\t\t</Choices>") + QStringLiteral("\t</Attr>")
        + QStringLiteral("\n</Livre>");
    QCOMPARE(newFileText(QStringLiteral("Livre"), entryXml(e)), expected);
}

void TestEntryFormat::entryWithEverySection()
{
    EntryData e = withText(QStringLiteral("Un troll."));
    e.id = QStringLiteral("042");
    e.eat = e.bonus = e.luck = e.attack = e.flee = e.special = e.choice = true;
    e.specialText = QStringLiteral("7");
    e.bonusActive = true;
    e.bonusHabilete = 2;
    e.bonusEndurance = 0;
    e.bonusChance = 1;
    e.fleeActive = true;
    e.fleePenality = false;
    e.fleeRound = 3;
    e.fleeRef = QStringLiteral("88");
    e.luckActive = false;
    e.luckyValue = QStringLiteral("10");
    e.luckyText = QStringLiteral("Vous passez");
    e.unluckyValue = QStringLiteral("20");
    e.unluckyText = QStringLiteral("Vous tombez");
    e.monsterType = QStringLiteral("R");
    e.monsters.append({QStringLiteral("Troll"), QStringLiteral("8"), QStringLiteral("10"),
                       QStringLiteral("55")});
    e.monsters.append({QStringLiteral("Gobelin"), QStringLiteral("5"), QStringLiteral("4"),
                       QStringLiteral("56")});
    e.objects.append({QStringLiteral("Épée"), QStringLiteral("1"), QStringLiteral("0"),
                      QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("0"),
                      QStringLiteral("5"), QStringLiteral("2"), QStringLiteral("clé")});
    e.choiceActive = false;
    e.choices.append({QStringLiteral("100"), QStringLiteral("Fuir")});
    e.choices.append({QStringLiteral("200"), QStringLiteral("Combattre")});

    const QString expected = QStringLiteral("\t<Attr id=\"042\">\n")
        + QStringLiteral("\t\t<Text>Un troll.</Text>\n")
        + QStringLiteral("\t\t<Type>E,B,O,L,A,F,S7,C</Type>\n")
        + QStringLiteral("\t\t<Bonus active=\"1\">\n")
        + QStringLiteral("\t\t\t<Elem id=\"1\" Name=\"habilete\" Value=\"2\" />\n")
        + QStringLiteral("\t\t\t<Elem id=\"2\" Name=\"endurance\" Value=\"0\" />\n")
        + QStringLiteral("\t\t\t<Elem id=\"3\" Name=\"chance\" Value=\"1\" />\n")
        + QStringLiteral("\t\t</Bonus>\n")
        + QStringLiteral("\t\t<Flee active=\"1\" Penality=\"0\" Round=\"3\" Ref=\"88\"/>\n")
        + QStringLiteral("\t\t<Monster Type=\"R\">\n")
        + QStringLiteral("\t\t\t<Elem id=\"1\" Name=\"Troll\" habilete=\"8\" endurance=\"10\" "
                         "Value=\"55\" />\n")
        + QStringLiteral("\t\t\t<Elem id=\"2\" Name=\"Gobelin\" habilete=\"5\" endurance=\"4\" "
                         "Value=\"56\" />\n")
        + QStringLiteral("\t\t</Monster>\n")
        + QStringLiteral("\t\t<Luck active=\"0\">")
        + QStringLiteral("\t\t\t<Lucky Value=\"10\">Vous passez</Lucky>")
        + QStringLiteral("\t\t\t<Unlucky Value=\"20\">Vous tombez</Unlucky>")
        + QStringLiteral("\t\t</Luck>")
        + QStringLiteral("\t\t<Objects>")
        + QStringLiteral("\t\t\t<Elem id=\"1\" exchange=\"1\" throw=\"0\">")
        + QStringLiteral("\t\t\t\t<Text>Épée</Text>")
        + QStringLiteral("\t\t\t\t<Bonus>")
        + QStringLiteral("\t\t\t\t\t<Elem id=\"1\" Name=\"habilete\" Value=\"1\" />")
        + QStringLiteral("\t\t\t\t\t<Elem id=\"2\" Name=\"endurance\" Value=\"0\" />")
        + QStringLiteral("\t\t\t\t\t<Elem id=\"3\" Name=\"chance\" Value=\"0\" />")
        + QStringLiteral("\t\t\t\t</Bonus>")
        + QStringLiteral("\t\t\t\t<Gold Value=\"5\" />")
        + QStringLiteral("\t\t\t\t<Food Value=\"2\" />")
        + QStringLiteral("\t\t\t\t<Other>clé</Other>")
        + QStringLiteral("\t\t\t</Elem>")
        + QStringLiteral("\t\t</Objects>")
        + QStringLiteral("\t\t<Choices active=\"0\">")
        + QStringLiteral("\t\t\t<Elem id=\"1\" Value=\"100\">Fuir</Elem>")
        + QStringLiteral("\t\t\t<Elem id=\"2\" Value=\"200\">Combattre</Elem>")
        + QStringLiteral("\t\t</Choices>")
        + QStringLiteral("\t</Attr>");
    QCOMPARE(entryXml(e), expected);
}

void TestEntryFormat::typeCodes_data()
{
    QTest::addColumn<QString>("boxes"); // letters of the checked Type boxes
    QTest::addColumn<QString>("special");
    QTest::addColumn<int>("objects");
    QTest::addColumn<QString>("codes");
    QTest::newRow("nothing") << "" << "" << 0 << "X";
    QTest::newRow("eat and choice") << "EC" << "" << 0 << "E,C";
    QTest::newRow("special with text") << "S" << "12" << 0 << "S12";
    QTest::newRow("special alone") << "S" << "" << 0 << "S";
    QTest::newRow("object row alone") << "" << "" << 1 << "O";
    QTest::newRow("all in order") << "CSFALBE" << "12" << 2 << "E,B,O,L,A,F,S12,C";
    QTest::newRow("special with comma") << "SA" << "a,b" << 0 << "A,Sa,b";
}

void TestEntryFormat::typeCodes()
{
    QFETCH(QString, boxes);
    QFETCH(QString, special);
    QFETCH(int, objects);
    QFETCH(QString, codes);
    EntryData e = withText();
    e.eat = boxes.contains(QLatin1Char('E'));
    e.bonus = boxes.contains(QLatin1Char('B'));
    e.luck = boxes.contains(QLatin1Char('L'));
    e.attack = boxes.contains(QLatin1Char('A'));
    e.flee = boxes.contains(QLatin1Char('F'));
    e.special = boxes.contains(QLatin1Char('S'));
    e.choice = boxes.contains(QLatin1Char('C'));
    e.specialText = special;
    for (int i = 0; i < objects; ++i)
        e.objects.append({QStringLiteral("o"), QStringLiteral("0"), QStringLiteral("0"),
                          QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"),
                          QStringLiteral("0"), QStringLiteral("0"), QString()});
    QCOMPARE(EntryFormat::typeCodes(e), codes);
    QVERIFY(entryXml(e).contains(QStringLiteral("\t\t<Type>") + codes
                                 + QStringLiteral("</Type>\n")));
}

void TestEntryFormat::sections_data()
{
    QTest::addColumn<int>("habilete");
    QTest::addColumn<int>("endurance");
    QTest::addColumn<int>("chance");
    QTest::addColumn<int>("round");
    QTest::addColumn<QString>("ref");
    QTest::addColumn<QString>("luckyValue");
    QTest::addColumn<QString>("luckyText");
    QTest::addColumn<QString>("expectedTail"); // what follows the Type line

    const QString bonus2 = QStringLiteral("\t\t<Bonus active=\"0\">\n"
                                          "\t\t\t<Elem id=\"1\" Name=\"habilete\" Value=\"2\" />\n"
                                          "\t\t\t<Elem id=\"2\" Name=\"endurance\" Value=\"0\" />\n"
                                          "\t\t\t<Elem id=\"3\" Name=\"chance\" Value=\"0\" />\n"
                                          "\t\t</Bonus>\n");
    const QString end = QStringLiteral("\t</Attr>");
    QTest::newRow("nothing") << 0 << 0 << 0 << 0 << "" << "" << "" << end;
    QTest::newRow("habilete bonus") << 2 << 0 << 0 << 0 << "" << "" << "" << bonus2 + end;
    QTest::newRow("chance bonus alone")
        << 0 << 0 << 3 << 0 << "" << "" << ""
        << QStringLiteral("\t\t<Bonus active=\"0\">\n"
                          "\t\t\t<Elem id=\"1\" Name=\"habilete\" Value=\"0\" />\n"
                          "\t\t\t<Elem id=\"2\" Name=\"endurance\" Value=\"0\" />\n"
                          "\t\t\t<Elem id=\"3\" Name=\"chance\" Value=\"3\" />\n"
                          "\t\t</Bonus>\n")
            + end;
    QTest::newRow("flee round without ref") << 0 << 0 << 0 << 2 << "" << "" << "" << end;
    QTest::newRow("flee ref without round") << 0 << 0 << 0 << 0 << "30" << "" << "" << end;
    QTest::newRow("flee")
        << 0 << 0 << 0 << 2 << "30" << "" << ""
        << QStringLiteral("\t\t<Flee active=\"0\" Penality=\"0\" Round=\"2\" Ref=\"30\"/>\n") + end;
    QTest::newRow("lucky value without text") << 0 << 0 << 0 << 0 << "" << "5" << "" << end;
    QTest::newRow("lucky text without value") << 0 << 0 << 0 << 0 << "" << "" << "ok" << end;
    QTest::newRow("luck, unlucky pair empty")
        << 0 << 0 << 0 << 0 << "" << "5" << "ok"
        << QStringLiteral("\t\t<Luck active=\"0\">\t\t\t<Lucky Value=\"5\">ok</Lucky>"
                          "\t\t\t<Unlucky Value=\"\"></Unlucky>\t\t</Luck>")
            + end;
}

void TestEntryFormat::sections()
{
    QFETCH(int, habilete);
    QFETCH(int, endurance);
    QFETCH(int, chance);
    QFETCH(int, round);
    QFETCH(QString, ref);
    QFETCH(QString, luckyValue);
    QFETCH(QString, luckyText);
    QFETCH(QString, expectedTail);
    EntryData e = withText();
    e.bonus = true; // a checked Type box adds its code, never a section
    e.bonusHabilete = habilete;
    e.bonusEndurance = endurance;
    e.bonusChance = chance;
    e.fleeRound = round;
    e.fleeRef = ref;
    e.luckyValue = luckyValue;
    e.luckyText = luckyText;
    const QString head = QStringLiteral("\t<Attr id=\"000\">\n\t\t<Text>T</Text>\n\t\t<Type>B</Type>\n");
    QCOMPARE(entryXml(e), head + expectedTail);
}

void TestEntryFormat::saveable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("what");
    QTest::addColumn<bool>("saveable");
    QTest::newRow("no text, a choice") << "" << "choice" << false;
    QTest::newRow("text, objects only") << "T" << "object" << false;
    QTest::newRow("text, nothing") << "T" << "" << false;
    QTest::newRow("space, a choice") << " " << "choice" << true;
    QTest::newRow("text, a monster") << "T" << "monster" << true;
    QTest::newRow("text, a bonus") << "T" << "bonus" << true;
    QTest::newRow("text, flee without ref") << "T" << "round" << false;
    QTest::newRow("text, flee") << "T" << "flee" << true;
    QTest::newRow("text, lucky value only") << "T" << "luckyValue" << false;
    QTest::newRow("text, luck") << "T" << "luck" << true;
}

void TestEntryFormat::saveable()
{
    QFETCH(QString, text);
    QFETCH(QString, what);
    QFETCH(bool, saveable);
    EntryData e = withText(text);
    const QString x = QStringLiteral("x");
    if (what == QLatin1String("choice"))
        e.choices.append({x, x});
    if (what == QLatin1String("object"))
        e.objects.append({x, x, x, x, x, x, x, x, x});
    if (what == QLatin1String("monster"))
        e.monsters.append({x, x, x, x});
    if (what == QLatin1String("bonus"))
        e.bonusHabilete = 1;
    if (what == QLatin1String("round") || what == QLatin1String("flee"))
        e.fleeRound = 2;
    if (what == QLatin1String("flee"))
        e.fleeRef = x;
    if (what == QLatin1String("luckyValue") || what == QLatin1String("luck"))
        e.luckyValue = x;
    if (what == QLatin1String("luck"))
        e.luckyText = x;
    QCOMPARE(isSaveable(e), saveable);
}

void TestEntryFormat::multiLineTextKeepsItsLines()
{
    EntryData e = withText(QStringLiteral("Ligne un\n  ligne deux\n\tligne trois"));
    QVERIFY(entryXml(e).contains(
        QStringLiteral("\t\t<Text>Ligne un\n  ligne deux\n\tligne trois</Text>\n")));
}

void TestEntryFormat::idsFollowTableOrder()
{
    EntryData e = withText();
    for (const char *v : {"3", "1", "2"})
        e.choices.append({QString::fromLatin1(v), QStringLiteral("t")});
    const QString x = entryXml(e);
    QVERIFY(x.contains(QStringLiteral("<Elem id=\"1\" Value=\"3\">t</Elem>\t\t\t<Elem id=\"2\" "
                                      "Value=\"1\">t</Elem>\t\t\t<Elem id=\"3\" Value=\"2\">")));
}

void TestEntryFormat::entryIdText_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "000";
    QTest::newRow("7") << 7 << "007";
    QTest::newRow("42") << 42 << "042";
    QTest::newRow("998") << 998 << "998";
    QTest::newRow("999") << 999 << "999";
    QTest::newRow("1000") << 1000 << "1000";
    QTest::newRow("1001") << 1001 << "1001";
    QTest::newRow("12345") << 12345 << "12345";
}

void TestEntryFormat::entryIdText()
{
    QFETCH(int, number);
    QFETCH(QString, text);
    QCOMPARE(EntryFormat::entryIdText(number), text);
}

void TestEntryFormat::escaping_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("asContent");
    QTest::addColumn<QString>("asAttribute");
    QTest::addColumn<QString>("asLatin1Attribute");
    QTest::newRow("plain") << "Épée du roi" << "Épée du roi" << "Épée du roi" << "Épée du roi";
    QTest::newRow("reserved") << "a&b<c>d\"e'f" << "a&amp;b&lt;c&gt;d&quot;e'f"
                              << "a&amp;b&lt;c&gt;d&quot;e'f" << "a&amp;b&lt;c&gt;d&quot;e'f";
    QTest::newRow("white space") << "a\tb\nc\rd" << "a\tb\nc&#13;d" << "a&#9;b&#10;c&#13;d"
                                 << "a&#9;b&#10;c&#13;d";
    QTest::newRow("forbidden controls") << QString::fromUtf8("a\x01" "b\x1f" "c") << "abc"
                                        << "abc" << "abc";
    QTest::newRow("nul") << QString(QChar(0)) + QStringLiteral("x") << "x" << "x" << "x";
    QTest::newRow("noncharacters") << QString(QChar(0xFFFE)) + QChar(0xFFFF) + QStringLiteral("y")
                                   << "y" << "y" << "y";
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + QStringLiteral("z") << "z" << "z"
                                    << "z";
    QTest::newRow("beyond latin-1") << "cœur 5€ 😀" << "cœur 5€ 😀" << "cœur 5€ 😀"
                                    << "c&#339;ur 5&#8364; &#128512;";
}

void TestEntryFormat::escaping()
{
    QFETCH(QString, value);
    QFETCH(QString, asContent);
    QFETCH(QString, asAttribute);
    QFETCH(QString, asLatin1Attribute);
    QCOMPARE(xmlEscaped(value, XmlPlace::Content), asContent);
    QCOMPARE(xmlEscaped(value, XmlPlace::Attribute), asAttribute);
    QCOMPARE(xmlEscaped(value, XmlPlace::Attribute, XmlCharset::Latin1), asLatin1Attribute);
}

void TestEntryFormat::xmlNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::newRow("plain") << "Livre" << true;
    QTest::newRow("accented") << "Forêt_Noire-2" << true;
    QTest::newRow("underscore first") << "_x" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("space") << "mon livre" << false;
    QTest::newRow("leading digit") << "1livre" << false;
    QTest::newRow("less-than") << "a<b" << false;
    QTest::newRow("greater-than") << "a>b" << false;
    QTest::newRow("slash") << "a/" << false;
    QTest::newRow("quote") << "a\"" << false;
    QTest::newRow("ampersand") << "a&b" << false;
    QTest::newRow("trailing space") << "livre " << false;
}

void TestEntryFormat::xmlNames()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);
    QCOMPARE(isXmlName(name), valid);
}

QTEST_APPLESS_MAIN(TestEntryFormat)
#include "tst_entryformat.moc"
