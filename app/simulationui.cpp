#include "app/simulationui.h"

#include "analysis/bookcheck.h"
#include "analysis/bookmap.h"
#include "app/bookmapui.h"
#include "app/mapitem.h"
#include "app/reportcharts.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <QtCharts/QChartView>

using namespace QtCharts;

SimulationUI::SimulationUI(const Book &book, QWidget *parent)
    : QDialog(parent)
    , book(book)
    , playbook(book)
    , count(new QSpinBox)
    , seed(new QSpinBox)
    , strategy(new QComboBox)
    , headline(new QLabel)
    , tabs(new QTabWidget)
    , text(new QTextBrowser)
    , endings(new QChartView)
    , deathsByEntry(new QChartView)
    , deathsByMonster(new QChartView)
    , lengths(new QChartView)
{
    setObjectName(QStringLiteral("SimulationUI"));
    setWindowTitle(tr("Lecteurs simulés"));
    resize(1180, 700);
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
    headline->setObjectName(QStringLiteral("lbl_Headline"));
    headline->setWordWrap(true);
    headline->setTextInteractionFlags(Qt::TextSelectableByMouse);
    headline->setText(tr("« Lancer » fait jouer les lecteurs simulés."));
    text->setObjectName(QStringLiteral("text_Report"));
    tabs->setObjectName(QStringLiteral("tab_Report"));
    const QList<std::pair<QChartView *, const char *>> views{{endings, "chart_Endings"},
                                                            {deathsByEntry, "chart_DeathsByEntry"},
                                                            {deathsByMonster, "chart_DeathsByMonster"},
                                                            {lengths, "chart_Lengths"}};
    for (const auto &v : views) {
        v.first->setObjectName(QLatin1String(v.second));
        v.first->setRenderHint(QPainter::Antialiasing);
        v.first->setMinimumSize(320, 240);
    }
    tabs->addTab(chartPane({endings}), tr("Fins"));
    tabs->addTab(chartPane({deathsByEntry, deathsByMonster}), tr("Morts"));
    tabs->addTab(chartPane({lengths}), tr("Longueur"));
    tabs->addTab(text, tr("Rapport et verdicts"));

    auto *runButton = new QPushButton(tr("Lancer"));
    runButton->setObjectName(QStringLiteral("pb_Run"));
    runButton->setDefault(true);
    auto *mapButton = new QPushButton(tr("Carte des passages"));
    mapButton->setObjectName(QStringLiteral("pb_HeatMap"));
    mapButton->setToolTip(tr("La carte du livre, chaque entrée colorée par la part des lecteurs qui y passent."));
    connect(runButton, &QPushButton::clicked, this, &SimulationUI::run);
    connect(mapButton, &QPushButton::clicked, this, &SimulationUI::showMap);
    auto *form = new QHBoxLayout;
    form->addWidget(new QLabel(tr("Lecteurs :")));
    form->addWidget(count);
    form->addWidget(new QLabel(tr("Graine :")));
    form->addWidget(seed);
    form->addWidget(new QLabel(tr("Lecteur :")));
    form->addWidget(strategy);
    form->addWidget(runButton);
    form->addWidget(mapButton);
    form->addStretch(1);
    QFont big = headline->font();
    big.setPointSizeF(big.pointSizeF() * 1.2);
    big.setBold(true);
    headline->setFont(big);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(headline);
    layout->addWidget(tabs, 1);
}

QWidget *SimulationUI::chartPane(const QList<QChartView *> &views)
{
    auto *pane = new QWidget;
    auto *row = new QHBoxLayout(pane);
    row->setContentsMargins(0, 0, 0, 0);
    for (QChartView *view : views) {
        auto *column = new QVBoxLayout;
        column->addWidget(view, 1);
        auto *save = new QPushButton(tr("Enregistrer l'image (PNG ou SVG)…"));
        save->setObjectName(QStringLiteral("pb_Save_") + view->objectName());
        connect(save, &QPushButton::clicked, this, [this, view] { saveChart(view); });
        auto *buttons = new QHBoxLayout;
        buttons->addStretch(1);
        buttons->addWidget(save);
        column->addLayout(buttons);
        row->addLayout(column, 1);
    }
    return pane;
}

void SimulationUI::run()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Simulation simulation(playbook, Simulation::Strategy(strategy->currentData().toInt()));
    report = simulation.run(count->value(), quint32(seed->value()));
    balance = std::make_unique<Balance>(playbook, report);
    headline->setText(balance->headline());
    text->setPlainText(simulation.text(report));
    // A view owns the chart it shows and deletes the one it showed before.
    const auto show = [](QChartView *view, QChart *chart) {
        QChart *old = view->chart();
        view->setChart(chart);
        delete old;
    };
    show(endings, ReportCharts::endings(*balance));
    show(deathsByEntry, ReportCharts::deathsByEntry(*balance));
    show(deathsByMonster, ReportCharts::deathsByMonster(*balance));
    show(lengths, ReportCharts::lengths(*balance));
    QApplication::restoreOverrideCursor();
}

void SimulationUI::saveChart(QChartView *view)
{
    if (report.adventures == 0)
        run();
    QString filter;
    const QString path = QFileDialog::getSaveFileName(this, tr("Enregistrer l'image"), QString(),
                                                      tr("Image PNG (*.png);;Image SVG (*.svg)"), &filter);
    if (path.isEmpty())
        return;
    QString target = path;
    if (!target.endsWith(QLatin1String(".png"), Qt::CaseInsensitive)
        && !target.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive))
        target += filter.contains(QLatin1String("svg")) ? QStringLiteral(".svg") : QStringLiteral(".png");
    QString error;
    if (!ReportCharts::save(view, target, &error))
        QMessageBox::warning(this, tr("Image non enregistrée"), tr("%1 n'a pas pu être écrit : %2").arg(target, error));
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
