#include "play/playbook.h"

#include "book/entryid.h"

int Playbook::amount(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? value : 0;
}

Playbook::Playbook(const Book &book) : start(book.firstIndex())
{
    auto way = [&book](const QString &text) { return Way{text, book.indexOfNumber(EntryId::parse(text))}; };
    pages.reserve(book.size());
    for (int i = 0; i < book.size(); ++i) {
        const Entry &e = book.entry(i);
        Page p;
        p.id = e.id;
        if (e.hasBonus()) {
            p.habilete = e.bonus.habilete;
            p.endurance = e.bonus.endurance;
            p.chance = e.bonus.chance;
        }
        for (const Entry::Object &o : e.objects)
            p.finds.append({o.text, amount(o.habilete), amount(o.endurance), amount(o.chance),
                            amount(o.gold), amount(o.food)});
        p.meal = e.types.eat;
        p.monsterType = e.monsterType;
        for (const Entry::Monster &m : e.monsters)
            p.monsters.append({m.name, amount(m.habilete), amount(m.endurance)});
        if (!e.monsters.isEmpty())
            p.victory = way(e.monsters.last().victory);
        if (e.hasFlee()) {
            p.flee = true;
            p.fleePenalty = e.flee.penality;
            p.fleeRound = e.flee.round;
            p.fleeTo = way(e.flee.ref);
        }
        if (e.hasLuck()) {
            p.luck = true;
            p.lucky = way(e.luck.luckyValue);
            p.unlucky = way(e.luck.unluckyValue);
        }
        for (const Entry::Choice &c : e.choices) {
            p.choices.append(way(c.value));
            p.choiceTexts.append(c.text);
        }
        p.wayOut = e.hasWayOut();
        pages.append(p);
    }
}
