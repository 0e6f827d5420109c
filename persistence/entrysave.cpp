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
#include <QPushButton>

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
        // Readers that know XML namespaces refuse a name with a colon whose
        // prefix is declared nowhere: it is made valid like any other.
        const QString typed = name->text();
        const QString answer = XmlText::isName(typed) && !typed.contains(QLatin1Char(':')) ? typed : XmlText::nameFrom(typed);
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
    // An ending is asked about once: rewriting one that already was needs no
    // question, and keeps its mark. The author says how it ends: a victory,
    // a death, or an ending and nothing more.
    const bool wasAnEnding = editedIndex >= 0 && !book->book().entry(editedIndex).hasWayOut();
    bool marked = false;
    Entry::End end = Entry::End::Unmarked;
    if (!entry.hasWayOut() && !wasAnEnding) {
        QMessageBox ask(QMessageBox::Question, tr("Une fin ?"),
                        tr("Cette entrée n'a aucune sortie : l'enregistrer comme une fin ?\n\n"
                           "Comment l'aventure s'achève-t-elle ici ?"),
                        QMessageBox::Yes | QMessageBox::No, this);
        QPushButton *victory = ask.addButton(tr("Une victoire"), QMessageBox::AcceptRole);
        victory->setObjectName(QStringLiteral("pb_Victory"));
        QPushButton *death = ask.addButton(tr("Une mort"), QMessageBox::AcceptRole);
        death->setObjectName(QStringLiteral("pb_Death"));
        ask.button(QMessageBox::Yes)->setText(tr("Une fin, sans plus"));
        ask.button(QMessageBox::No)->setText(tr("Annuler"));
        ask.setDefaultButton(QMessageBox::No);
        ask.setEscapeButton(QMessageBox::No);
        ask.exec();
        if (ask.clickedButton() == victory)
            end = Entry::End::Victory;
        else if (ask.clickedButton() == death)
            end = Entry::End::Death;
        else if (ask.clickedButton() != ask.button(QMessageBox::Yes))
            return;
        marked = true;
    }
    if (editedIndex >= 0) {
        // What the form does not show stays as the book had it.
        const Entry &original = book->book().entry(editedIndex);
        entry.tagName = original.tagName;
        entry.otherAttributes = original.otherAttributes;
        entry.otherChildren = original.otherChildren;
    }
    // An entry given a way out is no longer an ending: its mark goes, and
    // the question comes again if it becomes one.
    if (marked || entry.hasWayOut())
        entry.setEndMark(end);
    if (editedIndex >= 0 && entry == book->book().entry(editedIndex))
        return saveDone(entry.id);

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
        writing = true;
        const bool written = editedIndex >= 0 ? document->replaceEntry(editedIndex, entry) : document->addEntry(entry, rootName);
        writing = false;
        return written;
    };
    bool saved = write();
    if (!saved && document->error() == BookFile::HistoryError
        && QMessageBox::warning(this, tr("saveEntry - Historique"),
                                tr("%1\n\nEnregistrer l'entrée quand même, sans garder la version "
                                   "précédente du livre ?")
                                    .arg(document->errorString()),
                                QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes) {
        document->setHistoryRequired(false);
        saved = write();
        document->setHistoryRequired(true);
    }
    if (saved)
        return saveDone(entry.id);
    switch (document->error()) {
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
        // Read again; the entry being changed is found again by its number.
        document->followDisk();
        if (editedIndex >= 0) {
            editedIndex = book->book().indexOfNumber(lastId);
            if (editedIndex < 0)
                lastId = book->nextNumber();
        } else {
            lastId = book->nextNumber();
        }
        fileEmpty = book->state() == BookFile::New;
        ui->lbl_IndexEntry->setText(lastId < 0 ? tr("complet") : EntryId::text(lastId));
        break;
    case BookFile::WriteError:
        QMessageBox::critical(this, tr("saveEntry - Erreur écriture fichier XML"),
                              tr("Le fichier « %1 » n'a pas pu être enregistré :\n%2\n\n"
                                 "Le fichier n'a pas été modifié et votre formulaire reste "
                                 "ouvert.")
                                  .arg(shownPath, document->errorString()));
        break;
    default:
        QMessageBox::critical(this, tr("saveEntry - Fichier illisible"),
                              tr("L'entrée n'a pas été enregistrée dans « %1 » :\n%2\n\n"
                                 "Le fichier n'a pas été modifié. Corrigez-le ou choisissez "
                                 "un autre livre (menu Fichier) ; votre formulaire reste "
                                 "ouvert.")
                                  .arg(shownPath, document->errorString()));
        break;
    }
}

