#include "analysis/renumbering.h"

#include "book/entryid.h"
#include "book/entrywriter.h"
#include "book/reference.h"

#include <QBuffer>
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

    // A reference to a missing entry keeps leading nowhere: it gets a number
    // past every entry's.
    int past = 0;
    for (const int n : qAsConst(r.numbers))
        past = qMax(past, n + 1);
    past = qMax(past, old.last() + 1);
    for (int i = 0; i < book.size(); ++i)
        for (const Reference &ref : Reference::of(book.entry(i)))
            if (ref.target >= 0 && !r.numbers.contains(ref.target))
                r.numbers.insert(ref.target, past++);
    return r;
}

QString Renumbering::renumbered(const QString &reference) const
{
    const int n = EntryId::parse(reference);
    if (n < 0 || !numbers.contains(n))
        return reference;
    return EntryId::text(numbers.value(n));
}

QVector<Entry> Renumbering::entries(const Book &book) const
{
    QVector<Entry> out;
    out.reserve(book.size());
    for (int i = 0; i < book.size(); ++i) {
        Entry e = book.entry(i);
        e.id = renumbered(e.id);
        for (Entry::Choice &c : e.choices)
            c.value = renumbered(c.value);
        for (Entry::Monster &m : e.monsters)
            m.victory = renumbered(m.victory);
        e.flee.ref = renumbered(e.flee.ref);
        e.luck.luckyValue = renumbered(e.luck.luckyValue);
        e.luck.unluckyValue = renumbered(e.luck.unluckyValue);
        out.append(e);
    }
    return out;
}

QByteArray Renumbering::bytes(const Book &book) const
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QString error;
    EntryWriter::writeBook(book, entries(book), &out, &error);
    return out.data();
}

QByteArray Renumbering::csv() const
{
    QByteArray out = "ancien;nouveau\n";
    for (auto it = numbers.cbegin(); it != numbers.cend(); ++it)
        if (entryNumbers.contains(it.key()))
            out += EntryId::text(it.key()).toUtf8() + ';' + EntryId::text(it.value()).toUtf8() + '\n';
    return out;
}
