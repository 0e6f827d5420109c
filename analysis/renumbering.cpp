#include "analysis/renumbering.h"

#include "book/entryid.h"
#include "book/bookreader.h"
#include "book/referencespans.h"
#include "book/reference.h"

#include <QRandomGenerator>

#include <algorithm>

Renumbering Renumbering::make(const Book &book, Mode mode, quint32 seed, const QSet<int> &pinned)
{
    Renumbering r;
    QVector<int> old; // the entries' numbers, each once, in increasing order
    for (int i = 0; i < book.size(); ++i)
        if (book.number(i) >= 0 && !r.entryNumbers.contains(book.number(i))) {
            r.entryNumbers.insert(book.number(i));
            old.append(book.number(i));
        }
    std::sort(old.begin(), old.end());
    if (old.isEmpty())
        return r;

    // The first entry and the pinned entries keep their numbers; the others
    // are dealt the numbers left, from the first entry's number on.
    QVector<int> movable;
    QSet<int> keptNumbers;
    for (const int n : old) {
        if (n == old.first() || pinned.contains(n)) {
            r.numbers.insert(n, n);
            keptNumbers.insert(n);
        } else {
            movable.append(n);
        }
    }
    QVector<int> freeNumbers;
    for (int n = old.first(); freeNumbers.size() < movable.size(); ++n)
        if (!keptNumbers.contains(n))
            freeNumbers.append(n);

    if (mode == Shuffle) {
        // Dealt at random, then mended until no two entries that followed
        // each other follow each other still.
        QRandomGenerator random(seed);
        std::shuffle(freeNumbers.begin(), freeNumbers.end(), random);
        auto follows = [&](int k) {
            const int a = movable.at(k), b = movable.at(k + 1);
            return b == a + 1 && qAbs(freeNumbers.at(k + 1) - freeNumbers.at(k)) == 1;
        };
        for (int round = 0; round < 100 && freeNumbers.size() > 3; ++round) {
            bool mended = true;
            for (int k = 0; k + 1 < movable.size(); ++k) {
                if (follows(k)) {
                    std::swap(freeNumbers[k + 1], freeNumbers[random.bounded(freeNumbers.size())]);
                    mended = false;
                }
            }
            if (mended)
                break;
        }
    }
    for (int k = 0; k < movable.size(); ++k)
        r.numbers.insert(movable.at(k), freeNumbers.at(k));

    // A reference to a missing entry keeps leading nowhere: it gets a
    // number no entry bears, past every entry's while there are numbers
    // left there, else the first free one from the start.
    QSet<int> taken;
    int past = old.last() + 1;
    for (const int n : qAsConst(r.numbers)) {
        taken.insert(n);
        past = qMax(past, n + 1);
    }
    auto freeNumber = [&] {
        if (past > EntryId::maximum)
            past = 0;
        while (taken.contains(past))
            past = past == EntryId::maximum ? 0 : past + 1;
        taken.insert(past);
        return past++;
    };
    // Every number written where a reference goes counts, also those the
    // rules pass over (a flight at round 0, a test of luck without its
    // text): they must not come to lead elsewhere.
    for (int i = 0; i < book.size(); ++i) {
        const Entry &e = book.entry(i);
        QStringList written{e.flee.ref, e.luck.luckyValue, e.luck.unluckyValue};
        for (const Entry::Choice &c : e.choices)
            written << c.value;
        for (const Entry::Monster &m : e.monsters)
            written << m.victory;
        for (const QString &text : qAsConst(written)) {
            const int target = EntryId::parse(text);
            if (target >= 0 && !r.numbers.contains(target))
                r.numbers.insert(target, freeNumber());
        }
    }
    return r;
}

Renumbering Renumbering::moving(const QMap<int, int> &table)
{
    Renumbering r;
    r.numbers = table;
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        r.entryNumbers.insert(it.key());
    return r;
}

// The splices that renumber entry `index`; false when its references
// cannot all be found in its element.
bool Renumbering::splices(const Book &book, int index, const QByteArray &source, QVector<Splice> *out) const
{
    const Entry &e = book.entry(index);
    const ReferenceSpans spans = ReferenceSpans::of(book, index, source);
    if (spans.choices.size() != e.choices.size() || spans.victories.size() != e.monsters.size())
        return false;
    bool found = true;
    auto change = [&](const Book::Span &span, const QString &before) {
        const QString after = renumbered(before);
        if (after == before)
            return;
        if (span.begin < 0)
            found = false;
        else
            out->append({span, after.toUtf8()});
    };
    change(spans.id, e.id);
    for (int k = 0; k < e.choices.size(); ++k)
        change(spans.choices.at(k), e.choices.at(k).value);
    for (int k = 0; k < e.monsters.size(); ++k)
        change(spans.victories.at(k), e.monsters.at(k).victory);
    change(spans.flight, e.flee.ref);
    change(spans.lucky, e.luck.luckyValue);
    change(spans.unlucky, e.luck.unluckyValue);
    return found;
}

QByteArray Renumbering::element(const Book &book, int index, const QByteArray &bytes) const
{
    error.clear();
    const Book::Span span = book.span(index);
    QVector<Splice> splices;
    if (span.end <= bytes.size() && this->splices(book, index, bytes, &splices)) {
        std::sort(splices.begin(), splices.end(),
                  [](const Splice &a, const Splice &b) { return a.span.begin < b.span.begin; });
        QByteArray out;
        qsizetype from = span.begin;
        for (const Splice &s : qAsConst(splices)) {
            out.append(bytes.constData() + from, int(s.span.begin - from));
            out.append(s.text);
            from = s.span.end;
        }
        out.append(bytes.constData() + from, int(span.end - from));
        // It must read as the entry renumbered, and as nothing else.
        if (BookReader::readElement(out) == renumbered(book.entry(index)))
            return out;
    }
    error = tr("les numéros de l'entrée %1 n'ont pas pu être changés sans toucher au reste de l'entrée")
                .arg(book.entry(index).id);
    return QByteArray();
}

QString Renumbering::renumbered(const QString &reference) const
{
    const int n = EntryId::parse(reference);
    if (n < 0 || numbers.value(n, n) == n)
        return reference; // as written: "1" stays "1" when its entry keeps its number
    return EntryId::text(numbers.value(n));
}

Entry Renumbering::renumbered(Entry e) const
{
    e.id = renumbered(e.id);
    for (Entry::Choice &c : e.choices)
        c.value = renumbered(c.value);
    for (Entry::Monster &m : e.monsters)
        m.victory = renumbered(m.victory);
    e.flee.ref = renumbered(e.flee.ref);
    e.luck.luckyValue = renumbered(e.luck.luckyValue);
    e.luck.unluckyValue = renumbered(e.luck.unluckyValue);
    return e;
}

QVector<Entry> Renumbering::entries(const Book &book) const
{
    QVector<Entry> out;
    out.reserve(book.size());
    for (int i = 0; i < book.size(); ++i)
        out.append(renumbered(book.entry(i)));
    return out;
}

QByteArray Renumbering::bytes(const Book &book) const
{
    return build(book, nullptr);
}

BookFile::Change Renumbering::change(const Book &book) const
{
    BookFile::Change change;
    if (build(book, &change.pieces).isNull())
        change.pieces.clear();
    return change;
}

QByteArray Renumbering::build(const Book &book, QVector<BookFile::Change::Piece> *pieces) const
{
    error.clear();
    const QByteArray source = book.bytes();
    if (source.isNull()) {
        error = tr("le fichier du livre a changé depuis qu'il a été lu");
        return QByteArray();
    }
    QVector<Splice> splices;
    bool found = true;
    for (int i = 0; i < book.size() && found; ++i)
        found = this->splices(book, i, source, &splices);
    std::sort(splices.begin(), splices.end(),
              [](const Splice &a, const Splice &b) { return a.span.begin < b.span.begin; });

    QByteArray out;
    out.reserve(source.size() + splices.size() * 4);
    qsizetype from = 0;
    for (const Splice &s : qAsConst(splices)) {
        if (pieces)
            pieces->append({s.span.begin, source.mid(s.span.begin, s.span.end - s.span.begin), s.text});
        out.append(source.constData() + from, int(s.span.begin - from));
        out.append(s.text);
        from = s.span.end;
    }
    out.append(source.constData() + from, int(source.size() - from));

    // What was written must read as the entries renumbered, and as nothing else.
    BookReader reader;
    if (found && reader.read(out) && reader.book().size() == book.size()) {
        const QVector<Entry> expected = entries(book);
        for (int i = 0; i < book.size() && found; ++i)
            found = reader.book().entry(i) == expected.at(i);
        if (found)
            return out;
    }
    error = tr("les numéros du livre n'ont pas pu être changés sans toucher au reste du fichier");
    return QByteArray();
}

QByteArray Renumbering::csv() const
{
    QByteArray out = "ancien;nouveau\n";
    for (auto it = numbers.cbegin(); it != numbers.cend(); ++it)
        if (entryNumbers.contains(it.key()))
            out += EntryId::text(it.key()).toUtf8() + ';' + EntryId::text(it.value()).toUtf8() + '\n';
    return out;
}
