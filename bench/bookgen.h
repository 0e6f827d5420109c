#ifndef ORVANDEL_BOOKGEN_H
#define ORVANDEL_BOOKGEN_H

// Realistic books and monster lists for the benchmarks: multi-line texts with
// accents, and every section present in a fair share of the entries.

#include "monsters/monsterfile.h"
#include "persistence/entryformat.h"

#include <QRandomGenerator>

inline QByteArray generateBook(int entries, quint32 seed = 7)
{
    QRandomGenerator random(seed);
    static const QStringList sentences{
        QStringLiteral("Vous avancez prudemment dans le couloir humide, la torche à la main."),
        QStringLiteral("Un grondement sourd résonne derrière la porte de chêne."),
        QStringLiteral("L'aubergiste vous dévisage, puis essuie lentement un verre ébréché."),
        QStringLiteral("Au détour du sentier, une silhouette encapuchonnée vous barre la route."),
        QStringLiteral("Le vent glacé siffle entre les pierres de la tour en ruine."),
    };
    QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Livre>\n");
    for (int i = 0; i < entries; ++i) {
        EntryData e;
        e.id = EntryFormat::entryIdText(i);
        QStringList lines;
        for (int l = 0, n = 2 + random.bounded(4); l < n; ++l)
            lines << sentences.at(random.bounded(sentences.size()));
        e.text = lines.join(QLatin1Char('\n'));
        auto target = [&]() { return QString::number(random.bounded(entries)); };
        const int kind = random.bounded(100);
        if (kind < 90) {
            e.choice = e.choiceActive = true;
            for (int c = 0, n = 1 + random.bounded(3); c < n; ++c)
                e.choices.append({target(), QStringLiteral("Rendez-vous au %1").arg(c)});
        }
        if (kind % 3 == 0) {
            e.attack = true;
            e.monsters.append({QStringLiteral("Orque des cavernes"), QStringLiteral("7"),
                               QStringLiteral("9"), target()});
        }
        if (kind % 5 == 0)
            e.objects.append({QStringLiteral("Épée courte"), QStringLiteral("0"),
                              QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("0"),
                              QStringLiteral("0"), QStringLiteral("3"), QStringLiteral("1"),
                              QString()});
        if (kind % 5 == 1) {
            e.bonus = e.bonusActive = true;
            e.bonusEndurance = 2;
        }
        if (kind % 7 == 0) {
            e.flee = e.fleeActive = true;
            e.fleeRound = 2;
            e.fleeRef = target();
        }
        if (kind % 7 == 1) {
            e.luck = e.luckActive = true;
            e.luckyValue = target();
            e.luckyText = QStringLiteral("Vous êtes chanceux");
            e.unluckyValue = target();
            e.unluckyText = QStringLiteral("Vous êtes malchanceux");
        }
        text += EntryFormat::entryXml(e);
    }
    return (text + QStringLiteral("\n</Livre>")).toUtf8();
}

inline QVector<MonsterRow> generateMonsters(int count)
{
    QVector<MonsterRow> rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i)
        rows.append({QStringLiteral("Créature n°%1 des Marais").arg(i), QString::number(5 + i % 8),
                     QString::number(4 + i % 15)});
    return rows;
}

#endif
