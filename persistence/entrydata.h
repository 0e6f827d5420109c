#ifndef ORVANDEL_ENTRYDATA_H
#define ORVANDEL_ENTRYDATA_H

#include <QString>
#include <QStringList>
#include <QVector>

// One entry as the form holds it, without any widget: what the entries file
// format is written from. Numbers stay texts because table cells are texts
// that the author may have edited in place.
struct EntryData
{
    struct Monster
    {
        QString name, habilete, endurance, victory;
    };
    struct Object
    {
        QString text, exchange, throwAway, habilete, endurance, chance, gold, food, other;
    };
    struct Choice
    {
        QString value, text;
    };

    QString id;
    QString text;

    // Type boxes.
    bool eat = false;
    bool bonus = false;
    bool luck = false;
    bool attack = false;
    bool flee = false;
    bool special = false;
    bool choice = false;
    QString specialText;

    bool bonusActive = false;
    int bonusHabilete = 0;
    int bonusEndurance = 0;
    int bonusChance = 0;

    bool fleeActive = false;
    bool fleePenality = false;
    int fleeRound = 0;
    QString fleeRef;

    bool luckActive = false;
    QString luckyValue, luckyText, unluckyValue, unluckyText;

    QString monsterType = QStringLiteral("U");
    QVector<Monster> monsters;
    QVector<Object> objects;

    bool choiceActive = false;
    QVector<Choice> choices;
};

#endif
