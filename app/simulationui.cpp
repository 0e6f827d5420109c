#include "app/simulationui.h"

#include "analysis/bookcheck.h"
#include "analysis/bookmap.h"
#include "app/bookmapui.h"
#include "app/mapitem.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QTextBrowser>
#include <QVBoxLayout>

SimulationUI::SimulationUI(const Book &book, QWidget *parent)
    : QDialog(parent)
    , book(book)
    , playbook(book)
    , count(new QSpinBox)
    , seed(new QSpinBox)
    , strategy(new QComboBox)
    , text(new QTextBrowser)
{
    setObjectName(QStringLiteral("SimulationUI"));
    setWindowTitle(tr("Lecteurs simulés"));
    resize(760, 600);
    count->setObjectName(QStringLiteral("sb_Readers"));
    count->setRange(1, 1000000);
    count->setValue(10000);
    seed->setObjectName(QStringLiteral("sb_Seed"));
    seed->setRange(0, 999999999);
    seed->setValue(1);
    seed->setToolTip(tr("La même graine donne le même rapport."));
    strategy->setObjectName(QStringLiteral("cb_Strategy"));
    strategy->addItem(tr("Au hasard"), int(Simulation::Random));
    strategy->addItem(tr("Prudent (évite les combats perdus d'avance)"), int(Simulation::Cautious));
    text->setObjectName(QStringLiteral("text_Report"));

    auto *runButton = new QPushButton(tr("Lancer"));
    runButton->setObjectName(QStringLiteral("pb_Run"));
    auto *mapButton = new QPushButton(tr("Carte des passages"));
    mapButton->setObjectName(QStringLiteral("pb_HeatMap"));
    connect(runButton, &QPushButton::clicked, this, &SimulationUI::run);
    connect(mapButton, &QPushButton::clicked, this, &SimulationUI::showMap);
    auto *form = new QFormLayout;
    form->addRow(tr("Lecteurs :"), count);
    form->addRow(tr("Graine :"), seed);
    form->addRow(tr("Lecteur :"), strategy);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(runButton);
    buttons->addWidget(mapButton);
    buttons->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(text, 1);
}

void SimulationUI::run()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Simulation simulation(playbook, Simulation::Strategy(strategy->currentData().toInt()));
    report = simulation.run(count->value(), quint32(seed->value()));
    text->setPlainText(simulation.text(report));
    QApplication::restoreOverrideCursor();
}

void SimulationUI::showMap()
{
    if (report.adventures == 0)
        run();
    std::unique_ptr<MapItem> drawn =
        BookMapUI::layOut(BookMap::drawing(book, BookCheck::run(book), report.reached, report.adventures), this);
    if (!drawn)
        return;
    BookMapUI map(std::move(drawn), book.firstIndex(), this);
    map.setWindowTitle(tr("Carte des passages (%1 lecteurs)").arg(report.adventures));
    map.setLegend(tr("Chaque case dit quelle part des lecteurs simulés est passée par l'entrée : "
                     "<span style='background:#ffffc3'>&nbsp;pâle, peu&nbsp;</span> "
                     "<span style='background:#ff4b0f'>&nbsp;orange foncé, tous&nbsp;</span>. "
                     "Double-clic sur une case : aller à l'entrée."));
    map.exec();
}
