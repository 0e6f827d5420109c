#include "entry/entryui.h"

#include "book/entryid.h"
#include "entry/spelling.h"
#include "ui_entryui.h"

#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>

void EntryUI::setEntriesFile(const QString &path)
{
    entriesFile.setFileName(path);
    fileEmpty = isFileEmpty(entriesFile);
    getLastId();
    const int next = book->nextNumber();
    lastId = next;
    ui->lbl_IndexEntry->setText(next < 0 ? tr("complet") : EntryId::text(next));
    setWindowTitle(tr("Entrée %1 — %2").arg(ui->lbl_IndexEntry->text(), QFileInfo(path).fileName()));
}

void EntryUI::changeNumber()
{
    // For the entry a choice already leads to: any number no entry bears.
    bool ok = false;
    const int number = QInputDialog::getInt(this, tr("Numéro de l'entrée"), tr("Numéro :"),
                                            qMax(0, lastId), 0, EntryId::maximum, 1, &ok);
    if (!ok)
        return;
    const Book &read = book->book();
    const int taken = read.indexOfNumber(number);
    if (taken >= 0 && taken != editedIndex)
        return refuse(ui->lbl_IndexEntry, tr("Le numéro %1 est déjà pris par une autre entrée.").arg(EntryId::text(number)));
    lastId = number;
    ui->lbl_IndexEntry->setText(EntryId::text(number));
    updateTitle();
}

void EntryUI::proposeNumber(int number)
{
    if (editedIndex >= 0 || !book || number < 0 || book->book().indexOfNumber(number) >= 0)
        return;
    lastId = number;
    ui->lbl_IndexEntry->setText(EntryId::text(number));
    updateTitle();
}

bool EntryUI::isFileEmpty(QFile &file)
{
    // The file is read once, by its document; the numbering and the save
    // both work from what was read. Only a missing or blank file counts as
    // empty: one that cannot be read is never started afresh.
    watch(BookDocument::of(file.fileName()));
    document->load();
    Spelling::attach(this, document->spelling());
    book = &document->file();
    editedIndex = -1;
    editedNumber = -1;
    loadMonsterNames();
    return book->state() == BookFile::New;
}

void EntryUI::getLastId()
{
    if (book->state() != BookFile::Unreadable)
        return;
    const bool parsed = book->error() == BookFile::ParseError;
    QMessageBox::critical(this,
                          parsed ? tr("getLastId - Erreur ouverture document XML")
                                 : tr("getLastId - Erreur ouverture fichier XML"),
                          (parsed ? tr("Le document XML n'a pas pu être attribué à l'objet "
                                       "QDomDocument.")
                                  : tr("Le fichier XML n'a pas pu être ouvert."))
                              + QLatin1String("\n\n") + book->errorString(),
                          QMessageBox::Ok, QMessageBox::NoButton);
}

void EntryUI::setReadOnly(bool readOnly)
{
    if (readOnly && document)
        document->setReadOnly(true);
    ui->pb_Save->setEnabled(!readOnly);
    ui->pb_Save->setToolTip(readOnly ? tr("Le livre est ouvert en lecture seule : un autre Orvandel y écrit.")
                                     : QString());
}

void EntryUI::watch(const QSharedPointer<BookDocument> &open)
{
    if (document == open)
        return;
    if (document)
        document->disconnect(this);
    document = open;
    connect(document.data(), &BookDocument::entriesChanged, this, &EntryUI::followBook);
    connect(document.data(), &BookDocument::bookReset, this, [this] { followBook(0, -1, -1); });
}

void EntryUI::followBook(int index, int removed, int inserted)
{
    if (writing || !book)
        return;
    const Book &now = book->book();
    if (editedIndex >= 0) {
        if (removed >= 0 && editedIndex >= index + removed) {
            editedIndex += inserted - removed;
            return;
        }
        if (removed >= 0 && editedIndex < index)
            return;
        // Changed, moved or gone: found again by the number it had.
        editedIndex = editedNumber >= 0 ? now.indexOfNumber(editedNumber) : -1;
        if (editedIndex >= 0)
            return;
        // Deleted meanwhile (an undo, another window): the form keeps what
        // it shows, and saving adds it back rather than replacing another.
        message->setText(tr("L'entrée %1 n'est plus dans le livre : « Save » l'y ajoutera de nouveau.")
                             .arg(EntryId::text(qMax(0, editedNumber))));
        editedNumber = -1;
    }
    if (lastId < 0 || now.indexOfNumber(lastId) >= 0) {
        lastId = book->nextNumber();
        ui->lbl_IndexEntry->setText(lastId < 0 ? tr("complet") : EntryId::text(lastId));
    }
    fileEmpty = book->state() == BookFile::New;
    updateTitle();
}

void EntryUI::updateTitle()
{
    const QString file = QFileInfo(entriesFile.fileName()).fileName();
    setWindowTitle(editedIndex >= 0 ? tr("Entrée %1 — %2").arg(ui->lbl_IndexEntry->text(), file)
                                    : tr("Nouvelle entrée %1 — %2").arg(ui->lbl_IndexEntry->text(), file));
}

void EntryUI::startNew()
{
    resetForm();
    setDocument(document, -1);
    shown = formText(collectEntry());
}

void EntryUI::setDocument(const QSharedPointer<BookDocument> &open, int index)
{
    watch(open);
    document->load();
    Spelling::attach(this, document->spelling());
    book = &document->file();
    editedIndex = index;
    editedNumber = index >= 0 ? book->book().number(index) : -1;
    loadMonsterNames();
    entriesFile.setFileName(document->path());
    fileEmpty = book->state() == BookFile::New;
    if (document->isReadOnly())
        setReadOnly(true);
    if (index >= 0) {
        showEntry(book->book().entry(index));
        lastId = book->book().number(index);
        updateTitle();
        return;
    }
    lastId = book->nextNumber();
    ui->lbl_IndexEntry->setText(lastId < 0 ? tr("complet") : EntryId::text(lastId));
    updateTitle();
}
