// Orvandel's benchmark: each operation's median against its floor, the cost
// of just reading or writing the same bytes. Prints one table.
#include "analysis/bookcheck.h"
#include "analysis/bookmap.h"
#include "book/atomicfile.h"
#include "book/bookfile.h"
#include "book/bookreader.h"
#include "play/fightodds.h"
#include "play/simulation.h"
#include "bookgen.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

int repetitions = 15;

// Median wall time in milliseconds of `run`, which returns the time it measured itself.
double median(const std::function<double()> &run, int reps = repetitions)
{
    std::vector<double> times;
    for (int i = 0; i < reps; ++i)
        times.push_back(run());
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

template<typename F> double timed(F &&f)
{
    QElapsedTimer clock;
    clock.start();
    f();
    return clock.nsecsElapsed() / 1e6;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void writePlain(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
}

// The floor of every read: the file's bytes, and one bare XML reader pass
// over them through a device.
double readFloor(const QString &path)
{
    return timed([&] {
        QByteArray bytes = readAll(path);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QXmlStreamReader reader(&buffer);
        while (!reader.atEnd())
            reader.readNext();
    });
}

// The floor of every write: the same bytes through QSaveFile, committed.
double writeFloor(const QString &path, const QByteArray &bytes)
{
    return timed([&] {
        QSaveFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        file.commit();
    });
}

// Milliseconds to open `path` into a fresh BookFile, then to do `then`
// with it; the file is closed after the clock stops.
double timedOpen(const QString &path, const std::function<void(const BookFile &)> &then = {})
{
    BookFile file;
    return timed([&] {
        file.open(path);
        if (then)
            then(file);
    });
}

struct Row
{
    QString what;
    double ms;
    double floor; // 0: no floor
};
std::vector<Row> rows;

void report(const QString &what, double ms, double floor = 0)
{
    rows.push_back({what, ms, floor});
    std::fprintf(stderr, ".");
}

} // namespace

Entry newEntry()
{
    Entry e;
    e.text = QStringLiteral("Une nouvelle entrée.\nSur deux lignes, accentuées.");
    e.choices.append({QStringLiteral("12"), QStringLiteral("Suite")});
    return e;
}

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen"); // for the probe, which shows windows
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args.at(1) == QLatin1String("--book")) {
        // A generated book to try things on by hand: --book ENTRIES FILE
        writePlain(args.at(3), generateBook(args.at(2).toInt()));
        return 0;
    }
    // One open, or one floor pass, in a program of its own (see below).
    if (args.size() == 3 && args.at(1) == QLatin1String("--open-once")) {
        BookFile file;
        std::printf("%.3f\n", timed([&] { file.open(args.at(2)); }));
        return 0;
    }
    if (args.size() == 3 && args.at(1) == QLatin1String("--floor-once")) {
        std::printf("%.3f\n", readFloor(args.at(2)));
        return 0;
    }
    if (args.contains(QLatin1String("--quick")))
        repetitions = 5;
    QTemporaryDir dir;
    const QString book = dir.filePath(QStringLiteral("livre.xml"));
    const QString startup = QCoreApplication::applicationDirPath() + QStringLiteral("/orvandel_startup");

    QMap<int, double> bindAt, againAt, coldAt, saveAt, checkAt, filterAt;
    for (int entries : {100, 1000, 10000, 100000}) {
        const QByteArray bytes = generateBook(entries);
        writePlain(book, bytes);
        const QString size = QStringLiteral("%1 entries, %2 KiB").arg(entries).arg(bytes.size() / 1024);

        // Opening into a fresh BookFile, as the window does with a book it
        // binds; the book it gives way to when opened again in place is
        // freed too, timed apart: at 100,000 entries that is a million
        // strings given back, most of them out of the cache.
        const double bind = median([&] { return timedOpen(book); });
        const double floor = median([&] { return readFloor(book); });
        report(QStringLiteral("open the book (%1)").arg(size), bind, floor);
        bindAt[entries] = bind;
        BookFile bound;
        bound.open(book);
        const double again = median([&] { return timed([&] { bound.open(book); }); });
        report(QStringLiteral("  open it again in place, the book before freed"), again, floor);
        againAt[entries] = again;
        if (entries >= 10000) {
            // Within one program, what the allocator kept from the runs
            // before decides much of a large open: it keeps a 10,000-entry
            // book's memory for the next one and gives a 100,000-entry
            // book's back to the system. Opened each in a program of its
            // own, as an author opens a book, both start from nothing.
            const auto once = [&](const char *what) {
                QProcess self;
                self.start(QCoreApplication::applicationFilePath(), {QLatin1String(what), book});
                self.waitForFinished(-1);
                return self.readAllStandardOutput().trimmed().toDouble();
            };
            const double cold = median([&] { return once("--open-once"); });
            report(QStringLiteral("  open it in a program of its own"), cold,
                   median([&] { return once("--floor-once"); }));
            coldAt[entries] = cold;
        }

        // Save and floor alternate and are set up alike (the book restored
        // and synced, then opened), so that both meet the disk in the same state.
        std::vector<double> saves, floors;
        QByteArray saved;
        for (int rep = 0; rep < 2 * repetitions; ++rep) {
            const bool floorTurn = rep % 2 == 1;
            AtomicFile(book).write(bytes);
            BookFile file;
            file.open(book);
            Entry entry = newEntry();
            entry.id = EntryId::text(file.nextNumber());
            if (floorTurn) {
                floors.push_back(writeFloor(book, saved));
                continue;
            }
            saves.push_back(timed([&] {
                if (!file.append(entry))
                    qFatal("the benchmark's save was refused: %s", qPrintable(file.errorString()));
            }));
            saved = readAll(book);
        }
        std::sort(saves.begin(), saves.end());
        std::sort(floors.begin(), floors.end());
        const double save = saves[saves.size() / 2];
        report(QStringLiteral("save one entry (%1)").arg(size), save, floors[floors.size() / 2]);
        saveAt[entries] = save;
    }

    {
        // Rewriting one entry in the middle of a large book, against writing
        // the same bytes.
        const QByteArray bytes = generateBook(10000);
        std::vector<double> replaces, floors;
        for (int rep = 0; rep < 2 * repetitions; ++rep) {
            AtomicFile(book).write(bytes);
            BookFile file;
            file.open(book);
            Entry entry = file.book().entry(5000);
            entry.text += QStringLiteral(" Corrigé.");
            if (rep % 2 == 1) {
                QByteArray after = bytes;
                after.insert(int(file.book().span(5000).end) - 20, "x");
                floors.push_back(writeFloor(book, after));
                continue;
            }
            replaces.push_back(timed([&] { file.replace(5000, entry); }));
            QDir(book + QStringLiteral(".historique")).removeRecursively();
        }
        std::sort(replaces.begin(), replaces.end());
        std::sort(floors.begin(), floors.end());
        report(QStringLiteral("replace one entry (10000 entries)"), replaces[replaces.size() / 2],
               floors[floors.size() / 2]);
    }

    // Undoing one replaced entry through the book's document, against the
    // edit itself, in the probe (the document's undo stack is Qt Widgets').
    for (int entries : {10000, 100000}) {
        QDir(book + QStringLiteral(".historique")).removeRecursively();
        writePlain(book, generateBook(entries));
        QProcess probe;
        probe.start(startup, {QStringLiteral("--undo"), book, QString::number(repetitions)});
        probe.waitForFinished(-1);
        const QList<QByteArray> ms = probe.readAllStandardOutput().trimmed().split(' ');
        report(QStringLiteral("undo one replaced entry (%1 entries; floor: the edit)").arg(entries),
               ms.value(1).toDouble(), ms.value(0).toDouble());
    }
    QDir(book + QStringLiteral(".historique")).removeRecursively();

    // The book window, through the probe (which links the widgets), against
    // reading the same book into the model.
    for (int entries : {10000, 100000}) {
        const QByteArray bytes = generateBook(entries);
        writePlain(book, bytes);
        BookFile file;
        const double read = median([&] { return timed([&] { file.open(book); }); }, 5);
        std::vector<double> opens, filters;
        for (int rep = 0; rep < 5; ++rep) {
            QProcess probe;
            probe.start(startup, {QStringLiteral("--window"), book, QStringLiteral("torche")});
            probe.waitForFinished(120000);
            const QList<QByteArray> ms = probe.readAllStandardOutput().trimmed().split(' ');
            opens.push_back(ms.value(0).toDouble());
            filters.push_back(ms.value(1).toDouble());
        }
        std::sort(opens.begin(), opens.end());
        std::sort(filters.begin(), filters.end());
        report(QStringLiteral("open the book window (%1 entries)").arg(entries), opens[2], read);
        report(QStringLiteral("filter it on a word (%1 entries)").arg(entries), filters[2]);
        filterAt[entries] = filters[2];
    }

    const QString monsters = dir.filePath(QStringLiteral("monstres.xml"));
    for (int count : {100, 10000}) {
        MonsterList list;
        list.rows = generateMonsters(count);
        const QByteArray bytes = list.toBytes();
        writePlain(monsters, bytes);
        const QString size = QStringLiteral("%1 monsters, %2 KiB").arg(count).arg(bytes.size() / 1024);
        report(QStringLiteral("load monster list (%1)").arg(size), median([&] {
                   return timed([&] {
                       QFile file(monsters);
                       file.open(QIODevice::ReadOnly);
                       MonsterList read;
                       read.read(&file);
                   });
               }),
               median([&] { return readFloor(monsters); }));
        report(QStringLiteral("write monster list (%1)").arg(size), median([&] {
                   return timed([&] { AtomicFile(monsters).write(list.toBytes()); });
               }),
               median([&] { return writeFloor(monsters, bytes); }));
    }

    for (int entries : {100000, 10000}) {
        const QByteArray bytes = generateBook(entries);
        writePlain(book, bytes);
        BookFile file;
        QVector<BookFinding> findings;
        const double open = median([&] { return timedOpen(book); }, 5);
        const double check = median([&] {
            return timedOpen(book, [&](const BookFile &opened) { findings = BookCheck::run(opened.book()); });
        }, 5);
        report(QStringLiteral("check the book (%1 entries: open, findings)").arg(entries), check, open);
        checkAt[entries] = check;
        if (entries != 10000)
            continue;
        file.open(book);
        findings = BookCheck::run(file.book());
        report(QStringLiteral("lay its map out (DOT, sfdp layout)"), median([&] {
                   return timed([&] {
                       MapLayout layout;
                       QString error;
                       BookMap::layOut(BookMap::dot(file.book(), findings), &layout, &error);
                   });
               }, 3));
    }

    {
        // The rules of the game: simulated readers and exact fight odds.
        BookReader reader;
        reader.read(generateBook(400));
        const Playbook playbook(reader.book());
        report(QStringLiteral("simulate 100,000 readers of a 400-entry book"), median([&] {
                   return timed([&] { Simulation(playbook).run(100000, 1); });
               }, 3));
        const QVector<Fight::Opponent> three{{QStringLiteral("Orque"), 8, 10},
                                             {QStringLiteral("Troll"), 9, 12},
                                             {QStringLiteral("Loup"), 7, 8}};
        report(QStringLiteral("exact odds of a 3-monster fight (x1000)"), median([&] {
                   return timed([&] {
                       for (int k = 0; k < 1000; ++k)
                           FightOdds::win(9 + k % 2, 19, three);
                   });
               }));
    }

    {
        // The printed book of 1,000 entries, through the command that makes it.
        writePlain(book, generateBook(1000));
        const QString exporter = QCoreApplication::applicationDirPath() + QStringLiteral("/../orvandel-export");
        report(QStringLiteral("export a 1,000-entry book to PDF"), median([&] {
                   return timed([&] {
                       QProcess process;
                       process.start(exporter, {book, QStringLiteral("--pdf"), dir.filePath(QStringLiteral("livre.pdf"))});
                       process.waitForFinished(120000);
                   });
               }, 3));
    }

    auto run = [&](const QString &program, const QStringList &args) {
        return timed([&] {
            QProcess process;
            process.start(program, args);
            process.waitForFinished();
        });
    };
    // What starting any process costs here is taken off both sides, or it
    // would flatten the ratio.
    const double spawn = median([&] { return run(QStringLiteral("/bin/true"), {}); }, 31);
    report(QStringLiteral("start to main window shown"),
           median([&] { return run(startup, {}); }, 31) - spawn,
           median([&] { return run(startup, {QStringLiteral("--minimal")}); }, 31) - spawn);

    // Memory of a process holding an entry dialog bound to a 100,000-entry
    // book: what reading it costs at its peak, against what stays (the model).
    const QByteArray largest = generateBook(100000);
    writePlain(book, largest);
    QProcess probe;
    probe.start(startup, {QStringLiteral("--bind"), book});
    probe.waitForFinished(120000);
    const QList<QByteArray> kib = probe.readAllStandardOutput().trimmed().split(' ');
    // The checker's peak, as the system counts it.
    double checkPeak = -1;
    if (QFileInfo::exists(QStringLiteral("/usr/bin/time"))) {
        QProcess checker;
        checker.start(QStringLiteral("/usr/bin/time"),
                      {QStringLiteral("-f"), QStringLiteral("%M"),
                       QCoreApplication::applicationDirPath() + QStringLiteral("/../orvandel-check"), book});
        checker.waitForFinished(120000);
        checkPeak = checker.readAllStandardError().trimmed().split('\n').last().toDouble();
    }

    // A writing session: entries written one after another through the book
    // window, into a one-entry book and into a 10,000-entry one, each entry
    // whole (its save included: that is the part that grows with the book).
    // The file writes alone (the book, its history) are shown beside it.
    const int written = app.arguments().contains(QLatin1String("--quick")) ? 200 : 2000;
    QMap<int, double> each, writing;
    for (int entries : {1, 10000}) {
        QDir(book + QStringLiteral(".historique")).removeRecursively();
        writePlain(book, generateBook(entries));
        QProcess session;
        session.start(startup, {QStringLiteral("--writing"), book, QString::number(written)});
        session.waitForFinished(-1);
        const QList<QByteArray> ms = session.readAllStandardOutput().trimmed().split(' ');
        writing[entries] = (ms.value(1).toDouble() + ms.value(2).toDouble()) / 2;
        each[entries] = ms.value(0).toDouble() / written;
    }
    QDir(book + QStringLiteral(".historique")).removeRecursively();
    report(QStringLiteral("write %1 entries, each (1-entry book)").arg(written), each[1]);
    report(QStringLiteral("write %1 entries, each (10,000-entry book)").arg(written), each[10000], each[1]);
    report(QStringLiteral("  their file writes alone, each (1-entry book)"), writing[1]);
    report(QStringLiteral("  their file writes alone, each (10,000-entry book)"), writing[10000]);

    // The map of 10,000 entries once laid out: repaints of the whole view,
    // against the same view empty.
    writePlain(book, generateBook(10000));
    QProcess map;
    map.start(startup, {QStringLiteral("--map"), book});
    map.waitForFinished(300000);
    const QList<QByteArray> repaint = map.readAllStandardOutput().trimmed().split(' ');
    const double emptyView = repaint.value(4).toDouble();
    report(QStringLiteral("map of 10,000 entries: repaint after a scroll"), repaint.value(0).toDouble(), emptyView);
    report(QStringLiteral("  after a zoom step (median of the steps out)"), repaint.value(1).toDouble(), emptyView);
    report(QStringLiteral("  the slowest zoom step"), repaint.value(2).toDouble(), emptyView);
    report(QStringLiteral("  the whole map"), repaint.value(3).toDouble(), emptyView);

    // How late a 10 ms timer fires while a 100,000-entry map is laid out.
    writePlain(book, largest);
    QProcess wait;
    wait.start(startup, {QStringLiteral("--map-wait"), book, QStringLiteral("20")});
    wait.waitForFinished(300000);
    const QList<QByteArray> late = wait.readAllStandardOutput().trimmed().split(' ');
    report(QStringLiteral("input answered during a 100,000-entry layout (median)"), late.value(0).toDouble() + 10, 10);
    report(QStringLiteral("  the slowest answer"), late.value(1).toDouble() + 10, 10);

    // --long: the SVG of the 100,000-entry map against Graphviz's own tool.
    QString svgLine;
    if (app.arguments().contains(QLatin1String("--long")) && QFileInfo::exists(QStringLiteral("/usr/bin/time"))) {
        const QString check = QCoreApplication::applicationDirPath() + QStringLiteral("/../orvandel-check");
        const QString dot = dir.filePath(QStringLiteral("carte.dot")), svg = dir.filePath(QStringLiteral("carte.svg"));
        QProcess dotting;
        dotting.setStandardOutputFile(QProcess::nullDevice());
        dotting.start(check, {book, QStringLiteral("--dot"), dot});
        dotting.waitForFinished(-1);
        const auto measured = [](const QStringList &command, double *kib) {
            QProcess process;
            const double ms = timed([&] {
                process.start(QStringLiteral("/usr/bin/time"), QStringList{QStringLiteral("-f"), QStringLiteral("%M")} + command);
                process.waitForFinished(-1);
            });
            *kib = process.readAllStandardError().trimmed().split('\n').last().toDouble();
            return ms;
        };
        double sfdpKiB = 0, oursKiB = 0;
        const double sfdp = measured({QStringLiteral("sfdp"), QStringLiteral("-Tsvg"), dot, QStringLiteral("-o"), svg}, &sfdpKiB);
        const double ours = measured({check, book, QStringLiteral("--svg"), svg}, &oursKiB);
        report(QStringLiteral("--svg of the 100,000-entry map (floor: sfdp -Tsvg)"), ours, sfdp);
        svgLine = QStringLiteral("peak memory of --svg at 100,000 entries: %1 MiB, sfdp -Tsvg: %2 MiB (%3x)\n")
                      .arg(oursKiB / 1024, 0, 'f', 1).arg(sfdpKiB / 1024, 0, 'f', 1).arg(oursKiB / sfdpKiB, 0, 'f', 2);
    }

    std::fprintf(stderr, "\n");
    std::printf("%-58s %10s %10s %7s\n", "operation (median)", "ms", "floor ms", "ratio");
    for (const Row &row : rows) {
        if (row.floor > 0)
            std::printf("%-58s %10.3f %10.3f %6.2fx\n", qPrintable(row.what), row.ms, row.floor,
                        row.ms / row.floor);
        else
            std::printf("%-58s %10.3f %10s %7s\n", qPrintable(row.what), row.ms, "-", "-");
    }
    std::printf("\ngrowth from 10,000 to 100,000 entries: open %.1fx (again in place %.1fx, in a program of its own "
                "%.1fx), check %.1fx, save %.1fx, filter %.1fx\n",
                bindAt[100000] / bindAt[10000], againAt[100000] / againAt[10000], coldAt[100000] / coldAt[10000],
                checkAt[100000] / checkAt[10000],
                saveAt[100000] / saveAt[10000], filterAt[100000] / filterAt[10000]);
    if (kib.size() == 3) {
        // What reading needs beyond what stays, against the file's size.
        const double file = largest.size() / 1024.0 / 1024, before = kib[0].toDouble() / 1024,
                     peak = kib[1].toDouble() / 1024, held = kib[2].toDouble() / 1024;
        std::printf("100,000-entry book bound (file %.1f MiB): model %.1f MiB, peak %.1f MiB = model + %.2fx the file\n",
                    file, held - before, peak - before, (peak - held) / file);
        if (checkPeak > 0)
            std::printf("orvandel-check on it: peak %.1f MiB = %.2fx the file\n", checkPeak / 1024,
                        checkPeak / 1024 / file);
    }
    std::printf("%s", qPrintable(svgLine));
    std::printf("floors: open = read the file + one bare QXmlStreamReader pass over a device; "
                "check = opening the book; save and write = the same bytes through QSaveFile + "
                "commit; start = a bare QMainWindow program\n");
    return 0;
}
