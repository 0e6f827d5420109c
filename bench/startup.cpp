// Probe for the benchmark, which itself links no widgets: shows a main window
// (Orvandel's, or a bare QMainWindow with --minimal) and quits as soon as it
// is shown. With --bind BOOK it binds an entry dialog to BOOK and prints the
// peak resident size before and after, and the resident size then.
// With --window BOOK [WORD] it prints, on one line:
//   OPEN FILTER L1 ... Ln SHOWN SEARCHED
// OPEN the milliseconds the book window takes to open and show BOOK; FILTER
// those of filtering it on WORD once every text has been searched already
// (a warm search); L1 ... Ln those of WORD typed into the filter one letter
// at a time, each with the list shown again, L1 being the first search of
// the window (cold); SHOWN the resident KiB of the process once the book is
// shown, SEARCHED once it has been searched. Without WORD: OPEN 0 SHOWN SHOWN.
// With --window-bare it prints the resident KiB of the same window showing
// an empty book (a file not there yet), the floor of SHOWN and SEARCHED.
// With --map BOOK [PREFIX] it lays BOOK's map out and prints the repaint
// times of the map view (scrolling at reading size, zooming out step by step,
// the whole map, an empty view of the same size), saving pictures of each
// as PREFIX-*.png; with --map-wait BOOK SECONDS it lays the map out behind
// the progress dialog for that long and prints how late a 10 ms timer fired
// meanwhile (median and worst), then walks away. With --writing BOOK N it
// writes N entries one after another through the book window's "Nouvelle
// entrée" and prints the milliseconds they took, then what writing the
// book's bytes and their history copy once costs at the start and at the end.
#include "analysis/bookmap.h"
#include "app/bookmapui.h"
#include "app/mapitem.h"
#include "book/atomicfile.h"
#include "book/bookfile.h"
#include "book/filehistory.h"
#include "app/booklistmodel.h"
#include "app/bookwindow.h"
#include "document/bookdocument.h"
#include "app/mainwindow.h"
#include "entry/entryui.h"

#include <QAction>
#include <QDir>
#include <QApplication>
#include <QAbstractButton>
#include <QSaveFile>
#include <QTextEdit>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QFile>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

// The peak resident size of this process image. Not getrusage(): its
// maximum carries over from the parent that forked us.
static long statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLong();
    return -1;
}

static long peakKiB()
{
    return statusKiB("VmHWM:");
}

static double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

static double repaintMs(QGraphicsView *view)
{
    QElapsedTimer clock;
    clock.start();
    view->viewport()->repaint();
    return clock.nsecsElapsed() / 1e6;
}

static int mapRepaints(const QString &path, const QString &prefix)
{
    BookFile file;
    if (!file.open(path))
        return 2;
    MapLayout layout;
    QString error;
    if (!BookMap::layOut(BookMap::dot(file.book(), BookCheck::run(file.book())), &layout, &error))
        return 2;
    BookMapUI dialog(std::make_unique<MapItem>(std::move(layout)), file.book().firstIndex());
    dialog.show();
    QCoreApplication::processEvents();
    auto *view = dialog.findChild<QGraphicsView *>(QStringLiteral("view_Map"));
    const auto shot = [&](const char *name) {
        if (!prefix.isEmpty())
            dialog.grab().save(prefix + QLatin1Char('-') + QLatin1String(name) + QStringLiteral(".png"));
    };
    shot("reading");
    QVector<double> scroll, zoom;
    QScrollBar *bar = view->horizontalScrollBar();
    for (int k = 0; k < 31; ++k) {
        bar->setValue(bar->value() + (k % 10 < 5 ? 60 : -60));
        scroll << repaintMs(view);
    }
    // Out from reading size to the whole map, one wheel notch at a time.
    const double fit = qMin(view->viewport()->width() / view->sceneRect().width(),
                            view->viewport()->height() / view->sceneRect().height());
    while (dialog.zoom() > fit) {
        dialog.zoomBy(1 / 1.15);
        zoom << repaintMs(view);
        if (qEnvironmentVariableIsSet("ORVANDEL_PROBE_VERBOSE"))
            std::fprintf(stderr, "zoom %.3f: %.3f ms\n", dialog.zoom(), zoom.constLast());
        if (qAbs(dialog.zoom() - 0.3) < 0.05)
            shot("plain");
    }
    shot("whole");
    QVector<double> whole;
    for (int k = 0; k < 15; ++k)
        whole << repaintMs(view);
    QGraphicsScene emptyScene;
    QGraphicsView empty(&emptyScene);
    empty.resize(view->size());
    empty.show();
    QCoreApplication::processEvents();
    QVector<double> floor;
    for (int k = 0; k < 31; ++k)
        floor << repaintMs(&empty);
    std::printf("%.3f %.3f %.3f %.3f %.3f\n", median(scroll), median(zoom),
                zoom.isEmpty() ? 0.0 : *std::max_element(zoom.begin(), zoom.end()), median(whole), median(floor));
    return 0;
}

static int mapWait(const QString &path, double seconds)
{
    BookFile file;
    if (!file.open(path))
        return 2;
    const QByteArray dot = BookMap::dot(file.book(), BookCheck::run(file.book()));
    QMainWindow window;
    window.show();
    QVector<double> late;
    QElapsedTimer clock, since;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        late << qMax(0.0, since.nsecsElapsed() / 1e6 - 10);
        since.restart();
        if (clock.elapsed() > seconds * 1000)
            if (auto *progress = window.findChild<QProgressDialog *>())
                if (auto *cancel = progress->findChild<QPushButton *>())
                    cancel->click();
    });
    clock.start();
    since.start();
    tick.start(10);
    const bool drawn = BookMapUI::layOut(dot, &window) != nullptr;
    std::printf("%.3f %.3f %d %s\n", median(late), *std::max_element(late.begin(), late.end()),
                int(late.size()), drawn ? "drawn" : "cancelled");
    std::fflush(stdout);
    _exit(0); // a cancelled layout still runs in its thread
}

// Writing `bytes` as a save does: the book's previous version into its
// history (the file under a second name, old versions giving way), then
// the book itself.
static double writeMs(const QString &path, const QByteArray &bytes)
{
    const QString scratch = path + QStringLiteral(".essai");
    FileHistory history(scratch);
    AtomicFile(scratch).write(bytes);
    QVector<double> times;
    for (int k = 0; k < 55; ++k) {
        QElapsedTimer clock;
        clock.start();
        history.keep(bytes, 1, QStringLiteral("essai"), scratch, [](const QString &) { return true; });
        AtomicFile(scratch).write(bytes);
        times << clock.nsecsElapsed() / 1e6;
    }
    QDir(scratch + QStringLiteral(".historique")).removeRecursively();
    QFile::remove(scratch);
    return median(times.mid(50));
}

static int session(const QString &path, int count)
{
    BookWindow window;
    window.openBook(path);
    window.show();
    QCoreApplication::processEvents();
    const double before = writeMs(path, window.file().book().bytes());
    QAction *add = window.findChild<QAction *>(QStringLiteral("actionNew"));
    double total = 0;
    for (int k = 0; k < count; ++k) {
        QTimer::singleShot(0, [k] {
            QWidget *form = QApplication::activeModalWidget();
            form->findChild<QTextEdit *>(QStringLiteral("textEdit"))
                ->setPlainText(QStringLiteral("Une entrée de plus, la %1e de la séance.").arg(k + 1));
            form->findChild<QLineEdit *>(QStringLiteral("le_ChoiceValue"))->setText(QStringLiteral("0"));
            form->findChild<QLineEdit *>(QStringLiteral("le_ChoiceText"))->setText(QStringLiteral("Retour au début"));
            form->findChild<QAbstractButton *>(QStringLiteral("pb_ChoiceAdd"))->click();
            form->findChild<QAbstractButton *>(QStringLiteral("pb_Save"))->click();
        });
        QElapsedTimer clock;
        clock.start();
        add->trigger();
        total += clock.nsecsElapsed() / 1e6;
    }
    const double after = writeMs(path, window.file().book().bytes());
    std::printf("%.3f %.3f %.3f %d\n", total, before, after, window.file().book().size());
    return 0;
}

// One entry in the middle rewritten through the book's document, then the
// change undone, `count` times: the median of each (both are saves, the
// history kept first).
static int undoing(const QString &path, int count)
{
    QSharedPointer<BookDocument> document = BookDocument::of(path);
    document->load();
    const int middle = document->book().size() / 2;
    QVector<double> edits, undos;
    for (int k = 0; k < count; ++k) {
        Entry entry = document->book().entry(middle);
        entry.text += QStringLiteral(" Corrigé.");
        QElapsedTimer clock;
        clock.start();
        if (!document->replaceEntry(middle, entry))
            qFatal("the edit was refused: %s", qPrintable(document->errorString()));
        edits << clock.nsecsElapsed() / 1e6;
        clock.restart();
        document->undo();
        undos << clock.nsecsElapsed() / 1e6;
        if (document->book().entry(middle).text.endsWith(QStringLiteral("Corrigé.")))
            qFatal("the undo did not take the edit back");
    }
    std::printf("%.3f %.3f\n", median(edits), median(undos));
    return 0;
}

// The book window on `path`, then `word` typed into its filter: see the
// top of this file for what it prints.
static int bookWindow(const QString &path, const QString &word, bool bare = false)
{
    QElapsedTimer clock;
    clock.start();
    BookWindow window;
    window.openBook(path);
    window.show();
    QCoreApplication::processEvents();
    const double open = clock.nsecsElapsed() / 1e6;
    const long shown = statusKiB("VmRSS:");
    if (bare) {
        std::printf("%ld\n", shown);
        return 0;
    }
    QVector<double> letters;
    double filter = 0;
    if (!word.isEmpty()) {
        auto *edit = window.findChild<QLineEdit *>(QStringLiteral("le_Filter"));
        for (int n = 1; n <= word.size(); ++n) {
            clock.restart();
            edit->setText(word.left(n));
            QCoreApplication::processEvents();
            letters << clock.nsecsElapsed() / 1e6;
        }
        edit->clear();
        QCoreApplication::processEvents();
        clock.restart();
        edit->setText(word);
        filter = clock.nsecsElapsed() / 1e6;
        QCoreApplication::processEvents();
    }
    std::printf("%.3f %.3f", open, filter);
    for (double ms : qAsConst(letters))
        std::printf(" %.3f", ms);
    std::printf(" %ld %ld\n", shown, statusKiB("VmRSS:"));
    return 0;
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
        std::printf("%ld %ld %ld\n", before, peakKiB(), statusKiB("VmRSS:"));
        return 0;
    }
    if (args.size() >= 3 && args.at(1) == QLatin1String("--window"))
        return bookWindow(args.at(2), args.value(3));
    if (args.size() >= 2 && args.at(1) == QLatin1String("--window-bare")) {
        QTemporaryDir dir;
        return bookWindow(dir.filePath(QStringLiteral("vide.xml")), QString(), true);
    }
    if (args.size() >= 4 && args.at(1) == QLatin1String("--undo"))
        return undoing(args.at(2), args.at(3).toInt());
    if (args.size() >= 4 && args.at(1) == QLatin1String("--writing"))
        return session(args.at(2), args.at(3).toInt());
    if (args.size() >= 3 && args.at(1) == QLatin1String("--map"))
        return mapRepaints(args.at(2), args.value(3));
    if (args.size() >= 4 && args.at(1) == QLatin1String("--map-wait"))
        return mapWait(args.at(2), args.at(3).toDouble());
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
