// The entry form: its widgets, its tables and the reset, driven as an author
// drives it, by clicking.
#include "entry/entryui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTextEdit>

class TestEntryForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void widgets_data();
    void widgets();
    void widgetCounts();
    void windowAndContainer();
    void slotsInOrder();
    void initialState();
    void tables_data();
    void tables();

    void mirroring_data();
    void mirroring();
    void activeBoxDrivesNothing();

    void addChoice_data();
    void addChoice();
    void addMonster_data();
    void addMonster();
    void addObject_data();
    void addObject();
    void objectInputsStayForAnIdenticalSecondRow();

    void removeTakesCurrentRowNotSelection();
    void removeWithoutCurrentRowDoesNothing();
    void removeThenAddLeavesNoGap();

    void resetEmptiesEveryKindOfWidget();
    void resetThenAddStartsAtRowZero();
    void rowsNeverHaveAnEmptyCell();

private:
    template<typename T> T *w(const char *name)
    {
        T *found = dialog->findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("no widget %s", name);
        return found;
    }
    void click(const char *name) { w<QPushButton>(name)->click(); }
    QStringList rowTexts(const char *table, int row);
    void addChoiceRow(const QString &value, const QString &text);

    EntryUI *dialog = nullptr;
};

void TestEntryForm::init()
{
    dialog = new EntryUI;
    dialog->show();
    QApplication::setActiveWindow(dialog);
    QVERIFY(QTest::qWaitForWindowActive(dialog));
}

void TestEntryForm::cleanup()
{
    delete dialog;
    dialog = nullptr;
}

QStringList TestEntryForm::rowTexts(const char *table, int row)
{
    auto *t = w<QTableWidget>(table);
    QStringList texts;
    for (int c = 0; c < t->columnCount(); ++c) {
        QTableWidgetItem *item = t->item(row, c);
        texts << (item ? item->text() : QStringLiteral("<no item>"));
    }
    return texts;
}

void TestEntryForm::addChoiceRow(const QString &value, const QString &text)
{
    w<QLineEdit>("le_ChoiceValue")->setText(value);
    w<QLineEdit>("le_ChoiceText")->setText(text);
    click("pb_ChoiceAdd");
}

void TestEntryForm::widgets_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("rowSpan");
    QTest::addColumn<int>("columnSpan");

    struct Row { const char *name, *cls, *text; int r, c, rs, cs; };
    const QString none = QStringLiteral("-");
    static const Row rows[] = {
        {"lbl_Text", "QLabel", "Texte de l'entrée", 0, 0, 1, 1},
        {"lbl_IndexEntry", "QLabel", "999", 0, 1, 1, 1},
        {"textEdit", "QTextEdit", nullptr, 0, 2, 1, 9},
        {"lbl_Type", "QLabel", "Type(s) :", 1, 0, 1, 2},
        {"ck_Choice", "QCheckBox", "Choix", 1, 2, 1, 1},
        {"ck_Attack", "QCheckBox", "Attaque", 1, 3, 1, 1},
        {"ck_Flee", "QCheckBox", "Fuite", 1, 4, 1, 1},
        {"ck_Luck", "QCheckBox", "Tentez votre chance", 1, 5, 1, 2},
        {"ck_Bonus", "QCheckBox", "Bonus", 1, 7, 1, 1},
        {"ck_Eat", "QCheckBox", "Repas", 1, 8, 1, 1},
        {"ck_Special", "QCheckBox", "Special", 1, 9, 1, 1},
        {"le_Special", "QLineEdit", nullptr, 1, 10, 1, 1},
        {"lbl_Choice", "QLabel", "Choix :", 2, 0, 3, 1},
        {"ck_ChoiceActive", "QCheckBox", "Actif", 2, 1, 3, 1},
        {"lbl_ChoiceValue", "QLabel", "Valeur :", 2, 2, 1, 1},
        {"le_ChoiceValue", "QLineEdit", nullptr, 2, 3, 1, 1},
        {"lbl_ChoiceText", "QLabel", "Texte à afficher :", 2, 4, 1, 2},
        {"le_ChoiceText", "QLineEdit", nullptr, 2, 6, 1, 4},
        {"table_Choice", "QTableWidget", nullptr, 3, 2, 2, 8},
        {"pb_ChoiceAdd", "QPushButton", "Ajouter", 3, 10, 1, 1},
        {"pb_ChoiceRemove", "QPushButton", "Retirer", 4, 10, 1, 1},
        {"lbl_Bonus", "QLabel", "Bonus :", 5, 0, 1, 1},
        {"ck_BonusActive", "QCheckBox", "Actif", 5, 1, 1, 1},
        {"lbl_BonusHabilete", "QLabel", "Habileté :", 5, 2, 1, 1},
        {"sb_BonusHabilete", "QSpinBox", nullptr, 5, 3, 1, 1},
        {"lbl_BonusEndurance", "QLabel", "Endurance :", 5, 4, 1, 1},
        {"sb_BonusEndurance", "QSpinBox", nullptr, 5, 5, 1, 1},
        {"lbl_BonusChance", "QLabel", "Chance :", 5, 6, 1, 1},
        {"sb_BonusChance", "QSpinBox", nullptr, 5, 7, 1, 1},
        {"lbl_Flee", "QLabel", "Fuite :", 6, 0, 1, 1},
        {"ck_FleeActive", "QCheckBox", "Actif", 6, 1, 1, 1},
        {"ck_FleePenality", "QCheckBox", "Penalité", 6, 2, 1, 1},
        {"lbl_FleeRound", "QLabel", "Round :", 6, 3, 1, 1},
        {"sb_FleeRound", "QSpinBox", nullptr, 6, 4, 1, 1},
        {"lbl_FleeRef", "QLabel", "Référence :", 6, 5, 1, 1},
        {"le_FleeRef", "QLineEdit", nullptr, 6, 6, 1, 1},
        {"lbl_Luck", "QLabel", "Tentez votre chance :", 7, 0, 4, 1},
        {"ck_LuckActive", "QCheckBox", "Actif", 7, 1, 4, 1},
        {"lbl_Lucky", "QLabel", "Chanceux :", 7, 2, 2, 1},
        {"lbl_LuckyValue", "QLabel", "Valeur :", 7, 3, 1, 1},
        {"le_LuckyValue", "QLineEdit", nullptr, 7, 4, 1, 1},
        {"lbl_LuckyText", "QLabel", "Texte :", 7, 5, 1, 1},
        {"le_LuckyText", "QLineEdit", nullptr, 7, 6, 1, 5},
        {"lbl_Unlucky", "QLabel", "Malchanceux :", 9, 2, 2, 1},
        {"lbl_UnluckyValue", "QLabel", "Valeur :", 9, 3, 1, 1},
        {"le_UnluckyValue", "QLineEdit", nullptr, 9, 4, 1, 1},
        {"lbl_UnluckyText", "QLabel", "Texte :", 9, 5, 1, 1},
        {"le_UnluckyText", "QLineEdit", nullptr, 9, 6, 1, 5},
        {"lbl_Monster", "QLabel", "Monstre(s) :", 11, 0, 3, 1},
        {"lbl_MonsterType", "QLabel", "Type :", 11, 1, 3, 1},
        {"cb_MonsterType", "QComboBox", nullptr, 11, 2, 3, 1},
        {"lbl_MonsterName", "QLabel", "Nom :", 11, 3, 1, 1},
        {"le_MonsterName", "QLineEdit", nullptr, 11, 4, 1, 1},
        {"lbl_MonsterHabilete", "QLabel", "Habileté :", 11, 5, 1, 1},
        {"sb_MonsterHabilete", "QSpinBox", nullptr, 11, 6, 1, 1},
        {"lbl_MonsterEndurance", "QLabel", "Endurance :", 11, 7, 1, 1},
        {"sb_MonsterEndurance", "QSpinBox", nullptr, 11, 8, 1, 1},
        {"lbl_MonsterVictory", "QLabel", "Victoire :", 11, 9, 1, 1},
        {"le_MonsterVictory", "QLineEdit", nullptr, 11, 10, 1, 1},
        {"table_Monster", "QTableWidget", nullptr, 12, 3, 2, 7},
        {"pb_MonsterAdd", "QPushButton", "Ajouter", 12, 10, 1, 1},
        {"pb_MonsterRemove", "QPushButton", "Retirer", 13, 10, 1, 1},
        {"lbl_Object", "QLabel", "Objets :", 14, 0, 4, 1},
        {"lbl_ObjectName", "QLabel", "Texte :", 14, 1, 2, 1},
        {"le_ObjectText", "QLineEdit", nullptr, 14, 2, 2, 1},
        {"ck_ObjectExchange", "QCheckBox", "Echange", 14, 3, 1, 1},
        {"ck_ObjectThrow", "QCheckBox", "Jeter", 14, 4, 1, 1},
        {"lbl_ObjectGold", "QLabel", "Or :", 14, 5, 1, 1},
        {"sb_ObjectGold", "QSpinBox", nullptr, 14, 6, 1, 1},
        {"lbl_ObjectFood", "QLabel", "Provisions :", 14, 7, 1, 1},
        {"sb_ObjectFood", "QSpinBox", nullptr, 14, 8, 1, 1},
        {"lbl_ObjectOther", "QLabel", "Autre :", 14, 9, 1, 1},
        {"le_ObjectOther", "QLineEdit", nullptr, 14, 10, 1, 1},
        {"lbl_ObjectBonus", "QLabel", "Bonus", 15, 3, 1, 1},
        {"lbl_ObjectHabilete", "QLabel", "Habileté :", 15, 4, 1, 1},
        {"sb_ObjectHabilete", "QSpinBox", nullptr, 15, 5, 1, 1},
        {"lbl_ObjectEndurance", "QLabel", "Endurance :", 15, 6, 1, 1},
        {"sb_ObjectEndurance", "QSpinBox", nullptr, 15, 7, 1, 1},
        {"lbl_ObjectChance", "QLabel", "Chance :", 15, 8, 1, 1},
        {"sb_ObjectLuck", "QSpinBox", nullptr, 15, 9, 1, 1},
        {"table_Objects", "QTableWidget", nullptr, 16, 1, 2, 9},
        {"pb_ObjectAdd", "QPushButton", "Ajouter", 16, 10, 1, 1},
        {"pb_ObjectRemove", "QPushButton", "Retirer", 17, 10, 1, 1},
        {"pb_Reset", "QPushButton", "Reset", 18, 7, 1, 1},
        {"pb_Save", "QPushButton", "Save", 18, 8, 1, 1},
        {"pb_Cancel", "QPushButton", "Cancel", 18, 9, 1, 1},
    };
    QCOMPARE(int(sizeof rows / sizeof rows[0]), 86);
    for (const Row &r : rows)
        QTest::newRow(r.name) << QString::fromLatin1(r.cls)
                              << (r.text ? QString::fromUtf8(r.text) : none) << r.r << r.c
                              << r.rs << r.cs;
}

void TestEntryForm::widgets()
{
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    QFETCH(QString, className);
    QFETCH(QString, text);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, rowSpan);
    QFETCH(int, columnSpan);

    auto *widget = dialog->findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    if (text != QLatin1String("-"))
        QCOMPARE(widget->property("text").toString(), text);

    auto *grid = dialog->findChild<QGridLayout *>(QStringLiteral("gridLayout"));
    QVERIFY(grid);
    const int index = grid->indexOf(widget);
    QVERIFY2(index >= 0, "widget is not in the grid");
    int r, c, rs, cs;
    grid->getItemPosition(index, &r, &c, &rs, &cs);
    QCOMPARE(r, row);
    QCOMPARE(c, column);
    QCOMPARE(rs, rowSpan);
    QCOMPARE(cs, columnSpan);
    QCOMPARE(widget->parentWidget()->objectName(), QStringLiteral("layoutWidget"));
    QVERIFY(widget->isEnabled());
    QVERIFY(widget->toolTip().isEmpty());
}

void TestEntryForm::widgetCounts()
{
    auto *container = w<QWidget>("layoutWidget");
    auto direct = [container](const char *cls) {
        int n = 0;
        for (QObject *child : container->children())
            if (child->isWidgetType() && qstrcmp(child->metaObject()->className(), cls) == 0)
                ++n;
        return n;
    };
    QCOMPARE(direct("QLabel"), 35);
    QCOMPARE(direct("QCheckBox"), 14);
    QCOMPARE(direct("QLineEdit"), 12);
    QCOMPARE(direct("QSpinBox"), 11);
    QCOMPARE(direct("QPushButton"), 9);
    QCOMPARE(direct("QTableWidget"), 3);
    QCOMPARE(direct("QComboBox"), 1);
    QCOMPARE(direct("QTextEdit"), 1);
    QCOMPARE(w<QGridLayout>("gridLayout")->count(), 86);
}

void TestEntryForm::windowAndContainer()
{
    QCOMPARE(dialog->objectName(), QStringLiteral("EntryUI"));
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Dialog"));
    QCOMPARE(dialog->size(), QSize(865, 788));
    QVERIFY(!dialog->isModal()); // modal only while exec() runs it
    auto *container = w<QWidget>("layoutWidget");
    QCOMPARE(container->geometry(), QRect(10, 10, 846, 769));
    auto *grid = w<QGridLayout>("gridLayout");
    QCOMPARE(grid->contentsMargins(), QMargins(0, 0, 0, 0));
    QCOMPARE(grid->rowCount(), 19);
    QCOMPARE(grid->columnCount(), 11);

    dialog->resize(1200, 1000);
    QTest::qWait(10);
    QCOMPARE(container->geometry(), QRect(10, 10, 846, 769));
    QVERIFY(w<QLineEdit>("le_Special")->width() <= 40);
    QVERIFY(w<QLineEdit>("le_ChoiceValue")->width() <= 50);
    QCOMPARE(w<QLineEdit>("le_Special")->maximumWidth(), 40);
    QCOMPARE(w<QLineEdit>("le_ChoiceValue")->maximumWidth(), 50);

    QFont index = w<QLabel>("lbl_IndexEntry")->font();
    QCOMPARE(index.family(), QStringLiteral("Tahoma"));
    QCOMPARE(index.pointSize(), 12);
    QVERIFY(index.bold());
    QVERIFY(w<QLabel>("lbl_Text")->wordWrap());
}

void TestEntryForm::slotsInOrder()
{
    const QMetaObject &meta = EntryUI::staticMetaObject;
    QStringList names;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
        if (meta.method(i).methodType() == QMetaMethod::Slot)
            names << QString::fromLatin1(meta.method(i).methodSignature());
    QCOMPARE(names, (QStringList{"addChoice()", "removeChoice()", "addMonster()", "removeMonster()",
                                 "addObject()", "removeObject()", "resetForm()", "saveEntry()"}));
    QCOMPARE(meta.methodCount() - meta.methodOffset(), 8); // no signals, no other method
}

void TestEntryForm::initialState()
{
    for (auto *box : dialog->findChildren<QCheckBox *>())
        QVERIFY2(!box->isChecked(), qPrintable(box->objectName()));
    for (auto *spin : dialog->findChildren<QSpinBox *>()) {
        QCOMPARE(spin->minimum(), 0);
        QCOMPARE(spin->maximum(), 99);
        QCOMPARE(spin->value(), 0);
        QCOMPARE(spin->text(), QStringLiteral("0"));
        spin->setValue(150);
        QCOMPARE(spin->value(), 99);
        spin->setValue(-3);
        QCOMPARE(spin->value(), 0);
    }
    for (auto *edit : w<QWidget>("layoutWidget")->findChildren<QLineEdit *>(QString(), Qt::FindDirectChildrenOnly)) {
        QVERIFY(edit->text().isEmpty());
        QVERIFY(edit->placeholderText().isEmpty());
        QVERIFY(edit->inputMask().isEmpty());
    }
    QVERIFY(w<QTextEdit>("textEdit")->toPlainText().isEmpty());
    auto *types = w<QComboBox>("cb_MonsterType");
    QCOMPARE(types->count(), 3);
    QCOMPARE(types->itemText(0), QStringLiteral("U"));
    QCOMPARE(types->itemText(1), QStringLiteral("R"));
    QCOMPARE(types->itemText(2), QStringLiteral("P"));
    QCOMPARE(types->currentText(), QStringLiteral("U"));
    QCOMPARE(w<QLabel>("lbl_IndexEntry")->text(), QStringLiteral("999"));

    for (auto *button : dialog->findChildren<QPushButton *>()) {
        const bool choiceButton = button->objectName().startsWith(QLatin1String("pb_Choice"));
        QCOMPARE(button->autoDefault(), !choiceButton);
    }
}

void TestEntryForm::tables_data()
{
    QTest::addColumn<QStringList>("headers");
    QTest::addColumn<int>("selectionMode");
    QTest::addColumn<int>("selectionBehavior");
    QTest::addColumn<bool>("cornerButton");

    QTest::newRow("table_Choice") << QStringList{"Valeur", "Texte à afficher"}
                                  << int(QAbstractItemView::ContiguousSelection)
                                  << int(QAbstractItemView::SelectRows) << false;
    QTest::newRow("table_Monster") << QStringList{"Nom", "Habileté", "Endurance", "Victoire"}
                                   << int(QAbstractItemView::ExtendedSelection)
                                   << int(QAbstractItemView::SelectItems) << true;
    QTest::newRow("table_Objects")
        << QStringList{"Texte", "Echange", "Jeter", "Habileté", "Endurance", "Chance", "Or",
                       "Provisions", "Autre"}
        << int(QAbstractItemView::ExtendedSelection) << int(QAbstractItemView::SelectItems)
        << true;
}

void TestEntryForm::tables()
{
    QFETCH(QStringList, headers);
    QFETCH(int, selectionMode);
    QFETCH(int, selectionBehavior);
    QFETCH(bool, cornerButton);

    auto *table = dialog->findChild<QTableWidget *>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(table);
    QCOMPARE(table->rowCount(), 0);
    QCOMPARE(table->columnCount(), headers.size());
    for (int c = 0; c < headers.size(); ++c)
        QCOMPARE(table->horizontalHeaderItem(c)->text(), headers.at(c));
    QCOMPARE(int(table->selectionMode()), selectionMode);
    QCOMPARE(int(table->selectionBehavior()), selectionBehavior);
    QCOMPARE(table->isCornerButtonEnabled(), cornerButton);
    QCOMPARE(table->verticalHeader()->defaultSectionSize(), 20);
    QCOMPARE(table->verticalHeader()->minimumSectionSize(), 20);
    QVERIFY(table->editTriggers() != QAbstractItemView::NoEditTriggers);
}

void TestEntryForm::mirroring_data()
{
    QTest::addColumn<QString>("typeBox");
    QTest::addColumn<QString>("activeBox");
    QTest::newRow("choice") << "ck_Choice" << "ck_ChoiceActive";
    QTest::newRow("flee") << "ck_Flee" << "ck_FleeActive";
    QTest::newRow("bonus") << "ck_Bonus" << "ck_BonusActive";
    QTest::newRow("luck") << "ck_Luck" << "ck_LuckActive";
}

void TestEntryForm::mirroring()
{
    QFETCH(QString, typeBox);
    QFETCH(QString, activeBox);
    auto *type = dialog->findChild<QCheckBox *>(typeBox);
    auto *active = dialog->findChild<QCheckBox *>(activeBox);

    QTest::mouseClick(type, Qt::LeftButton);
    QVERIFY(type->isChecked());
    QVERIFY(active->isChecked());
    type->click();
    QVERIFY(!type->isChecked());
    QVERIFY(!active->isChecked());

    // An Actif box ticked by hand stays ticked when the Type box is checked...
    active->click();
    QVERIFY(active->isChecked());
    QVERIFY(!type->isChecked());
    type->click();
    QVERIFY(type->isChecked() && active->isChecked());
    // ...and both clear on the next click.
    type->click();
    QVERIFY(!type->isChecked() && !active->isChecked());

    // Set by program: no click, so no mirroring.
    type->setChecked(true);
    QVERIFY(!active->isChecked());

    // The keyboard clicks too.
    type->setChecked(false);
    type->setFocus();
    QTest::keyClick(type, Qt::Key_Space);
    QVERIFY(type->isChecked() && active->isChecked());
}

void TestEntryForm::activeBoxDrivesNothing()
{
    const auto boxes = dialog->findChildren<QCheckBox *>();
    for (const char *name : {"ck_ChoiceActive", "ck_FleeActive", "ck_BonusActive",
                             "ck_LuckActive", "ck_Attack", "ck_Eat", "ck_Special"}) {
        w<QCheckBox>(name)->click();
        for (auto *box : boxes)
            QCOMPARE(box->isChecked(), box->objectName() == QLatin1String(name));
        w<QCheckBox>(name)->click();
    }
}

void TestEntryForm::addChoice_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("added");
    QTest::newRow("both") << "12" << "Aller au nord" << true;
    QTest::newRow("spaces count") << " " << "  " << true;
    QTest::newRow("no text") << "12" << "" << false;
    QTest::newRow("no value") << "" << "Aller au nord" << false;
    QTest::newRow("nothing") << "" << "" << false;
}

void TestEntryForm::addChoice()
{
    QFETCH(QString, value);
    QFETCH(QString, text);
    QFETCH(bool, added);
    w<QPushButton>("pb_Save")->setFocus();

    addChoiceRow(value, text);

    auto *table = w<QTableWidget>("table_Choice");
    QCOMPARE(table->rowCount(), added ? 1 : 0);
    if (added) {
        QCOMPARE(rowTexts("table_Choice", 0), (QStringList{value, text}));
        QVERIFY(w<QLineEdit>("le_ChoiceValue")->text().isEmpty());
        QVERIFY(w<QLineEdit>("le_ChoiceText")->text().isEmpty());
        QVERIFY(table->selectedItems().isEmpty());
    } else {
        QCOMPARE(w<QLineEdit>("le_ChoiceValue")->text(), value);
        QCOMPARE(w<QLineEdit>("le_ChoiceText")->text(), text);
    }
    QVERIFY(w<QLineEdit>("le_ChoiceValue")->hasFocus());
}

void TestEntryForm::addMonster_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("victory");
    QTest::addColumn<int>("habilete");
    QTest::addColumn<int>("endurance");
    QTest::addColumn<bool>("added");
    QTest::newRow("complete") << "Orque" << "45" << 7 << 12 << true;
    QTest::newRow("two digits") << "Dragon" << "300" << 99 << 10 << true;
    QTest::newRow("endurance 0") << "Orque" << "45" << 7 << 0 << false;
    QTest::newRow("habilete 0") << "Orque" << "45" << 0 << 12 << false;
    QTest::newRow("no name") << "" << "45" << 7 << 12 << false;
    QTest::newRow("no victory") << "Orque" << "" << 7 << 12 << false;
}

void TestEntryForm::addMonster()
{
    QFETCH(QString, name);
    QFETCH(QString, victory);
    QFETCH(int, habilete);
    QFETCH(int, endurance);
    QFETCH(bool, added);
    w<QComboBox>("cb_MonsterType")->setCurrentIndex(2);
    w<QLineEdit>("le_MonsterName")->setText(name);
    w<QLineEdit>("le_MonsterVictory")->setText(victory);
    w<QSpinBox>("sb_MonsterHabilete")->setValue(habilete);
    w<QSpinBox>("sb_MonsterEndurance")->setValue(endurance);
    w<QPushButton>("pb_Save")->setFocus();

    click("pb_MonsterAdd");

    QCOMPARE(w<QTableWidget>("table_Monster")->rowCount(), added ? 1 : 0);
    if (added) {
        QCOMPARE(rowTexts("table_Monster", 0),
                 (QStringList{name, QString::number(habilete), QString::number(endurance),
                              victory}));
        QVERIFY(w<QLineEdit>("le_MonsterName")->text().isEmpty());
        QVERIFY(w<QLineEdit>("le_MonsterVictory")->text().isEmpty());
        QCOMPARE(w<QSpinBox>("sb_MonsterHabilete")->text(), QStringLiteral("0"));
        QCOMPARE(w<QSpinBox>("sb_MonsterEndurance")->text(), QStringLiteral("0"));
    } else {
        QCOMPARE(w<QLineEdit>("le_MonsterName")->text(), name);
        QCOMPARE(w<QSpinBox>("sb_MonsterHabilete")->value(), habilete);
        QCOMPARE(w<QSpinBox>("sb_MonsterEndurance")->value(), endurance);
    }
    QCOMPARE(w<QComboBox>("cb_MonsterType")->currentText(), QStringLiteral("P"));
    QVERIFY(w<QLineEdit>("le_MonsterName")->hasFocus());
}

void TestEntryForm::addObject_data()
{
    // Inputs: text, exchange, throw, habilete, endurance, luck, gold, food, other.
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<bool>("added");
    QTest::newRow("nothing") << QStringList{"", "0", "0", "0", "0", "0", "0", "0", ""} << false;
    QTest::newRow("text") << QStringList{"Épée", "0", "0", "0", "0", "0", "0", "0", ""} << true;
    QTest::newRow("exchange") << QStringList{"", "1", "0", "0", "0", "0", "0", "0", ""} << true;
    QTest::newRow("throw") << QStringList{"", "0", "1", "0", "0", "0", "0", "0", ""} << true;
    QTest::newRow("habilete") << QStringList{"", "0", "0", "2", "0", "0", "0", "0", ""} << true;
    QTest::newRow("endurance") << QStringList{"", "0", "0", "0", "3", "0", "0", "0", ""} << true;
    QTest::newRow("luck") << QStringList{"", "0", "0", "0", "0", "1", "0", "0", ""} << true;
    QTest::newRow("gold") << QStringList{"", "0", "0", "0", "0", "0", "10", "0", ""} << true;
    QTest::newRow("food") << QStringList{"", "0", "0", "0", "0", "0", "0", "2", ""} << true;
    QTest::newRow("other") << QStringList{"", "0", "0", "0", "0", "0", "0", "0", "Clé"} << true;
    QTest::newRow("all") << QStringList{"Bourse", "1", "1", "1", "2", "3", "40", "5", "x"}
                         << true;
}

void TestEntryForm::addObject()
{
    QFETCH(QStringList, inputs);
    QFETCH(bool, added);
    w<QLineEdit>("le_ObjectText")->setText(inputs[0]);
    w<QCheckBox>("ck_ObjectExchange")->setChecked(inputs[1] == QLatin1String("1"));
    w<QCheckBox>("ck_ObjectThrow")->setChecked(inputs[2] == QLatin1String("1"));
    w<QSpinBox>("sb_ObjectHabilete")->setValue(inputs[3].toInt());
    w<QSpinBox>("sb_ObjectEndurance")->setValue(inputs[4].toInt());
    w<QSpinBox>("sb_ObjectLuck")->setValue(inputs[5].toInt());
    w<QSpinBox>("sb_ObjectGold")->setValue(inputs[6].toInt());
    w<QSpinBox>("sb_ObjectFood")->setValue(inputs[7].toInt());
    w<QLineEdit>("le_ObjectOther")->setText(inputs[8]);
    w<QPushButton>("pb_Save")->setFocus();

    click("pb_ObjectAdd");

    QCOMPARE(w<QTableWidget>("table_Objects")->rowCount(), added ? 1 : 0);
    if (added)
        QCOMPARE(rowTexts("table_Objects", 0), inputs);
    QVERIFY(w<QLineEdit>("le_ObjectText")->hasFocus());
    // Nothing is cleared either way.
    QCOMPARE(w<QLineEdit>("le_ObjectText")->text(), inputs[0]);
    QCOMPARE(w<QCheckBox>("ck_ObjectThrow")->isChecked(), inputs[2] == QLatin1String("1"));
    QCOMPARE(w<QSpinBox>("sb_ObjectGold")->value(), inputs[6].toInt());
}

void TestEntryForm::objectInputsStayForAnIdenticalSecondRow()
{
    w<QCheckBox>("ck_ObjectThrow")->setChecked(true);
    click("pb_ObjectAdd");
    click("pb_ObjectAdd");
    QCOMPARE(w<QTableWidget>("table_Objects")->rowCount(), 2);
    const QStringList expected{"", "0", "1", "0", "0", "0", "0", "0", ""};
    QCOMPARE(rowTexts("table_Objects", 0), expected);
    QCOMPARE(rowTexts("table_Objects", 1), expected);
}

void TestEntryForm::removeTakesCurrentRowNotSelection()
{
    for (const char *value : {"1", "2", "3", "4"})
        addChoiceRow(QString::fromLatin1(value), QStringLiteral("t"));
    auto *table = w<QTableWidget>("table_Choice");
    table->setCurrentCell(1, 0);
    const QItemSelection rows23(table->model()->index(2, 0), table->model()->index(3, 1));
    table->selectionModel()->select(rows23, QItemSelectionModel::ClearAndSelect);
    QCOMPARE(table->currentRow(), 1);
    QCOMPARE(table->selectedItems().size(), 4);

    click("pb_ChoiceRemove");

    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(rowTexts("table_Choice", 0).first(), QStringLiteral("1"));
    QCOMPARE(rowTexts("table_Choice", 1).first(), QStringLiteral("3"));
    QCOMPARE(rowTexts("table_Choice", 2).first(), QStringLiteral("4"));

    // Repeated clicks keep removing until the table is empty.
    for (int i = 0; i < 5; ++i)
        click("pb_ChoiceRemove");
    QCOMPARE(table->rowCount(), 0);
    addChoiceRow(QStringLiteral("9"), QStringLiteral("t"));
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(rowTexts("table_Choice", 0).first(), QStringLiteral("9"));
}

void TestEntryForm::removeWithoutCurrentRowDoesNothing()
{
    w<QSpinBox>("sb_MonsterHabilete")->setValue(5);
    w<QSpinBox>("sb_MonsterEndurance")->setValue(5);
    w<QLineEdit>("le_MonsterName")->setText(QStringLiteral("Gobelin"));
    w<QLineEdit>("le_MonsterVictory")->setText(QStringLiteral("12"));
    click("pb_MonsterAdd");
    auto *table = w<QTableWidget>("table_Monster");
    table->setCurrentCell(-1, -1);
    QCOMPARE(table->currentRow(), -1);
    click("pb_MonsterRemove");
    QCOMPARE(table->rowCount(), 1);

    click("pb_Reset");
    click("pb_MonsterRemove");
    click("pb_ObjectRemove");
    click("pb_ChoiceRemove");
    QCOMPARE(table->rowCount(), 0);
}

void TestEntryForm::removeThenAddLeavesNoGap()
{
    addChoiceRow(QStringLiteral("1"), QStringLiteral("a"));
    addChoiceRow(QStringLiteral("2"), QStringLiteral("b"));
    addChoiceRow(QStringLiteral("3"), QStringLiteral("c"));
    auto *table = w<QTableWidget>("table_Choice");
    table->setCurrentCell(1, 1);
    click("pb_ChoiceRemove");
    addChoiceRow(QStringLiteral("4"), QStringLiteral("d"));
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(rowTexts("table_Choice", 0), (QStringList{"1", "a"}));
    QCOMPARE(rowTexts("table_Choice", 1), (QStringList{"3", "c"}));
    QCOMPARE(rowTexts("table_Choice", 2), (QStringList{"4", "d"}));
}

void TestEntryForm::resetEmptiesEveryKindOfWidget()
{
    w<QTextEdit>("textEdit")->setPlainText(QStringLiteral("Vous entrez dans la grotte."));
    for (auto *edit : dialog->findChildren<QLineEdit *>())
        edit->setText(QStringLiteral("x"));
    for (auto *spin : dialog->findChildren<QSpinBox *>())
        spin->setValue(7);
    w<QSpinBox>("sb_FleeRound")->setValue(0); // already 0: must still show 0 afterwards
    for (auto *box : dialog->findChildren<QCheckBox *>())
        box->setChecked(true);
    w<QComboBox>("cb_MonsterType")->setCurrentIndex(1);
    click("pb_ChoiceAdd");
    click("pb_MonsterAdd");
    click("pb_ObjectAdd");

    click("pb_Reset");

    QVERIFY(w<QTextEdit>("textEdit")->toPlainText().isEmpty());
    const auto container = w<QWidget>("layoutWidget");
    const auto edits = container->findChildren<QLineEdit *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(edits.size(), 12);
    for (auto *edit : edits)
        QVERIFY2(edit->text().isEmpty(), qPrintable(edit->objectName()));
    const auto spins = dialog->findChildren<QSpinBox *>();
    QCOMPARE(spins.size(), 11);
    for (auto *spin : spins) {
        QCOMPARE(spin->value(), 0);
        QCOMPARE(spin->text(), QStringLiteral("0"));
    }
    for (auto *box : dialog->findChildren<QCheckBox *>())
        QVERIFY2(!box->isChecked(), qPrintable(box->objectName()));
    const int columns[] = {2, 4, 9};
    int i = 0;
    for (const char *name : {"table_Choice", "table_Monster", "table_Objects"}) {
        auto *table = w<QTableWidget>(name);
        QCOMPARE(table->rowCount(), 0);
        QCOMPARE(table->columnCount(), columns[i++]);
        QVERIFY(table->horizontalHeaderItem(0));
    }
    QCOMPARE(w<QComboBox>("cb_MonsterType")->currentText(), QStringLiteral("R"));
    QCOMPARE(w<QLabel>("lbl_IndexEntry")->text(), QStringLiteral("999"));
}

void TestEntryForm::resetThenAddStartsAtRowZero()
{
    for (int i = 0; i < 3; ++i) {
        w<QLineEdit>("le_MonsterName")->setText(QStringLiteral("Loup"));
        w<QLineEdit>("le_MonsterVictory")->setText(QStringLiteral("8"));
        w<QSpinBox>("sb_MonsterHabilete")->setValue(6);
        w<QSpinBox>("sb_MonsterEndurance")->setValue(5);
        click("pb_MonsterAdd");
    }
    click("pb_Reset");
    w<QLineEdit>("le_MonsterName")->setText(QStringLiteral("Ours"));
    w<QLineEdit>("le_MonsterVictory")->setText(QStringLiteral("9"));
    w<QSpinBox>("sb_MonsterHabilete")->setValue(8);
    w<QSpinBox>("sb_MonsterEndurance")->setValue(10);
    click("pb_MonsterAdd");
    QCOMPARE(w<QTableWidget>("table_Monster")->rowCount(), 1);
    QCOMPARE(rowTexts("table_Monster", 0), (QStringList{"Ours", "8", "10", "9"}));
}

void TestEntryForm::rowsNeverHaveAnEmptyCell()
{
    // Any sequence of adds, removes and resets leaves every cell with an item.
    QRandomGenerator random(20261206);
    for (int step = 0; step < 400; ++step) {
        switch (random.bounded(8)) {
        case 0: addChoiceRow(QStringLiteral("1"), QStringLiteral("a")); break;
        case 1:
            w<QLineEdit>("le_MonsterName")->setText(QStringLiteral("M"));
            w<QLineEdit>("le_MonsterVictory")->setText(QStringLiteral("V"));
            w<QSpinBox>("sb_MonsterHabilete")->setValue(1);
            w<QSpinBox>("sb_MonsterEndurance")->setValue(1);
            click("pb_MonsterAdd");
            break;
        case 2: w<QSpinBox>("sb_ObjectGold")->setValue(1); click("pb_ObjectAdd"); break;
        case 3: case 4: case 5: {
            const char *tables[] = {"table_Choice", "table_Monster", "table_Objects"};
            const char *removes[] = {"pb_ChoiceRemove", "pb_MonsterRemove", "pb_ObjectRemove"};
            const int t = random.bounded(3);
            auto *table = w<QTableWidget>(tables[t]);
            if (table->rowCount() > 0)
                table->setCurrentCell(random.bounded(table->rowCount()), 0);
            click(removes[t]);
            break;
        }
        case 6: if (random.bounded(10) == 0) click("pb_Reset"); break;
        default: break;
        }
        for (auto *table : dialog->findChildren<QTableWidget *>())
            for (int r = 0; r < table->rowCount(); ++r)
                for (int c = 0; c < table->columnCount(); ++c)
                    QVERIFY2(table->item(r, c), qPrintable(QStringLiteral("%1 %2,%3 at step %4")
                                                               .arg(table->objectName())
                                                               .arg(r).arg(c).arg(step)));
    }
}

QTEST_MAIN(TestEntryForm)
#include "tst_entryform.moc"
