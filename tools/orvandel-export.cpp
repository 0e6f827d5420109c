// orvandel-export BOOK.xml --renumber compact|shuffle [--seed S] [--keep 1,400] --output NEW.xml
// orvandel-export BOOK.xml --pdf OUT.pdf | --print-html OUT.html | --html OUT.html [--title T] [--paper a4|letter]
//                 [--renumber compact|shuffle [--seed S] [--keep N,N...]]   (the exported book only)
//
// Writes the book renumbered to NEW.xml (atomically, under the same lock as
// every other write of a book), and the old -> new table beside it as
// NEW.csv; or the book to print, as a PDF or as one HTML page. Exit status:
// 0, 2 when the book cannot be read or the command line is wrong, 3 when an
// output cannot be written whole, or would land on the book or on another
// output (nothing is written then).
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

// Replaces the file at `path` with `bytes`, then reads it back: an output
// said to be written holds what was made.
bool writeChecked(const QString &path, const QByteArray &bytes, QString *error)
{
    AtomicFile file(path);
    if (!file.write(bytes)) {
        *error = file.errorString();
        return false;
    }
    if (!AtomicFile::holds(path, bytes)) {
        *error = QStringLiteral("le fichier écrit ne contient pas ce qui a été fait");
        return false;
    }
    return true;
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
        if (!mode.isEmpty()) {
            const Renumbering r = Renumbering::make(
                file.book(), mode == QLatin1String("shuffle") ? Renumbering::Shuffle : Renumbering::Compact, seed, pinned);
            const QByteArray bytes = r.bytes(file.book());
            if (bytes.isNull() || !renumbered.read(bytes))
                return fail(QStringLiteral("%1 : %2").arg(bookPath, r.errorString()));
        }
        const Book &printed = mode.isEmpty() ? file.book() : renumbered.book();
        PrintBook print(printed, title);
        WebPage web(printed, title);
        const PrintBook::Paper sheet = paper == QLatin1String("letter") ? PrintBook::Letter : PrintBook::A4;
        const QString outputs[] = {pdfPath, htmlPath, webPath};
        for (int k = 0; k < 3; ++k) {
            if (outputs[k].isEmpty())
                continue;
            QBuffer buffer;
            buffer.open(QIODevice::WriteOnly);
            const bool made = k == 0 ? print.writePdf(&buffer, sheet) : k == 1 ? print.writeHtml(&buffer) : web.write(&buffer);
            QString error = k == 2 ? web.errorString() : print.errorString();
            if (!made || !writeChecked(outputs[k], buffer.data(), &error))
                return fail(QStringLiteral("%1 : %2").arg(outputs[k], error), 3);
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
    const QByteArray renumbered = renumbering.bytes(file.book());
    if (renumbered.isNull())
        return fail(QStringLiteral("%1 : %2").arg(bookPath, renumbering.errorString()));
    if (!out.restore(renumbered, QStringLiteral("livre renuméroté (%1)").arg(mode)))
        return fail(QStringLiteral("%1 : %2").arg(output, out.errorString()), 3);
    if (!AtomicFile::holds(output, renumbered))
        return fail(QStringLiteral("%1 : le fichier écrit ne contient pas le livre renuméroté").arg(output), 3);
    QString error;
    if (!writeChecked(table, renumbering.csv(), &error))
        return fail(QStringLiteral("%1 : %2").arg(table, error), 3);
    return 0;
}
