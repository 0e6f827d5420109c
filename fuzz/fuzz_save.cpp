// Changing an entry of any book: either a refusal, or a well-formed book
// with the entry added, replaced or removed and every other byte kept.
#include "book/bookreader.h"

#include <cstdint>
#include <cstdlib>

namespace {

Entry sample()
{
    Entry e;
    e.id = QStringLiteral("7");
    e.text = QStringLiteral("& é <\n");
    e.choices.append({QStringLiteral("1"), QStringLiteral("\"x\"")});
    return e;
}

// Applies the edit to `book` and checks the result against a fresh read.
void check(Book book, const Book::Edit &edit, int expectedSize)
{
    const QByteArray old = book.bytes();
    book.apply(edit);
    const QByteArray &now = book.bytes();
    if (!now.startsWith(old.left(edit.at)) || !now.endsWith(old.mid(edit.at + edit.removed)))
        abort();
    BookReader reader;
    if (!reader.read(now) || reader.book().size() != expectedSize || book.size() != expectedSize)
        abort();
    for (int i = 0; i < expectedSize; ++i)
        if (!(reader.book().entry(i) == book.entry(i))
            || reader.book().span(i).begin != book.span(i).begin
            || reader.book().span(i).end != book.span(i).end
            || reader.book().number(i) != book.number(i)
            || reader.book().indexOfNumber(book.number(i)) != book.indexOfNumber(book.number(i)))
            abort();
    if (reader.book().firstIndex() != book.firstIndex() || reader.book().nextNumber() != book.nextNumber())
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    BookReader reader;
    if (!reader.read(QByteArray(bytes)) || !reader.book().isWritable())
        return 0;
    const Book &book = reader.book();
    check(book, book.appending(sample()), book.size() + 1);
    if (!book.isEmpty()) {
        check(book, book.replacing(0, sample()), book.size());
        Entry same = sample(); // rewritten under its own number
        same.id = book.entry(0).id;
        check(book, book.replacing(0, same), book.size());
        check(book, book.removing(book.size() - 1), book.size() - 1);
    }
    return 0;
}
