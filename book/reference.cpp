#include "book/reference.h"

#include "book/entryid.h"

QVector<Reference> Reference::of(const Entry &e)
{
    QVector<Reference> out;
    out.reserve(e.choices.size() + e.monsters.size() + 3);
    forEach(e, [&out](Kind kind, const QString &text) { out.append({kind, text, EntryId::parse(text)}); });
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
