#include "export/bookidentity.h"

namespace {

// Orvandel's own namespace for the names it hashes.
const QUuid orvandelNamespace(QStringLiteral("{5b1f6d2a-8c43-4e7d-9a61-3f2e8d47c015}"));

} // namespace

QUuid BookIdentity::of(const Book &book, const QString &title)
{
    return QUuid::createUuidV5(orvandelNamespace, book.rootName() + QLatin1Char('\n') + title);
}

QString BookIdentity::ifid(const Book &book, const QString &title)
{
    return of(book, title).toString(QUuid::WithoutBraces).toUpper();
}
