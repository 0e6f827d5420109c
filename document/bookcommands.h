#ifndef ORVANDEL_BOOKCOMMANDS_H
#define ORVANDEL_BOOKCOMMANDS_H

#include "book/bookfile.h"

#include <QUndoCommand>

class BookDocument;

// One entry added, replaced or removed: the edit and the edit that takes it
// back, each the bytes of that entry only, made entry by entry again.
class EntryCommand : public QUndoCommand
{
public:
    EntryCommand(BookDocument *document, const Book::Edit &edit, const Book::Edit &reverse, const QString &text);
    void undo() override;
    void redo() override;

private:
    BookDocument *document;
    Book::Edit edit, reverse;
    bool done = true; // made before it was pushed
};

// The book changed as a whole (a version restored, renumbered, a book
// started): the pieces of the file that changed, the book read again.
class BookChangeCommand : public QUndoCommand
{
public:
    BookChangeCommand(BookDocument *document, const BookFile::Change &change, const QString &text);
    void undo() override;
    void redo() override;

private:
    BookDocument *document;
    BookFile::Change change;
    bool done = true;
};

#endif
