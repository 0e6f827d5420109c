// Probe for the benchmark, which itself links no widgets: shows a main window
// (Orvandel's, or a bare QMainWindow with --minimal) and quits as soon as it
// is shown. With --bind BOOK it binds an entry dialog to BOOK and prints the
// peak resident size; with --window BOOK [WORD] it prints the milliseconds
// the book window takes to open and show BOOK, then to filter it on WORD.
#include "app/booklistmodel.h"
#include "app/bookwindow.h"
#include "app/mainwindow.h"
#include "entry/entryui.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QFile>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>

// The peak resident size of this process image. Not getrusage(): its
// maximum carries over from the parent that forked us.
static long peakKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
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
    if (args.size() >= 3 && args.at(1) == QLatin1String("--window")) {
        QElapsedTimer clock;
        clock.start();
        BookWindow window;
        window.openBook(args.at(2));
        window.show();
        QCoreApplication::processEvents();
        const double open = clock.nsecsElapsed() / 1e6;
        double filter = 0;
        if (args.size() >= 4) {
            auto *edit = window.findChild<QLineEdit *>(QStringLiteral("le_Filter"));
            edit->setText(QStringLiteral("x")); // the first search folds every text once
            edit->clear();
            clock.restart();
            edit->setText(args.at(3));
            filter = clock.nsecsElapsed() / 1e6;
        }
        std::printf("%.3f %.3f\n", open, filter);
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
