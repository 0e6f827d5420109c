#include "book/entry.h"

bool Entry::Types::operator==(const Types &o) const
{
    return eat == o.eat && bonus == o.bonus && luck == o.luck && attack == o.attack
        && flee == o.flee && special == o.special && choice == o.choice
        && specialText == o.specialText;
}

bool Entry::Bonus::operator==(const Bonus &o) const
{
    return active == o.active && habilete == o.habilete && endurance == o.endurance
        && chance == o.chance;
}

bool Entry::Flee::operator==(const Flee &o) const
{
    return active == o.active && penality == o.penality && round == o.round && ref == o.ref;
}

bool Entry::Luck::operator==(const Luck &o) const
{
    return active == o.active && luckyValue == o.luckyValue && luckyText == o.luckyText
        && unluckyValue == o.unluckyValue && unluckyText == o.unluckyText;
}

bool Entry::Monster::operator==(const Monster &o) const
{
    return name == o.name && habilete == o.habilete && endurance == o.endurance
        && victory == o.victory;
}

bool Entry::Object::operator==(const Object &o) const
{
    return text == o.text && exchange == o.exchange && throwAway == o.throwAway
        && habilete == o.habilete && endurance == o.endurance && chance == o.chance
        && gold == o.gold && food == o.food && other == o.other;
}

bool Entry::Choice::operator==(const Choice &o) const
{
    return value == o.value && text == o.text;
}

bool Entry::operator==(const Entry &o) const
{
    return id == o.id && text == o.text && types == o.types && bonus == o.bonus
        && flee == o.flee && luck == o.luck && monsterType == o.monsterType
        && monsters == o.monsters && objects == o.objects && choiceActive == o.choiceActive
        && choices == o.choices && tagName == o.tagName && otherAttributes == o.otherAttributes
        && otherChildren == o.otherChildren;
}

QString Entry::typeCodes() const
{
    QStringList codes;
    if (types.eat)
        codes << QStringLiteral("E");
    if (types.bonus)
        codes << QStringLiteral("B");
    if (!objects.isEmpty())
        codes << QStringLiteral("O");
    if (types.luck)
        codes << QStringLiteral("L");
    if (types.attack)
        codes << QStringLiteral("A");
    if (types.flee)
        codes << QStringLiteral("F");
    if (types.special)
        codes << QLatin1Char('S') + types.specialText;
    if (types.choice)
        codes << QStringLiteral("C");
    if (codes.isEmpty())
        codes << QStringLiteral("X");
    return codes.join(QLatin1Char(','));
}

Entry::Types Entry::parseTypeCodes(const QString &codes)
{
    // The special text is not checked for commas when written, so the first
    // code that starts with "S" takes the rest of the list, but for a last
    // ",C" (the choice box: a special text ending in ",C" reads back as the
    // box, which writes the same text again).
    Types t;
    if (codes.size() == 1) { // the common case, without building a list
        t.eat = codes == QLatin1String("E");
        t.bonus = codes == QLatin1String("B");
        t.luck = codes == QLatin1String("L");
        t.attack = codes == QLatin1String("A");
        t.flee = codes == QLatin1String("F");
        t.special = codes == QLatin1String("S");
        t.choice = codes == QLatin1String("C");
        return t;
    }
    const QStringList list = codes.split(QLatin1Char(','));
    int i = 0;
    for (; i < list.size(); ++i) {
        const QString &code = list.at(i);
        if (code.startsWith(QLatin1Char('S')))
            break;
        if (code == QLatin1String("E")) t.eat = true;
        else if (code == QLatin1String("B")) t.bonus = true;
        else if (code == QLatin1String("L")) t.luck = true;
        else if (code == QLatin1String("A")) t.attack = true;
        else if (code == QLatin1String("F")) t.flee = true;
        else if (code == QLatin1String("C")) t.choice = true;
    }
    if (i < list.size()) {
        t.special = true;
        int end = list.size();
        if (end - 1 > i && list.at(end - 1) == QLatin1String("C")) {
            t.choice = true;
            --end;
        }
        t.specialText = list.mid(i, end - i).join(QLatin1Char(',')).mid(1);
    }
    return t;
}

Entry::End Entry::endMark() const
{
    for (const auto &a : otherAttributes)
        if (a.first == endAttribute()) {
            if (a.second == QLatin1String("victoire"))
                return End::Victory;
            if (a.second == QLatin1String("mort"))
                return End::Death;
        }
    return End::Unmarked;
}

void Entry::setEndMark(End end)
{
    for (int i = otherAttributes.size() - 1; i >= 0; --i)
        if (otherAttributes.at(i).first == endAttribute())
            otherAttributes.remove(i);
    if (end != End::Unmarked)
        otherAttributes.append({endAttribute(), end == End::Victory ? QStringLiteral("victoire") : QStringLiteral("mort")});
}
