#include "book/book.h"

#include "book/bookreader.h"
#include "book/entryid.h"
#include "book/entrywriter.h"

#include <algorithm>

void Book::indexNumbers(int from)
{
    if (from == 0) {
        dense.clear();
        byNumber.clear();
        sparse = false;
        first = -1;
        highest = -1;
    }
    numbers.resize(entries.size());
    for (int i = from; i < entries.size(); ++i) {
        const int n = EntryId::parse(entries.at(i).id);
        numbers[i] = n;
        if (n < 0)
            continue;
        if (first < 0 || n < numbers.at(first))
            first = i;
        highest = qMax(highest, n);
    }
    const bool wasSparse = sparse;
    sparse = highest >= 4 * entries.size() + 1024;
    if (sparse != wasSparse)
        from = 0; // the other table, made from the start
    if (sparse) {
        if (from == 0) {
            dense.clear();
            byNumber.clear();
            byNumber.reserve(entries.size());
        }
        for (int i = from; i < entries.size(); ++i)
            if (numbers.at(i) >= 0 && !byNumber.contains(numbers.at(i)))
                byNumber.insert(numbers.at(i), i);
        return;
    }
    if (from == 0) {
        byNumber.clear();
        dense.fill(-1, highest + 1);
    } else if (dense.size() < highest + 1) {
        const int known = dense.size();
        dense.resize(highest + 1);
        std::fill(dense.begin() + known, dense.end(), -1);
    }
    for (int i = from; i < entries.size(); ++i) {
        const int n = numbers.at(i);
        if (n >= 0 && dense.at(n) < 0)
            dense[n] = i;
    }
}

QByteArray Book::bytes() const
{
    QByteArray back;
    if (!source.isNull() || stored.isNull() || !stored.read(&back))
        return source;
    return back;
}

QByteArray Book::slice(qsizetype at, qsizetype length) const
{
    if (!source.isNull() || stored.isNull())
        return source.mid(int(at), int(length));
    return stored.readAt(at, length);
}

// The bytes are gone from memory, known by `file`.
void Book::leaveInFile(const FileStamp &file)
{
    source = QByteArray();
    stored = file;
}

int Book::nextNumber() const
{
    return highest >= EntryId::maximum ? -1 : highest + 1;
}

QVector<int> Book::lineNumbers() const
{
    QVector<int> lines(entries.size(), 0);
    const QByteArray fileBytes = bytes();
    int line = 1;
    qsizetype at = 0;
    for (int i = 0; i < spans.size(); ++i) {
        const qsizetype begin = spans.at(i).begin;
        if (begin < at || begin > fileBytes.size())
            continue;
        line += int(std::count(fileBytes.constData() + at, fileBytes.constData() + begin, '\n'));
        at = begin;
        lines[i] = line;
    }
    return lines;
}

QByteArray Book::encoded(const QString &xml) const
{
    QByteArray bytes = xml.toUtf8();
    if (lineEnd != "\n")
        bytes.replace('\n', lineEnd);
    return bytes;
}

Book::Edit Book::appending(const Entry &entry) const
{
    Edit edit;
    edit.kind = Edit::Append;
    edit.index = entries.size();
    edit.at = insertAt;
    const QByteArray element = encoded(EntryWriter::elementXml(entry));
    QByteArray &out = edit.inserted;
    if (selfClosingRoot) {
        // "<book/>": the "/>" becomes ">" + entry + "</book>".
        edit.removed = 2;
        out = '>' + lineEnd + '\t';
        edit.element = {out.size(), out.size() + element.size()};
        out += element + lineEnd + "</" + root.toUtf8() + '>';
        return edit;
    }
    // The first entry of a root that had none starts on a line of its own.
    if (entries.isEmpty() && !(insertAt > 0 && slice(insertAt - 1, 1) == "\n"))
        out += lineEnd;
    out += '\t';
    edit.element = {out.size(), out.size() + element.size()};
    out += element;
    return edit;
}

Book::Edit Book::replacing(int i, const Entry &entry) const
{
    Edit edit;
    edit.kind = Edit::Replace;
    edit.index = i;
    edit.at = spans.at(i).begin;
    edit.removed = spans.at(i).end - edit.at;
    edit.inserted = encoded(EntryWriter::elementXml(entry));
    edit.element = {0, edit.inserted.size()};
    return edit;
}

Book::Edit Book::removing(int i) const
{
    // An element alone on its line goes with its line; otherwise with the
    // white space before it on the same line. The bytes around it are read
    // a little at a time: a run of white space has no bound.
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    const qsizetype window = 256;
    qsizetype begin = spans.at(i).begin;
    qsizetype end = spans.at(i).end;
    for (;;) {
        const qsizetype from = qMax<qsizetype>(0, begin - window);
        const QByteArray run = slice(from, begin - from);
        if (run.size() != begin - from)
            break;
        qsizetype k = run.size();
        while (k > 0 && blank(run.at(int(k - 1))))
            --k;
        begin = from + k;
        if (k > 0 || from == 0)
            break;
    }
    const bool startsLine = begin == 0 || slice(begin - 1, 1) == "\n";
    qsizetype after = end;
    for (;;) {
        const QByteArray run = slice(after, window);
        qsizetype k = 0;
        while (k < run.size() && blank(run.at(int(k))))
            ++k;
        after += k;
        if (k < run.size() || run.size() < window)
            break;
    }
    if (startsLine && slice(after, lineEnd.size()) == lineEnd)
        end = after + lineEnd.size();
    Edit edit;
    edit.kind = Edit::Remove;
    edit.index = i;
    edit.at = begin;
    edit.removed = end - begin;
    return edit;
}

bool Book::undoing(const Edit &edit, Edit *reverse) const
{
    Edit &r = *reverse;
    r = Edit();
    r.index = edit.index;
    r.at = edit.at;
    r.removed = edit.inserted.size();
    r.inserted = slice(edit.at, edit.removed);
    switch (edit.kind) {
    case Edit::Append:
        if (selfClosingRoot)
            return false;
        r.kind = Edit::Remove;
        return true;
    case Edit::Replace:
        r.kind = Edit::Replace;
        r.element = {spans.at(edit.index).begin - edit.at, spans.at(edit.index).end - edit.at};
        return true;
    case Edit::Remove:
    case Edit::Insert:
        r.kind = edit.kind == Edit::Remove ? Edit::Insert : Edit::Remove;
        if (edit.kind == Edit::Remove)
            r.element = {spans.at(edit.index).begin - edit.at, spans.at(edit.index).end - edit.at};
        return true;
    }
    return false;
}

void Book::apply(const Edit &edit)
{
    if (!source.isNull())
        source.replace(int(edit.at), int(edit.removed), edit.inserted);
    const qsizetype delta = edit.inserted.size() - edit.removed;
    const Span element{edit.at + edit.element.begin, edit.at + edit.element.end};
    const QByteArray elementBytes = edit.inserted.mid(edit.element.begin, edit.element.end - edit.element.begin);
    int shiftFrom = edit.index + 1;
    switch (edit.kind) {
    case Edit::Append:
        entries.append(BookReader::readElement(elementBytes));
        spans.append(element);
        if (selfClosingRoot) {
            selfClosingRoot = false;
            insertAt = element.end;
        } else {
            insertAt += delta;
        }
        break;
    case Edit::Replace:
        entries[edit.index] = BookReader::readElement(elementBytes);
        spans[edit.index] = element;
        insertAt += delta;
        break;
    case Edit::Remove:
        entries.remove(edit.index);
        spans.remove(edit.index);
        shiftFrom = edit.index;
        insertAt += delta;
        break;
    case Edit::Insert:
        entries.insert(edit.index, BookReader::readElement(elementBytes));
        spans.insert(edit.index, element);
        insertAt += delta;
        break;
    }
    for (int k = shiftFrom; k < spans.size(); ++k) {
        spans[k].begin += delta;
        spans[k].end += delta;
    }
    // An entry rewritten under its own number leaves the index as it is;
    // a new last entry only adds to it; anything else rebuilds it.
    if (edit.kind == Edit::Replace && EntryId::parse(entries.at(edit.index).id) == numbers.at(edit.index))
        return;
    indexNumbers(edit.kind == Edit::Append ? edit.index : 0);
}
