// Reading any bytes as a book, checking it and drawing its map: no crash;
// the fast reader and QXmlStreamReader read the same book or the same fault;
// a book that reads writes back into bytes that read the same; renumbered,
// only its numbers change.
#include "analysis/bookcheck.h"
#include "analysis/bookmap.h"
#include "analysis/renumbering.h"
#include "book/bookreader.h"
#include "book/entrywriter.h"

#include <QBuffer>
#include <QRegularExpression>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    BookReader reader, checked;
    checked.setFastPath(false);
    const bool read = reader.read(bytes);
    const bool alike = true;
    if (alike && (checked.read(bytes) != read || checked.errorString() != reader.errorString()))
        abort();
    if (!read)
        return 0;
    const Book &book = reader.book();
    if (alike && (checked.book().size() != book.size() || checked.book().whyNotWritable() != book.whyNotWritable()))
        abort();
    for (int i = 0; alike && i < book.size(); ++i)
        if (checked.book().entry(i) != book.entry(i) || checked.book().span(i).begin != book.span(i).begin
            || checked.book().span(i).end != book.span(i).end)
            abort();
    const QVector<BookFinding> findings = BookCheck::run(book);
    BookMap::dot(book, findings);
    if (!book.isWritable())
        return 0;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QString error;
    BookReader again;
    if (!EntryWriter::writeBook(book, &out, &error) || !again.read(out.data())
        || again.book().size() != book.size())
        abort();
    for (int i = 0; i < book.size(); ++i)
        if (again.book().entry(i).id != book.entry(i).id
            || again.book().entry(i).choices.size() != book.entry(i).choices.size())
            abort();

    static const QRegularExpression numbers(QStringLiteral("\\b(id|Value|Ref)\\s*=\\s*(\"[^\"]*\"|'[^']*')"));
    const QString hidden = QString::fromUtf8(bytes).replace(numbers, QStringLiteral("\\1=#"));
    const QSet<int> pinned = book.isEmpty() ? QSet<int>() : QSet<int>{book.number(book.size() / 2)};
    for (const Renumbering::Mode mode : {Renumbering::Compact, Renumbering::Shuffle}) {
        const QByteArray renumbered = Renumbering::make(book, mode, quint32(size), pinned).bytes(book);
        if (renumbered.isNull() || QString::fromUtf8(renumbered).replace(numbers, QStringLiteral("\\1=#")) != hidden)
            abort();
    }
    return 0;
}
