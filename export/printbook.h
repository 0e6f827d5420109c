#ifndef ORVANDEL_PRINTBOOK_H
#define ORVANDEL_PRINTBOOK_H

#include "book/book.h"

#include <QCoreApplication>
#include <QString>

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

    explicit PrintBook(const Book &book, const QString &title = QString());

    // One HTML page for a browser to print.
    QString html() const;
    bool writeHtml(QIODevice *device);
    // A PDF through Qt's own printing support (needs a QGuiApplication).
    bool writePdf(QIODevice *device, Paper paper = A4);
    QString errorString() const { return error; }

private:
    QString entryHtml(int index) const;

    const Book &book;
    QString title;
    QString error;
};

#endif
