#include "entry/entryui.h"

#include "persistence/entryformat.h"
#include "persistence/xmltext.h"
#include "ui_entryui.h"

#include <QFileInfo>
#include <QMessageBox>

#include <limits>

void EntryUI::setEntriesFile(const QString &path)
{
    entriesFile.setFileName(path);
    fileEmpty = isFileEmpty(entriesFile);
    lastId = 0;
    getLastId();
    int next = lastId;
    if ((next > 0 || !fileEmpty) && next < std::numeric_limits<int>::max())
        ++next;
    lastId = next;
    ui->lbl_IndexEntry->setText(EntryFormat::entryIdText(next));
}

bool EntryUI::isFileEmpty(QFile &file)
{
    // The bytes are read once, here; the numbering and the save both work
    // from them rather than opening the file again. They are kept even for a
    // file that counts as empty, so that a save can tell whether it changed.
    fileContent.clear();
    fileExisted = QFileInfo(file).isFile();
    if (!file.open(QIODevice::ReadOnly))
        return true;
    fileContent = file.readAll();
    file.close();
    return holdsNoText(fileContent);
}

void EntryUI::getLastId()
{
    book = BookScan();
    if (fileEmpty)
        return;
    book = scanBook(fileContent);
    // Entries read before a fault still count: the reader keeps what it saw.
    lastId = book.lastId;
    if (!book.wellFormed) {
        QMessageBox::critical(this, tr("getLastId - Erreur ouverture document XML"),
                              tr("Le document XML n'a pas pu être attribué à l'objet "
                                 "QDomDocument."),
                              QMessageBox::Ok, QMessageBox::NoButton);
    }
}
