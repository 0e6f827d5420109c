#include "entry/entryui.h"

#include "ui_entryui.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableWidget>
#include <QTextEdit>

// Every cell gets an item of its own, so that a save can read any row whole.
void EntryUI::fillRow(QTableWidget *table, int row, const QStringList &texts)
{
    for (int column = 0; column < texts.size(); ++column) {
        auto *item = new QTableWidgetItem;
        item->setText(texts.at(column));
        table->setItem(row, column, item);
    }
}

void EntryUI::appendRow(QTableWidget *table, int &rows, const QStringList &texts)
{
    ++rows;
    table->setRowCount(rows);
    fillRow(table, rows - 1, texts);
}

namespace {

QString flag(const QCheckBox *box)
{
    return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

// Takes away the current row (not the selection) and keeps its count in step.
void removeCurrentRow(QTableWidget *table, int &rows)
{
    const int row = table->currentRow();
    if (row < 0)
        return;
    table->removeRow(row);
    --rows;
}

} // namespace

EntryUI::EntryUI(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::EntryUI)
    , choiceRows(0)
    , monsterRows(0)
    , objectRows(0)
    , lastId(0)
    , fileEmpty(true)
{
    ui->setupUi(this);

    ui->table_Choice->setColumnCount(2);
    ui->table_Choice->setHorizontalHeaderLabels({tr("Valeur"), tr("Texte à afficher")});
    ui->table_Monster->setColumnCount(4);
    ui->table_Monster->setHorizontalHeaderLabels(
        {tr("Nom"), tr("Habileté"), tr("Endurance"), tr("Victoire")});
    ui->table_Objects->setColumnCount(9);
    ui->table_Objects->setHorizontalHeaderLabels({tr("Texte"), tr("Echange"), tr("Jeter"),
                                                  tr("Habileté"), tr("Endurance"), tr("Chance"),
                                                  tr("Or"), tr("Provisions"), tr("Autre")});

    // Type codes, not words: they are written to the file as they stand.
    ui->cb_MonsterType->addItem(QStringLiteral("U"));
    ui->cb_MonsterType->addItem(QStringLiteral("R"));
    ui->cb_MonsterType->addItem(QStringLiteral("P"));

    // A click on a Type box carries its new state to the section's Actif box;
    // setChecked() emits no click, so a reset does not go through these.
    connect(ui->ck_Choice, SIGNAL(clicked(bool)), ui->ck_ChoiceActive, SLOT(setChecked(bool)));
    connect(ui->ck_Flee, SIGNAL(clicked(bool)), ui->ck_FleeActive, SLOT(setChecked(bool)));
    connect(ui->ck_Bonus, SIGNAL(clicked(bool)), ui->ck_BonusActive, SLOT(setChecked(bool)));
    connect(ui->ck_Luck, SIGNAL(clicked(bool)), ui->ck_LuckActive, SLOT(setChecked(bool)));
    connect(ui->pb_ChoiceAdd, SIGNAL(clicked(bool)), this, SLOT(addChoice()));
    connect(ui->pb_ChoiceRemove, SIGNAL(clicked(bool)), this, SLOT(removeChoice()));
    connect(ui->pb_MonsterAdd, SIGNAL(clicked(bool)), this, SLOT(addMonster()));
    connect(ui->pb_MonsterRemove, SIGNAL(clicked(bool)), this, SLOT(removeMonster()));
    connect(ui->pb_ObjectAdd, SIGNAL(clicked(bool)), this, SLOT(addObject()));
    connect(ui->pb_ObjectRemove, SIGNAL(clicked(bool)), this, SLOT(removeObject()));
    connect(ui->pb_Reset, SIGNAL(clicked(bool)), this, SLOT(resetForm()));
    connect(ui->pb_Save, SIGNAL(clicked(bool)), this, SLOT(saveEntry()));
    connect(ui->pb_Cancel, SIGNAL(clicked(bool)), this, SLOT(reject()));
}

EntryUI::~EntryUI()
{
    delete ui;
}

void EntryUI::addChoice()
{
    if (!ui->le_ChoiceValue->text().isEmpty() && !ui->le_ChoiceText->text().isEmpty()) {
        appendRow(ui->table_Choice, choiceRows, {ui->le_ChoiceValue->text(), ui->le_ChoiceText->text()});
        ui->le_ChoiceValue->clear();
        ui->le_ChoiceText->clear();
    }
    ui->le_ChoiceValue->setFocus(Qt::OtherFocusReason);
}

void EntryUI::removeChoice()
{
    removeCurrentRow(ui->table_Choice, choiceRows);
}

void EntryUI::addMonster()
{
    if (!ui->le_MonsterName->text().isEmpty() && !ui->le_MonsterVictory->text().isEmpty()
        && ui->sb_MonsterEndurance->value() >= 1 && ui->sb_MonsterHabilete->value() >= 1) {
        appendRow(ui->table_Monster, monsterRows,
                {ui->le_MonsterName->text(), QString::number(ui->sb_MonsterHabilete->value()),
                 QString::number(ui->sb_MonsterEndurance->value()),
                 ui->le_MonsterVictory->text()});
        ui->le_MonsterName->clear();
        ui->sb_MonsterEndurance->setValue(0);
        ui->sb_MonsterHabilete->setValue(0);
        ui->le_MonsterVictory->clear();
    }
    ui->le_MonsterName->setFocus(Qt::OtherFocusReason);
}

void EntryUI::removeMonster()
{
    removeCurrentRow(ui->table_Monster, monsterRows);
}

void EntryUI::addObject()
{
    const bool worthAdding = !ui->le_ObjectText->text().isEmpty()
        || ui->ck_ObjectExchange->isChecked() || ui->ck_ObjectThrow->isChecked()
        || ui->sb_ObjectGold->value() != 0 || ui->sb_ObjectFood->value() != 0
        || !ui->le_ObjectOther->text().isEmpty() || ui->sb_ObjectEndurance->value() != 0
        || ui->sb_ObjectHabilete->value() != 0 || ui->sb_ObjectLuck->value() != 0;
    if (worthAdding) {
        appendRow(ui->table_Objects, objectRows,
                {ui->le_ObjectText->text(), flag(ui->ck_ObjectExchange),
                 flag(ui->ck_ObjectThrow), QString::number(ui->sb_ObjectHabilete->value()),
                 QString::number(ui->sb_ObjectEndurance->value()),
                 QString::number(ui->sb_ObjectLuck->value()),
                 QString::number(ui->sb_ObjectGold->value()),
                 QString::number(ui->sb_ObjectFood->value()), ui->le_ObjectOther->text()});
        // The object inputs stay as they are: authors often add several alike.
    }
    ui->le_ObjectText->setFocus(Qt::OtherFocusReason);
}

void EntryUI::removeObject()
{
    removeCurrentRow(ui->table_Objects, objectRows);
}

void EntryUI::resetForm()
{
    // By class rather than by name, so that a field added to the form later
    // is reset too. The line-edit pass also empties the editor inside each
    // spin box; the spin-box pass after it makes them show 0 again.
    for (auto *edit : findChildren<QTextEdit *>())
        edit->clear();
    for (auto *edit : findChildren<QLineEdit *>())
        edit->clear();
    for (auto *spin : findChildren<QSpinBox *>())
        spin->setValue(0);
    for (auto *box : findChildren<QCheckBox *>())
        box->setChecked(false);
    for (auto *table : findChildren<QTableWidget *>())
        table->setRowCount(0);
    choiceRows = 0;
    monsterRows = 0;
    objectRows = 0;
}
