// Start-up probe for the benchmark: shows a main window (Orvandel's, or a bare
// QMainWindow with --minimal) and quits as soon as it is shown. With --bind
// BOOK it binds an entry dialog to BOOK and prints the peak resident size.
#include "app/mainwindow.h"
#include "entry/entryui.h"

#include <QApplication>
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
