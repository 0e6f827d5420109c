#include "entry/entryui.h"

#include "persistence/atomicwrite.h"
#include "persistence/entrydata.h"
#include "persistence/entryformat.h"
#include "persistence/xmltext.h"
#include "ui_entryui.h"

#include <QDir>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>

namespace {

QString cell(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text() : QString();
}

} // namespace

EntryData EntryUI::collectEntry() const
{
    EntryData e;
    e.id = ui->lbl_IndexEntry->text();
    e.text = ui->textEdit->toPlainText();

    e.eat = ui->ck_Eat->isChecked();
    e.bonus = ui->ck_Bonus->isChecked();
    e.luck = ui->ck_Luck->isChecked();
    e.attack = ui->ck_Attack->isChecked();
    e.flee = ui->ck_Flee->isChecked();
    e.special = ui->ck_Special->isChecked();
    e.choice = ui->ck_Choice->isChecked();
    e.specialText = ui->le_Special->text();

    e.bonusActive = ui->ck_BonusActive->isChecked();
    e.bonusHabilete = ui->sb_BonusHabilete->value();
    e.bonusEndurance = ui->sb_BonusEndurance->value();
    e.bonusChance = ui->sb_BonusChance->value();

    e.fleeActive = ui->ck_FleeActive->isChecked();
    e.fleePenality = ui->ck_FleePenality->isChecked();
    e.fleeRound = ui->sb_FleeRound->value();
    e.fleeRef = ui->le_FleeRef->text();

    e.luckActive = ui->ck_LuckActive->isChecked();
    e.luckyValue = ui->le_LuckyValue->text();
    e.luckyText = ui->le_LuckyText->text();
    e.unluckyValue = ui->le_UnluckyValue->text();
    e.unluckyText = ui->le_UnluckyText->text();

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
    return EntryFormat::typeCodes(collectEntry());
}

bool EntryUI::hasBonus() const
{
    return EntryFormat::hasBonus(collectEntry());
}

bool EntryUI::hasFlee() const
{
    return EntryFormat::hasFlee(collectEntry());
}

bool EntryUI::hasLuck() const
{
    return EntryFormat::hasLuck(collectEntry());
}

bool EntryUI::askRootName(QString *rootName)
{
    QString proposed;
    for (;;) {
        bool ok = false;
        const QString answer = QInputDialog::getText(
            this, tr("Information complémentaire"), tr("Nom du noeud principal :"),
            QLineEdit::Normal, proposed, &ok);
        if (!ok)
            return false;
        if (isXmlName(answer)) {
            *rootName = answer;
            return true;
        }
        const QString why = answer.isEmpty()
            ? tr("Le nom du noeud principal ne peut pas être vide.")
            : tr("« %1 » ne peut pas servir de nom de noeud XML : il doit commencer par une "
                 "lettre ou « _ », et ne contenir ni espace ni caractère comme < > & \" ' / "
                 "= ou !.")
                  .arg(answer);
        QMessageBox::warning(this, tr("saveEntry - Nom du noeud principal"), why);
        proposed = answer;
    }
}

bool EntryUI::fileChangedSinceBinding()
{
    const QString path = entriesFile.fileName();
    if (!QFileInfo(path).isFile())
        return fileExisted;
    return !fileExisted || !fileHolds(path, fileContent);
}

void EntryUI::saveEntry()
{
    const EntryData entry = collectEntry();
    if (!EntryFormat::isSaveable(entry))
        return;

    const QString path = entriesFile.fileName();
    const QString shownPath = QDir::toNativeSeparators(path);
    if (path.isEmpty()) {
        QMessageBox::critical(this, tr("saveEntry - Aucun fichier"),
                              tr("Aucun fichier des entrées n'est choisi : rien n'a été "
                                 "enregistré."));
        return;
    }

    if (fileChangedSinceBinding()) {
        QMessageBox::warning(
            this, tr("saveEntry - Fichier modifié"),
            tr("Le fichier « %1 » a été modifié par un autre programme depuis l'ouverture de "
               "cette entrée. Rien n'a été enregistré, pour ne pas effacer ces "
               "modifications.\n\nLe fichier vient d'être relu et le numéro de l'entrée mis à "
               "jour ; votre formulaire est intact : cliquez de nouveau sur « Save » pour "
               "l'enregistrer.")
                .arg(shownPath));
        setEntriesFile(path);
        return;
    }

    QVector<QByteArray> pieces;
    const QString entryText = EntryFormat::entryXml(entry);
    if (fileEmpty) {
        QString rootName;
        if (!askRootName(&rootName))
            return;
        pieces << EntryFormat::newFileText(rootName, entryText).toUtf8();
    } else if (book.canInsert()) {
        const SplicedBook spliced = spliceEntry(fileContent, book, entryText);
        pieces << spliced.head << spliced.middle << spliced.tail;
    } else {
        QMessageBox::critical(this, tr("saveEntry - Fichier illisible"),
                              tr("L'entrée n'a pas été enregistrée dans « %1 » :\n%2\n\n"
                                 "Le fichier n'a pas été modifié. Corrigez-le ou choisissez "
                                 "un autre livre (menu Fichier) ; votre formulaire reste "
                                 "ouvert.")
                                  .arg(shownPath, book.refusal));
        return;
    }

    QString error;
    if (!writeFileAtomically(path, pieces, &error)) {
        QMessageBox::critical(this, tr("saveEntry - Erreur écriture fichier XML"),
                              tr("Le fichier « %1 » n'a pas pu être enregistré :\n%2\n\n"
                                 "Le fichier n'a pas été modifié et votre formulaire reste "
                                 "ouvert.")
                                  .arg(shownPath, error));
        return;
    }
    accept();
}
