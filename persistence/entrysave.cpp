#include "entry/entryui.h"

#include "book/entry.h"
#include "book/entryid.h"
#include "book/entrywriter.h"
#include "book/xmltext.h"
#include "ui_entryui.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QInputDialog>
#include <QMessageBox>

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

bool EntryUI::askRootName(QString *rootName, bool *startAtOne)
{
    // A new book: the name of its root element (proposed from the file's
    // name; a title with spaces or accents becomes a valid name), and where
    // its numbering starts.
    QDialog ask(this);
    ask.setWindowTitle(tr("Nouveau livre"));
    auto *name = new QLineEdit(XmlText::nameFrom(QFileInfo(entriesFile.fileName()).completeBaseName()), &ask);
    name->setObjectName(QStringLiteral("le_RootName"));
    name->selectAll();
    auto *fromOne = new QCheckBox(tr("Numéroter les entrées à partir de 1 (et non de 000)"), &ask);
    fromOne->setObjectName(QStringLiteral("ck_StartAtOne"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &ask);
    connect(buttons, &QDialogButtonBox::accepted, &ask, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &ask, &QDialog::reject);
    auto *form = new QFormLayout(&ask);
    form->addRow(tr("Nom du livre (élément racine XML) :"), name);
    form->addRow(fromOne);
    form->addRow(buttons);
    for (;;) {
        if (ask.exec() != QDialog::Accepted)
            return false;
        const QString answer = XmlText::isName(name->text()) ? name->text() : XmlText::nameFrom(name->text());
        if (!answer.isEmpty()) {
            *rootName = answer;
            *startAtOne = fromOne->isChecked();
            return true;
        }
        QMessageBox::warning(this, tr("saveEntry - Nom du livre"), tr("Le nom du livre ne peut pas être vide."));
    }
}

// A book holds entries with texts; a monster list or any other XML does not.
static bool looksLikeBook(const Book &book)
{
    if (book.isEmpty())
        return book.rootName() != QLatin1String("Monsters");
    for (int i = 0; i < book.size(); ++i)
        if (book.entry(i).tagName == QLatin1String("Attr") || !book.entry(i).text.isEmpty())
            return true;
    return false;
}

void EntryUI::saveEntry()
{
    Entry entry = collectEntry();
    if (entry.text.isEmpty())
        return refuse(ui->textEdit, tr("Il manque le texte de l'entrée."));
    if (!entry.hasWayOut()
        && QMessageBox::question(this, tr("Une fin ?"),
                                 tr("Cette entrée n'a aucune sortie : l'enregistrer comme une fin ?"),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
        return;
    if (editedIndex >= 0) {
        // What the form does not show stays as the book had it.
        const Entry &original = book->book().entry(editedIndex);
        entry.tagName = original.tagName;
        entry.otherAttributes = original.otherAttributes;
        entry.otherChildren = original.otherChildren;
        if (entry == original) {
            this->saved = entry.id;
            accept();
            return;
        }
    }

    const QString path = entriesFile.fileName();
    const QString shownPath = QDir::toNativeSeparators(path);
    if (path.isEmpty()) {
        QMessageBox::critical(this, tr("saveEntry - Aucun fichier"),
                              tr("Aucun fichier des entrées n'est choisi : rien n'a été "
                                 "enregistré."));
        return;
    }
    if (lastId < 0 && editedIndex < 0) {
        QMessageBox::critical(this, tr("saveEntry - Numéros épuisés"),
                              tr("Le livre « %1 » a déjà une entrée au plus grand numéro "
                                 "possible : rien n'a été enregistré.")
                                  .arg(shownPath));
        return;
    }

    QString rootName;
    bool startAtOne = false;
    if (fileEmpty && !askRootName(&rootName, &startAtOne))
        return;
    if (startAtOne && entry.id == EntryId::text(0))
        entry.id = EntryId::text(1);
    if (!fileEmpty && editedIndex < 0 && book->state() == BookFile::Readable && !looksLikeBook(book->book())
        && QMessageBox::question(this, tr("saveEntry - Ce fichier est-il un livre ?"),
                                 tr("Ce fichier ne ressemble pas à un livre : y ajouter l'entrée quand même ?"),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
        return;
    auto write = [&] {
        return editedIndex >= 0 ? book->replace(editedIndex, entry) : book->append(entry, rootName);
    };
    bool saved = write();
    if (!saved && book->error() == BookFile::HistoryError
        && QMessageBox::warning(this, tr("saveEntry - Historique"),
                                tr("%1\n\nEnregistrer l'entrée quand même, sans garder la version "
                                   "précédente du livre ?")
                                    .arg(book->errorString()),
                                QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes) {
        book->setHistoryRequired(false);
        saved = write();
        book->setHistoryRequired(true);
    }
    if (saved) {
        this->saved = entry.id;
        accept();
        return;
    }
    switch (book->error()) {
    case BookFile::HistoryError:
        return;
    case BookFile::ChangedError:
        QMessageBox::warning(
            this, tr("saveEntry - Fichier modifié"),
            tr("Le fichier « %1 » a été modifié par un autre programme depuis l'ouverture de "
               "cette entrée. Rien n'a été enregistré, pour ne pas effacer ces "
               "modifications.\n\nLe fichier vient d'être relu et le numéro de l'entrée mis à "
               "jour ; votre formulaire est intact : cliquez de nouveau sur « Save » pour "
               "l'enregistrer.")
                .arg(shownPath));
        if (book == &ownBook)
            setEntriesFile(path);
        break;
    case BookFile::WriteError:
        QMessageBox::critical(this, tr("saveEntry - Erreur écriture fichier XML"),
                              tr("Le fichier « %1 » n'a pas pu être enregistré :\n%2\n\n"
                                 "Le fichier n'a pas été modifié et votre formulaire reste "
                                 "ouvert.")
                                  .arg(shownPath, book->errorString()));
        break;
    default:
        QMessageBox::critical(this, tr("saveEntry - Fichier illisible"),
                              tr("L'entrée n'a pas été enregistrée dans « %1 » :\n%2\n\n"
                                 "Le fichier n'a pas été modifié. Corrigez-le ou choisissez "
                                 "un autre livre (menu Fichier) ; votre formulaire reste "
                                 "ouvert.")
                                  .arg(shownPath, book->errorString()));
        break;
    }
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
