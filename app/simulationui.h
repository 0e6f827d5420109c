#ifndef ORVANDEL_SIMULATIONUI_H
#define ORVANDEL_SIMULATIONUI_H

#include "book/book.h"
#include "play/simulation.h"

#include <QDialog>

class QComboBox;
class QSpinBox;
class QTextBrowser;

// Simulated readers of the book: how many reach each ending, where they die,
// and a map coloured by how often each entry is reached.
class SimulationUI : public QDialog
{
    Q_OBJECT

public:
    explicit SimulationUI(const Book &book, QWidget *parent = nullptr);
    void run();
    void showMap();

private:
    const Book &book;
    Playbook playbook;
    Simulation::Report report;
    QSpinBox *count;
    QSpinBox *seed;
    QComboBox *strategy;
    QTextBrowser *text;
};

#endif
