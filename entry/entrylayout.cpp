// The form laid out for a place beside the book's list: the same fields,
// one section a line (or two), narrow enough for a laptop's screen.
#include "entry/entryui.h"

#include "ui_entryui.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {

// A line of widgets, left to right; those in `wide` take the room left.
QHBoxLayout *line(QList<QWidget *> &order, std::initializer_list<QWidget *> widgets,
                  std::initializer_list<QWidget *> wide = {})
{
    auto *row = new QHBoxLayout;
    bool stretched = false;
    for (QWidget *w : widgets) {
        const bool grows = std::find(wide.begin(), wide.end(), w) != wide.end();
        row->addWidget(w, grows ? 1 : 0);
        stretched |= grows;
        order << w;
    }
    if (!stretched)
        row->addStretch(1);
    return row;
}

// A table with its Ajouter and Retirer buttons on its right.
QHBoxLayout *table(QList<QWidget *> &order, QTableWidget *rows, QPushButton *add, QPushButton *remove)
{
    rows->setMinimumHeight(rows->horizontalHeader()->sizeHint().height() + 2 * rows->verticalHeader()->defaultSectionSize() + 4);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch(1);
    auto *row = new QHBoxLayout;
    row->addWidget(rows, 1);
    row->addLayout(buttons);
    order << rows << add << remove;
    return row;
}

} // namespace

void EntryUI::layOutBeside()
{
    auto *page = new QWidget(this);
    page->setObjectName(QStringLiteral("page_Beside"));
    auto *grid = new QGridLayout(page);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(4);
    grid->setColumnStretch(1, 1);
    QList<QWidget *> order;
    int at = 0;
    auto section = [&](QLabel *label, std::initializer_list<QLayout *> lines, int stretch = 0) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        grid->addWidget(label, at, 0);
        auto *column = new QVBoxLayout;
        column->setSpacing(3);
        for (QLayout *l : lines)
            column->addLayout(l);
        grid->addLayout(column, at, 1);
        grid->setRowStretch(at, stretch);
        ++at;
    };

    auto *number = findChild<QPushButton *>(QStringLiteral("pb_Number"));
    // What acts on the whole entry at the top, where it never scrolls away.
    auto *top = line(order, {ui->lbl_IndexEntry, number});
    top->addWidget(ui->pb_Reset);
    top->addWidget(ui->pb_Save);
    top->addWidget(ui->pb_Cancel);
    section(ui->lbl_Text, {top});
    ui->textEdit->setMinimumHeight(100);
    grid->addWidget(ui->textEdit, at, 0, 1, 2);
    grid->setRowStretch(at++, 3);
    order << ui->textEdit;
    section(ui->lbl_Type, {line(order, {ui->ck_Choice, ui->ck_Attack, ui->ck_Flee, ui->ck_Luck, ui->ck_Bonus,
                                        ui->ck_Eat, ui->ck_Special, ui->le_Special})});
    section(ui->lbl_Choice,
            {line(order, {ui->ck_ChoiceActive, ui->lbl_ChoiceValue, ui->le_ChoiceValue, ui->lbl_ChoiceText, ui->le_ChoiceText},
                  {ui->le_ChoiceText}),
             table(order, ui->table_Choice, ui->pb_ChoiceAdd, ui->pb_ChoiceRemove)},
            2);
    section(ui->lbl_Monster,
            {line(order, {ui->lbl_MonsterType, ui->cb_MonsterType, ui->lbl_MonsterName, ui->le_MonsterName,
                          ui->lbl_MonsterHabilete, ui->sb_MonsterHabilete, ui->lbl_MonsterEndurance,
                          ui->sb_MonsterEndurance, ui->lbl_MonsterVictory, ui->le_MonsterVictory},
                  {ui->le_MonsterName}),
             table(order, ui->table_Monster, ui->pb_MonsterAdd, ui->pb_MonsterRemove)},
            1);
    section(ui->lbl_Flee, {line(order, {ui->ck_FleeActive, ui->ck_FleePenality, ui->lbl_FleeRound, ui->sb_FleeRound,
                                        ui->lbl_FleeRef, ui->le_FleeRef})});
    section(ui->lbl_Bonus, {line(order, {ui->ck_BonusActive, ui->lbl_BonusHabilete, ui->sb_BonusHabilete,
                                         ui->lbl_BonusEndurance, ui->sb_BonusEndurance, ui->lbl_BonusChance,
                                         ui->sb_BonusChance})});
    ui->lbl_Luck->setText(tr("Tentez votre\nchance :"));
    auto *unlucky = line(order, {ui->lbl_Unlucky, ui->lbl_UnluckyValue, ui->le_UnluckyValue, ui->lbl_UnluckyText,
                                 ui->le_UnluckyText},
                         {ui->le_UnluckyText});
    unlucky->insertSpacing(0, ui->ck_LuckActive->sizeHint().width() + 6);
    section(ui->lbl_Luck,
            {line(order, {ui->ck_LuckActive, ui->lbl_Lucky, ui->lbl_LuckyValue, ui->le_LuckyValue, ui->lbl_LuckyText,
                          ui->le_LuckyText},
                  {ui->le_LuckyText}),
             unlucky});
    // The two lines of luck start together, "Actif" aside.
    ui->lbl_Lucky->setMinimumWidth(ui->lbl_Unlucky->sizeHint().width());
    section(ui->lbl_Object,
            {line(order, {ui->lbl_ObjectName, ui->le_ObjectText, ui->ck_ObjectExchange, ui->ck_ObjectThrow,
                          ui->lbl_ObjectGold, ui->sb_ObjectGold, ui->lbl_ObjectFood, ui->sb_ObjectFood},
                  {ui->le_ObjectText}),
             line(order, {ui->lbl_ObjectBonus, ui->lbl_ObjectHabilete, ui->sb_ObjectHabilete, ui->lbl_ObjectEndurance,
                          ui->sb_ObjectEndurance, ui->lbl_ObjectChance, ui->sb_ObjectLuck, ui->lbl_ObjectOther,
                          ui->le_ObjectOther},
                  {ui->le_ObjectOther}),
             table(order, ui->table_Objects, ui->pb_ObjectAdd, ui->pb_ObjectRemove)},
            1);
    grid->addWidget(sectionNote, at++, 0, 1, 2);
    grid->addWidget(message, at++, 0, 1, 2);
    order << ui->pb_Reset << ui->pb_Save << ui->pb_Cancel;

    // The designer's page gives way to this one; its widgets all moved.
    auto *outer = qobject_cast<QVBoxLayout *>(layout());
    while (QLayoutItem *item = outer->takeAt(0))
        delete item;
    ui->layoutWidget->hide();
    outer->addWidget(page);
    for (int i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));
}
