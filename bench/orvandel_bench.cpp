// Orvandel's benchmark: each operation's median against its floor, the least
// any program must spend on the same work measured the same way in the same
// run. Prints one table.
//
// Where an author starts a program (opening a book, checking it, exporting
// it, the book window), the figure is a program of its own against a
// program of its own; where the work happens inside a running window (a
// save, an undo), warm against warm in one process. The floor for reading
// a book is a fast conforming streaming parse of the same file: `xmllint
// --noout --stream` as a program, libxml2's reader inside one.
#include "analysis/bookcheck.h"
#include "analysis/bookmap.h"
#include "analysis/bookmerge.h"
#include "book/atomicfile.h"
#include "book/bookfile.h"
#include "book/bookreader.h"
#include "play/fightodds.h"
#include "play/playbook.h"
#include "play/simulation.h"
#include "bookgen.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QThread>

#include <libxml/xmlreader.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

int repetitions = 15;

double medianOf(std::vector<double> times)
{
    if (times.empty())
        return 0;
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Median wall time in milliseconds of `run`, which returns the time it measured itself.
double median(const std::function<double()> &run, int reps = repetitions)
{
    std::vector<double> times;
    for (int i = 0; i < reps; ++i)
        times.push_back(run());
    return medianOf(times);
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
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("the benchmark could not write %s", qPrintable(path));
}

// The floor of every read inside a program: the file's bytes, and one pass
// of libxml2's streaming reader over them.
double readFloor(const QString &path)
{
    return timed([&] {
        const QByteArray bytes = readAll(path);
        xmlTextReaderPtr reader = xmlReaderForMemory(bytes.constData(), bytes.size(), nullptr, nullptr, XML_PARSE_NONET);
        int status;
        while ((status = xmlTextReaderRead(reader)) == 1) {
        }
        xmlFreeTextReader(reader);
        if (status != 0)
            qFatal("the floor's reader refused %s", qPrintable(path));
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

// A program of its own: its wall time from start to exit, what it printed,
// and its peak resident size when `peak` is asked (through /usr/bin/time).
struct Ran
{
    double ms = 0;
    QByteArray out;
    double peakMiB = 0;
    QList<QByteArray> fields() const { return out.trimmed().split(' '); }
    double field(int i) const { return fields().value(i).toDouble(); }
};

QProcessEnvironment offscreen()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}
QProcessEnvironment environment = offscreen();

Ran run(const QString &program, const QStringList &args, bool peak = false,
        const QProcessEnvironment &env = environment)
{
    QProcess process;
    process.setProcessEnvironment(env);
    Ran ran;
    QElapsedTimer clock;
    clock.start();
    if (peak)
        process.start(QStringLiteral("/usr/bin/time"), QStringList{QStringLiteral("-f"), QStringLiteral("%M"), program} + args);
    else
        process.start(program, args);
    process.waitForFinished(-1);
    ran.ms = clock.nsecsElapsed() / 1e6;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        qFatal("%s %s failed: %s", qPrintable(program), qPrintable(args.join(QLatin1Char(' '))),
               process.readAllStandardError().constData());
    ran.out = process.readAllStandardOutput();
    if (peak)
        ran.peakMiB = process.readAllStandardError().trimmed().split('\n').last().toDouble() / 1024;
    return ran;
}

// Whether the page cache can be emptied here (root on Linux), for the
// figures of a book opened for the first time since the machine started.
bool canDropCaches()
{
    QFile drop(QStringLiteral("/proc/sys/vm/drop_caches"));
    return drop.open(QIODevice::WriteOnly);
}

void dropCaches()
{
    ::sync();
    QFile drop(QStringLiteral("/proc/sys/vm/drop_caches"));
    if (!drop.open(QIODevice::WriteOnly) || drop.write("3\n") != 2)
        qFatal("the page cache could not be dropped");
    drop.close();
}

// A figure and its floor, each a program of its own, run in turns so that
// both meet the machine in the same state; with `cold`, the page cache is
// dropped before each.
struct Pair
{
    double ms, floor;
    std::vector<Ran> runs;
};
Pair inTurns(const std::function<Ran()> &figure, const std::function<Ran()> &floor, int reps, bool cold = false)
{
    std::vector<double> a, b;
    Pair pair{0, 0, {}};
    for (int k = 0; k < reps; ++k) {
        if (cold)
            dropCaches();
        const Ran ran = figure();
        a.push_back(ran.ms);
        pair.runs.push_back(ran);
        if (cold)
            dropCaches();
        b.push_back(floor().ms);
    }
    pair.ms = medianOf(a);
    pair.floor = medianOf(b);
    return pair;
}

struct Row
{
    QString what;
    double ms;
    double floor; // 0: no floor
    QString unit = QStringLiteral("ms");
};
std::vector<Row> rows;

void report(const QString &what, double ms, double floor = 0)
{
    rows.push_back({what, ms, floor});
    std::fprintf(stderr, ".");
}

void heading(const QString &what)
{
    rows.push_back({what, -1, -1});
}

// A walk through the same book without its rules: from the first entry,
// a random next entry among those it leads to, until one leads nowhere,
// `steps` entries in all. What any simulation must do at the least.
double walkFloor(const Book &book, qint64 steps)
{
    QVector<QVector<int>> next(book.size());
    for (int i = 0; i < book.size(); ++i) {
        const Entry &e = book.entry(i);
        const auto add = [&](const QString &to) {
            const int at = book.indexOfNumber(EntryId::parse(to));
            if (at >= 0)
                next[i].append(at);
        };
        for (const Entry::Choice &c : e.choices)
            add(c.value);
        for (const Entry::Monster &m : e.monsters)
            add(m.victory);
        if (e.hasLuck()) {
            add(e.luck.luckyValue);
            add(e.luck.unluckyValue);
        }
    }
    return timed([&] {
        QRandomGenerator random(1);
        qint64 walked = 0;
        int at = book.firstIndex();
        while (walked < steps) {
            ++walked;
            const QVector<int> &out = next.at(at);
            at = out.isEmpty() ? book.firstIndex() : out.at(int(random.bounded(quint32(out.size()))));
        }
        if (at < -1)
            std::printf(" "); // keeps the walk from being optimised away
    });
}

// An author's `changes` changes of a book, made through the book model as
// the program makes them: texts rewritten, entries added under the next
// number (each with a choice leading to it), entries deleted.
QByteArray changedBook(const QByteArray &bytes, quint32 seed, int changes)
{
    BookReader reader;
    if (!reader.read(bytes))
        qFatal("the generated book does not read");
    Book book = reader.book();
    QRandomGenerator random(seed);
    for (int k = 0; k < changes; ++k) {
        const int i = int(random.bounded(quint32(book.size())));
        Entry e = book.entry(i);
        const int what = int(random.bounded(100));
        if (what < 70) {
            e.text = QStringLiteral("Réécrit (%1/%2).").arg(seed).arg(k);
            book.apply(book.replacing(i, e));
        } else if (what < 85) {
            book.apply(book.removing(i));
        } else {
            Entry added;
            added.id = EntryId::text(book.nextNumber());
            added.text = QStringLiteral("Une nouvelle entrée (%1/%2).").arg(seed).arg(k);
            e.choices.append({added.id, QStringLiteral("Vers la nouvelle")});
            book.apply(book.replacing(i, e));
            book.apply(book.appending(added));
        }
    }
    return book.bytes();
}

// Two authors' 100 changes each of a 10,000-entry book merged, against
// reading the three versions, warm in this program.
void mergeFigure()
{
    const QByteArray base = generateBook(10000);
    const QByteArray ours = changedBook(base, 1, 100), theirs = changedBook(base, 2, 100);
    // In turns, so that both meet the machine in the same state.
    std::vector<double> merges, reads;
    for (int rep = 0; rep < repetitions; ++rep) {
        BookMerge merge;
        merges.push_back(timed([&] {
            if (!merge.merge(base, ours, theirs))
                qFatal("the merge was refused: %s", qPrintable(merge.errorString()));
        }));
        if (merge.result().isEmpty())
            qFatal("the merge wrote nothing");
        reads.push_back(timed([&] {
            for (const QByteArray *bytes : {&base, &ours, &theirs}) {
                BookReader reader;
                if (!reader.read(*bytes))
                    qFatal("a version does not read");
            }
        }));
    }
    const double merged = medianOf(merges), read = medianOf(reads);
    report(QStringLiteral("merge two sides' 100 changes of 10,000 entries (floor: reading the 3 books)"), merged, read);
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
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args.at(1) == QLatin1String("--book")) {
        // A generated book to try things on by hand: --book ENTRIES FILE
        writePlain(args.at(3), generateBook(args.at(2).toInt()));
        return 0;
    }
    if (args.size() == 2 && args.at(1) == QLatin1String("--merge")) {
        // The merge's figure alone.
        mergeFigure();
        const Row &row = rows.back();
        std::printf("\n%s: %.3f ms, floor %.3f ms, %.2fx\n", qPrintable(row.what), row.ms, row.floor, row.ms / row.floor);
        return 0;
    }
    if (args.size() == 4 && args.at(1) == QLatin1String("--gamebook")) {
        writePlain(args.at(3), generateGamebook(args.at(2).toInt()));
        return 0;
    }
    // One open, or one save, in a program of its own (see below); each
    // prints the milliseconds of the work alone.
    if (args.size() == 3 && args.at(1) == QLatin1String("--open-once")) {
        BookFile file;
        const double ms = timed([&] { file.open(args.at(2)); });
        if (file.book().isEmpty())
            qFatal("nothing was read from %s", qPrintable(args.at(2)));
        std::printf("%.3f\n", ms);
        return 0;
    }
    if (args.size() == 3 && args.at(1) == QLatin1String("--floor-once")) {
        std::printf("%.3f\n", readFloor(args.at(2)));
        return 0;
    }
    if (args.size() == 3 && args.at(1) == QLatin1String("--save-once")) {
        BookFile file;
        file.open(args.at(2));
        Entry entry = newEntry();
        entry.id = EntryId::text(file.nextNumber());
        const double ms = timed([&] {
            if (!file.append(entry))
                qFatal("the save was refused: %s", qPrintable(file.errorString()));
        });
        std::printf("%.3f\n", ms);
        return 0;
    }
    const bool quick = args.contains(QLatin1String("--quick"));
    if (quick)
        repetitions = 5;
    const int fresh = quick ? 3 : 7; // programs of their own per figure
    QTemporaryDir dir;
    const QString book = dir.filePath(QStringLiteral("livre.xml"));
    const QString here = QCoreApplication::applicationDirPath();
    const QString self = QCoreApplication::applicationFilePath();
    const QString startup = here + QStringLiteral("/orvandel_startup");
    const QString checker = here + QStringLiteral("/../orvandel-check");
    const QString exporter = here + QStringLiteral("/../orvandel-export");
    const QString xmllint = QStringLiteral("xmllint");
    const bool cold = canDropCaches();
    const auto history = [&] { QDir(book + QStringLiteral(".historique")).removeRecursively(); };
    const auto floorProgram = [&] { return run(xmllint, {QStringLiteral("--noout"), QStringLiteral("--stream"), book}); };

    // Figures that must grow at most as the book does, from 10,000 to
    // 100,000 entries, each taken in programs of their own.
    QMap<QString, QMap<int, double>> growth;

    heading(QStringLiteral("Reading a book: a program of its own (floor: xmllint --noout --stream, the same)"));
    for (int entries : {1000, 10000, 100000}) {
        const QByteArray bytes = generateBook(entries);
        writePlain(book, bytes);
        const QString size = QStringLiteral("%1 entries, %2 KiB").arg(entries).arg(bytes.size() / 1024);
        const Pair open = inTurns([&] { return run(self, {QStringLiteral("--open-once"), book}); }, floorProgram, fresh);
        report(QStringLiteral("open the book (%1)").arg(size), open.ms, open.floor);
        growth[QStringLiteral("open")][entries] = open.ms;
        if (cold && entries >= 10000) {
            const Pair first = inTurns([&] { return run(self, {QStringLiteral("--open-once"), book}); }, floorProgram,
                                       quick ? 3 : 5, true);
            report(QStringLiteral("  the first time since start-up (page cache dropped)"), first.ms, first.floor);
        }
        const Pair check = inTurns([&] { return run(checker, {book}); }, floorProgram, fresh);
        report(QStringLiteral("check it (orvandel-check)"), check.ms, check.floor);
        growth[QStringLiteral("check")][entries] = check.ms;
    }

    heading(QStringLiteral("Inside a running program, warm (floor: libxml2's reader; a QSaveFile write)"));
    for (int entries : {1000, 10000, 100000}) {
        const QByteArray bytes = generateBook(entries);
        writePlain(book, bytes);
        BookFile bound;
        bound.open(book);
        const double again = median([&] { return timed([&] { bound.open(book); }); });
        report(QStringLiteral("open the book again (%1 entries), the one before freed").arg(entries), again,
               median([&] { return readFloor(book); }));

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
        history();
        report(QStringLiteral("save one entry (%1 entries; its history kept)").arg(entries), medianOf(saves),
               medianOf(floors));
        if (entries >= 10000) {
            // The first save of a program, as the growth figure counts it.
            growth[QStringLiteral("save")][entries] = median([&] {
                writePlain(book, bytes);
                history();
                return run(self, {QStringLiteral("--save-once"), book}).field(0);
            }, fresh);
            history();
        }
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
            history();
        }
        report(QStringLiteral("replace one entry (10000 entries)"), medianOf(replaces), medianOf(floors));
    }
    // Undoing one replaced entry through the book's document, against the
    // edit itself, in the probe (the document's undo stack is Qt Widgets').
    for (int entries : {10000, 100000}) {
        history();
        writePlain(book, generateBook(entries));
        const Ran probe = run(startup, {QStringLiteral("--undo"), book, QString::number(repetitions)});
        report(QStringLiteral("undo one replaced entry (%1 entries; floor: the edit)").arg(entries), probe.field(1),
               probe.field(0));
        growth[QStringLiteral("undo")][entries] = probe.field(1);
    }
    {
        // Replacing a word everywhere through the book's document, its save
        // included, in a program of its own, against one write of the book.
        const QByteArray bytes = generateBook(10000);
        std::vector<double> replaces, floors;
        QList<QByteArray> last;
        for (int k = 0; k < fresh; ++k) {
            history();
            writePlain(book, bytes);
            ::sync();
            const Ran probe = run(startup, {QStringLiteral("--replace"), book, QStringLiteral("torche"),
                                            QStringLiteral("lanterne")});
            replaces.push_back(probe.field(0));
            last = probe.fields();
            ::sync();
            floors.push_back(writeFloor(book, bytes));
        }
        report(QStringLiteral("replace \"torche\" everywhere (10000 entries: %1 changed, save included)")
                   .arg(QString::fromLatin1(last.value(1))),
               medianOf(replaces), medianOf(floors));
    }
    history();
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

    // The book window, a program of its own, against reading the same book
    // in a program of its own (both the work alone, start-up aside); then
    // the search an author types into it, letter by letter.
    QString memoryLines, reportLine;
    heading(QStringLiteral("Merging with git, warm"));
    mergeFigure();

    heading(QStringLiteral("The book window: a program of its own (floor: reading the book, the same)"));
    for (int entries : {10000, 100000}) {
        const QByteArray bytes = generateBook(entries);
        writePlain(book, bytes);
        const Pair window = inTurns([&] { return run(startup, {QStringLiteral("--window"), book, QStringLiteral("torche")}); },
                                    [&] { return run(self, {QStringLiteral("--open-once"), book}); }, fresh);
        std::vector<double> opens, reads, first, next, shown, searched;
        for (const Ran &r : window.runs) {
            opens.push_back(r.field(0));
            shown.push_back(r.field(8));
            searched.push_back(r.field(9));
            first.push_back(r.field(2));
            double slowest = 0;
            for (int k = 3; k < 2 + 6; ++k)
                slowest = qMax(slowest, r.field(k));
            next.push_back(slowest);
        }
        for (int k = 0; k < fresh; ++k)
            reads.push_back(run(self, {QStringLiteral("--open-once"), book}).field(0));
        report(QStringLiteral("open the book window (%1 entries)").arg(entries), medianOf(opens), medianOf(reads));
        report(QStringLiteral("  first letter of a search (\"t\", cold)"), medianOf(first));
        report(QStringLiteral("  each next letter of \"torche\" (the slowest)"), medianOf(next));
        growth[QStringLiteral("window")][entries] = medianOf(opens);
        if (entries == 100000) {
            std::vector<double> bare;
            for (int k = 0; k < fresh; ++k)
                bare.push_back(run(startup, {QStringLiteral("--window-bare")}).field(0));
            const double file = bytes.size() / 1048576.0, floor = medianOf(bare) / 1024;
            memoryLines += QStringLiteral("the book window at 100000 entries (file %1 MiB): %2 MiB beyond a bare window "
                                          "(%3x the file), %4 MiB after a search (%5x)\n")
                               .arg(file, 0, 'f', 1).arg(medianOf(shown) / 1024 - floor, 0, 'f', 1)
                               .arg((medianOf(shown) / 1024 - floor) / file, 0, 'f', 2)
                               .arg(medianOf(searched) / 1024 - floor, 0, 'f', 1)
                               .arg((medianOf(searched) / 1024 - floor) / file, 0, 'f', 2);
        }
        growth[QStringLiteral("first search")][entries] = medianOf(first);
    }

    {
        // French spelling of a 2,000-word entry as the form shows it,
        // against the same text set into a plain text edit.
        std::vector<double> checked, plain;
        for (int k = 0; k < fresh; ++k) {
            const Ran probe = run(startup, {QStringLiteral("--spelling"), QStringLiteral("2000")});
            checked.push_back(probe.field(0));
            plain.push_back(probe.field(1));
        }
        report(QStringLiteral("spelling of a 2,000-word entry as it opens (floor: a plain text edit)"), medianOf(checked),
               medianOf(plain));
    }

    heading(QStringLiteral("Exports: programs of their own"));
    for (int entries : {1000, 100000}) {
        writePlain(book, generateBook(entries));
        const QString out = dir.filePath(QStringLiteral("livre.html"));
        std::vector<double> times, peaks;
        for (int k = 0; k < (entries > 1000 ? 3 : fresh); ++k) {
            const Ran ran = run(exporter, {book, QStringLiteral("--print-html"), out}, true);
            times.push_back(ran.ms);
            peaks.push_back(ran.peakMiB);
        }
        report(QStringLiteral("the printed book as HTML (%1 entries)").arg(entries), medianOf(times));
        memoryLines += QStringLiteral("peak memory of --print-html at %1 entries: %2 MiB (file %3 MiB)\n")
                           .arg(entries).arg(medianOf(peaks), 0, 'f', 1)
                           .arg(QFileInfo(book).size() / 1048576.0, 0, 'f', 1);
        if (entries == 100000) {
            const Ran web = run(exporter, {book, QStringLiteral("--html"), out}, true);
            memoryLines += QStringLiteral("peak memory of --html (the web page) at 100000 entries: %1 MiB\n")
                               .arg(web.peakMiB, 0, 'f', 1);
        }
    }
    {
        writePlain(book, generateBook(1000));
        const QString pdf = dir.filePath(QStringLiteral("livre.pdf")), html = dir.filePath(QStringLiteral("livre.html"));
        const Pair printed = inTurns([&] { return run(exporter, {book, QStringLiteral("--pdf"), pdf}); },
                                     [&] { return run(exporter, {book, QStringLiteral("--print-html"), html}); }, fresh);
        report(QStringLiteral("the printed book as PDF (1000 entries; floor: as HTML)"), printed.ms, printed.floor);
    }
    for (int entries : {1000, 10000}) {
        // For e-readers and for Twine, against the printed page as HTML:
        // the same book read, each written its own way.
        writePlain(book, generateBook(entries));
        const QString html = dir.filePath(QStringLiteral("livre.html"));
        for (const auto &kind : {qMakePair(QStringLiteral("--epub"), QStringLiteral("EPUB")),
                                 qMakePair(QStringLiteral("--twee"), QStringLiteral("Twee"))}) {
            const QString out = dir.filePath(QStringLiteral("livre.") + kind.second.toLower());
            const Pair made = inTurns([&] { return run(exporter, {book, kind.first, out}); },
                                      [&] { return run(exporter, {book, QStringLiteral("--print-html"), html}); },
                                      entries > 1000 ? 3 : fresh);
            report(QStringLiteral("the book as %1 (%2 entries; floor: the printed book as HTML)").arg(kind.second).arg(entries),
                   made.ms, made.floor);
        }
    }

    heading(QStringLiteral("The rules of the game"));
    {
        // Simulated readers of a book shaped like a gamebook, against walking
        // as many steps through it without the rules.
        BookReader reader;
        reader.read(generateGamebook(400));
        const Playbook playbook(reader.book());
        Simulation::Report last;
        // One core, as the walk: the window's figure below uses them all.
        const double simulation = median([&] {
            return timed([&] {
                Simulation oneCore(playbook);
                oneCore.setThreads(1);
                last = oneCore.run(100000, 1);
            });
        }, 3);
        report(QStringLiteral("simulate 100,000 readers of a 400-entry gamebook on one core (%1 entries each; floor: the walk)")
                   .arg(double(last.steps) / qMax(1, last.adventures), 0, 'f', 0),
               simulation, median([&] { return walkFloor(reader.book(), last.steps); }, 3));
        // The same readers in the "Lecteurs simulés" window: the report, its
        // verdicts and its four charts drawn, against the simulation alone,
        // in turns in the probe (a window of its own).
        writePlain(book, generateGamebook(400));
        const Ran shown = run(startup, {QStringLiteral("--report"), book, QStringLiteral("100000"),
                                        QString::number(quick ? 3 : 5)});
        report(QStringLiteral("the report and its charts, 100,000 readers of 400 entries (floor: the simulation)"),
               shown.field(1), shown.field(0));
        reportLine = QStringLiteral("the report with its charts for 100,000 readers of a 400-entry gamebook: %1 s "
                                    "(target 2.5 s), the simulation alone %2 s\n")
                         .arg(shown.field(1) / 1000, 0, 'f', 2).arg(shown.field(0) / 1000, 0, 'f', 2);
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

    heading(QStringLiteral("Start-up and writing: programs of their own"));
    {
        // What starting any process costs is taken off both sides, or it
        // would flatten the ratio.
        const double spawn = median([&] { return run(QStringLiteral("/bin/true"), {}).ms; }, 31);
        report(QStringLiteral("start to main window shown (floor: a bare QMainWindow)"),
               median([&] { return run(startup, {}).ms; }, 31) - spawn,
               median([&] { return run(startup, {QStringLiteral("--minimal")}).ms; }, 31) - spawn);
    }
    // Memory of a process holding an entry dialog bound to a 100,000-entry
    // book: what reading it costs at its peak, against what stays (the model).
    const QByteArray largest = generateBook(100000);
    writePlain(book, largest);
    const QList<QByteArray> kib = run(startup, {QStringLiteral("--bind"), book}).fields();
    const double checkPeak = run(checker, {book}, true).peakMiB;

    // A writing session: entries written one after another through the book
    // window, into a one-entry book and into a 10,000-entry one, each entry
    // whole (its save included: that is the part that grows with the book).
    // The file writes alone (the book, its history) are shown beside it.
    const int written = quick ? 200 : 2000;
    QMap<int, double> each, writing;
    for (int entries : {1, 10000}) {
        history();
        writePlain(book, generateBook(entries));
        const Ran session = run(startup, {QStringLiteral("--writing"), book, QString::number(written)});
        writing[entries] = (session.field(1) + session.field(2)) / 2;
        each[entries] = session.field(0) / written;
    }
    history();
    report(QStringLiteral("write %1 entries, each (1-entry book)").arg(written), each[1]);
    report(QStringLiteral("write %1 entries, each (10,000-entry book; floor: the same, 1 entry)").arg(written),
           each[10000], each[1]);
    report(QStringLiteral("  their file writes alone, each (1-entry book)"), writing[1]);
    report(QStringLiteral("  their file writes alone, each (10,000-entry book)"), writing[10000]);

    // The map of 10,000 entries once laid out: repaints of the whole view,
    // against the same view empty; offscreen, and under an X server when
    // there is one to start.
    heading(QStringLiteral("The map: programs of their own"));
    QProcess xvfb;
    QProcessEnvironment x = QProcessEnvironment::systemEnvironment();
    if (QFileInfo::exists(QStringLiteral("/usr/bin/Xvfb"))) {
        const QString display = QStringLiteral(":%1").arg(90 + QCoreApplication::applicationPid() % 9);
        xvfb.start(QStringLiteral("/usr/bin/Xvfb"), {display, QStringLiteral("-screen"), QStringLiteral("0"),
                                                     QStringLiteral("1366x768x24"), QStringLiteral("-nolisten"),
                                                     QStringLiteral("tcp")});
        xvfb.waitForStarted();
        const QString socket = QStringLiteral("/tmp/.X11-unix/X") + display.mid(1);
        for (int k = 0; k < 100 && !QFileInfo::exists(socket); ++k)
            QThread::msleep(50);
        x.insert(QStringLiteral("DISPLAY"), display);
        x.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    }
    for (const bool underX : {false, true}) {
        if (underX && xvfb.state() != QProcess::Running)
            continue;
        const QString where = underX ? QStringLiteral("under Xvfb") : QStringLiteral("offscreen");
        const QProcessEnvironment env = underX ? x : offscreen();
        for (int entries : {1000, 10000}) {
            // The first map of a book (laid out), opened again in the same
            // window and in a program of its own (its places kept beside the
            // book), medians of programs of their own.
            writePlain(book, generateBook(entries));
            std::vector<double> first, again, fresh, scroll, zoom, slowest, whole, empty;
            for (int k = 0; k < (quick ? 3 : 5); ++k) {
                const Ran map = run(startup, {QStringLiteral("--map"), book}, false, env);
                scroll.push_back(map.field(0));
                zoom.push_back(map.field(1));
                slowest.push_back(map.field(2));
                whole.push_back(map.field(3));
                empty.push_back(map.field(4));
                first.push_back(map.field(5));
                again.push_back(map.field(6));
                fresh.push_back(run(startup, {QStringLiteral("--map-reopen"), book}, false, env).field(0));
            }
            report(QStringLiteral("the first map of %1 entries, %2 (laid out)").arg(entries).arg(where), medianOf(first));
            report(QStringLiteral("  opened again in the same window"), medianOf(again));
            report(QStringLiteral("  opened again in a program of its own (places kept)"), medianOf(fresh));
            if (!underX) {
                // Written first: the map's places kept beside the book.
                std::vector<double> added, listOnly;
                for (int k = 0; k < (quick ? 3 : 5); ++k) {
                    const Ran add = run(startup, {QStringLiteral("--map-add"), book}, false, env);
                    added.push_back(add.field(0));
                    listOnly.push_back(add.field(1));
                }
                report(QStringLiteral("  an entry added, shown on the map (floor: added, list only)"), medianOf(added),
                       medianOf(listOnly));
            }
            if (entries != 10000)
                continue;
            const double emptyView = medianOf(empty);
            report(QStringLiteral("  repaint after a scroll (floor: the same view, empty)"), medianOf(scroll), emptyView);
            report(QStringLiteral("  after a zoom step (median of the steps out)"), medianOf(zoom), emptyView);
            report(QStringLiteral("  the slowest zoom step"), medianOf(slowest), emptyView);
            report(QStringLiteral("  the whole map"), medianOf(whole), emptyView);
        }
    }
    {
        // A gamebook's map laid out in layers of our own, against the same
        // map opened in its places, each a program of its own.
        writePlain(book, generateGamebook(1000));
        std::vector<double> laidOut, placed;
        for (int k = 0; k < (quick ? 3 : 7); ++k) {
            QFile::remove(book + QStringLiteral(".carte"));
            laidOut.push_back(run(startup, {QStringLiteral("--map-reopen"), book}, false, offscreen()).field(0));
            placed.push_back(run(startup, {QStringLiteral("--map-reopen"), book}, false, offscreen()).field(0));
        }
        report(QStringLiteral("the layered map of a 1,000-entry gamebook (floor: opened in its places)"),
               medianOf(laidOut), medianOf(placed));
    }
    if (xvfb.state() == QProcess::Running) {
        xvfb.terminate();
        xvfb.waitForFinished();
    }
    {
        // How late a 10 ms timer fires while a 100,000-entry map is laid out.
        writePlain(book, largest);
        const Ran wait = run(startup, {QStringLiteral("--map-wait"), book, QStringLiteral("20")});
        report(QStringLiteral("input answered during a 100,000-entry layout (median)"), wait.field(0) + 10, 10);
        report(QStringLiteral("  the slowest answer"), wait.field(1) + 10, 10);
    }

    // --long: the SVG of the 100,000-entry map against Graphviz's own tool.
    QString svgLine;
    if (args.contains(QLatin1String("--long"))) {
        writePlain(book, largest);
        const QString dot = dir.filePath(QStringLiteral("carte.dot")), svg = dir.filePath(QStringLiteral("carte.svg"));
        run(checker, {book, QStringLiteral("--dot"), dot});
        const Ran sfdp = run(QStringLiteral("sfdp"), {QStringLiteral("-Tsvg"), dot, QStringLiteral("-o"), svg}, true);
        const Ran ours = run(checker, {book, QStringLiteral("--svg"), svg}, true);
        report(QStringLiteral("--svg of the 100,000-entry map (floor: sfdp -Tsvg)"), ours.ms, sfdp.ms);
        svgLine = QStringLiteral("peak memory of --svg at 100,000 entries: %1 MiB, sfdp -Tsvg: %2 MiB (%3x)\n")
                      .arg(ours.peakMiB, 0, 'f', 1).arg(sfdp.peakMiB, 0, 'f', 1).arg(ours.peakMiB / sfdp.peakMiB, 0, 'f', 2);
    }

    std::fprintf(stderr, "\n");
    std::printf("%-72s %10s %10s %7s\n", "operation (median)", "ms", "floor ms", "ratio");
    for (const Row &row : rows) {
        if (row.ms < 0)
            std::printf("-- %s\n", qPrintable(row.what));
        else if (row.floor > 0)
            std::printf("%-72s %10.3f %10.3f %6.2fx\n", qPrintable(row.what), row.ms, row.floor, row.ms / row.floor);
        else
            std::printf("%-72s %10.3f %10s %7s\n", qPrintable(row.what), row.ms, "-", "-");
    }
    std::printf("\ngrowth from 10,000 to 100,000 entries, in programs of their own:");
    for (auto it = growth.cbegin(); it != growth.cend(); ++it)
        if (it->value(10000) > 0)
            std::printf(" %s %.1fx,", qPrintable(it.key()), it->value(100000) / it->value(10000));
    std::printf("\n");
    if (kib.size() == 3) {
        // What reading needs beyond what stays, against the file's size.
        const double file = largest.size() / 1024.0 / 1024, before = kib[0].toDouble() / 1024,
                     peak = kib[1].toDouble() / 1024, held = kib[2].toDouble() / 1024;
        std::printf("100,000-entry book bound (file %.1f MiB): model %.1f MiB, peak %.1f MiB = model + %.2fx the file\n",
                    file, held - before, peak - before, (peak - held) / file);
        if (checkPeak > 0)
            std::printf("orvandel-check on it: peak %.1f MiB = %.2fx the file\n", checkPeak, checkPeak / file);
    }
    std::printf("%s%s%s", qPrintable(memoryLines), qPrintable(svgLine), qPrintable(reportLine));
    if (!cold)
        std::printf("(the page cache cannot be dropped here: no figure for a book opened the first time)\n");
    return 0;
}
