#ifndef ORVANDEL_BOOKIDENTITY_H
#define ORVANDEL_BOOKIDENTITY_H

#include "book/book.h"

#include <QString>
#include <QUuid>

// The one identifier under which a published book is known (the EPUB's
// dc:identifier, the Twee story's IFID): a name-based UUID (version 5) of
// the book's root name and title, the same every time the same book is
// published, another for another book.
class BookIdentity
{
public:
    static QUuid of(const Book &book, const QString &title);
    // "D674C58C-DEFA-5F70-B7A2-27742230C0FC", as Twine writes an IFID.
    static QString ifid(const Book &book, const QString &title);
};

#endif
