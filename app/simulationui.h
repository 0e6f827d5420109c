#ifndef ORVANDEL_SIMULATIONUI_H
#define ORVANDEL_SIMULATIONUI_H

#include "book/book.h"
#include "play/balance.h"
#include "play/simulation.h"

#include <QDialog>

#include <memory>

class QComboBox;
class QLabel;
class QSpinBox;
class QTabWidget;
class QTextBrowser;
QT_BEGIN_NAMESPACE
namespace QtCharts {
class QChartView;
}
QT_END_NAMESPACE

// Simulated readers of the book: the share that wins in one line, how
// adventures end, where readers die and how long they walk as charts, the
// verdicts on fights and unvisited entries in the text report, and a map
// coloured by how often each entry is reached.
class SimulationUI : public QDialog
{
    Q_OBJECT

public:
    explicit SimulationUI(const Book &book, QWidget *parent = nullptr);
    void run();
    void showMap();
    const Simulation::Report &lastReport() const { return report; }

private:
    QWidget *chartPane(const QList<QtCharts::QChartView *> &views);
    void saveChart(QtCharts::QChartView *view);

    const Book &book;
    Playbook playbook;
    Simulation::Report report;
    std::unique_ptr<Balance> balance;
    QSpinBox *count;
    QSpinBox *seed;
    QComboBox *strategy;
    QLabel *headline;
    QTabWidget *tabs;
    QTextBrowser *text;
    QtCharts::QChartView *endings;
    QtCharts::QChartView *deathsByEntry;
    QtCharts::QChartView *deathsByMonster;
    QtCharts::QChartView *lengths;
};

#endif
