#include "analysis/booktext.h"

#include <algorithm>
#include <numeric>

namespace {

// A value on one line: its own line ends shown, not followed.
QString oneLine(QString value)
{
    value.replace(QLatin1String("\r\n"), QStringLiteral(" ⏎ "));
    value.replace(QLatin1Char('\n'), QStringLiteral(" ⏎ "));
    value.replace(QLatin1Char('\r'), QStringLiteral(" ⏎ "));
    return value;
}

QString flag(bool on)
{
    return on ? BookText::tr("oui") : BookText::tr("non");
}

} // namespace

QStringList BookText::lines(const Entry &e)
{
    QStringList out;
    const QString head = oneLine(e.id) + QStringLiteral(" · ");
    const auto field = [&](const QString &name, const QString &value) {
        out << head + name + QStringLiteral(" : ") + oneLine(value);
    };
    if (e.tagName != QLatin1String("Attr"))
        field(tr("Élément"), e.tagName);
    for (const auto &a : e.otherAttributes)
        field(tr("Attribut %1").arg(a.first), a.second);
    const QStringList text = e.text.split(QLatin1Char('\n'));
    for (const QString &line : text)
        field(tr("Texte"), line);
    field(tr("Type"), e.typeCodes());
    if (e.hasBonus() || e.bonus.active)
        field(tr("Bonus"), tr("habileté %1, endurance %2, chance %3 (actif : %4)")
                               .arg(e.bonus.habilete).arg(e.bonus.endurance).arg(e.bonus.chance)
                               .arg(flag(e.bonus.active)));
    if (e.flee.active || e.hasFlee())
        field(tr("Fuite"), tr("%1 au tour %2, pénalité : %3 (active : %4)")
                               .arg(e.flee.ref).arg(e.flee.round).arg(flag(e.flee.penality), flag(e.flee.active)));
    if (!e.monsters.isEmpty())
        field(tr("Combat"), e.monsterType);
    for (int k = 0; k < e.monsters.size(); ++k) {
        const Entry::Monster &m = e.monsters.at(k);
        field(tr("Monstre %1").arg(k + 1), tr("%1 — habileté %2, endurance %3, victoire %4")
                                               .arg(m.name, m.habilete, m.endurance, m.victory));
    }
    if (e.luck.active || e.hasLuck()) {
        field(tr("Chanceux"), e.luck.luckyValue + QStringLiteral(" — ") + e.luck.luckyText);
        field(tr("Malchanceux"), e.luck.unluckyValue + QStringLiteral(" — ") + e.luck.unluckyText);
    }
    for (int k = 0; k < e.objects.size(); ++k) {
        const Entry::Object &o = e.objects.at(k);
        field(tr("Objet %1").arg(k + 1),
              tr("%1 — échange %2, jeter %3, habileté %4, endurance %5, chance %6, or %7, repas %8, autre %9")
                  .arg(o.text, o.exchange, o.throwAway, o.habilete, o.endurance, o.chance, o.gold, o.food, o.other));
    }
    if (!e.choices.isEmpty() && !e.choiceActive)
        field(tr("Choix actifs"), flag(false));
    for (int k = 0; k < e.choices.size(); ++k)
        field(tr("Choix %1").arg(k + 1), e.choices.at(k).value + QStringLiteral(" — ") + e.choices.at(k).text);
    if (!e.otherChildren.trimmed().isEmpty())
        for (const QString &line : e.otherChildren.trimmed().split(QLatin1Char('\n')))
            field(tr("Autre"), line.trimmed());
    return out;
}

QByteArray BookText::of(const Book &book)
{
    QVector<int> order(book.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&book](int a, int b) {
        const unsigned na = unsigned(book.number(a)), nb = unsigned(book.number(b)); // -1 last
        return na < nb;
    });
    QString out;
    for (int k = 0; k < order.size(); ++k) {
        if (k > 0)
            out += QLatin1Char('\n');
        for (const QString &line : lines(book.entry(order.at(k))))
            out += line + QLatin1Char('\n');
    }
    return out.toUtf8();
}
