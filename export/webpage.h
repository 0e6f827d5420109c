#ifndef ORVANDEL_WEBPAGE_H
#define ORVANDEL_WEBPAGE_H

#include "book/book.h"
#include "play/rules.h"

#include <QCoreApplication>
#include <QString>

#include <functional>

class QIODevice;

// The book as one web page a reader plays in any browser, with no network
// and no other file: the adventure sheet, one entry at a time, fights and
// tests of luck with dice by the rules of the game and the same seeded
// generator (a given seed takes the same path with the same rolls as
// orvandel-play), choices as links, "Recommencer", progress kept in the
// browser under the book's content. Every text of the book is shown as
// text, never as markup.
//
// The page's address may hold "#graine=S" to play with seed S, and
// "#graine=S&auto" to let a random reader play, the way orvandel-play's
// --trace does, and write its trace into the page.
class WebPage
{
    Q_DECLARE_TR_FUNCTIONS(WebPage)

public:
    // The page plays by `rules`, whose numbers it carries with the book.
    explicit WebPage(const Book &book, const QString &title = QString(), const Rules &rules = Rules(),
                     const QString &author = QString());
    // Empty, with errorString() saying why, when this program lacks the
    // page's engine.
    QByteArray html() const;
    // The book as the page's script reads it: JSON with every "<", ">", "&",
    // U+2028, U+2029 and U+FEFF escaped, so that no text of the book can end
    // the element that holds it, and every text reads back the same.
    QByteArray bookJson() const;
    // The page written as it is made, one entry at a time: a large book's
    // page is never whole in memory (the book's data is made twice, once
    // for its fingerprint, which comes first).
    bool write(QIODevice *device);
    QString errorString() const { return error; }

private:
    // The book's data in pieces, one after the other, each given to `out`,
    // which says false to stop.
    bool data(const std::function<bool(const QByteArray &)> &out) const;
    bool writePage(QIODevice *device, QString *error) const;

    const Book &book;
    QString title, author;
    Rules rules;
    QByteArray script;
    QString error;
};

#endif
