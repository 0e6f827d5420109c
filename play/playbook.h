#ifndef ORVANDEL_PLAYBOOK_H
#define ORVANDEL_PLAYBOOK_H

#include "book/book.h"
#include "play/fight.h"
#include "play/rules.h"

#include <QCoreApplication>
#include <QString>
#include <QVector>

// A book as the rules play it: every reference already looked up, every
// number read once, so that a hundred thousand simulated readers do not read
// the same texts again at every step. Built from the book as it stands; a
// changed book needs a new one.
class Playbook
{
    Q_DECLARE_TR_FUNCTIONS(Playbook)

public:
    // A way to another entry. `target` is the entry's index in the book; a
    // way written but leading to no entry is broken (target -1, text kept).
    struct Way
    {
        QString text;
        int target = -1;
        bool isSet() const { return !text.trimmed().isEmpty(); }
        bool isBroken() const { return isSet() && target < 0; }
    };
    struct Find
    {
        QString name;
        int habilete = 0, endurance = 0, chance = 0, gold = 0, food = 0;
    };
    struct Page
    {
        QString id;
        int habilete = 0, endurance = 0, chance = 0; // the Bonus section
        QVector<Find> finds;
        bool meal = false;
        QString monsterType;
        QVector<Fight::Opponent> monsters;
        Way victory; // the last monster's
        bool flee = false, fleePenalty = false;
        int fleeRound = 0;
        Way fleeTo;
        bool luck = false;
        Way lucky, unlucky;
        QString luckyText, unluckyText; // what the reader reads after the dice
        QVector<Way> choices;
        QVector<QString> choiceTexts;
        bool wayOut = false; // false: reaching it ends the adventure
        // How the author marked it, as an ending: a victory, a death (the
        // reader dies there, alive or not), or neither.
        bool victoryMarked = false, deathMarked = false;
    };

    Playbook() = default;
    explicit Playbook(const Book &book);
    // Entry `index` of `book` as a page, made on its own (what the
    // Playbook of the book holds for it).
    static Page pageOf(const Book &book, int index);

    int size() const { return pages.size(); }
    const Page &page(int i) const { return pages.at(i); }
    // Where the reader starts, -1 for a book without a numbered entry.
    int first() const { return start; }

    // A signed amount as authors type it in a cell ("2", "-1", " +3 "), 0
    // for anything else, so that a stray word costs nothing; brought within
    // `low`..Rules::valueLimit however many digits it has.
    static int amount(const QString &text, int low = -Rules::valueLimit);

private:
    QVector<Page> pages;
    int start = -1;
};

#endif
