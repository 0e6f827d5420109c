// Property: whatever the author types into every field, entry after entry,
// the book stays well-formed, ids follow on, and every value reads back as
// the form held it. The same for the monster list.
#include "monsters/monsterui.h"
#include "entry/entryui.h"
#include "persistence/bookreader.h"
#include "persistence/entryformat.h"
#include "testsupport.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QRandomGenerator>
#include <QTemporaryDir>

using namespace TestSupport;

class TestRoundTrip : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void entries();
    void monsterList();

private:
    QString value();
    QRandomGenerator random;
    quint32 seed = 0;
};

void TestRoundTrip::initTestCase()
{
    seed = qEnvironmentVariableIsSet("ORVANDEL_SEED")
        ? quint32(qEnvironmentVariableIntValue("ORVANDEL_SEED"))
        : QRandomGenerator::global()->generate();
    random.seed(seed);
    qInfo("seed %u (set ORVANDEL_SEED to replay)", seed);
}

QString TestRoundTrip::value()
{
    static const QStringList pieces{
        QString(), QStringLiteral("<"), QStringLiteral(">"), QStringLiteral("&"),
        QStringLiteral("\""), QStringLiteral("'"), QStringLiteral("\n"), QStringLiteral("\t"),
        QStringLiteral(" "), QStringLiteral("&amp;"), QStringLiteral("]]>"),
        QStringLiteral("Ωμέγα"), QStringLiteral("日本語"), QStringLiteral("😀"),
        QStringLiteral("Forêt"), QStringLiteral("œ€"), QStringLiteral("12"),
        QStringLiteral("<Attr id=\"5\">"), QStringLiteral("</Livre>"), QStringLiteral("\r\n"),
    };
    QString v;
    const int n = random.bounded(5);
    for (int i = 0; i < n; ++i)
        v += pieces.at(random.bounded(pieces.size()));
    return v;
}

// What the form holds, read from its widgets once the author is done.
static BookEntry snapshot(EntryUI &dialog)
{
    Form f(&dialog);
    BookEntry b;
    EntryData &e = b.data;
    e.id = f.shownId();
    e.text = f.get<QTextEdit>("textEdit")->toPlainText();
    e.bonusActive = f.get<QCheckBox>("ck_BonusActive")->isChecked();
    e.bonusHabilete = f.get<QSpinBox>("sb_BonusHabilete")->value();
    e.bonusEndurance = f.get<QSpinBox>("sb_BonusEndurance")->value();
    e.bonusChance = f.get<QSpinBox>("sb_BonusChance")->value();
    e.fleeActive = f.get<QCheckBox>("ck_FleeActive")->isChecked();
    e.fleePenality = f.get<QCheckBox>("ck_FleePenality")->isChecked();
    e.fleeRound = f.get<QSpinBox>("sb_FleeRound")->value();
    e.fleeRef = f.get<QLineEdit>("le_FleeRef")->text();
    e.luckActive = f.get<QCheckBox>("ck_LuckActive")->isChecked();
    e.luckyValue = f.get<QLineEdit>("le_LuckyValue")->text();
    e.luckyText = f.get<QLineEdit>("le_LuckyText")->text();
    e.unluckyValue = f.get<QLineEdit>("le_UnluckyValue")->text();
    e.unluckyText = f.get<QLineEdit>("le_UnluckyText")->text();
    e.monsterType = f.get<QComboBox>("cb_MonsterType")->currentText();
    e.choiceActive = f.get<QCheckBox>("ck_ChoiceActive")->isChecked();
    e.eat = f.get<QCheckBox>("ck_Eat")->isChecked();
    e.bonus = f.get<QCheckBox>("ck_Bonus")->isChecked();
    e.luck = f.get<QCheckBox>("ck_Luck")->isChecked();
    e.attack = f.get<QCheckBox>("ck_Attack")->isChecked();
    e.flee = f.get<QCheckBox>("ck_Flee")->isChecked();
    e.special = f.get<QCheckBox>("ck_Special")->isChecked();
    e.choice = f.get<QCheckBox>("ck_Choice")->isChecked();
    e.specialText = f.get<QLineEdit>("le_Special")->text();
    auto cells = [&](const char *table) {
        QVector<QStringList> rows;
        auto *t = f.get<QTableWidget>(table);
        for (int r = 0; r < t->rowCount(); ++r) {
            QStringList row;
            for (int c = 0; c < t->columnCount(); ++c)
                row << t->item(r, c)->text();
            rows << row;
        }
        return rows;
    };
    for (const QStringList &r : cells("table_Choice"))
        e.choices.append({r[0], r[1]});
    for (const QStringList &r : cells("table_Monster"))
        e.monsters.append({r[0], r[1], r[2], r[3]});
    for (const QStringList &r : cells("table_Objects"))
        e.objects.append({r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7], r[8]});
    b.types = EntryFormat::typeCodes(e);
    return b;
}

static QStringList differences(const BookEntry &want, const BookEntry &got)
{
    QStringList d;
    const EntryData &a = want.data, &b = got.data;
    auto cmp = [&d](const char *what, const QString &x, const QString &y) {
        if (x != y)
            d << QStringLiteral("%1: typed [%2] read [%3]").arg(QLatin1String(what), x, y);
    };
    auto num = [](int n) { return QString::number(n); };
    cmp("id", a.id, b.id);
    cmp("text", a.text, b.text);
    cmp("types", want.types, got.types);
    if (EntryFormat::hasBonus(a)) {
        cmp("bonus active", num(a.bonusActive), num(b.bonusActive));
        cmp("bonus", num(a.bonusHabilete) + num(a.bonusEndurance) + num(a.bonusChance),
            num(b.bonusHabilete) + num(b.bonusEndurance) + num(b.bonusChance));
    }
    if (EntryFormat::hasFlee(a)) {
        cmp("flee", num(a.fleeActive) + num(a.fleePenality) + num(a.fleeRound),
            num(b.fleeActive) + num(b.fleePenality) + num(b.fleeRound));
        cmp("flee ref", a.fleeRef, b.fleeRef);
    }
    if (EntryFormat::hasLuck(a)) {
        cmp("luck active", num(a.luckActive), num(b.luckActive));
        cmp("lucky value", a.luckyValue, b.luckyValue);
        cmp("lucky text", a.luckyText, b.luckyText);
        cmp("unlucky value", a.unluckyValue, b.unluckyValue);
        cmp("unlucky text", a.unluckyText, b.unluckyText);
    }
    if (!a.monsters.isEmpty())
        cmp("monster type", a.monsterType, b.monsterType);
    cmp("monsters", num(a.monsters.size()), num(b.monsters.size()));
    for (int i = 0; i < qMin(a.monsters.size(), b.monsters.size()); ++i) {
        cmp("monster name", a.monsters[i].name, b.monsters[i].name);
        cmp("monster habilete", a.monsters[i].habilete, b.monsters[i].habilete);
        cmp("monster endurance", a.monsters[i].endurance, b.monsters[i].endurance);
        cmp("monster victory", a.monsters[i].victory, b.monsters[i].victory);
    }
    cmp("objects", num(a.objects.size()), num(b.objects.size()));
    for (int i = 0; i < qMin(a.objects.size(), b.objects.size()); ++i) {
        const auto &x = a.objects[i], &y = b.objects[i];
        cmp("object", QStringList{x.text, x.exchange, x.throwAway, x.habilete, x.endurance,
                                  x.chance, x.gold, x.food, x.other}.join(QLatin1Char('|')),
            QStringList{y.text, y.exchange, y.throwAway, y.habilete, y.endurance, y.chance,
                        y.gold, y.food, y.other}.join(QLatin1Char('|')));
    }
    cmp("choices", num(a.choices.size()), num(b.choices.size()));
    if (!a.choices.isEmpty())
        cmp("choice active", num(a.choiceActive), num(b.choiceActive));
    for (int i = 0; i < qMin(a.choices.size(), b.choices.size()); ++i) {
        cmp("choice value", a.choices[i].value, b.choices[i].value);
        cmp("choice text", a.choices[i].text, b.choices[i].text);
    }
    return d;
}

void TestRoundTrip::entries()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("livre.xml"));
    ModalScript script;
    QVector<BookEntry> typed;
    const int wanted = 60;
    for (int attempt = 0; typed.size() < wanted && attempt < 4 * wanted; ++attempt) {
        EntryUI dialog;
        dialog.setEntriesFile(path);
        Form f(&dialog);
        f.text("textEdit", QStringLiteral("§") + value());
        for (const char *box : {"ck_Eat", "ck_Bonus", "ck_Luck", "ck_Attack", "ck_Flee",
                                "ck_Special", "ck_Choice", "ck_ChoiceActive", "ck_BonusActive",
                                "ck_FleeActive", "ck_FleePenality", "ck_LuckActive"})
            f.check(box, random.bounded(2) == 1);
        f.text("le_Special", value());
        for (const char *spin : {"sb_BonusHabilete", "sb_BonusEndurance", "sb_BonusChance",
                                 "sb_FleeRound"})
            f.number(spin, random.bounded(3) == 0 ? random.bounded(100) : 0);
        for (const char *edit : {"le_FleeRef", "le_LuckyValue", "le_LuckyText",
                                 "le_UnluckyValue", "le_UnluckyText"})
            f.text(edit, value());
        f.get<QComboBox>("cb_MonsterType")->setCurrentIndex(random.bounded(3));
        for (int i = random.bounded(3); i > 0; --i)
            f.choice(value(), value());
        for (int i = random.bounded(3); i > 0; --i)
            f.monster(value(), 1 + random.bounded(99), 1 + random.bounded(99), value());
        for (int i = random.bounded(3); i > 0; --i) {
            f.text("le_ObjectText", value()).text("le_ObjectOther", value());
            f.check("ck_ObjectExchange", random.bounded(2)).check("ck_ObjectThrow", random.bounded(2));
            for (const char *spin : {"sb_ObjectHabilete", "sb_ObjectEndurance", "sb_ObjectLuck",
                                     "sb_ObjectGold", "sb_ObjectFood"})
                f.number(spin, random.bounded(100));
            f.click("pb_ObjectAdd");
        }
        const BookEntry expected = snapshot(dialog);
        if (!EntryFormat::isSaveable(expected.data))
            continue; // the form refuses it, silently: nothing to compare
        if (typed.isEmpty())
            answerPrompt(script, QStringLiteral("Livre"));
        f.click("pb_Save");
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        typed.append(expected);
    }
    QCOMPARE(typed.size(), wanted);
    QVERIFY(script.unexpected.isEmpty());

    const Book book = readBook(readBytes(path));
    QVERIFY2(book.ok, qPrintable(book.error));
    QCOMPARE(book.entries.size(), wanted);
    for (int i = 0; i < wanted; ++i) {
        QCOMPARE(typed[i].data.id, EntryFormat::entryIdText(i));
        const QStringList d = differences(typed[i], book.entries[i]);
        QVERIFY2(d.isEmpty(), qPrintable(QStringLiteral("entry %1 (seed %2): %3")
                                             .arg(i).arg(seed).arg(d.join(QLatin1String("; ")))));
    }
    QString why;
    QVERIFY2(xmllintAccepts(path, &why), qPrintable(why));
}

void TestRoundTrip::monsterList()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("monstres.xml"));
    ModalScript script;
    auto answerFile = [&script, &path](bool exists) {
        answerFileDialog(script, path, nullptr, exists);
    };

    QStringList typed;
    for (int round = 0; round < 5; ++round) {
        answerFile(round > 0);
        MonsterUI dialog;
        Form f(&dialog);
        for (int i = 0; i < 10; ++i) {
            const QString name = QStringLiteral("m") + value();
            f.text("le_Name", name).number("sb_Habilete", 1 + random.bounded(99));
            f.number("sb_Endurance", 1 + random.bounded(99)).click("pb_Add");
            auto *table = f.get<QTableWidget>("tableWidget");
            typed << table->item(table->rowCount() - 1, 0)->text() + QLatin1Char('|')
                    + table->item(table->rowCount() - 1, 1)->text() + QLatin1Char('|')
                    + table->item(table->rowCount() - 1, 2)->text();
        }
        dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
    answerFile(true);
    MonsterUI reopened;
    auto *table = Form(&reopened).get<QTableWidget>("tableWidget");
    QStringList read;
    for (int r = 0; r < table->rowCount(); ++r)
        read << table->item(r, 0)->text() + QLatin1Char('|') + table->item(r, 1)->text()
                + QLatin1Char('|') + table->item(r, 2)->text();
    QCOMPARE(read, typed);
    QVERIFY(script.unexpected.isEmpty());
    QString why;
    QVERIFY2(xmllintAccepts(path, &why), qPrintable(why));
}

QTEST_MAIN(TestRoundTrip)
#include "tst_roundtrip.moc"
