// The form and the entry it shows, both ways: what the author typed as an
// Entry, and an Entry as the form shows it. Saving is elsewhere.
#include "entry/entryui.h"

#include "book/entry.h"
#include "ui_entryui.h"

namespace {

QString cell(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text() : QString();
}

} // namespace

Entry EntryUI::collectEntry() const
{
    Entry e;
    e.id = ui->lbl_IndexEntry->text();
    e.text = ui->textEdit->toPlainText();

    e.types.eat = ui->ck_Eat->isChecked();
    e.types.bonus = ui->ck_Bonus->isChecked();
    e.types.luck = ui->ck_Luck->isChecked();
    e.types.attack = ui->ck_Attack->isChecked();
    e.types.flee = ui->ck_Flee->isChecked();
    e.types.special = ui->ck_Special->isChecked();
    e.types.choice = ui->ck_Choice->isChecked();
    e.types.specialText = ui->le_Special->text();

    e.bonus.active = ui->ck_BonusActive->isChecked();
    e.bonus.habilete = ui->sb_BonusHabilete->value();
    e.bonus.endurance = ui->sb_BonusEndurance->value();
    e.bonus.chance = ui->sb_BonusChance->value();

    e.flee.active = ui->ck_FleeActive->isChecked();
    e.flee.penality = ui->ck_FleePenality->isChecked();
    e.flee.round = ui->sb_FleeRound->value();
    e.flee.ref = ui->le_FleeRef->text();

    e.luck.active = ui->ck_LuckActive->isChecked();
    e.luck.luckyValue = ui->le_LuckyValue->text();
    e.luck.luckyText = ui->le_LuckyText->text();
    e.luck.unluckyValue = ui->le_UnluckyValue->text();
    e.luck.unluckyText = ui->le_UnluckyText->text();

    e.monsterType = ui->cb_MonsterType->currentText();
    const QTableWidget *monsters = ui->table_Monster;
    for (int r = 0; r < monsters->rowCount(); ++r)
        e.monsters.append({cell(monsters, r, 0), cell(monsters, r, 1), cell(monsters, r, 2),
                           cell(monsters, r, 3)});
    const QTableWidget *objects = ui->table_Objects;
    for (int r = 0; r < objects->rowCount(); ++r)
        e.objects.append({cell(objects, r, 0), cell(objects, r, 1), cell(objects, r, 2),
                          cell(objects, r, 3), cell(objects, r, 4), cell(objects, r, 5),
                          cell(objects, r, 6), cell(objects, r, 7), cell(objects, r, 8)});

    e.choiceActive = ui->ck_ChoiceActive->isChecked();
    const QTableWidget *choices = ui->table_Choice;
    for (int r = 0; r < choices->rowCount(); ++r)
        e.choices.append({cell(choices, r, 0), cell(choices, r, 1)});
    return e;
}

QString EntryUI::getTypes() const
{
    return collectEntry().typeCodes();
}

bool EntryUI::hasBonus() const
{
    return collectEntry().hasBonus();
}

bool EntryUI::hasFlee() const
{
    return collectEntry().hasFlee();
}

bool EntryUI::hasLuck() const
{
    return collectEntry().hasLuck();
}

void EntryUI::showEntry(const Entry &e)
{
    resetForm();
    ui->lbl_IndexEntry->setText(e.id);
    ui->textEdit->setPlainText(e.text);
    ui->ck_Eat->setChecked(e.types.eat);
    ui->ck_Bonus->setChecked(e.types.bonus);
    ui->ck_Luck->setChecked(e.types.luck);
    ui->ck_Attack->setChecked(e.types.attack);
    ui->ck_Flee->setChecked(e.types.flee);
    ui->ck_Special->setChecked(e.types.special);
    ui->ck_Choice->setChecked(e.types.choice);
    ui->le_Special->setText(e.types.specialText);

    ui->ck_BonusActive->setChecked(e.bonus.active);
    ui->sb_BonusHabilete->setValue(e.bonus.habilete);
    ui->sb_BonusEndurance->setValue(e.bonus.endurance);
    ui->sb_BonusChance->setValue(e.bonus.chance);

    ui->ck_FleeActive->setChecked(e.flee.active);
    ui->ck_FleePenality->setChecked(e.flee.penality);
    ui->sb_FleeRound->setValue(e.flee.round);
    ui->le_FleeRef->setText(e.flee.ref);

    ui->ck_LuckActive->setChecked(e.luck.active);
    ui->le_LuckyValue->setText(e.luck.luckyValue);
    ui->le_LuckyText->setText(e.luck.luckyText);
    ui->le_UnluckyValue->setText(e.luck.unluckyValue);
    ui->le_UnluckyText->setText(e.luck.unluckyText);

    if (!e.monsters.isEmpty())
        ui->cb_MonsterType->setCurrentText(e.monsterType);
    for (const Entry::Monster &m : e.monsters)
        appendRow(ui->table_Monster, monsterRows, {m.name, m.habilete, m.endurance, m.victory});
    for (const Entry::Object &o : e.objects)
        appendRow(ui->table_Objects, objectRows,
                  {o.text, o.exchange, o.throwAway, o.habilete, o.endurance, o.chance, o.gold, o.food, o.other});
    ui->ck_ChoiceActive->setChecked(e.choiceActive);
    for (const Entry::Choice &c : e.choices)
        appendRow(ui->table_Choice, choiceRows, {c.value, c.text});
    shown = formText(collectEntry());
}
