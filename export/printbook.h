#ifndef ORVANDEL_PRINTBOOK_H
#define ORVANDEL_PRINTBOOK_H

#include "book/book.h"

#include <QCoreApplication>
#include <QString>

#include <functional>

class QIODevice;

// The book as gamebooks are printed: a title page, the rules and an
// adventure sheet to fill in, then the entries in number order, each with
// its number in bold, its text, its fights as boxes to fill in, its test of
// luck and its choices written out ("Si vous voulez ouvrir la porte,
// rendez-vous au 212.").
class PrintBook
{
    Q_DECLARE_TR_FUNCTIONS(PrintBook)

public:
    enum Paper { A4, Letter };

    // Without a title, the book's root name read as words
    // (BookTitle::titleFromRoot); the author, when given, under the title.
    explicit PrintBook(const Book &book, const QString &title = QString(), const QString &author = QString());

    // One HTML page for a browser to print.
    QString html() const;
    // The same written as it is made, one entry at a time.
    bool writeHtml(QIODevice *device);
    // A PDF of the book laid out at `resolution` dots per inch, its pages
    // as Qt's rich text sets the HTML out. Set here (Typesetter), each
    // distinct word shaped once, unless the book holds what only Qt's own
    // printing sets out (right-to-left text, a word wider than a line...):
    // that is laid out whole by QTextDocument and painted through QPdfWriter
    // (needs a QGuiApplication either way). Qt's text layout reaches 2^23
    // device units down a book: some 6,400 A4 pages at 150 dpi, where a
    // book breaks into the same lines and pages as at 1,200 (at QPdfWriter's
    // own 1,200 dpi, pages past the 680th came out blank, and a book past
    // 2,700 pages as one page); a longer book is refused there. A PDF made
    // without every page laid out is refused too; nothing is written then.
    enum Typesetting { Own, QtPrinting };
    bool writePdf(QIODevice *device, Paper paper = A4, int resolution = 150, Typesetting typesetting = Own);
    QString errorString() const { return error; }

    // The pages before the entries, each in a <div class='page'>, as the
    // book prints them: the rules of the game, the adventure sheet.
    static QString rules();
    static QString adventureSheet();
    // The entries in the order of their numbers; those without one come last.
    static QVector<int> order(const Book &book);

private:
    QString page(const QString &bodyStyle) const;
    // The page's head and front matter, up to the entries' page; what
    // closes it after the entries.
    QString start(const QString &bodyStyle) const;
    static QString end();
    bool printThroughQt(QByteArray *made, int *pages, Paper paper, int resolution);
    // The page in pieces, one after the other, each given to `out`, which
    // says false to stop.
    bool pieces(const QString &bodyStyle, const std::function<bool(const QString &)> &out) const;

    const Book &book;
    QString title, author;
    QString error;
};

#endif
