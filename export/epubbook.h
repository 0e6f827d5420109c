#ifndef ORVANDEL_EPUBBOOK_H
#define ORVANDEL_EPUBBOOK_H

#include "book/book.h"

#include <QCoreApplication>
#include <QString>

#include <functional>

class QIODevice;

// The book as an EPUB 3 for e-readers: one reflowable book with a title
// page, the rules and the adventure sheet, then the entries in number order
// as the printed book writes them (EntryHtml), each reference to an entry a
// link to it, fights as tables. The entries go into XHTML files of
// `entriesPerFile` each, so that a reader never opens one huge page. Zipped
// with KArchive: the mimetype first, stored, without an extra field, as
// e-readers look for it.
class EpubBook
{
    Q_DECLARE_TR_FUNCTIONS(EpubBook)

public:
    static constexpr int entriesPerFile = 100;

    // Without a title, the book's root name read as words.
    explicit EpubBook(const Book &book, const QString &title = QString(), const QString &author = QString());

    // The EPUB's bytes; null, with errorString(), when a page is not
    // well-formed XHTML or the archive cannot be made.
    QByteArray bytes();
    // The EPUB written into `device`.
    bool write(QIODevice *device);
    // The file at `path` replaced atomically by the EPUB, and read back.
    bool write(const QString &path);
    QString errorString() const { return error; }

    // HTML as the printed book makes it, as XHTML: void elements closed,
    // "&nbsp;" as a character reference, the layout attributes a printed
    // page uses (border, cellpadding, align...) left to the style sheet,
    // and each link "entry:INDEX" pointing where `link` says.
    static QString xhtml(const QString &html, const std::function<QString(int index)> &link);

private:
    QString page(const QString &heading, const QString &body, bool navigation = false) const;
    bool wellFormed(const QString &name, const QString &xhtml);

    const Book &book;
    QString title, author;
    QString error;
};

#endif
