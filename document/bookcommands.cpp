#include "document/bookcommands.h"

#include "document/bookdocument.h"

EntryCommand::EntryCommand(BookDocument *document, const Book::Edit &edit, const Book::Edit &reverse,
                           const QString &text)
    : QUndoCommand(text), document(document), edit(edit), reverse(reverse)
{
}

void EntryCommand::undo()
{
    document->applyEdit(reverse, edit.inserted, BookDocument::tr("annulation : %1").arg(text()));
}

void EntryCommand::redo()
{
    if (done) {
        done = false;
        return;
    }
    document->applyEdit(edit, reverse.inserted, BookDocument::tr("rétablissement : %1").arg(text()));
}

BookChangeCommand::BookChangeCommand(BookDocument *document, const BookFile::Change &change, const QString &text)
    : QUndoCommand(text), document(document), change(change)
{
}

void BookChangeCommand::undo()
{
    document->applyChange(change.reversed(), BookDocument::tr("annulation : %1").arg(text()));
}

void BookChangeCommand::redo()
{
    if (done) {
        done = false;
        return;
    }
    document->applyChange(change, BookDocument::tr("rétablissement : %1").arg(text()));
}
