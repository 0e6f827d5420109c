#include "book/reference.h"

#include "book/entryid.h"

QVector<Reference> Reference::of(const Entry &e)
{
    QVector<Reference> out;
    out.reserve(e.choices.size() + e.monsters.size() + 3);
    auto add = [&out](Kind kind, const QString &text) {
        out.append({kind, text, EntryId::parse(text)});
    };
    for (const Entry::Choice &c : e.choices)
        add(Choice, c.value);
    for (const Entry::Monster &m : e.monsters)
        add(Victory, m.victory);
    if (e.hasFlee())
        add(Flight, e.flee.ref);
    if (e.hasLuck()) {
        add(Lucky, e.luck.luckyValue);
        add(Unlucky, e.luck.unluckyValue);
    }
    return out;
}

QString Reference::kindName(Kind kind)
{
    switch (kind) {
    case Choice: return tr("choix");
    case Victory: return tr("victoire");
    case Flight: return tr("fuite");
    case Lucky: return tr("chanceux");
    case Unlucky: return tr("malchanceux");
    }
    return QString();
}
