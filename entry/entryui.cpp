#include "entry/entryui.h"

#include "book/entrywriter.h"
#include "book/monsterlist.h"
#include "monsters/monsterui.h"
#include "ui_entryui.h"

#include <QCheckBox>
#include <QCompleter>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QStringListModel>
#include <QTableWidget>
#include <QTextEdit>

// The form as text, its number aside (binding a book changes the number).
QString EntryUI::formText(Entry entry)
{
    entry.id.clear();
    return EntryWriter::elementXml(entry);
}

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
    ui->table_Objects->setHorizontalHeaderLabels({tr("Texte"), tr("Échange"), tr("Jeter"),
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
    // A flight is offered once its round is played: typed without a
    // round, it would never be, so the round starts at the first.
    connect(ui->le_FleeRef, &QLineEdit::textEdited, this, [this](const QString &ref) {
        if (!ref.trimmed().isEmpty() && ui->sb_FleeRound->value() == 0)
            ui->sb_FleeRound->setValue(1);
    });
    ui->sb_FleeRound->setSpecialValueText(tr("jamais"));
    // Data given to a section ticks its boxes, which stay the author's to
    // untick: a fight typed without "Attaque" is a fight all the same.
    const auto ticks = [](QCheckBox *type, QCheckBox *active) {
        return [type, active] {
            type->setChecked(true);
            if (active)
                active->setChecked(true);
        };
    };
    connect(ui->le_FleeRef, &QLineEdit::textEdited, this, ticks(ui->ck_Flee, ui->ck_FleeActive));
    for (QLineEdit *luck : {ui->le_LuckyValue, ui->le_LuckyText, ui->le_UnluckyValue, ui->le_UnluckyText})
        connect(luck, &QLineEdit::textEdited, this, ticks(ui->ck_Luck, ui->ck_LuckActive));
    for (QSpinBox *bonus : {ui->sb_BonusHabilete, ui->sb_BonusEndurance, ui->sb_BonusChance})
        connect(bonus->findChild<QLineEdit *>(), &QLineEdit::textEdited, this, ticks(ui->ck_Bonus, ui->ck_BonusActive));

    connect(ui->pb_ChoiceAdd, SIGNAL(clicked(bool)), this, SLOT(addChoice()));
    connect(ui->pb_ChoiceRemove, SIGNAL(clicked(bool)), this, SLOT(removeChoice()));
    connect(ui->pb_MonsterAdd, SIGNAL(clicked(bool)), this, SLOT(addMonster()));
    connect(ui->pb_MonsterRemove, SIGNAL(clicked(bool)), this, SLOT(removeMonster()));
    connect(ui->pb_ObjectAdd, SIGNAL(clicked(bool)), this, SLOT(addObject()));
    connect(ui->pb_ObjectRemove, SIGNAL(clicked(bool)), this, SLOT(removeObject()));
    connect(ui->pb_Reset, SIGNAL(clicked(bool)), this, SLOT(askReset()));
    connect(ui->pb_Save, SIGNAL(clicked(bool)), this, SLOT(saveEntry()));
    connect(ui->pb_Cancel, SIGNAL(clicked(bool)), this, SLOT(reject()));

    // The form lives in a layout of the dialog, so that it shows whole at
    // its opening size and grows with the window; a line under it says why
    // something was refused.
    message = new QLabel(this);
    message->setObjectName(QStringLiteral("lbl_Message"));
    message->setStyleSheet(QStringLiteral("color: #c62828; font-weight: bold;"));
    auto *number = new QPushButton(tr("Changer le numéro…"), this);
    number->setObjectName(QStringLiteral("pb_Number"));
    number->setToolTip(tr("Donner à cette entrée un numéro libre, par exemple celui où mène déjà un choix."));
    connect(number, &QPushButton::clicked, this, &EntryUI::changeNumber);
    sectionNote = new QLabel(this);
    sectionNote->setObjectName(QStringLiteral("lbl_Sections"));
    sectionNote->setWordWrap(true);
    sectionNote->setStyleSheet(QStringLiteral("color: #8a5a00;"));
    sectionNote->hide();
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(message, 1);
    bottom->addWidget(number);
    auto *outer = new QVBoxLayout(this);
    outer->addWidget(ui->layoutWidget, 1);
    outer->addWidget(sectionNote);
    outer->addLayout(bottom);
    resize(sizeHint().expandedTo(QSize(900, 640)));

    // Enter adds the row being typed; it never presses a button of the form.
    for (auto *button : findChildren<QPushButton *>())
        button->setAutoDefault(false);
    for (QLineEdit *edit : {ui->le_ChoiceValue, ui->le_ChoiceText})
        connect(edit, &QLineEdit::returnPressed, this, &EntryUI::addChoice);
    for (QLineEdit *edit : {ui->le_MonsterName, ui->le_MonsterVictory})
        connect(edit, &QLineEdit::returnPressed, this, &EntryUI::addMonster);
    for (QLineEdit *edit : {ui->le_ObjectText, ui->le_ObjectOther})
        connect(edit, &QLineEdit::returnPressed, this, &EntryUI::addObject);
    new QShortcut(QKeySequence::Save, this, SLOT(saveEntry()));
    // Whatever the author types clears the last refusal.
    for (auto *edit : findChildren<QLineEdit *>())
        connect(edit, &QLineEdit::textEdited, message, &QLabel::clear);
    connect(ui->textEdit, &QTextEdit::textChanged, message, &QLabel::clear);

    // The tab order follows the form, row by row, from the top.
    QMap<QPair<int, int>, QWidget *> cells;
    for (int i = 0; i < ui->gridLayout->count(); ++i) {
        int row, column, rows, columns;
        ui->gridLayout->getItemPosition(i, &row, &column, &rows, &columns);
        QWidget *w = ui->gridLayout->itemAt(i)->widget();
        if (w && w->focusPolicy() & Qt::TabFocus)
            cells.insert({row, column}, w);
    }
    QWidget *previous = nullptr;
    for (QWidget *w : qAsConst(cells)) {
        if (previous)
            setTabOrder(previous, w);
        previous = w;
    }

    // The text columns take the width left by the numbers.
    const auto stretch = [](QTableWidget *table, std::initializer_list<int> texts) {
        QHeaderView *header = table->horizontalHeader();
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        for (int column : texts)
            header->setSectionResizeMode(column, QHeaderView::Stretch);
    };
    stretch(ui->table_Choice, {1});
    stretch(ui->table_Monster, {0});
    stretch(ui->table_Objects, {0, 8});

    // A section's data counts whatever its boxes say: the line under the
    // form says so whenever they disagree.
    for (QCheckBox *box : findChildren<QCheckBox *>())
        connect(box, &QCheckBox::toggled, this, &EntryUI::updateSectionNote);
    for (QTableWidget *table : {ui->table_Choice, ui->table_Monster})
        for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
            connect(table->model(), signal, this, &EntryUI::updateSectionNote);
    for (QLineEdit *edit : {ui->le_FleeRef, ui->le_LuckyValue, ui->le_LuckyText})
        connect(edit, &QLineEdit::textChanged, this, &EntryUI::updateSectionNote);
    for (QSpinBox *spin : {ui->sb_FleeRound, ui->sb_BonusHabilete, ui->sb_BonusEndurance, ui->sb_BonusChance})
        connect(spin, QOverload<int>::of(&QSpinBox::valueChanged), this, &EntryUI::updateSectionNote);

    loadMonsterNames();
    shown = formText(collectEntry());
}

EntryUI::~EntryUI()
{
    delete ui;
}

void EntryUI::refuse(QWidget *where, const QString &why)
{
    message->setText(why);
    where->setFocus(Qt::OtherFocusReason);
}

void EntryUI::addChoice()
{
    if (ui->le_ChoiceValue->text().isEmpty())
        return refuse(ui->le_ChoiceValue, tr("Il manque le numéro de l'entrée où mène le choix."));
    if (ui->le_ChoiceText->text().isEmpty())
        return refuse(ui->le_ChoiceText, tr("Il manque le texte du choix."));
    {
        appendRow(ui->table_Choice, choiceRows, {ui->le_ChoiceValue->text(), ui->le_ChoiceText->text()});
        ui->ck_Choice->setChecked(true);
        ui->ck_ChoiceActive->setChecked(true);
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
    if (ui->le_MonsterName->text().isEmpty())
        return refuse(ui->le_MonsterName, tr("Il manque le nom du monstre."));
    if (ui->sb_MonsterHabilete->value() < 1)
        return refuse(ui->sb_MonsterHabilete, tr("Il manque l'Habileté du monstre (1 ou plus)."));
    if (ui->sb_MonsterEndurance->value() < 1)
        return refuse(ui->sb_MonsterEndurance, tr("Il manque l'Endurance du monstre (1 ou plus)."));
    if (ui->le_MonsterVictory->text().isEmpty())
        return refuse(ui->le_MonsterVictory, tr("Il manque la victoire du monstre : l'entrée où mène le combat gagné."));
    {
        appendRow(ui->table_Monster, monsterRows,
                {ui->le_MonsterName->text(), QString::number(ui->sb_MonsterHabilete->value()),
                 QString::number(ui->sb_MonsterEndurance->value()),
                 ui->le_MonsterVictory->text()});
        ui->ck_Attack->setChecked(true);
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
    if (!worthAdding)
        return refuse(ui->le_ObjectText, tr("L'objet est vide : donnez-lui au moins un texte ou une valeur."));
    {
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
    if (message)
        message->clear();
}

bool EntryUI::isUnsaved() const
{
    return formText(collectEntry()) != shown || hasRowNotAdded();
}

bool EntryUI::hasRowNotAdded() const
{
    // A choice or a monster typed into the fields under its table but not
    // yet added is work too. The object fields keep the last object added
    // (authors often add several alike): only what differs from it counts.
    if (!ui->le_ChoiceValue->text().isEmpty() || !ui->le_ChoiceText->text().isEmpty()
        || !ui->le_MonsterName->text().isEmpty() || !ui->le_MonsterVictory->text().isEmpty()
        || ui->sb_MonsterHabilete->value() != 0 || ui->sb_MonsterEndurance->value() != 0)
        return true;
    const QStringList object{ui->le_ObjectText->text(), flag(ui->ck_ObjectExchange), flag(ui->ck_ObjectThrow),
                             QString::number(ui->sb_ObjectHabilete->value()),
                             QString::number(ui->sb_ObjectEndurance->value()),
                             QString::number(ui->sb_ObjectLuck->value()), QString::number(ui->sb_ObjectGold->value()),
                             QString::number(ui->sb_ObjectFood->value()), ui->le_ObjectOther->text()};
    const QStringList empty{QString(), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"),
                            QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"),
                            QString()};
    if (object == empty)
        return false;
    QStringList last;
    if (objectRows > 0)
        for (int column = 0; column < object.size(); ++column) {
            const QTableWidgetItem *item = ui->table_Objects->item(objectRows - 1, column);
            last << (item ? item->text() : QString());
        }
    return object != last;
}

bool EntryUI::confirmAbandon()
{
    return !isUnsaved()
        || QMessageBox::question(this, tr("Abandonner cette entrée ?"),
                                 tr("Le formulaire contient une entrée qui n'est pas enregistrée. "
                                    "L'abandonner ?"),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

void EntryUI::reject()
{
    // Cancel, Escape and closing the window all come here; inside a window,
    // only Cancel, which leaves the entry for a new one.
    if (!confirmAbandon())
        return;
    if (embedded)
        startNew();
    else
        QDialog::reject();
}

void EntryUI::setEmbedded(bool inside)
{
    setWindowFlags(inside ? Qt::Widget : Qt::Dialog);
    if (inside && !embedded)
        layOutBeside();
    embedded = inside;
    ui->pb_Cancel->setToolTip(inside ? tr("Abandonner cette entrée et en commencer une nouvelle") : QString());
}

void EntryUI::keyPressEvent(QKeyEvent *event)
{
    if (embedded && event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void EntryUI::saveDone(const QString &id)
{
    saved = id;
    emit entrySaved(id);
    if (!embedded)
        return accept();
    // On to the next entry, its text first, wherever the save was asked from.
    startNew();
    ui->textEdit->setFocus(Qt::OtherFocusReason);
}

void EntryUI::updateSectionNote()
{
    const Entry e = collectEntry();
    QStringList unticked;
    if (!e.choices.isEmpty() && !(e.types.choice && e.choiceActive))
        unticked << ui->ck_Choice->text();
    if (!e.monsters.isEmpty() && !e.types.attack)
        unticked << ui->ck_Attack->text();
    if (e.hasFlee() && !(e.types.flee && e.flee.active))
        unticked << ui->ck_Flee->text();
    if (e.hasLuck() && !(e.types.luck && e.luck.active))
        unticked << ui->ck_Luck->text();
    if (e.hasBonus() && !(e.types.bonus && e.bonus.active))
        unticked << ui->ck_Bonus->text();
    sectionNote->setVisible(!unticked.isEmpty());
    sectionNote->setText(unticked.isEmpty() ? QString()
        : tr("Case décochée, section remplie (%1) : le lecteur la vivra quand même, car seul ce qui est "
             "rempli compte pour le jeu ; les cases ne changent que le type inscrit. Videz la section pour l'ôter.")
              .arg(unticked.join(QStringLiteral(", "))));
}

void EntryUI::askReset()
{
    if (confirmAbandon())
        resetForm();
}

void EntryUI::startSpecial()
{
    ui->ck_Special->setChecked(true);
    ui->le_Special->setFocus(Qt::OtherFocusReason);
    setWindowTitle(tr("Entrée spéciale"));
}

void EntryUI::loadMonsterNames()
{
    // The book's monsters (its own list, else those its fights name), or
    // without a book the list last used, complete the monster's name and
    // fill in its Habileté and Endurance.
    const QVector<MonsterRow> rows = document ? document->monsters() : MonsterUI::lastUsed();
    knownMonsters.clear();
    QStringList names;
    for (const MonsterRow &row : rows) {
        knownMonsters.insert(row.name, {row.habilete.toInt(), row.endurance.toInt()});
        names << row.name;
    }
    if (!monsterNames) {
        monsterNames = new QStringListModel(this);
        auto *completer = new QCompleter(monsterNames, this);
        completer->setCaseSensitivity(Qt::CaseInsensitive);
        ui->le_MonsterName->setCompleter(completer);
        auto fill = [this](const QString &name) {
            const auto it = knownMonsters.constFind(name);
            if (it == knownMonsters.constEnd())
                return;
            ui->sb_MonsterHabilete->setValue(it->first);
            ui->sb_MonsterEndurance->setValue(it->second);
        };
        connect(completer, QOverload<const QString &>::of(&QCompleter::activated), this, fill);
        connect(ui->le_MonsterName, &QLineEdit::editingFinished, this, [this, fill] { fill(ui->le_MonsterName->text()); });
    }
    monsterNames->setStringList(names);
}
