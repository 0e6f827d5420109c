// orvandel-export BOOK.xml --renumber compact|shuffle [--seed S] [--keep 1,400] --output NEW.xml
// orvandel-export BOOK.xml --text   (the book as text, for git's diff)
// orvandel-export BOOK.xml --pdf OUT.pdf | --print-html OUT.html | --html OUT.html | --epub OUT.epub
//                 | --twee OUT.twee [--title T] [--author A] [--paper a4|letter]
//                 [--renumber compact|shuffle [--seed S] [--keep N,N...]]   (the exported book only)
// orvandel-export --import-twee STORY.twee --output BOOK.xml
//
// Writes the book renumbered to NEW.xml (atomically, under the same lock as
// every other write of a book), and the old -> new table beside it as
// NEW.csv; or the book to print, as a PDF or as one HTML page; or the book
// on standard output as text, one block per entry in number order; or
// as an EPUB or as a Twine story (Twee 3); or a book made from a Twine
// story, with the passages -> numbers table beside it as BOOK-passages.csv.
// The title and author published are those kept beside the book
// (BOOK.titre), unless --title or --author say otherwise. Before a book is
// published, its check runs: what is wrong with it is said on standard
// error, one line each, and the book is published all the same.
// Exit status:
// 0, 2 when the book cannot be read or the command line is wrong, 3 when an
// output cannot be written whole, or would land on the book or on another
// output (nothing is written then).
#include "analysis/bookcheck.h"
#include "analysis/booktext.h"
#include "analysis/renumbering.h"
#include "book/atomicfile.h"
#include "book/bookfile.h"
#include "book/bookreader.h"
#include "book/booktitle.h"
#include "book/commandline.h"
#include "book/digest.h"
#include "book/entryid.h"
#include "book/filepaths.h"
#include "export/epubbook.h"
#include "export/printbook.h"
#include "export/typesetter.h"
#include "export/tweereader.h"
#include "export/tweewriter.h"
#include "export/webpage.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

namespace {

// Replaces the file at `path` with what `produce` writes, made as it is
// written (a large book's page is never whole in memory), then reads the
// file back: an output said to be written holds what was made.
bool writeChecked(const QString &path, const std::function<bool(QIODevice *, QString *)> &produce, QString *error)
{
    AtomicFile file(path);
    if (!file.write(produce)) {
        *error = file.errorString();
        return false;
    }
    quint64 there = 0;
    qint64 size = 0;
    if (!Digest::ofFile(path, &there, &size) || there != file.digest() || size != file.size()) {
        *error = QStringLiteral("le fichier écrit ne contient pas ce qui a été fait");
        return false;
    }
    return true;
}

bool writeChecked(const QString &path, const QByteArray &bytes, QString *error)
{
    return writeChecked(path, [&bytes](QIODevice *device, QString *failure) {
        return AtomicFile::writeAll(*device, bytes, failure);
    }, error);
}

} // namespace

int main(int argc, char *argv[])
{
    // Laying out a PDF needs fonts, not a display.
    // The book as text needs no fonts: git runs it for each version it
    // shows, and nothing but the text may come out.
    bool textOnly = false;
    for (int i = 1; i < argc; ++i)
        textOnly = textOnly || !std::strcmp(argv[i], "--text") || !std::strcmp(argv[i], "-text");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app(textOnly ? new QCoreApplication(argc, argv)
                                                         : new QGuiApplication(argc, argv));
    CommandLine line(
        QStringLiteral("orvandel-export"),
        QStringLiteral("Renumérote un livre dans un nouveau fichier, ou le publie : à imprimer, à jouer dans un "
                       "navigateur, à lire sur liseuse (EPUB), en histoire Twine (Twee) ; ou fait un livre d'une "
                       "histoire Twine."),
        {QStringLiteral("LIVRE.xml --renumber compact|shuffle [--seed S] [--keep N,N...] --output NOUVEAU.xml"),
         QStringLiteral("LIVRE.xml --html PAGE.html|--pdf LIVRE.pdf|--print-html PAGE.html|--epub LIVRE.epub|"
                        "--twee HISTOIRE.twee [--title T] [--author A] [--paper a4|letter] "
                        "[--renumber compact|shuffle [--seed S] [--keep N,N...]]"),
         QStringLiteral("--import-twee HISTOIRE.twee --output LIVRE.xml"),
         QStringLiteral("LIVRE.xml --text")});
    const QString fileName = QStringLiteral("FICHIER");
    line.addOption(QStringLiteral("renumber"),
                   QStringLiteral("Renumérote : compact resserre les numéros, shuffle les distribue au hasard."),
                   QStringLiteral("compact|shuffle"));
    line.addOption(QStringLiteral("seed"), QStringLiteral("La graine du hasard de shuffle (1 par défaut)."),
                   QStringLiteral("S"), QStringLiteral("1"));
    line.addOption(QStringLiteral("keep"), QStringLiteral("Les entrées qui gardent leur numéro."),
                   QStringLiteral("N,N..."));
    line.addOption(QStringLiteral("output"),
                   QStringLiteral("Écrit le livre renuméroté, et la table des numéros à côté (.csv)."),
                   fileName);
    line.addOption(QStringLiteral("html"), QStringLiteral("Écrit une page web où jouer le livre."), fileName);
    line.addOption(QStringLiteral("pdf"), QStringLiteral("Écrit le livre à imprimer en PDF."), fileName);
    line.addOption(QStringLiteral("print-html"), QStringLiteral("Écrit le livre à imprimer en HTML."), fileName);
    line.addOption(QStringLiteral("text"),
                   QStringLiteral("Écrit le livre en texte sur la sortie standard, une entrée par bloc dans l'ordre "
                                  "des numéros (pour les différences de git)."));
    line.addOption(QStringLiteral("epub"), QStringLiteral("Écrit le livre en EPUB 3, pour les liseuses."), fileName);
    line.addOption(QStringLiteral("twee"), QStringLiteral("Écrit le livre en histoire Twine (Twee 3)."), fileName);
    line.addOption(QStringLiteral("import-twee"),
                   QStringLiteral("Fait un livre (--output) d'une histoire Twine (Twee 3), et la table des passages "
                                  "à côté (-passages.csv)."),
                   fileName);
    line.setBookOption(QStringLiteral("import-twee"));
    line.addOption(QStringLiteral("title"),
                   QStringLiteral("Le titre du livre publié (celui gardé à côté du livre par défaut)."),
                   QStringLiteral("T"));
    line.addOption(QStringLiteral("author"),
                   QStringLiteral("L'auteur du livre publié (celui gardé à côté du livre par défaut)."),
                   QStringLiteral("A"));
    line.addOption(QStringLiteral("paper"), QStringLiteral("Le format du PDF (a4 par défaut)."),
                   QStringLiteral("a4|letter"), QStringLiteral("a4"));
    if (!line.read())
        return line.exitStatus();
    bool ok = false;
    const quint32 seed = quint32(line.number(QStringLiteral("seed"), 0, 0xFFFFFFFFll, &ok));
    if (!ok)
        return line.refuse(line.errorString());
    QSet<int> pinned;
    for (const QString &n : line.value(QStringLiteral("keep")).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (EntryId::parse(n) < 0)
            return line.refuse(QStringLiteral("--keep : « %1 » n'est pas un numéro").arg(n));
        pinned.insert(EntryId::parse(n));
    }
    const QString bookPath = line.book(), mode = line.value(QStringLiteral("renumber")),
                  output = line.value(QStringLiteral("output")), pdfPath = line.value(QStringLiteral("pdf")),
                  htmlPath = line.value(QStringLiteral("print-html")), webPath = line.value(QStringLiteral("html")),
                  title = line.value(QStringLiteral("title")), paper = line.value(QStringLiteral("paper")),
                  epubPath = line.value(QStringLiteral("epub")), tweePath = line.value(QStringLiteral("twee"));
    if (line.isSet(QStringLiteral("import-twee"))) {
        if (output.isEmpty() || !mode.isEmpty() || !pdfPath.isEmpty() || !htmlPath.isEmpty() || !webPath.isEmpty()
            || !epubPath.isEmpty() || !tweePath.isEmpty())
            return line.refuse(QStringLiteral("--import-twee attend --output, et rien d'autre à écrire"));
        const QString table = TweeReader::tablePath(output);
        FilePaths paths;
        if (!paths.outputsApart({bookPath}, {output, table}))
            return line.fail(paths.errorString(), 3);
        QFile story(bookPath);
        if (!story.open(QIODevice::ReadOnly))
            return line.fail(QStringLiteral("%1 : %2").arg(bookPath, story.errorString()));
        TweeReader reader;
        const bool read = reader.read(story.readAll());
        for (const QString &note : reader.warnings())
            line.fail(QStringLiteral("%1 : %2").arg(bookPath, note), 0);
        if (!read)
            return line.fail(QStringLiteral("%1 : %2").arg(bookPath, reader.errorString()));
        if (!reader.writeBook(output))
            return line.fail(reader.errorString(), 3);
        // The story's title and author become the book's, kept beside it.
        BookTitle named;
        named.title = reader.title();
        named.author = reader.author();
        if ((!named.title.trimmed().isEmpty() || !named.author.isEmpty()) && !named.write(output))
            return line.fail(named.errorString(), 3);
        return 0;
    }
    if (!mode.isEmpty() && mode != QLatin1String("compact") && mode != QLatin1String("shuffle"))
        return line.refuse(QStringLiteral("--renumber attend compact ou shuffle, pas « %1 »").arg(mode));
    if (paper != QLatin1String("a4") && paper != QLatin1String("letter"))
        return line.refuse(QStringLiteral("--paper attend a4 ou letter, pas « %1 »").arg(paper));
    if (line.isSet(QStringLiteral("text"))) {
        // Alone: git runs it on each version of the book it compares.
        for (const QString &other : {QStringLiteral("renumber"), QStringLiteral("output"), QStringLiteral("html"),
                                     QStringLiteral("pdf"), QStringLiteral("print-html"), QStringLiteral("title"),
                                     QStringLiteral("epub"), QStringLiteral("twee"), QStringLiteral("import-twee"),
                                     QStringLiteral("author")})
            if (line.isSet(other))
                return line.refuse(QStringLiteral("--text ne va pas avec --%1").arg(other));
        BookFile file;
        if (!file.open(bookPath))
            return line.fail(file.errorString());
        if (file.state() == BookFile::New)
            return 0; // an empty book reads as no text
        const QByteArray text = BookText::of(file.book());
        if (std::fwrite(text.constData(), 1, size_t(text.size()), stdout) != size_t(text.size())
            || std::fflush(stdout) != 0)
            return line.fail(QStringLiteral("la sortie standard n'a pas pu être écrite"), 3);
        return 0;
    }
    // --renumber with --output renumbers the book into a new file; with an
    // export and no --output, only the exported book is renumbered.
    const bool exporting = !pdfPath.isEmpty() || !htmlPath.isEmpty() || !webPath.isEmpty() || !epubPath.isEmpty()
        || !tweePath.isEmpty();
    const bool renumber = !output.isEmpty();
    if (renumber == exporting)
        return line.refuse(renumber
                               ? QStringLiteral("--output ne va pas avec --html, --pdf, --print-html, --epub ou --twee")
                               : QStringLiteral("rien à écrire : --output, --html, --pdf, --print-html, --epub ou --twee"));
    if (renumber && mode.isEmpty())
        return line.refuse(QStringLiteral("--output attend --renumber compact ou shuffle"));
    // The old -> new table goes beside the renumbered book, under its name.
    const QFileInfo named(output);
    const QString table =
        renumber ? named.path() + QLatin1Char('/') + named.completeBaseName() + QStringLiteral(".csv") : QString();
    FilePaths paths;
    if (!paths.outputsApart({bookPath}, {output, table, pdfPath, htmlPath, webPath, epubPath, tweePath}))
        return line.fail(paths.errorString(), 3);

    // The fonts a PDF is set in are looked for while the book is read.
    struct Joined
    {
        std::thread thread;
        ~Joined()
        {
            if (thread.joinable())
                thread.join();
        }
    } fonts;
    if (!pdfPath.isEmpty())
        fonts.thread = std::thread(&Typesetter::findFonts);
    BookFile file;
    if (!file.open(bookPath) || file.state() != BookFile::Readable)
        return line.fail(file.state() == BookFile::New
                             ? QStringLiteral("%1 : le livre est vide ou absent").arg(bookPath)
                             : file.errorString());
    if (!renumber) {
        BookReader renumbered;
        if (!mode.isEmpty()) {
            const Renumbering r = Renumbering::make(
                file.book(), mode == QLatin1String("shuffle") ? Renumbering::Shuffle : Renumbering::Compact, seed, pinned);
            const QByteArray bytes = r.bytes(file.book());
            if (bytes.isNull() || !renumbered.read(bytes))
                return line.fail(QStringLiteral("%1 : %2").arg(bookPath, r.errorString()));
        }
        const Book &printed = mode.isEmpty() ? file.book() : renumbered.book();
        // What is wrong with the book, said before it is published (as the
        // book stands: the numbers the author knows).
        // A book full of them says the first ones: orvandel-check lists all.
        const QStringList faults = BookCheck::faults(file.book());
        const int said = 50;
        for (int f = 0; f < faults.size() && f < said; ++f)
            line.fail(QStringLiteral("%1 : %2").arg(bookPath, faults.at(f)), 0);
        if (faults.size() > said)
            line.fail(QStringLiteral("%1 : … et %2 défauts de plus (orvandel-check les donne tous)")
                          .arg(bookPath)
                          .arg(faults.size() - said),
                      0);
        BookTitle kept;
        kept.read(bookPath);
        const QString shownTitle = title.isEmpty() ? kept.shownTitle(printed) : title;
        const QString author = line.isSet(QStringLiteral("author")) ? line.value(QStringLiteral("author")) : kept.author;
        PrintBook print(printed, shownTitle, author);
        WebPage web(printed, shownTitle, Rules(), author);
        EpubBook epub(printed, shownTitle, author);
        TweeWriter twee(printed, shownTitle, author);
        const PrintBook::Paper sheet = paper == QLatin1String("letter") ? PrintBook::Letter : PrintBook::A4;
        const QString outputs[] = {pdfPath, htmlPath, webPath, epubPath, tweePath};
        for (int k = 0; k < 5; ++k) {
            if (outputs[k].isEmpty())
                continue;
            QString error;
            const auto produce = [&](QIODevice *device, QString *failure) {
                bool done = false;
                QString why;
                switch (k) {
                case 0: done = print.writePdf(device, sheet), why = print.errorString(); break;
                case 1: done = print.writeHtml(device), why = print.errorString(); break;
                case 2: done = web.write(device), why = web.errorString(); break;
                case 3: done = epub.write(device), why = epub.errorString(); break;
                default: {
                    const QByteArray story = twee.bytes();
                    if (story.isNull())
                        why = twee.errorString();
                    else
                        done = AtomicFile::writeAll(*device, story, &why);
                }
                }
                if (!done)
                    *failure = why;
                return done;
            };
            if (!writeChecked(outputs[k], produce, &error))
                return line.fail(QStringLiteral("%1 : %2").arg(outputs[k], error), 3);
        }
        return 0;
    }
    if (!file.book().isWritable())
        return line.fail(QStringLiteral("%1 : %2").arg(bookPath, file.book().whyNotWritable()));
    const Renumbering renumbering = Renumbering::make(
        file.book(), mode == QLatin1String("shuffle") ? Renumbering::Shuffle : Renumbering::Compact, seed, pinned);

    BookFile out;
    out.open(output);
    if (out.state() == BookFile::Unreadable && out.error() == BookFile::OpenError && QFileInfo::exists(output))
        return line.fail(out.errorString(), 3);
    const QByteArray renumbered = renumbering.bytes(file.book());
    if (renumbered.isNull())
        return line.fail(QStringLiteral("%1 : %2").arg(bookPath, renumbering.errorString()));
    if (!out.restore(renumbered, QStringLiteral("livre renuméroté (%1)").arg(mode)))
        return line.fail(QStringLiteral("%1 : %2").arg(output, out.errorString()), 3);
    if (!AtomicFile::holds(output, renumbered))
        return line.fail(QStringLiteral("%1 : le fichier écrit ne contient pas le livre renuméroté").arg(output), 3);
    QString error;
    if (!writeChecked(table, renumbering.csv(), &error))
        return line.fail(QStringLiteral("%1 : %2").arg(table, error), 3);
    return 0;
}
