#ifndef ORVANDEL_BOOKGEN_H
#define ORVANDEL_BOOKGEN_H

// Realistic books and monster lists for the benchmarks: multi-line texts with
// accents, and every section present in a fair share of the entries.

#include "book/entry.h"
#include "book/entryid.h"
#include "book/entrywriter.h"
#include "book/monsterlist.h"

#include <QRandomGenerator>

inline QVector<Entry> generateEntries(int entries, quint32 seed = 7)
{
    QRandomGenerator random(seed);
    static const QStringList sentences{
        QStringLiteral("Vous avancez prudemment dans le couloir humide, la torche à la main."),
        QStringLiteral("Un grondement sourd résonne derrière la porte de chêne."),
        QStringLiteral("L'aubergiste vous dévisage, puis essuie lentement un verre ébréché."),
        QStringLiteral("Au détour du sentier, une silhouette encapuchonnée vous barre la route."),
        QStringLiteral("Le vent glacé siffle entre les pierres de la tour en ruine."),
    };
    QVector<Entry> book;
    book.reserve(entries);
    for (int i = 0; i < entries; ++i) {
        Entry e;
        e.id = EntryId::text(i);
        QStringList lines;
        for (int l = 0, n = 2 + random.bounded(4); l < n; ++l)
            lines << sentences.at(random.bounded(sentences.size()));
        e.text = lines.join(QLatin1Char('\n'));
        auto target = [&]() { return QString::number(random.bounded(entries)); };
        const int kind = random.bounded(100);
        if (kind < 90) {
            e.types.choice = e.choiceActive = true;
            for (int c = 0, n = 1 + random.bounded(3); c < n; ++c)
                e.choices.append({target(), QStringLiteral("Rendez-vous au %1").arg(c)});
        }
        if (kind % 3 == 0) {
            e.types.attack = true;
            e.monsters.append({QStringLiteral("Orque des cavernes"), QStringLiteral("7"),
                               QStringLiteral("9"), target()});
        }
        if (kind % 5 == 0)
            e.objects.append({QStringLiteral("Épée courte"), QStringLiteral("0"),
                              QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("0"),
                              QStringLiteral("0"), QStringLiteral("3"), QStringLiteral("1"),
                              QString()});
        if (kind % 5 == 1) {
            e.types.bonus = e.bonus.active = true;
            e.bonus.endurance = 2;
        }
        if (kind % 7 == 0) {
            e.types.flee = e.flee.active = true;
            e.flee.round = 2;
            e.flee.ref = target();
        }
        if (kind % 7 == 1) {
            e.types.luck = e.luck.active = true;
            e.luck.luckyValue = target();
            e.luck.luckyText = QStringLiteral("Vous êtes chanceux");
            e.luck.unluckyValue = target();
            e.luck.unluckyText = QStringLiteral("Vous êtes malchanceux");
        }
        book.append(e);
    }
    return book;
}

// The same book as the program writes it.
inline QByteArray generateBook(int entries, quint32 seed = 7)
{
    QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Livre>\n");
    for (const Entry &e : generateEntries(entries, seed))
        text += QLatin1Char('\t') + EntryWriter::elementXml(e);
    return (text + QStringLiteral("\n</Livre>")).toUtf8();
}

// A book shaped like a published gamebook: entry 1 opens it, the story
// flows forward (choices lead a few entries on, now and then back), fights
// and tests of luck on the way, a few deaths, and victory in the last
// entry. Readers of such a book walk a hundred entries and more, where
// readers of generateBook()'s random links stop after a dozen.
inline QByteArray generateGamebook(int entries, quint32 seed = 11)
{
    QRandomGenerator random(seed);
    const auto ahead = [&](int from, int most) {
        return QString::number(qMin(entries, from + 1 + int(random.bounded(quint32(most)))));
    };
    QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Livre>\n");
    for (int n = 1; n <= entries; ++n) {
        Entry e;
        e.id = EntryId::text(n);
        e.text = QStringLiteral("Vous avancez prudemment dans le couloir humide, la torche à la main.\n"
                                "Au détour du sentier, une silhouette encapuchonnée vous barre la route.");
        const int kind = int(random.bounded(100));
        if (n == entries || (n > 10 && kind < 1)) {
            text += QLatin1Char('\t') + EntryWriter::elementXml(e); // the end, or a death
            continue;
        }
        if (kind < 6) {
            e.types.attack = true;
            e.monsters.append({QStringLiteral("Orque des cavernes"), QString::number(4 + kind % 3),
                               QString::number(3 + kind % 4), ahead(n, 3)});
        } else if (kind < 12) {
            e.types.luck = e.luck.active = true;
            e.luck.luckyValue = ahead(n, 3);
            e.luck.luckyText = QStringLiteral("Vous êtes chanceux");
            e.luck.unluckyValue = ahead(n, 6);
            e.luck.unluckyText = QStringLiteral("Vous êtes malchanceux");
        } else {
            e.types.choice = e.choiceActive = true;
            for (int c = 0, count = 1 + int(random.bounded(3)); c < count; ++c) {
                const QString to = kind % 25 == 0 && c == 0 ? QString::number(qMax(1, n - 1 - int(random.bounded(20))))
                                                            : ahead(n, 4);
                e.choices.append({to, QStringLiteral("Rendez-vous au %1").arg(to)});
            }
        }
        if (kind % 9 == 0) {
            e.types.bonus = e.bonus.active = true;
            e.bonus.endurance = 2;
        }
        text += QLatin1Char('\t') + EntryWriter::elementXml(e);
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
