#include "persistence/bookreader.h"

#include <QCoreApplication>
#include <QXmlStreamReader>

namespace {

class Reader
{
public:
    explicit Reader(const QByteArray &bytes) : xml(bytes) { xml.setNamespaceProcessing(false); }

    Book read()
    {
        Book book;
        if (xml.readNextStartElement()) {
            book.rootName = xml.qualifiedName().toString();
            while (xml.readNextStartElement())
                book.entries.append(readEntry());
        }
        if (xml.hasError()) {
            book.error = QCoreApplication::translate("Book", "ligne %1, colonne %2 : %3")
                             .arg(xml.lineNumber())
                             .arg(xml.columnNumber())
                             .arg(xml.errorString());
        } else {
            book.ok = !book.rootName.isEmpty();
            if (!book.ok)
                book.error = QCoreApplication::translate("Book", "aucun élément racine");
        }
        return book;
    }

private:
    QString attr(const char *name) const
    {
        return xml.attributes().value(QLatin1String(name)).toString();
    }
    bool flag(const char *name) const { return attr(name) == QLatin1String("1"); }
    int number(const char *name) const { return attr(name).toInt(); }
    bool is(const char *name) const { return xml.name() == QLatin1String(name); }

    // The three value lines of a Bonus group, wherever it stands.
    void readBonus(QString *habilete, QString *endurance, QString *chance)
    {
        while (xml.readNextStartElement()) {
            const QString name = attr("Name");
            if (name == QLatin1String("habilete"))
                *habilete = attr("Value");
            else if (name == QLatin1String("endurance"))
                *endurance = attr("Value");
            else if (name == QLatin1String("chance"))
                *chance = attr("Value");
            xml.skipCurrentElement();
        }
    }

    BookEntry readEntry()
    {
        BookEntry entry;
        entry.line = xml.lineNumber();
        EntryData &e = entry.data;
        e.id = attr("id");
        while (xml.readNextStartElement()) {
            if (is("Text")) {
                e.text = xml.readElementText();
            } else if (is("Type")) {
                entry.types = xml.readElementText();
            } else if (is("Bonus")) {
                e.bonusActive = flag("active");
                QString habilete, endurance, chance;
                readBonus(&habilete, &endurance, &chance);
                e.bonusHabilete = habilete.toInt();
                e.bonusEndurance = endurance.toInt();
                e.bonusChance = chance.toInt();
            } else if (is("Flee")) {
                e.fleeActive = flag("active");
                e.fleePenality = flag("Penality");
                e.fleeRound = number("Round");
                e.fleeRef = attr("Ref");
                xml.skipCurrentElement();
            } else if (is("Monster")) {
                e.monsterType = attr("Type");
                while (xml.readNextStartElement()) {
                    e.monsters.append({attr("Name"), attr("habilete"), attr("endurance"),
                                       attr("Value")});
                    xml.skipCurrentElement();
                }
            } else if (is("Luck")) {
                e.luckActive = flag("active");
                while (xml.readNextStartElement()) {
                    const bool lucky = is("Lucky");
                    const QString value = attr("Value");
                    const QString text = xml.readElementText();
                    (lucky ? e.luckyValue : e.unluckyValue) = value;
                    (lucky ? e.luckyText : e.unluckyText) = text;
                }
            } else if (is("Objects")) {
                while (xml.readNextStartElement())
                    e.objects.append(readObject());
            } else if (is("Choices")) {
                e.choiceActive = flag("active");
                while (xml.readNextStartElement()) {
                    const QString value = attr("Value");
                    e.choices.append({value, xml.readElementText()});
                }
            } else {
                xml.skipCurrentElement();
            }
        }
        return entry;
    }

    EntryData::Object readObject()
    {
        EntryData::Object o;
        o.exchange = attr("exchange");
        o.throwAway = attr("throw");
        while (xml.readNextStartElement()) {
            if (is("Text")) {
                o.text = xml.readElementText();
            } else if (is("Bonus")) {
                readBonus(&o.habilete, &o.endurance, &o.chance);
            } else if (is("Gold")) {
                o.gold = attr("Value");
                xml.skipCurrentElement();
            } else if (is("Food")) {
                o.food = attr("Value");
                xml.skipCurrentElement();
            } else if (is("Other")) {
                o.other = xml.readElementText();
            } else {
                xml.skipCurrentElement();
            }
        }
        return o;
    }

    QXmlStreamReader xml;
};

} // namespace

Book readBook(const QByteArray &bytes)
{
    return Reader(bytes).read();
}
