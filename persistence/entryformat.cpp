#include "persistence/entryformat.h"

#include "persistence/xmltext.h"

namespace EntryFormat {

namespace {

QString content(const QString &value)
{
    return xmlEscaped(value, XmlPlace::Content);
}

QString attr(const QString &value)
{
    return xmlEscaped(value, XmlPlace::Attribute);
}

QLatin1String flag(bool on)
{
    return on ? QLatin1String("1") : QLatin1String("0");
}

} // namespace

bool hasBonus(const EntryData &entry)
{
    return entry.bonusChance != 0 || entry.bonusEndurance != 0 || entry.bonusHabilete != 0;
}

bool hasFlee(const EntryData &entry)
{
    return entry.fleeRound != 0 && !entry.fleeRef.isEmpty();
}

bool hasLuck(const EntryData &entry)
{
    return !entry.luckyValue.isEmpty() && !entry.luckyText.isEmpty();
}

bool isSaveable(const EntryData &entry)
{
    return !entry.text.isEmpty()
        && (!entry.choices.isEmpty() || !entry.monsters.isEmpty() || hasBonus(entry)
            || hasFlee(entry) || hasLuck(entry));
}

QString typeCodes(const EntryData &entry)
{
    QStringList codes;
    if (entry.eat)
        codes << QStringLiteral("E");
    if (entry.bonus)
        codes << QStringLiteral("B");
    if (!entry.objects.isEmpty())
        codes << QStringLiteral("O");
    if (entry.luck)
        codes << QStringLiteral("L");
    if (entry.attack)
        codes << QStringLiteral("A");
    if (entry.flee)
        codes << QStringLiteral("F");
    if (entry.special)
        codes << QLatin1Char('S') + entry.specialText;
    if (entry.choice)
        codes << QStringLiteral("C");
    if (codes.isEmpty())
        codes << QStringLiteral("X");
    return codes.join(QLatin1Char(','));
}

QString entryXml(const EntryData &e)
{
    QString x;
    x.reserve(512 + e.text.size());
    x += QLatin1String("\t<Attr id=\"") + attr(e.id) + QLatin1String("\">\n");
    x += QLatin1String("\t\t<Text>") + content(e.text) + QLatin1String("</Text>\n");
    x += QLatin1String("\t\t<Type>") + content(typeCodes(e)) + QLatin1String("</Type>\n");

    if (hasBonus(e)) {
        x += QLatin1String("\t\t<Bonus active=\"") + flag(e.bonusActive) + QLatin1String("\">\n");
        x += QLatin1String("\t\t\t<Elem id=\"1\" Name=\"habilete\" Value=\"")
            + QString::number(e.bonusHabilete) + QLatin1String("\" />\n");
        x += QLatin1String("\t\t\t<Elem id=\"2\" Name=\"endurance\" Value=\"")
            + QString::number(e.bonusEndurance) + QLatin1String("\" />\n");
        x += QLatin1String("\t\t\t<Elem id=\"3\" Name=\"chance\" Value=\"")
            + QString::number(e.bonusChance) + QLatin1String("\" />\n");
        x += QLatin1String("\t\t</Bonus>\n");
    }

    if (hasFlee(e)) {
        x += QLatin1String("\t\t<Flee active=\"") + flag(e.fleeActive)
            + QLatin1String("\" Penality=\"") + flag(e.fleePenality)
            + QLatin1String("\" Round=\"") + QString::number(e.fleeRound)
            + QLatin1String("\" Ref=\"") + attr(e.fleeRef) + QLatin1String("\"/>\n");
    }

    if (!e.monsters.isEmpty()) {
        x += QLatin1String("\t\t<Monster Type=\"") + attr(e.monsterType) + QLatin1String("\">\n");
        for (int i = 0; i < e.monsters.size(); ++i) {
            const EntryData::Monster &m = e.monsters.at(i);
            x += QLatin1String("\t\t\t<Elem id=\"") + QString::number(i + 1)
                + QLatin1String("\" Name=\"") + attr(m.name)
                + QLatin1String("\" habilete=\"") + attr(m.habilete)
                + QLatin1String("\" endurance=\"") + attr(m.endurance)
                + QLatin1String("\" Value=\"") + attr(m.victory) + QLatin1String("\" />\n");
        }
        x += QLatin1String("\t\t</Monster>\n");
    }

    // The luck, objects and choices sections hold no line feed: the readers
    // of existing books expect them on one line.
    if (hasLuck(e)) {
        x += QLatin1String("\t\t<Luck active=\"") + flag(e.luckActive) + QLatin1String("\">");
        x += QLatin1String("\t\t\t<Lucky Value=\"") + attr(e.luckyValue) + QLatin1String("\">")
            + content(e.luckyText) + QLatin1String("</Lucky>");
        x += QLatin1String("\t\t\t<Unlucky Value=\"") + attr(e.unluckyValue)
            + QLatin1String("\">") + content(e.unluckyText) + QLatin1String("</Unlucky>");
        x += QLatin1String("\t\t</Luck>");
    }

    if (!e.objects.isEmpty()) {
        x += QLatin1String("\t\t<Objects>");
        for (int i = 0; i < e.objects.size(); ++i) {
            const EntryData::Object &o = e.objects.at(i);
            x += QLatin1String("\t\t\t<Elem id=\"") + QString::number(i + 1)
                + QLatin1String("\" exchange=\"") + attr(o.exchange)
                + QLatin1String("\" throw=\"") + attr(o.throwAway) + QLatin1String("\">");
            x += QLatin1String("\t\t\t\t<Text>") + content(o.text) + QLatin1String("</Text>");
            x += QLatin1String("\t\t\t\t<Bonus>");
            x += QLatin1String("\t\t\t\t\t<Elem id=\"1\" Name=\"habilete\" Value=\"")
                + attr(o.habilete) + QLatin1String("\" />");
            x += QLatin1String("\t\t\t\t\t<Elem id=\"2\" Name=\"endurance\" Value=\"")
                + attr(o.endurance) + QLatin1String("\" />");
            x += QLatin1String("\t\t\t\t\t<Elem id=\"3\" Name=\"chance\" Value=\"")
                + attr(o.chance) + QLatin1String("\" />");
            x += QLatin1String("\t\t\t\t</Bonus>");
            x += QLatin1String("\t\t\t\t<Gold Value=\"") + attr(o.gold) + QLatin1String("\" />");
            x += QLatin1String("\t\t\t\t<Food Value=\"") + attr(o.food) + QLatin1String("\" />");
            x += QLatin1String("\t\t\t\t<Other>") + content(o.other) + QLatin1String("</Other>");
            x += QLatin1String("\t\t\t</Elem>");
        }
        x += QLatin1String("\t\t</Objects>");
    }

    if (!e.choices.isEmpty()) {
        x += QLatin1String("\t\t<Choices active=\"") + flag(e.choiceActive) + QLatin1String("\">");
        for (int i = 0; i < e.choices.size(); ++i) {
            const EntryData::Choice &c = e.choices.at(i);
            x += QLatin1String("\t\t\t<Elem id=\"") + QString::number(i + 1)
                + QLatin1String("\" Value=\"") + attr(c.value) + QLatin1String("\">")
                + content(c.text) + QLatin1String("</Elem>");
        }
        x += QLatin1String("\t\t</Choices>");
    }

    x += QLatin1String("\t</Attr>");
    return x;
}

QString newFileText(const QString &rootName, const QString &entryXml)
{
    return QLatin1String("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<") + rootName
        + QLatin1String(">\n") + entryXml + QLatin1String("\n</") + rootName
        + QLatin1Char('>');
}

QString entryIdText(int number)
{
    if (number >= 0 && number < 1000)
        return QString::number(number).rightJustified(3, QLatin1Char('0'));
    return QString::number(number);
}

} // namespace EntryFormat
