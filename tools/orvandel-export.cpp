// orvandel-export BOOK.xml --renumber compact|shuffle [--seed S] [--keep 1,400] --output NEW.xml
// orvandel-export BOOK.xml --pdf OUT.pdf | --print-html OUT.html | --html OUT.html [--title T] [--paper a4|letter]
//                 [--renumber compact|shuffle [--seed S] [--keep N,N...]]   (the exported book only)
//
// Writes the book renumbered to NEW.xml (atomically, under the same lock as
// every other write of a book), and the old -> new table beside it as
// NEW.csv; or the book to print, as a PDF or as one HTML page. Exit status:
// 0, 2 when the book cannot be read or the command line is wrong, 3 when an
// output cannot be written, or would land on the book or on another output
// (nothing is written then).
#include "analysis/renumbering.h"
#include "book/atomicfile.h"
#include "book/bookfile.h"
#include "book/bookreader.h"
#include "book/entryid.h"
#include "book/filepaths.h"
#include "export/printbook.h"
#include "export/webpage.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QFileInfo>

#include <cstdio>

namespace {

const char usage[] = "usage: orvandel-export BOOK.xml --renumber compact|shuffle [--seed S] "
                     "[--keep N,N...] --output NEW.xml\n"
                     "       orvandel-export BOOK.xml --html OUT.html|--pdf OUT.pdf|--print-html OUT.html "
                     "[--title T] [--paper a4|letter]";

int fail(const QString &message, int status = 2)
{
    std::fprintf(stderr, "orvandel-export: %s\n", qPrintable(message));
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    // Laying out a PDF needs fonts, not a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    FilePaths::keepNameBytes();
    const QStringList args = app.arguments().mid(1);
    QString bookPath, mode, output, pdfPath, htmlPath, webPath, title, paper = QStringLiteral("a4");
    quint32 seed = 1;
    QSet<int> pinned;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--renumber") && hasValue) {
            mode = args.at(++i);
        } else if (a == QLatin1String("--output") && hasValue) {
            output = args.at(++i);
        } else if (a == QLatin1String("--pdf") && hasValue) {
            pdfPath = args.at(++i);
        } else if (a == QLatin1String("--html") && hasValue) {
            webPath = args.at(++i);
        } else if (a == QLatin1String("--print-html") && hasValue) {
            htmlPath = args.at(++i);
        } else if (a == QLatin1String("--title") && hasValue) {
            title = args.at(++i);
        } else if (a == QLatin1String("--paper") && hasValue) {
            paper = args.at(++i);
        } else if (a == QLatin1String("--seed") && hasValue) {
            bool ok = false;
            seed = args.at(++i).toUInt(&ok);
            if (!ok)
                return fail(QStringLiteral("--seed attend un nombre"));
        } else if (a == QLatin1String("--keep") && hasValue) {
            for (const QString &n : args.at(++i).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                if (EntryId::parse(n) < 0)
                    return fail(QStringLiteral("--keep : « %1 » n'est pas un numéro").arg(n));
                pinned.insert(EntryId::parse(n));
            }
        } else if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            std::printf("%s\n", usage);
            return 0;
        } else if (!a.startsWith(QLatin1Char('-')) && bookPath.isEmpty()) {
            bookPath = a;
        } else {
            return fail(QStringLiteral("argument inconnu : %1\n%2").arg(a, QLatin1String(usage)));
        }
    }
    // --renumber with --output renumbers the book into a new file; with an
    // export and no --output, only the exported book is renumbered.
    const bool exporting = !pdfPath.isEmpty() || !htmlPath.isEmpty() || !webPath.isEmpty();
    const bool renumber = !output.isEmpty();
    if (bookPath.isEmpty() || (!mode.isEmpty() && mode != QLatin1String("compact") && mode != QLatin1String("shuffle"))
        || (renumber && mode.isEmpty()) || (renumber == exporting)
        || (paper != QLatin1String("a4") && paper != QLatin1String("letter")))
        return fail(QLatin1String(usage));
    // The old -> new table goes beside the renumbered book, under its name.
    const QFileInfo named(output);
    const QString table =
        renumber ? named.path() + QLatin1Char('/') + named.completeBaseName() + QStringLiteral(".csv") : QString();
    FilePaths paths;
    if (!paths.outputsApart({bookPath}, {output, table, pdfPath, htmlPath, webPath}))
        return fail(paths.errorString(), 3);

    BookFile file;
    if (!file.open(bookPath) || file.state() != BookFile::Readable)
        return fail(file.state() == BookFile::New ? QStringLiteral("%1 : le livre est vide ou absent").arg(bookPath)
                                                  : file.errorString());
    if (!renumber) {
        BookReader renumbered;
        if (!mode.isEmpty())
            renumbered.read(Renumbering::make(file.book(), mode == QLatin1String("shuffle") ? Renumbering::Shuffle
                                                                                         : Renumbering::Compact,
                                              seed, pinned)
                                .bytes(file.book()));
        const Book &printed = mode.isEmpty() ? file.book() : renumbered.book();
        PrintBook print(printed, title);
        WebPage web(printed, title);
        for (const QString &out : {pdfPath, htmlPath, webPath}) {
            if (out.isEmpty())
                continue;
            QBuffer buffer;
            buffer.open(QIODevice::WriteOnly);
            const bool made = out == pdfPath ? print.writePdf(&buffer, paper == QLatin1String("letter") ? PrintBook::Letter : PrintBook::A4)
                : out == webPath             ? web.write(&buffer)
                                             : print.writeHtml(&buffer);
            AtomicFile target(out);
            if (!made || !target.write(buffer.data()))
                return fail(QStringLiteral("%1 : %2").arg(out, made ? target.errorString() : print.errorString()), 3);
        }
        return 0;
    }
    if (!file.book().isWritable())
        return fail(QStringLiteral("%1 : %2").arg(bookPath, file.book().whyNotWritable()));
    const Renumbering renumbering = Renumbering::make(
        file.book(), mode == QLatin1String("shuffle") ? Renumbering::Shuffle : Renumbering::Compact, seed, pinned);

    BookFile out;
    out.open(output);
    if (out.state() == BookFile::Unreadable && out.error() == BookFile::OpenError && QFileInfo::exists(output))
        return fail(out.errorString(), 3);
    if (!out.restore(renumbering.bytes(file.book()), QStringLiteral("livre renuméroté (%1)").arg(mode)))
        return fail(QStringLiteral("%1 : %2").arg(output, out.errorString()), 3);
    AtomicFile csv(table);
    if (!csv.write(renumbering.csv()))
        return fail(QStringLiteral("%1 : %2").arg(table, csv.errorString()), 3);
    return 0;
}
