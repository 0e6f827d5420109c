#include "play/playbook.h"

#include "book/entryid.h"

int Playbook::amount(const QString &text, int low)
{
    const QString t = text.trimmed();
    const bool negative = t.startsWith(QLatin1Char('-'));
    const int from = negative || t.startsWith(QLatin1Char('+')) ? 1 : 0;
    if (from == t.size())
        return 0;
    // Saturates rather than fails: "99999999999" is a huge amount, not none.
    qint64 value = 0;
    for (int i = from; i < t.size(); ++i) {
        const ushort c = t.at(i).unicode();
        if (c < '0' || c > '9')
            return 0;
        value = qMin<qint64>(value * 10 + (c - '0'), Rules::valueLimit + 1);
    }
    return Rules::bounded(negative ? -value : value, low);
}

Playbook::Playbook(const Book &book) : start(book.firstIndex())
{
    pages.reserve(book.size());
    for (int i = 0; i < book.size(); ++i)
        pages.append(pageOf(book, i));
}

Playbook::Page Playbook::pageOf(const Book &book, int index)
{
    auto way = [&book](const QString &text) { return Way{text, book.indexOfNumber(EntryId::parse(text))}; };
    const Entry &e = book.entry(index);
    Page p;
    p.id = e.id;
    p.victoryMarked = e.endMark() == Entry::End::Victory;
    p.deathMarked = e.endMark() == Entry::End::Death;
    if (e.hasBonus()) {
        p.habilete = Rules::bounded(e.bonus.habilete);
        p.endurance = Rules::bounded(e.bonus.endurance);
        p.chance = Rules::bounded(e.bonus.chance);
    }
    for (const Entry::Object &o : e.objects)
        p.finds.append({o.text, amount(o.habilete), amount(o.endurance), amount(o.chance),
                        amount(o.gold), amount(o.food)});
    p.meal = e.types.eat;
    p.monsterType = e.monsterType;
    for (const Entry::Monster &m : e.monsters)
        p.monsters.append({m.name, amount(m.habilete, 0), amount(m.endurance, 0)});
    if (!e.monsters.isEmpty())
        p.victory = way(e.monsters.last().victory);
    if (e.hasFlee()) {
        p.flee = true;
        p.fleePenalty = e.flee.penality;
        p.fleeRound = Rules::bounded(e.flee.round, 0);
        p.fleeTo = way(e.flee.ref);
    }
    if (e.hasLuck()) {
        p.luck = true;
        p.lucky = way(e.luck.luckyValue);
        p.unlucky = way(e.luck.unluckyValue);
        p.luckyText = e.luck.luckyText;
        p.unluckyText = e.luck.unluckyText;
    }
    for (const Entry::Choice &c : e.choices) {
        p.choices.append(way(c.value));
        p.choiceTexts.append(c.text);
    }
    p.wayOut = e.hasWayOut();
    return p;
}
