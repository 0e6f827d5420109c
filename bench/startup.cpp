// Start-up probe for the benchmark: shows a main window (Orvandel's, or a bare
// QMainWindow with --minimal) and quits as soon as it is shown. With --bind
// BOOK it binds an entry dialog to BOOK and prints the peak resident size.
#include "app/mainwindow.h"
#include "entry/entryui.h"

#include <QApplication>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

static long peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 2 && args.at(1) == QLatin1String("--bind")) {
        EntryUI dialog;
        const long before = peakKiB();
        if (args.size() >= 3)
            dialog.setEntriesFile(args.at(2));
        std::printf("%ld %ld\n", before, peakKiB());
        return 0;
    }
    if (args.contains(QLatin1String("--minimal"))) {
        QMainWindow window;
        window.show();
        QTimer::singleShot(0, &app, &QApplication::quit);
        return app.exec();
    }
    MainWindow window;
    window.show();
    QTimer::singleShot(0, &app, &QApplication::quit);
    return app.exec();
}
