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
// With --map BOOK [PREFIX] it opens BOOK in the book window, takes away the
// map's places kept beside it (BOOK.carte) and opens its map as "Carte"
// does, then prints on one line the repaint times of the map view
// (scrolling at reading size, the median and the slowest step zooming out,
// the whole map, an empty view of the same size), the milliseconds from the
// request until the map was shown (laid out), and the same for the map
// opened again in this run (its places kept by the book's document),
// saving pictures as PREFIX-*.png; with --map-reopen BOOK it prints the
// milliseconds until the map is shown in a program of its own, its places
// kept beside the book by an earlier run; with --map-add BOOK, an entry
// added with the map shown against the same with the list only; with --map-wait BOOK SECONDS it lays the map out behind
// the progress dialog for that long and prints how late a 10 ms timer fired
// meanwhile (median and worst), then walks away. With --writing BOOK N it
// writes N entries one after another through the book window's "Nouvelle
// entrée" and prints the milliseconds they took, then what writing the
// book's bytes and their history copy once costs at the start and at the end.
// With --replace BOOK WORDS WITH it replaces every match of WORDS through the
// book's document and prints the milliseconds (its save included), the
// entries changed and the matches replaced.
// With --spelling N it opens the entry form on a new book and prints the
// milliseconds from setting an N-word French text (one word in fifty
// misspelt) to its misspelt words underlined, the same text set into a
// plain text edit, one keystroke in the middle of it, the form's opening
// (the dictionary read then, once per run), and the count underlined.
// With --report BOOK N REPS it prints the median milliseconds of N
// simulated readers of BOOK alone, then of the "Lecteurs simulés" window
// running the same N (the report, its verdicts and its four charts, each
// chart drawn), taken in turns REPS times each.
#include "analysis/bookfind.h"
#include "analysis/bookmap.h"
#include "app/bookmapui.h"
#include "app/mapitem.h"
#include "book/atomicfile.h"
#include "book/bookfile.h"
#include "book/entryid.h"
#include "book/filehistory.h"
#include "app/booklistmodel.h"
#include "app/bookwindow.h"
#include "document/bookdocument.h"
#include "app/mainwindow.h"
#include "app/simulationui.h"
#include "play/simulation.h"
#include "entry/entryui.h"
#include "spelling/spellchecker.h"

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
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextLayout>
#include <QWindow>
#include <QTimer>
#include <QSpinBox>
#include <QtCharts/QChartView>

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

// Until `window` is on the screen (an X server maps a window in its own
// time) with what is pending done.
static void waitShown(QWidget *window)
{
    QElapsedTimer waited;
    waited.start();
    while (!(window->windowHandle() && window->windowHandle()->isExposed()) && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::processEvents();
}

// The book window on `path`, shown, as an author has it before asking for
// the map.
static std::unique_ptr<BookWindow> bookWindow(const QString &path)
{
    auto window = std::make_unique<BookWindow>();
    if (!window->openBook(path))
        return nullptr;
    window->show();
    waitShown(window.get());
    return window;
}

// The map of the book window's book as "Carte" opens it, shown and painted
// once; the milliseconds from the request.
static std::unique_ptr<BookMapUI> openMap(BookWindow *window, double *ms)
{
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<BookMapUI> dialog = BookMapUI::forDocument(window->document(), window);
    if (!dialog)
        return nullptr;
    dialog->show();
    waitShown(dialog.get());
    auto *view = dialog->findChild<QGraphicsView *>(QStringLiteral("view_Map"));
    view->viewport()->repaint();
    *ms = clock.nsecsElapsed() / 1e6;
    if (qEnvironmentVariableIsSet("ORVANDEL_PROBE_VERBOSE"))
        std::fprintf(stderr, "map shown: exposed %d, view %dx%d\n", dialog->windowHandle()->isExposed(),
                     view->viewport()->width(), view->viewport()->height());
    return dialog;
}

static int mapRepaints(const QString &path, const QString &prefix)
{
    QFile::remove(path + QStringLiteral(".carte")); // the first map is laid out
    std::unique_ptr<BookWindow> window = bookWindow(path);
    if (!window)
        return 2;
    double first = 0;
    std::unique_ptr<BookMapUI> shown = openMap(window.get(), &first);
    if (!shown)
        return 2;
    BookMapUI &dialog = *shown;
    auto *view = dialog.findChild<QGraphicsView *>(QStringLiteral("view_Map"));
    const auto shot = [&](const char *name) {
        if (!prefix.isEmpty())
            dialog.grab().save(prefix + QLatin1Char('-') + QLatin1String(name) + QStringLiteral(".png"));
    };
    // Zoomed by its buttons, about the middle of the view: under X the
    // wheel's anchor, the pointer, may lie anywhere.
    view->setTransformationAnchor(QGraphicsView::AnchorViewCenter);
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
    while (dialog.zoom() > fit && dialog.zoom() > 0.021) { // the view zooms out no further than 0.02
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
    empty.hide();
    shown.reset();
    // Again within the same run, the book's document kept.
    double again = 0;
    if (!openMap(window.get(), &again))
        return 2;
    std::printf("%.3f %.3f %.3f %.3f %.3f %.3f %.3f\n", median(scroll), median(zoom),
                zoom.isEmpty() ? 0.0 : *std::max_element(zoom.begin(), zoom.end()), median(whole), median(floor),
                first, again);
    return 0;
}

// The map opened in a program of its own, its places kept beside the book
// by an earlier run.
static int mapReopen(const QString &path)
{
    if (!QFile::exists(path + QStringLiteral(".carte")))
        std::fprintf(stderr, "no places kept beside the book: the map is laid out\n");
    std::unique_ptr<BookWindow> window = bookWindow(path);
    if (!window)
        return 2;
    double ms = 0;
    if (!openMap(window.get(), &ms))
        return 2;
    std::printf("%.3f\n", ms);
    return 0;
}

// An entry added while the map is shown in the book window, until the map
// shows it (in the places kept, never laid out again), against the same
// entry added with the list only: medians of 15, the entry taken back
// after each; the two figures in milliseconds.
static int mapAdd(const QString &path)
{
    std::unique_ptr<BookWindow> window = bookWindow(path);
    if (!window)
        return 2;
    BookDocument *doc = window->document();
    const auto adding = [&] {
        QVector<double> times;
        for (int k = 0; k < 15; ++k) {
            Entry entry;
            entry.id = EntryId::text(doc->file().nextNumber());
            entry.text = QStringLiteral("Une salle de plus.");
            entry.choices.append({doc->book().entry(0).id, QStringLiteral("Revenir")});
            ::sync();
            QElapsedTimer clock;
            clock.start();
            if (!doc->addEntry(entry))
                return QVector<double>();
            QCoreApplication::processEvents();
            times << clock.nsecsElapsed() / 1e6;
            doc->undo();
            QCoreApplication::processEvents();
        }
        return times;
    };
    const QVector<double> floor = adding();
    window->showMap();
    QCoreApplication::processEvents();
    if (!window->findChild<BookMapUI *>())
        return 2;
    const QVector<double> shown = adding();
    if (floor.isEmpty() || shown.isEmpty())
        return 2;
    std::printf("%.3f %.3f\n", median(shown), median(floor));
    return 0;
}

static int mapWait(const QString &path, double seconds)
{
    BookFile file;
    if (!file.open(path))
        return 2;
    const MapLayout drawing = BookMap::drawing(file.book(), BookCheck::run(file.book()));
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
    const bool drawn = BookMapUI::layOut(drawing, &window) != nullptr;
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
        // Each save meets the disk as an author's does, the one before
        // written out: saves in a row faster than the disk takes them
        // would measure the kernel holding writers back instead.
        ::sync();
        QElapsedTimer clock;
        clock.start();
        if (!document->replaceEntry(middle, entry))
            qFatal("the edit was refused: %s", qPrintable(document->errorString()));
        edits << clock.nsecsElapsed() / 1e6;
        ::sync();
        clock.restart();
        document->undo();
        undos << clock.nsecsElapsed() / 1e6;
        if (document->book().entry(middle).text.endsWith(QStringLiteral("Corrigé.")))
            qFatal("the undo did not take the edit back");
    }
    std::printf("%.3f %.3f\n", median(edits), median(undos));
    return 0;
}

// Every match of WORDS replaced by WITH through the book's document, its
// save included: the milliseconds, the entries changed and the matches.
static int replacing(const QString &path, const QString &words, const QString &with)
{
    QSharedPointer<BookDocument> document = BookDocument::of(path);
    document->load();
    int entries = 0, matches = 0;
    QElapsedTimer clock;
    clock.start();
    if (!document->replaceAll(BookFind(words), with, &entries, &matches))
        qFatal("the replacement was refused: %s", qPrintable(document->errorString()));
    std::printf("%.3f %d %d\n", clock.nsecsElapsed() / 1e6, entries, matches);
    return 0;
}

// `count` words of French prose in paragraphs of about a hundred, one word
// in fifty misspelt; the same text every run.
static QString frenchText(int count)
{
    static const char *const words[] = {
        "le", "la", "les", "un", "une", "des", "du", "de", "et", "mais", "ou", "donc", "car", "il", "elle",
        "vous", "nous", "ils", "se", "sur", "sous", "dans", "vers", "avec", "sans", "pour", "par", "chevalier",
        "dragon", "forêt", "château", "épée", "bouclier", "porte", "couloir", "escalier", "torche", "ombre",
        "silence", "murmure", "cri", "pas", "mur", "pierre", "salle", "trésor", "coffre", "clé", "serrure",
        "piège", "gobelin", "orque", "sorcier", "grimoire", "potion", "guérison", "blessure", "sang", "combat",
        "fuite", "chance", "courage", "peur", "nuit", "jour", "aube", "crépuscule", "lune", "soleil", "vent",
        "pluie", "rivière", "pont", "village", "auberge", "aubergiste", "marchand", "garde", "roi", "reine",
        "prince", "princesse", "trône", "couronne", "anneau", "amulette", "parchemin", "carte", "chemin",
        "sentier", "montagne", "caverne", "grotte", "tunnel", "lumière", "ténèbres", "avance", "recule",
        "attend", "écoute", "regarde", "entend", "voit", "sent", "prend", "pose", "ouvre", "ferme", "frappe",
        "esquive", "court", "marche", "grimpe", "descend", "traverse", "découvre", "trouve", "perd", "gagne",
        "lentement", "soudain", "aussitôt", "enfin", "encore", "toujours", "jamais", "déjà", "ici", "là-bas",
        "peut-être", "aujourd'hui", "l'épée", "l'ombre", "l'auberge", "d'or", "d'argent", "qu'il", "jusqu'à",
        "sombre", "froid", "humide", "ancien", "étrange", "immense", "minuscule", "terrible", "silencieux",
        "rouge", "noir", "blanc", "doré", "brisé", "rouillé", "lourd", "léger", "vieux", "jeune", "sage",
        "fidèle", "cruel", "rusé", "blessé", "épuisé", "affamé", "heureux", "inquiet", "prudent", "hardi"};
    static const char *const typos[] = {"chevalié", "forêtt", "portte", "guérisson", "échapez", "cavernnes",
                                        "ombree", "trézor", "escallier", "sorcié"};
    const int wordCount = int(sizeof words / sizeof *words);
    const int typoCount = int(sizeof typos / sizeof *typos);
    quint32 state = 2024;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    QString text;
    for (int k = 0; k < count; ++k) {
        const bool typo = next() % 50 == 0;
        QString word = QString::fromUtf8(typo ? typos[next() % typoCount] : words[next() % wordCount]);
        const bool starts = k == 0 || text.endsWith(QLatin1Char('.')) || text.endsWith(QLatin1Char('\n'));
        if (starts)
            word[0] = word.at(0).toUpper();
        if (k > 0 && !text.endsWith(QLatin1Char('\n')))
            text += QLatin1Char(' ');
        text += word;
        if (k % 100 == 99)
            text += QStringLiteral(".\n");
        else if (next() % 12 == 0)
            text += QLatin1Char(next() % 3 == 0 ? ',' : '.');
    }
    return text;
}

static int underlinedWords(QTextEdit *edit)
{
    int count = 0;
    for (QTextBlock block = edit->document()->begin(); block.isValid(); block = block.next())
        for (const QTextLayout::FormatRange &range : block.layout()->formats())
            count += range.format.underlineStyle() == QTextCharFormat::SpellCheckUnderline;
    return count;
}

static int spelling(int count)
{
    QTemporaryDir dir;
    const QString text = frenchText(count);
    QElapsedTimer clock;
    clock.start();
    EntryUI form;
    form.setDocument(BookDocument::of(dir.filePath(QStringLiteral("livre.xml"))));
    form.show();
    QCoreApplication::processEvents();
    const double open = clock.nsecsElapsed() / 1e6;
    auto *edit = form.findChild<QTextEdit *>(QStringLiteral("textEdit"));
    if (!BookDocument::of(dir.filePath(QStringLiteral("livre.xml")))->spelling()->isAvailable())
        qFatal("no French dictionary: spelling is off");

    clock.restart();
    edit->setPlainText(text);
    QCoreApplication::processEvents();
    const double checked = clock.nsecsElapsed() / 1e6;
    const int underlined = underlinedWords(edit);
    if (underlined == 0)
        qFatal("nothing was underlined");

    // One keystroke in the middle of the text: its paragraph is checked again.
    QTextCursor middle(edit->document());
    middle.setPosition(text.size() / 2);
    edit->setTextCursor(middle);
    edit->setFocus();
    clock.restart();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_E, Qt::NoModifier, QStringLiteral("e"));
    QCoreApplication::sendEvent(edit, &press);
    QCoreApplication::processEvents();
    const double keystroke = clock.nsecsElapsed() / 1e6;

    // The floor: the same text set into a plain text edit of the same size.
    QTextEdit plain;
    plain.resize(edit->size());
    plain.show();
    QCoreApplication::processEvents();
    clock.restart();
    plain.setPlainText(text);
    QCoreApplication::processEvents();
    const double floor = clock.nsecsElapsed() / 1e6;
    std::printf("%.3f %.3f %.3f %.3f %d\n", checked, floor, keystroke, open, underlined);
    return 0;
}

// The book window on `path`, then `word` typed into its filter: see the
// top of this file for what it prints.
static int windowFigures(const QString &path, const QString &word, bool bare = false)
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

int reportFigures(const QString &path, int readers, int reps)
{
    BookFile file;
    if (!file.open(path) || file.state() != BookFile::Readable)
        return 2;
    const Book &book = file.book();
    const Playbook playbook(book);
    SimulationUI window(book);
    window.resize(1366, 768);
    window.show();
    window.findChild<QSpinBox *>(QStringLiteral("sb_Readers"))->setMaximum(readers);
    window.findChild<QSpinBox *>(QStringLiteral("sb_Readers"))->setValue(readers);
    QCoreApplication::processEvents();
    std::vector<double> alone, shown;
    QElapsedTimer clock;
    for (int rep = 0; rep < reps; ++rep) {
        clock.start();
        const Simulation::Report r = Simulation(playbook).run(readers, 1);
        alone.push_back(clock.nsecsElapsed() / 1e6);
        if (r.adventures != readers)
            return 2;
        clock.restart();
        window.run();
        for (auto *view : window.findChildren<QtCharts::QChartView *>())
            view->grab();
        QCoreApplication::processEvents();
        shown.push_back(clock.nsecsElapsed() / 1e6);
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.at(v.size() / 2);
    };
    std::printf("%.3f %.3f\n", median(alone), median(shown));
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
        return windowFigures(args.at(2), args.value(3));
    if (args.size() >= 2 && args.at(1) == QLatin1String("--window-bare")) {
        QTemporaryDir dir;
        return windowFigures(dir.filePath(QStringLiteral("vide.xml")), QString(), true);
    }
    if (args.size() >= 5 && args.at(1) == QLatin1String("--replace"))
        return replacing(args.at(2), args.at(3), args.at(4));
    if (args.size() >= 3 && args.at(1) == QLatin1String("--spelling"))
        return spelling(args.at(2).toInt());
    if (args.size() >= 4 && args.at(1) == QLatin1String("--undo"))
        return undoing(args.at(2), args.at(3).toInt());
    if (args.size() >= 4 && args.at(1) == QLatin1String("--writing"))
        return session(args.at(2), args.at(3).toInt());
    if (args.size() >= 3 && args.at(1) == QLatin1String("--map"))
        return mapRepaints(args.at(2), args.value(3));
    if (args.size() >= 3 && args.at(1) == QLatin1String("--map-reopen"))
        return mapReopen(args.at(2));
    if (args.size() >= 3 && args.at(1) == QLatin1String("--map-add"))
        return mapAdd(args.at(2));
    if (args.size() >= 5 && args.at(1) == QLatin1String("--report"))
        return reportFigures(args.at(2), args.at(3).toInt(), args.at(4).toInt());
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
