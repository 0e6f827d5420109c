#ifndef ORVANDEL_PLAYUI_H
#define ORVANDEL_PLAYUI_H

#include "play/adventure.h"
#include "play/dice.h"
#include "play/playbook.h"

#include <QDialog>

class QLabel;
class QListWidget;
class QTextBrowser;
class QVBoxLayout;

// The book played as a reader plays it, with real dice: the adventure sheet,
// the entry's text, every fight round and test of luck with its dice, the
// choices as buttons, one step back, and the seed, so that a run can be
// played again.
class PlayUI : public QDialog
{
    Q_OBJECT

public:
    // Starts at `entry` (an index of the book; -1: its first entry), and
    // says so; a start elsewhere than the first entry can be restarted from
    // either.
    PlayUI(const Book &book, int entry = -1, quint32 seed = 0, QWidget *parent = nullptr);

private:
    void restart();
    void restartFrom(int entry);
    QString entryName(int entry) const;
    void refresh();
    void act(bool done);
    void addButton(const QString &name, const QString &text, const std::function<bool()> &action);

    const Book &book;
    Playbook playbook;
    int startEntry; // where this run started, an index
    quint32 seed;
    std::unique_ptr<SeededDice> dice;
    std::unique_ptr<Adventure> adventure;
    QLabel *sheet;
    QLabel *status;
    QLabel *where;
    QTextBrowser *text;
    QListWidget *log;
    QVBoxLayout *actions;
};

#endif
