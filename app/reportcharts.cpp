#include "app/reportcharts.h"

#include "book/atomicfile.h"

#include <QBuffer>
#include <QPainter>
#include <QPixmap>
#include <QSvgGenerator>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QChartView>
#include <QtCharts/QHorizontalStackedBarSeries>
#include <QtCharts/QValueAxis>

using namespace QtCharts;

namespace {

// A share axis from 0 to a little past the longest bar, its labels as
// precise as the bars are small: "0,25 %" rather than "0 %" four times.
QValueAxis *shareAxis(double most)
{
    auto *axis = new QValueAxis;
    axis->setRange(0, most > 0 ? qMin(100.0, most * 1.1) : 1.0);
    axis->applyNiceNumbers();
    axis->setLabelFormat(most >= 10 ? QStringLiteral("%.0f %%") : most >= 1 ? QStringLiteral("%.1f %%")
                                                                            : QStringLiteral("%.2f %%"));
    axis->setTitleText(ReportCharts::tr("part des aventures"));
    return axis;
}

// The colours of the ways an adventure ends, the same in every chart.
QColor colour(Balance::Kind kind)
{
    switch (kind) {
    case Balance::Victory: return QColor(0x3a, 0x8d, 0x3f);
    case Balance::Ending: return QColor(0xc9, 0xa2, 0x27);
    case Balance::FightDeath: return QColor(0xc6, 0x28, 0x28);
    case Balance::OtherDeath: return QColor(0x8e, 0x24, 0xaa);
    case Balance::BrokenReference: return QColor(0xef, 0x8f, 0x00);
    case Balance::Loop: return QColor(0x54, 0x6e, 0x7a);
    case Balance::Monster: return QColor(0xb7, 0x1c, 0x1c);
    case Balance::Others: return QColor(0x9e, 0x9e, 0x9e);
    }
    return Qt::gray;
}

QString kindName(Balance::Kind kind)
{
    switch (kind) {
    case Balance::Victory: return ReportCharts::tr("victoire");
    case Balance::Ending: return ReportCharts::tr("fin sans marque");
    case Balance::FightDeath: return ReportCharts::tr("mort au combat");
    case Balance::OtherDeath: return ReportCharts::tr("autre mort");
    case Balance::BrokenReference: return ReportCharts::tr("renvoi rompu");
    case Balance::Loop: return ReportCharts::tr("boucle sans fin");
    case Balance::Monster: return ReportCharts::tr("morts");
    case Balance::Others: return ReportCharts::tr("les autres, ensemble");
    }
    return QString();
}

// Bars from the top down, most first, one colour per kind (a stacked
// series with one set per kind, empty where the bar is another kind's),
// each the share of all adventures in percent. Past `mostBars`, the rest
// are added up into one last grey bar.
QChart *barChart(const QString &title, QVector<Balance::Bar> bars, int adventures)
{
    std::stable_sort(bars.begin(), bars.end(),
                     [](const Balance::Bar &a, const Balance::Bar &b) { return a.count > b.count; });
    if (bars.size() > ReportCharts::mostBars) {
        Balance::Bar rest;
        rest.kind = Balance::Others;
        const int others = bars.size() - (ReportCharts::mostBars - 1);
        for (int i = ReportCharts::mostBars - 1; i < bars.size(); ++i)
            rest.count += bars.at(i).count;
        rest.label = ReportCharts::tr("%1 autres").arg(others);
        bars.resize(ReportCharts::mostBars - 1);
        bars.append(rest);
    }
    auto *chart = new QChart;
    chart->setTitle(bars.isEmpty() ? ReportCharts::tr("%1 : aucune").arg(title) : title);
    chart->setAnimationOptions(QChart::NoAnimation);
    auto *series = new QHorizontalStackedBarSeries;
    QMap<int, QBarSet *> sets;
    QStringList labels;
    // The axis draws its first category at the bottom: the biggest bar
    // comes last so that it stands at the top.
    for (int i = bars.size() - 1; i >= 0; --i) {
        const Balance::Bar &b = bars.at(i);
        labels << b.label;
        if (!sets.contains(b.kind)) {
            auto *set = new QBarSet(kindName(b.kind));
            set->setColor(colour(b.kind));
            set->setBorderColor(colour(b.kind));
            sets.insert(b.kind, set);
        }
    }
    for (int i = bars.size() - 1; i >= 0; --i) {
        const double share = adventures ? 100.0 * bars.at(i).count / adventures : 0.0;
        for (auto it = sets.begin(); it != sets.end(); ++it)
            it.value()->append(it.key() == bars.at(i).kind ? share : 0.0);
    }
    for (QBarSet *set : sets)
        series->append(set);
    series->setBarWidth(0.8);
    chart->addSeries(series);
    auto *categories = new QBarCategoryAxis;
    categories->append(labels);
    chart->addAxis(categories, Qt::AlignLeft);
    series->attachAxis(categories);
    double most = 0;
    for (const Balance::Bar &b : bars)
        most = qMax(most, adventures ? 100.0 * b.count / adventures : 0.0);
    QValueAxis *values = shareAxis(most);
    chart->addAxis(values, Qt::AlignBottom);
    series->attachAxis(values);
    chart->legend()->setVisible(sets.size() > 1);
    chart->legend()->setAlignment(Qt::AlignBottom);
    return chart;
}

} // namespace

QChart *ReportCharts::endings(const Balance &balance)
{
    return barChart(tr("Comment finissent les aventures (%1 lecteurs)").arg(balance.adventures()),
                    balance.endings(), balance.adventures());
}

QChart *ReportCharts::deathsByEntry(const Balance &balance)
{
    return barChart(tr("Où meurent les lecteurs : par entrée"), balance.deathsByEntry(), balance.adventures());
}

QChart *ReportCharts::deathsByMonster(const Balance &balance)
{
    return barChart(tr("Où meurent les lecteurs : par monstre"), balance.deathsByMonster(), balance.adventures());
}

QChart *ReportCharts::lengths(const Balance &balance)
{
    auto *chart = new QChart;
    chart->setTitle(tr("Longueur des aventures (entrées parcourues)"));
    chart->setAnimationOptions(QChart::NoAnimation);
    auto *series = new QBarSeries;
    auto *set = new QBarSet(tr("aventures"));
    set->setColor(QColor(0x1e, 0x6a, 0xa8));
    QStringList labels;
    double most = 0;
    for (const Balance::Bin &b : balance.lengths(lengthBins)) {
        labels << (b.from == b.to ? QString::number(b.from) : QStringLiteral("%1–%2").arg(b.from).arg(b.to));
        const double share = balance.adventures() ? 100.0 * b.count / balance.adventures() : 0.0;
        set->append(share);
        most = qMax(most, share);
    }
    series->append(set);
    series->setBarWidth(0.95);
    chart->addSeries(series);
    auto *categories = new QBarCategoryAxis;
    categories->append(labels);
    categories->setTitleText(tr("entrées parcourues"));
    chart->addAxis(categories, Qt::AlignBottom);
    series->attachAxis(categories);
    QValueAxis *values = shareAxis(most);
    chart->addAxis(values, Qt::AlignLeft);
    series->attachAxis(values);
    chart->legend()->setVisible(false);
    return chart;
}

bool ReportCharts::save(QChartView *view, const QString &path, QString *error)
{
    // A view never shown has no size of its own yet: the picture gets one.
    const QSize size = view->isVisible() ? view->size() : QSize(900, 600);
    if (!view->isVisible())
        view->resize(size);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(view->chart()->title());
        QPainter painter;
        if (!painter.begin(&svg)) {
            *error = tr("Impossible de dessiner l'image SVG.");
            return false;
        }
        view->render(&painter, QRectF(QPointF(0, 0), size), QRect(QPoint(0, 0), size));
        painter.end();
    } else {
        QPixmap picture(size);
        picture.fill(Qt::white);
        QPainter painter(&picture);
        view->render(&painter, QRectF(QPointF(0, 0), size), QRect(QPoint(0, 0), size));
        painter.end();
        if (!picture.save(&buffer, "PNG")) {
            *error = tr("Impossible de faire l'image PNG.");
            return false;
        }
    }
    AtomicFile file(path);
    if (!file.write(bytes)) {
        *error = file.errorString();
        return false;
    }
    return true;
}
