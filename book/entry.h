#ifndef ORVANDEL_ENTRY_H
#define ORVANDEL_ENTRY_H

#include <QString>
#include <QStringList>
#include <QVector>

// One entry of the book, as the form holds it and the file stores it.
// Numbers typed into table cells stay texts: the author may have edited a
// cell in place, and the file keeps whatever it holds.
struct Entry
{
    // The Type boxes. "O" is not among them: it follows from the objects.
    struct Types
    {
        bool eat = false, bonus = false, luck = false, attack = false, flee = false,
             special = false, choice = false;
        QString specialText;
        bool operator==(const Types &o) const;
    };
    struct Bonus
    {
        bool active = false;
        int habilete = 0, endurance = 0, chance = 0;
        bool operator==(const Bonus &o) const;
    };
    struct Flee
    {
        bool active = false, penality = false;
        int round = 0;
        QString ref;
        bool operator==(const Flee &o) const;
    };
    struct Luck
    {
        bool active = false;
        QString luckyValue, luckyText, unluckyValue, unluckyText;
        bool operator==(const Luck &o) const;
    };
    struct Monster
    {
        QString name, habilete, endurance, victory;
        bool operator==(const Monster &o) const;
    };
    struct Object
    {
        QString text, exchange, throwAway, habilete, endurance, chance, gold, food, other;
        bool operator==(const Object &o) const;
    };
    struct Choice
    {
        QString value, text;
        bool operator==(const Choice &o) const;
    };

    QString id;
    QString text;
    Types types;
    Bonus bonus;
    Flee flee;
    Luck luck;
    QString monsterType = QStringLiteral("U");
    QVector<Monster> monsters;
    QVector<Object> objects;
    bool choiceActive = false;
    QVector<Choice> choices;

    // What a book written elsewhere holds beyond the format, kept as it was
    // so that rewriting the entry loses nothing: the tag name, attributes of
    // the entry's element other than `id`, and child elements the format does
    // not know (their XML text, each with the white space before it).
    QString tagName = QStringLiteral("Attr");
    QVector<QPair<QString, QString>> otherAttributes;
    QString otherChildren;

    // The rules under which each section is written and counted, the same
    // for the writer, the checks and the rules of the game.
    bool hasBonus() const { return bonus.habilete != 0 || bonus.endurance != 0 || bonus.chance != 0; }
    bool hasFlee() const { return flee.round != 0 && !flee.ref.isEmpty(); }
    bool hasLuck() const { return !luck.luckyValue.isEmpty() && !luck.luckyText.isEmpty(); }
    bool hasWayOut() const
    {
        return !choices.isEmpty() || !monsters.isEmpty() || hasFlee() || hasLuck();
    }

    // How an ending ends, as its author marked it: kept as the attribute
    // fin="victoire" or fin="mort" of the entry's element (among
    // otherAttributes), which programs reading today's books pass over.
    // An entry without the attribute is an ending and nothing more ("Fin").
    enum class End { Unmarked, Victory, Death };
    End endMark() const;
    void setEndMark(End end);
    // The ending a reader lives who reaches this entry with `endurance`
    // points left once the entry is read: a death at 0 or below, whatever
    // the mark.
    End endFor(int endurance) const { return endurance <= 0 ? End::Death : endMark(); }
    static QString endAttribute() { return QStringLiteral("fin"); }

    // "E,B,O,L,A,F,S<special>,C" in that order, or "X" when none applies.
    QString typeCodes() const;
    // The Type boxes from written type codes; typeCodes() gives the same text
    // back for any text the program writes.
    static Types parseTypeCodes(const QString &codes);

    bool operator==(const Entry &o) const;
    bool operator!=(const Entry &o) const { return !(*this == o); }
};

#endif
