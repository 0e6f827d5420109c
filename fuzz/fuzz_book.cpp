// Reading any bytes as a book, checking it and drawing its map: no crash,
// and a book that reads writes back into bytes that read the same.
#include "analysis/bookcheck.h"
#include "analysis/bookmap.h"
#include "book/bookreader.h"
#include "book/entrywriter.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    BookReader reader;
    if (!reader.read(bytes))
        return 0;
    const Book &book = reader.book();
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
    return 0;
}
