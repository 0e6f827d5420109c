#ifndef ORVANDEL_REPORTCHARTS_H
#define ORVANDEL_REPORTCHARTS_H

#include "play/balance.h"

#include <QCoreApplication>
#include <QString>
#include <QtCharts/QChart>

QT_CHARTS_BEGIN_NAMESPACE
class QChartView;
QT_CHARTS_END_NAMESPACE

// The simulated readers' report as pictures: how adventures end, where
// readers die (by entry and by monster), how long adventures last. Every
// bar is a share of all the adventures, in percent, so that two books, or
// two runs of different sizes, read the same.
class ReportCharts
{
    Q_DECLARE_TR_FUNCTIONS(ReportCharts)

public:
    // A chart holds at most this many bars; the rest become one more bar.
    static constexpr int mostBars = 25;
    // The lengths' histogram: few enough bins for their ranges to be read.
    static constexpr int lengthBins = 12;

    static QtCharts::QChart *endings(const Balance &balance);
    static QtCharts::QChart *deathsByEntry(const Balance &balance);
    static QtCharts::QChart *deathsByMonster(const Balance &balance);
    static QtCharts::QChart *lengths(const Balance &balance);

    // The chart as a picture: PNG or SVG after the file's suffix (PNG for
    // any other). False, with `error` saying why, when it cannot be written.
    static bool save(QtCharts::QChartView *view, const QString &path, QString *error);
};

#endif
