#include "analysis/bookcounts.h"

#include <QLocale>

namespace {

bool inWord(QChar c)
{
    const ushort u = c.unicode();
    if (u < 0x80)
        return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
    return c.isLetterOrNumber() || c.category() == QChar::Mark_NonSpacing;
}

bool joins(QChar c)
{
    return c == QLatin1Char('\'') || c == QLatin1Char('-') || c == QChar(0x2019);
}

} // namespace

int BookCounts::words(const QString &text)
{
    int count = 0;
    bool inside = false;
    const QChar *p = text.constData(), *const end = p + text.size();
    for (; p < end; ++p) {
        if (inWord(*p)) {
            if (!inside)
                ++count;
            inside = true;
        } else if (!(inside && joins(*p) && p + 1 < end && inWord(p[1]))) {
            inside = false;
        }
    }
    return count;
}

BookCounts::Own BookCounts::of(const Entry &entry)
{
    Own o;
    o.words = words(entry.text);
    o.fight = !entry.monsters.isEmpty();
    o.luck = entry.hasLuck();
    o.ending = !entry.hasWayOut();
    return o;
}

void BookCounts::add(const Own &o, int sign)
{
    sum.entries += sign;
    sum.words += sign * o.words;
    sum.fights += o.fight ? sign : 0;
    sum.lucks += o.luck ? sign : 0;
    sum.endings += o.ending ? sign : 0;
}

void BookCounts::reset(const Book &book)
{
    own.clear();
    own.reserve(book.size());
    sum = Totals();
    for (int i = 0; i < book.size(); ++i) {
        own.append(of(book.entry(i)));
        add(own.constLast(), 1);
    }
}

void BookCounts::changed(const Book &book, int index, int removed, int inserted)
{
    if (index < 0 || index + removed > own.size() || index + inserted > book.size()) {
        reset(book);
        return;
    }
    for (int k = 0; k < removed; ++k)
        add(own.at(index + k), -1);
    own.remove(index, removed);
    for (int k = 0; k < inserted; ++k) {
        own.insert(index + k, of(book.entry(index + k)));
        add(own.at(index + k), 1);
    }
}

QString BookCounts::said(const Totals &t)
{
    const QLocale french(QLocale::French);
    // In French, nought and one take the singular.
    const auto counted = [&](qint64 n, const QString &one, const QString &many) {
        return (n < 2 ? one : many).arg(french.toString(n));
    };
    return tr("%1, %2 : %3, %4, %5")
        .arg(counted(t.entries, tr("%1 entrée"), tr("%1 entrées")), counted(t.words, tr("%1 mot"), tr("%1 mots")),
             counted(t.fights, tr("%1 combat"), tr("%1 combats")),
             counted(t.lucks, tr("%1 test de chance"), tr("%1 tests de chance")),
             counted(t.endings, tr("%1 fin"), tr("%1 fins")));
}
