#ifndef ORVANDEL_ADVENTURE_H
#define ORVANDEL_ADVENTURE_H

#include "play/dice.h"
#include "play/fight.h"
#include "play/playbook.h"
#include "play/rules.h"

#include <QCoreApplication>
#include <QStringList>
#include <QVector>

#include <algorithm>

// One reader's walk through a book under the rules, one decision at a time,
// so that a window can let a person play it and a simulation can play it a
// hundred thousand times. On arriving at an entry its bonus and objects take
// effect; then come, in this order, the fight, the test of luck and the
// choices, each waiting for its decision; an entry with none of them ends the
// adventure. A meal may be taken at any point while at an entry with "Repas".
//
// The playbook and the dice must outlive the adventure.
class Adventure
{
    Q_DECLARE_TR_FUNCTIONS(Adventure)

public:
    enum Phase { Fighting, TestingLuck, Choosing, Over };
    enum Ending { NotOver, Finished, Died, Broken, Looped };

    // What happened, in order, with its dice.
    struct Event
    {
        enum Kind { Round, Luck, Meal, Flight, Choice };
        Kind kind = Round;
        // a round: the adventurer's dice, then the monster's; luck: its dice
        int dice[std::max(2 * Rules::fightDice, Rules::luckDice)] = {};
        int value = 0;   // a round: the monster; luck: 1 when lucky; a choice: its index
        int outcome = 0; // a round: Fight::Outcome; a choice: how many there were
    };

    struct State
    {
        int entry = -1;
        Phase phase = Over;
        Ending ending = NotOver;
        Sheet sheet;
        Fight fight;
        bool fightDone = false, luckDone = false, mealTaken = false;
        int steps = 0;      // entries arrived at, the first one included
        int killedBy = -1;  // the monster that killed the adventurer, -1 for any other death
        QString brokenRef;  // the reference that led nowhere
        // The current entry's events are those from firstEvent on; an
        // adventure that is not recorded keeps no others.
        QVector<Event> events;
        int firstEvent = 0;
        // Kept only while recording:
        QVector<int> path;  // every entry arrived at
        QStringList log;    // what happened, as the reader would tell it
        QStringList trace;  // one line per entry left, see traceLine()
    };

    Adventure(const Playbook &book, Dice &dice, const Rules &rules = Rules());

    // Recording keeps the history that back() needs, the path, the log and
    // the trace; a simulation goes faster without them.
    void setRecording(bool on) { recording = on; }
    // Counts in `reached` (one count per entry) the adventures that arrive
    // at each entry, even those passed through without a decision:
    // `lastSeen` keeps, per entry, the `mark` of the last adventure counted.
    void trackVisits(QVector<int> *reached, QVector<int> *lastSeen, int mark)
    {
        visits = reached;
        seen = lastSeen;
        visitMark = mark;
    }

    // A sheet from the dice: Habileté, then Endurance, then Chance.
    Sheet rollSheet();
    // Starts with a rolled sheet at the book's first entry.
    bool start();
    // Starts with the author's sheet, at `entry` (an index; -1: the first).
    bool start(const Sheet &sheet, int entry = -1);

    const State &state() const { return now; }
    const Playbook::Page &page() const { return book->page(now.entry); }
    const Rules &rules() const { return laws; }

    // The decisions. Each returns false, with errorString() saying why, when
    // it is not open at this point.
    bool fightRound();
    bool canFlee() const;
    bool flee();
    bool testLuck();
    bool choose(int choice);
    bool canEat() const;
    bool eat();
    bool canGoBack() const { return !history.isEmpty(); }
    // Undoes the last decision. The dice are not wound back: the next roll is
    // a new one, as for a reader who turns back a page.
    bool back();

    QString errorString() const { return error; }

    // The entry just left, as one line: its step, id, dice, the sheet on
    // leaving and where the reader went.
    QString traceLine(const QString &next) const;
    static QString sheetText(const Sheet &sheet);

private:
    bool refuse(const QString &why);
    void remember();
    // Both return the way to follow at once, if any.
    const Playbook::Way *arrive(int index);
    const Playbook::Way *settle();
    void go(const Playbook::Way &way);
    void end(Ending ending);
    // A line of the log, made only while recording (a simulation makes
    // none); an empty line is none.
    template<typename Make>
    void note(Make make)
    {
        if (recording) {
            const QString line = make();
            if (!line.isEmpty())
                now.log << line;
        }
    }
    static void change(int *value, int max, int delta);

    const Playbook *book;
    Dice *dice;
    Rules laws;
    bool recording = true;
    QVector<int> *visits = nullptr;
    QVector<int> *seen = nullptr;
    int visitMark = 0;
    // A decision undone: the state before it, without what only grows
    // (events, path, log, trace, items), of which it keeps the lengths.
    struct Undo
    {
        State state;
        int events = 0, path = 0, log = 0, trace = 0, items = 0;
    };

    State now;
    QVector<Undo> history;
    QString error;
};

#endif
