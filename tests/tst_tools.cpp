// The command-line tools as processes, and what they write: their command
// line, outputs that would land on an input, file names that are not
// UTF-8, the PDF and the printed page, the map's DOT.
#include "analysis/bookmap.h"
#include "book/entryid.h"
#include "book/entrywriter.h"
#include "book/bookreader.h"
#include "export/printbook.h"
#include "export/typesetter.h"
#include "support.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBoundaryFinder>

using namespace Support;

namespace {

struct Run
{
    int status;
    QByteArray out, err;
};

Run run(const QString &program, const QStringList &args, const QString &folder = QString())
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, args);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

QByteArray bookOf(const QVector<Entry> &entries)
{
    QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Livre>\n");
    for (const Entry &e : entries)
        text += EntryWriter::elementXml(e);
    return (text + QStringLiteral("</Livre>\n")).toUtf8();
}

// `count` entries of `lines` lines each, every one leading to the next.
QByteArray longBook(int count, int lines)
{
    QVector<Entry> entries;
    for (int i = 0; i < count; ++i) {
        Entry e;
        e.id = EntryId::text(i);
        e.text = QStringLiteral("Vous avancez dans le couloir humide, la torche à la main.\n").repeated(lines).trimmed();
        e.types.choice = e.choiceActive = true;
        e.choices = {{QString::number((i + 1) % count), QStringLiteral("Avancer")}};
        entries << e;
    }
    return bookOf(entries);
}

// Every name in `folder` with what it holds (a link by its target), to see
// that nothing was written.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    const QFileInfoList all = QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &info : all)
        files[info.fileName()] = info.isSymLink() ? "-> " + info.symLinkTarget().toUtf8()
            : info.isFile()                       ? readBytes(info.filePath())
                                                  : QByteArray("<dossier>");
    return files;
}

QString pdfInfo(const QString &path, const QString &field)
{
    return QRegularExpression(QStringLiteral("^%1:\\s*(.*)$").arg(field), QRegularExpression::MultilineOption)
        .match(QString::fromUtf8(run("pdfinfo", {path}).out))
        .captured(1)
        .trimmed();
}

// Text as a reader compares it: one space for any run of white space, no
// hyphens (pdftotext joins a word cut at one), the "fi" glyph as letters.
QString readerText(QString text)
{
    return text.replace(QChar(0xFB01), QLatin1String("fi")).remove(QLatin1Char('-')).simplified();
}

QString pdfText(const QString &path, int from, int to)
{
    return QString::fromUtf8(run("pdftotext", {"-f", QString::number(from), "-l", QString::number(to), path, "-"}).out);
}

} // namespace

class TestTools : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data();
    void commandLine();
    void outputsApart_data();
    void outputsApart();
    void namesThatAreNotUtf8_data();
    void namesThatAreNotUtf8();
    void pdfWritten_data();
    void pdfWritten();
    void pdfRefused_data();
    void pdfRefused();
    void pdfSetAsQtSetsIt_data();
    void pdfSetAsQtSetsIt();
    void pdfLeftToQtPartWay();
    void linesBreakAsQtBreaksThem_data();
    void linesBreakAsQtBreaksThem();
    void printedFacts_data();
    void printedFacts();
    void luckKeptWithItsOutcome();
    void exportSaysFaults_data();
    void exportSaysFaults();
    void printedTextsEscaped_data();
    void printedTextsEscaped();
    void dotLabelsReadBack_data();
    void dotLabelsReadBack();
};

void TestTools::commandLine_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // patterns for standard output and standard error
    QTest::addColumn<QString>("err");
    const QString book = fixture("check-clean.xml");
    struct Tool
    {
        QString name, program, options;
        QStringList valueMissing, badNumber;
        QString numberSaid;
    };
    const Tool tools[] = {
        {"orvandel-check", ORVANDEL_CHECK, "--monsters.*--dot.*--svg.*--hard-fight", {book, "--dot"},
         {book, "--hard-fight", "beaucoup"}, "--hard-fight attend un pourcentage de 0 à 100, pas « beaucoup »"},
        {"orvandel-export", ORVANDEL_EXPORT,
         "--renumber.*--seed.*--keep.*--output.*--html.*--pdf.*--print-html.*--title.*--paper", {book, "--html"},
         {book, "--renumber", "shuffle", "--seed", "4294967296", "--output", "nouveau.xml"},
         "--seed attend un nombre entier de 0 à 4294967295, pas « 4294967296 »"},
        {"orvandel-play", ORVANDEL_PLAY, "--simulate.*--trace.*--seed.*--strategy.*--json", {book, "--trace", "--seed"},
         {book, "--trace", "--seed", "1.5"}, "--seed attend un nombre entier de 0 à 4294967295, pas « 1.5 »"},
    };
    for (const Tool &t : tools) {
        const QByteArray id = t.name.toUtf8();
        const char *name = id.constData();
        const QString refused = QString("(?m)^%1: %2\nusage : %1 LIVRE\\.xml ").arg(t.name);
        QTest::addRow("%s --help", name) << t.program << QStringList{"--help"} << 0
                                         << QString("(?s)^usage : %1 .*\nOptions :.*%2").arg(t.name, t.options) << "";
        const QString version = QRegularExpression::escape(t.name + " " ORVANDEL_VERSION "\n");
        QTest::addRow("%s --version", name) << t.program << QStringList{"--version"} << 0 << "^" + version + "$" << "";
        QTest::addRow("%s unknown option", name) << t.program << QStringList{book, "--bogus"} << 2 << "^$"
                                                 << refused.arg("option inconnue : --bogus");
        const QString missing = QString("Valeur manquante après \"%1\"\\.").arg(t.valueMissing.last());
        QTest::addRow("%s missing value", name) << t.program << t.valueMissing << 2 << "^$" << refused.arg(missing);
        QTest::addRow("%s bad number", name) << t.program << t.badNumber << 2 << "^$"
                                             << refused.arg(QRegularExpression::escape(t.numberSaid));
    }
}

// The three tools read their command line one way: the help and the version
// on standard output; a wrong command line refused with its reason and the
// usage, and nothing written.
void TestTools::commandLine()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, args);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QTemporaryDir dir;
    const Run done = run(tool, args, dir.path());
    QTEST(done.status, "status");
    QVERIFY2(QRegularExpression(out).match(QString::fromUtf8(done.out)).hasMatch(), done.out.constData());
    QVERIFY2(QRegularExpression(err).match(QString::fromUtf8(done.err)).hasMatch(), done.err.constData());
    QVERIFY(snapshot(dir.path()).isEmpty());
}

void TestTools::outputsApart_data()
{
    QTest::addColumn<QString>("setUp"); // shell commands in the folder, which holds livre.xml
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    const QString exporter = QStringLiteral(ORVANDEL_EXPORT), checker = QStringLiteral(ORVANDEL_CHECK);
    QTest::newRow("page through a link to the book")
        << "ln -s livre.xml page.html" << exporter << QStringList{"livre.xml", "--html", "page.html"} << 3;
    QTest::newRow("page on a hard link of the book")
        << "ln livre.xml page.html" << exporter << QStringList{"livre.xml", "--print-html", "page.html"} << 3;
    QTest::newRow("page through a link to the folder")
        << "ln -s . ici" << exporter << QStringList{"livre.xml", "--pdf", "ici/livre.xml"} << 3;
    QTest::newRow("two pages into one file through a dangling link")
        << "ln -s cible.html page.html" << exporter
        << QStringList{"livre.xml", "--html", "page.html", "--print-html", "cible.html"} << 3;
    QTest::newRow("renumbered book over its own table")
        << "" << exporter << QStringList{"livre.xml", "--renumber", "compact", "--output", "nouveau.csv"} << 3;
    QTest::newRow("table over the book read")
        << "mv livre.xml livre.csv" << exporter
        << QStringList{"livre.csv", "--renumber", "compact", "--output", "livre.xml"} << 3;
    QTest::newRow("renumbered book apart")
        << "" << exporter << QStringList{"livre.xml", "--renumber", "compact", "--output", "nouveau.xml"} << 0;
    QTest::newRow("map through a link to the book")
        << "ln -s livre.xml carte.dot" << checker << QStringList{"livre.xml", "--dot", "carte.dot"} << 3;
    QTest::newRow("map on a hard link of the monsters")
        << QString("cp '%1' monstres.xml && ln monstres.xml carte.svg").arg(fixture("monsters.xml")) << checker
        << QStringList{"livre.xml", "--monsters", "monstres.xml", "--svg", "carte.svg"} << 3;
    QTest::newRow("dot and svg into one file")
        << "" << checker << QStringList{"livre.xml", "--dot", "carte", "--svg", "./carte"} << 3;
    QTest::newRow("dot and svg to one device")
        << "" << checker << QStringList{"livre.xml", "--dot", "/dev/null", "--svg", "/dev/null"} << 0;
}

// An output that would land on an input, or on another output, is refused
// before anything is written.
void TestTools::outputsApart()
{
    QFETCH(QString, setUp);
    QFETCH(QString, tool);
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QTemporaryDir dir;
    QVERIFY(QFile::copy(fixture("check-clean.xml"), dir.filePath("livre.xml")));
    QCOMPARE(run("sh", {"-c", setUp.isEmpty() ? "true" : setUp}, dir.path()).status, 0);
    const QMap<QString, QByteArray> before = snapshot(dir.path());
    const Run done = run(tool, args, dir.path());
    QVERIFY2(done.status == status, done.err.constData());
    if (status == 3) {
        QVERIFY2(done.err.contains("la sortie serait écrite"), done.err.constData());
        QCOMPARE(snapshot(dir.path()), before);
    }
}

void TestTools::namesThatAreNotUtf8_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QString>("args"); // for the shell: "$f" is the book
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("holds");
    QTest::newRow("check") << ORVANDEL_CHECK << "--dot \"$f.dot\"" << "$f.dot" << "digraph";
    QTest::newRow("play") << ORVANDEL_PLAY << "--seed 3 --trace >\"$f.trace\"" << "$f.trace" << "départ";
    // A title in UTF-8 beside such a name stays what it was.
    QTest::newRow("export") << ORVANDEL_EXPORT << "--print-html \"$f.html\" --title 'Épreuve'" << "$f.html"
                            << "<title>Épreuve</title>";
}

// A book whose name is not UTF-8 is read by every tool, and what it writes
// beside it lands under the name given.
void TestTools::namesThatAreNotUtf8()
{
    QFETCH(QString, tool);
    QFETCH(QString, args);
    QFETCH(QString, written);
    QFETCH(QString, holds);
    QTemporaryDir dir;
    // The shell removes the files: under its UTF-8 locale, this test could not name them.
    const QString script = QString("f=$(printf 'livre\\351.xml') && cp '%1' \"$f\" && '%2' \"$f\" %3 "
                                   "&& grep -qF '%4' \"%5\"; s=$?; rm -f ./*; exit $s")
                               .arg(fixture("check-clean.xml"), tool, args, holds, written);
    const Run done = run("sh", {"-c", script}, dir.path());
    QVERIFY2(done.status == 0, done.err.constData());
}

void TestTools::pdfWritten_data()
{
    QTest::addColumn<QByteArray>("book");
    QTest::addColumn<QString>("paper");
    QTest::addColumn<QString>("size"); // in points, as pdfinfo gives it
    QTest::newRow("a4") << longBook(40, 3) << "a4" << "595 x 842";
    QTest::newRow("letter") << longBook(40, 3) << "letter" << "612 x 792";
    // 3,500 pages: at 1,200 dpi Qt drew nothing past the 680th, and its
    // layout wrapped round past the 2,700th.
    QTest::newRow("10,000 entries") << longBook(10000, 5) << "a4" << "595 x 842";
}

// The PDF has the paper asked for, and every entry down to the last, which
// ends its last page (its number may stand at the foot of the page before).
void TestTools::pdfWritten()
{
    QFETCH(QByteArray, book);
    QFETCH(QString, paper);
    QFETCH(QString, size);
    QTemporaryDir dir;
    QVERIFY(writeBytes(dir.filePath("livre.xml"), book));
    const Run done = run(ORVANDEL_EXPORT, {"livre.xml", "--pdf", "livre.pdf", "--paper", paper}, dir.path());
    QVERIFY2(done.status == 0, done.err.constData());
    const QString pdf = dir.filePath("livre.pdf");
    QVERIFY(pdfInfo(pdf, "Page size").startsWith(size + " pts"));
    const int pages = pdfInfo(pdf, "Pages").toInt();
    const int entries = book.count("<Attr ");
    QVERIFY2(pages > 4, qPrintable(pdfInfo(pdf, "Pages")));
    const QString last = pdfText(pdf, pages - 1, pages).simplified();
    QVERIFY2(last.contains(EntryId::text(entries - 1)) && last.endsWith(QString("rendez-vous au 000. %1").arg(pages)),
             qPrintable(last.right(300)));
}

void TestTools::pdfRefused_data()
{
    QTest::addColumn<int>("resolution");
    QTest::addColumn<int>("typesetting");
    QTest::addColumn<qint64>("room"); // bytes the device takes, -1 for all
    QTest::addColumn<QString>("error");
    QTest::newRow("laid out whole") << 150 << int(PrintBook::Own) << qint64(-1) << "";
    // The book is some 70 pages long at 150 dpi: at 30,000 dpi Qt lays it
    // out but it runs past what Qt draws (2^23 device units), at 96,000
    // past what Qt lays out (2^31 / 64). Set here, it has no such bound.
    QTest::newRow("past what Qt draws") << 30000 << int(PrintBook::QtPrinting) << qint64(-1) << "trop long";
    QTest::newRow("past what Qt lays out") << 96000 << int(PrintBook::QtPrinting) << qint64(-1) << "trop long";
    QTest::newRow("set here at 96,000 dpi") << 96000 << int(PrintBook::Own) << qint64(-1) << "";
    QTest::newRow("device full") << 150 << int(PrintBook::Own) << qint64(4096) << "No space left on device";
}

// A PDF that cannot be made whole is refused, and nothing of it written.
void TestTools::pdfRefused()
{
    QFETCH(int, resolution);
    QFETCH(int, typesetting);
    QFETCH(qint64, room);
    QFETCH(QString, error);
    BookReader reader;
    QVERIFY(reader.read(longBook(200, 5)));
    PrintBook print(reader.book());
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    FailDevice full(room);
    QIODevice *device = room < 0 ? static_cast<QIODevice *>(&buffer) : &full;
    QCOMPARE(print.writePdf(device, PrintBook::A4, resolution, PrintBook::Typesetting(typesetting)), error.isEmpty());
    QVERIFY2(print.errorString().contains(error), qPrintable(print.errorString()));
    QCOMPARE(buffer.data().startsWith("%PDF-"), error.isEmpty());
}

// A book whose entries are read far ahead of where they are set, then one
// that only Qt sets out: the reading stops and the whole book goes through
// Qt's printing.
void TestTools::pdfLeftToQtPartWay()
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Livre>\n";
    for (int i = 1; i <= 2000; ++i)
        xml += QString("<Attr id=\"%1\"><Text>%2</Text><Type>X</Type></Attr>\n")
                   .arg(i)
                   .arg(i == 1990 ? QString::fromUtf8("Le marchand dit : \u05e9\u05dc\u05d5\u05dd.") : QString("Salle %1.").arg(i))
                   .toUtf8();
    BookReader reader;
    QVERIFY(reader.read(xml + "</Livre>\n"));
    QTemporaryDir dir;
    QFile file(dir.filePath("livre.pdf"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    PrintBook print(reader.book(), QStringLiteral("Épreuve"));
    QVERIFY2(print.writePdf(&file, PrintBook::A4, 150, PrintBook::Own), qPrintable(print.errorString()));
    file.close();
    QVERIFY(pdfInfo(file.fileName(), "Producer").startsWith("Qt 5"));
    QVERIFY(pdfInfo(file.fileName(), "Pages").toInt() > 10);
}

void TestTools::linesBreakAsQtBreaksThem_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("spacesOnly"); // the lines break after the spaces, nowhere else
    QTest::newRow("words and marks") << "L'aubergiste vous dévisage, puis… non : « Fin ! »" << false;
    QTest::newRow("plain words") << "L'aubergiste vous dévisage, puis essuie un verre ébréché." << true;
    QTest::newRow("numbers and marks") << " Rendez au 985. Perdez 2 points ; oui ? Non ! " << true;
    QTest::newRow("curly apostrophe, Latin letters") << "aujourd’hui Œdipe ßa ǿȀ l'été," << true;
    QTest::newRow("hyphen") << "rendez-vous" << false;
    QTest::newRow("mark before a letter") << "Oh!Non" << false;
    QTest::newRow("decimal") << "2.5" << false;
    QTest::newRow("slash") << "et/ou" << false;
    QTest::newRow("parenthesis") << "(entrée absente)" << false;
    QTest::newRow("no-break space") << "Fin\u00a0!" << false;
    QTest::newRow("ideographs") << "\u4e00\u4e01" << false;
}

// Where the lines of a paragraph may break is asked of Qt only when its
// text may break elsewhere than after a space: where it is not asked,
// Qt breaks nowhere else either.
void TestTools::linesBreakAsQtBreaksThem()
{
    QFETCH(QString, text);
    QFETCH(bool, spacesOnly);
    QCOMPARE(Typesetter::breaksAtSpacesOnly(text), spacesOnly);
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
    bool elsewhere = false;
    for (int at = breaks.toNextBoundary(); at > 0 && at < text.size(); at = breaks.toNextBoundary())
        elsewhere = elsewhere
            || ((breaks.boundaryReasons() & QTextBoundaryFinder::BreakOpportunity) && text.at(at - 1) != ' ');
    QVERIFY(!(spacesOnly && elsewhere));
}

void TestTools::pdfSetAsQtSetsIt_data()
{
    QTest::addColumn<QString>("book"); // a fixture
    QTest::addColumn<int>("paper");
    QTest::addColumn<QString>("holds"); // a word the PDF reads as
    QTest::addColumn<QString>("producer"); // of the PDF set here
    QTest::newRow("generated, a4") << "print-generated.xml" << int(PrintBook::A4) << "siffle" << "Orvandel";
    QTest::newRow("generated, letter") << "print-generated.xml" << int(PrintBook::Letter) << "ENDURANCE" << "Orvandel";
    QTest::newRow("every section, a4") << "print-every-section.xml" << int(PrintBook::A4) << "CHANCE." << "Orvandel";
    QTest::newRow("every section, letter") << "print-every-section.xml" << int(PrintBook::Letter) << "malchanceux." << "Orvandel";
    QTest::newRow("blank lines, a4") << "print-blank-lines.xml" << int(PrintBook::A4) << "pont-levis," << "Orvandel";
    // Left to Qt's printing whole: the two are one.
    QTest::newRow("right to left") << "print-right-to-left.xml" << int(PrintBook::A4) << "voyageur." << "Qt 5";
}

// The book set out here is the book Qt's rich text sets out from the same
// HTML: the same words, each in the same place on the same page (Qt's PDF
// also holds the lines of the pages around each page, clipped away).
void TestTools::pdfSetAsQtSetsIt()
{
    QFETCH(QString, book);
    QFETCH(int, paper);
    QFETCH(QString, holds);
    QFETCH(QString, producer);
    BookReader reader;
    QVERIFY(reader.read(readBytes(fixture(book))));
    QTemporaryDir dir;
    struct Word
    {
        int page;
        QString text;
        qreal left, top, right;
    };
    QVector<Word> made[2];
    QVector<QByteArray> drawn[2]; // each page in grey at 20 dpi
    const QRegularExpression box("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"[\\d.]+\">([^<]*)</word>");
    const qreal foot = paper == PrintBook::A4 ? 734 : 684; // the body's, in points from the top
    for (const PrintBook::Typesetting typesetting : {PrintBook::Own, PrintBook::QtPrinting}) {
        PrintBook print(reader.book(), QStringLiteral("Épreuve"));
        QFile file(dir.filePath(QString("%1.pdf").arg(int(typesetting))));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY2(print.writePdf(&file, PrintBook::Paper(paper), 150, typesetting), qPrintable(print.errorString()));
        file.close();
        if (typesetting == PrintBook::Own)
            QVERIFY2(pdfInfo(file.fileName(), "Producer").startsWith(producer), qPrintable(pdfInfo(file.fileName(), "Producer")));
        const QString prefix = dir.filePath(QString("page%1").arg(int(typesetting)));
        QCOMPARE(run("pdftoppm", {"-gray", "-r", "20", file.fileName(), prefix}).status, 0);
        for (const QString &name : QDir(dir.path()).entryList({QFileInfo(prefix).fileName() + "-*.pgm"}, QDir::Files, QDir::Name))
            drawn[int(typesetting)].append(readBytes(dir.filePath(name)));
        const QStringList pages = QString::fromUtf8(run("pdftotext", {"-bbox", file.fileName(), "-"}).out).split("<page ");
        for (int page = 1; page < pages.size(); ++page) {
            for (auto it = box.globalMatch(pages.at(page)); it.hasNext();) {
                const QRegularExpressionMatch m = it.next();
                const qreal top = m.captured(2).toDouble();
                if (top < 106 || (top > foot - 1 && top < foot + 3))
                    continue; // outside the body, clipped away; the page number stands lower
                // Qt gives a ligature's glyph its own character, here the letters it joins.
                made[int(typesetting)].append({page, m.captured(4).normalized(QString::NormalizationForm_KC),
                                               m.captured(1).toDouble(), top, m.captured(3).toDouble()});
            }
        }
    }
    QVERIFY(made[0].size() > 40);
    QVERIFY(std::any_of(made[0].cbegin(), made[0].cend(), [&](const Word &w) { return w.text == holds.toHtmlEscaped(); }));
    QString first; // the first word out of place
    for (int i = 0; first.isEmpty() && i < std::max(made[0].size(), made[1].size()); ++i) {
        const Word a = made[0].value(i, {0, "-", 0, 0, 0}), b = made[1].value(i, {0, "-", 0, 0, 0});
        if (a.page != b.page || a.text != b.text || std::abs(a.left - b.left) > 0.05 || std::abs(a.top - b.top) > 0.05
            || std::abs(a.right - b.right) > 0.05)
            first = QString("page %1: %2 at %3,%4 | page %5: %6 at %7,%8")
                        .arg(a.page).arg(a.text).arg(a.left).arg(a.top).arg(b.page).arg(b.text).arg(b.left).arg(b.top);
    }
    QVERIFY2(first.isEmpty(), qPrintable(first));
    // No page ends on an entry's number or on a fight: the number stands with
    // the first line of its text, a fight with the line after it (these books
    // have both at a page's foot).
    QMap<int, QPair<qreal, QStringList>> last; // each page's last line
    for (const Word &w : qAsConst(made[0])) {
        auto &line = last[w.page];
        if (w.page > 3 && w.top < foot - 1 && w.top > line.first - 1) {
            if (w.top > line.first + 1)
                line = {w.top, QStringList()};
            line.second << w.text;
        }
    }
    for (auto it = last.cbegin(); it != last.cend(); ++it)
        QVERIFY2(!QRegularExpression("^\\d{3}$").match(it->second.join(' ')).hasMatch() && !it->second.contains("ENDURANCE"),
                 qPrintable(QString("page %1 ends on %2").arg(it.key()).arg(it->second.join(' '))));
    // And the pages look the same: the same ink in the same shades, within
    // half a grey level a pixel on average (glyphs drawn a little apart).
    QVERIFY(!drawn[0].isEmpty());
    QCOMPARE(drawn[0].size(), drawn[1].size());
    for (int page = 0; page < drawn[0].size(); ++page) {
        const QByteArray &a = drawn[0].at(page), &b = drawn[1].at(page);
        QCOMPARE(a.size(), b.size());
        qint64 off = 0;
        for (int i = 0; i < a.size(); ++i)
            off += std::abs(int(uchar(a.at(i))) - int(uchar(b.at(i))));
        QVERIFY2(off < a.size() / 2, qPrintable(QString("page %1 differs by %2").arg(page + 1).arg(off)));
    }
}

void TestTools::printedFacts_data()
{
    // Each fact within its entry, after the one before it there.
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("after");
    QTest::newRow("title page") << "" << "La Tour du Sorcier Jeanne Martin Règles" << "";
    QTest::newRow("choice as a wish") << "001" << "Si vous voulez ouvrir la porte, rendez-vous au 002." << "Vous entrez dans la tour.";
    QTest::newRow("choice that names its number") << "001" << "Si vous voulez combattre, rendez-vous au 003." << "au 002.";
    QTest::newRow("choice of purpose") << "001" << "Pour fuir, rendez-vous au 004." << "au 003.";
    QTest::newRow("choice without text") << "001" << "Rendez-vous au 005." << "au 004.";
    QTest::newRow("broken reference") << "001" << "Si vous voulez sauter par la fenêtre, rendez-vous au 99 (entrée absente)." << "au 005.";
    QTest::newRow("bonus") << "002" << "Ajoutez 2 points d'ENDURANCE. Perdez 1 point de CHANCE." << "Une salle basse.";
    QTest::newRow("object, gold, provisions, bonus; meal")
        << "002" << "Vous trouvez : Bourse de cuir, 10 pièces d'or et 2 repas. Ajoutez 1 point de CHANCE. Vous pouvez prendre un repas." << "de CHANCE.";
    QTest::newRow("fight") << "003" << "Troll HABILETÉ 8 ENDURANCE 10" << "l'escalier.";
    QTest::newRow("flight and its penalty") << "003" << "Après 2 assauts, vous pouvez prendre la fuite : rendez-vous au 004. Si vous fuyez, perdez 2 points d'ENDURANCE." << "ENDURANCE 10";
    QTest::newRow("victory") << "003" << "Si vous êtes vainqueur, rendez-vous au 006." << "perdez 2 points";
    QTest::newRow("test of luck") << "004" << "Tentez votre chance." << "somnole.";
    QTest::newRow("lucky, unlucky") << "004" << "Si vous êtes chanceux : Le garde ne se réveille pas. Rendez-vous au 005. "
                                                "Si vous êtes malchanceux : Le garde vous voit. Rendez-vous au 007." << "votre chance.";
    QTest::newRow("flight without a fight") << "005" << "Si vous prenez la fuite, rendez-vous au 006." << "ténèbres.";
    QTest::newRow("a victory") << "006" << "Vous avez réussi !" << "tombe.";
    QTest::newRow("a death") << "007" << "Votre aventure s'achève ici." << "s'abat.";
    QTest::newRow("an ending, no more") << "008" << "Fin." << "retombe.";
    QTest::newRow("a mark not known") << "010" << "Fin." << "Rien ne bouge.";
    QTest::newRow("victory at 0 ENDURANCE") << "009" << "Perdez 30 points d'ENDURANCE. Votre aventure s'achève ici." << "maudit.";
}

// The printed book says all a reader needs, as gamebooks say it, each
// entry's facts in its order; the title and author kept beside the book
// are the title page's and the PDF's.
void TestTools::printedFacts()
{
    QFETCH(QString, entry);
    QFETCH(QString, text);
    QFETCH(QString, after);
    static QString printed, title, author;
    if (printed.isEmpty()) {
        QTemporaryDir dir;
        QVERIFY(QFile::copy(fixture("print-facts.xml"), dir.filePath("livre.xml")));
        QVERIFY(writeBytes(dir.filePath("livre.xml.titre"), "auteur=Jeanne Martin\n"));
        const Run done = run(ORVANDEL_EXPORT, {"livre.xml", "--pdf", "livre.pdf"}, dir.path());
        QVERIFY2(done.status == 0, done.err.constData());
        // Read as a reader reads it: the page numbers at the feet passed over.
        printed = readerText(pdfText(dir.filePath("livre.pdf"), 1, 100).replace(QRegularExpression("\\n\\d+\\n*\\f"), "\n"));
        title = pdfInfo(dir.filePath("livre.pdf"), "Title");
        author = pdfInfo(dir.filePath("livre.pdf"), "Author");
    }
    // No title kept: the root name, read as words.
    QCOMPARE(title, "La Tour du Sorcier");
    QCOMPARE(author, "Jeanne Martin");
    // The entry: from its number on a line of its own to the next one's.
    int from = 0, to = printed.size();
    if (!entry.isEmpty()) {
        const QRegularExpression heading(QString("(^| )%1 ").arg(entry));
        from = printed.indexOf(heading, printed.indexOf(" Équipement :"));
        QVERIFY2(from >= 0, qPrintable(entry));
        const int next = printed.indexOf(QRegularExpression(" \\d{3} "), from + 4);
        to = next < 0 ? printed.size() : next;
    }
    const QString section = printed.mid(from, to - from);
    const int previous = section.indexOf(readerText(after));
    QVERIFY2(previous >= 0, qPrintable(section));
    QVERIFY2(section.indexOf(readerText(text), previous) >= 0, qPrintable(section));
}

// Where the test of luck falls at the foot of a page, its call goes over
// with its first outcome: no page ends on "Tentez votre chance." alone.
void TestTools::luckKeptWithItsOutcome()
{
    QTemporaryDir dir;
    QVERIFY(QFile::copy(fixture("print-facts.xml"), dir.filePath("livre.xml")));
    const Run done = run(ORVANDEL_EXPORT, {"livre.xml", "--pdf", "livre.pdf"}, dir.path());
    QVERIFY2(done.status == 0, done.err.constData());
    const QStringList pages = pdfText(dir.filePath("livre.pdf"), 1, 100).split(QLatin1Char('\f'));
    int called = 0;
    for (const QString &page : pages) {
        QStringList lines = page.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        while (!lines.isEmpty() && QRegularExpression("^\\d+$").match(lines.last()).hasMatch())
            lines.removeLast(); // the page number
        called += page.count("Tentez votre chance. Si vous êtes chanceux");
        QVERIFY2(lines.isEmpty() || lines.last() != "Tentez votre chance.", qPrintable(lines.join(" / ")));
    }
    QCOMPARE(called, 1);
}

void TestTools::exportSaysFaults_data()
{
    QTest::addColumn<QString>("book");
    QTest::addColumn<QString>("option");
    QTest::addColumn<QStringList>("faults"); // what standard error says, in its order
    const QStringList flawed{"livre.xml : 000 : Renvoi vers une entrée absente : choix vers 99 : cette entrée n'existe pas",
                             "livre.xml : 001 : Renvoi qui n'est pas un numéro : victoire : « abc » n'est pas un numéro d'entrée",
                             "livre.xml : 002 : Numéro en double : le numéro 2 est déjà celui de l'entrée de la ligne 13"};
    // (A story has no room for two entries of one number: no Twee of that one.)
    for (const char *option : {"--pdf", "--print-html", "--html", "--epub", "--twee"}) {
        if (strcmp(option, "--twee"))
            QTest::addRow("flawed, %s", option) << "check-flawed.xml" << QString(option) << flawed;
        QTest::addRow("clean, %s", option) << "check-clean.xml" << QString(option) << QStringList();
    }
}

// Before a book is published its check runs: what is wrong with it is said
// on standard error, and the book is published all the same.
void TestTools::exportSaysFaults()
{
    QFETCH(QString, book);
    QFETCH(QString, option);
    QFETCH(QStringList, faults);
    QTemporaryDir dir;
    QVERIFY(QFile::copy(fixture(book), dir.filePath("livre.xml")));
    const Run done = run(ORVANDEL_EXPORT, {"livre.xml", option, "sortie"}, dir.path());
    QCOMPARE(done.status, 0);
    QVERIFY(QFileInfo(dir.filePath("sortie")).size() > 0);
    const QStringList said = QString::fromUtf8(done.err).split('\n').filter(QRegularExpression("^orvandel-export: "));
    QCOMPARE(said.join('\n').remove("orvandel-export: "), faults.join('\n'));
}

void TestTools::printedTextsEscaped_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    for (const char *field : {"text", "choice", "monster", "object", "title"}) {
        QTest::addRow("%s, markup", field) << QString(field) << "<b>gras</b> & <script>x</script>";
        QTest::addRow("%s, entity", field) << QString(field) << "&amp; sel &lt;i&gt;";
    }
}

// Whatever a book's texts hold, the printed page shows them as text.
void TestTools::printedTextsEscaped()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    Entry e;
    e.id = QStringLiteral("000");
    e.text = field == "text" ? value : QStringLiteral("Début.");
    e.types.choice = e.choiceActive = true;
    e.choices = {{QStringLiteral("0"), field == "choice" ? value : QStringLiteral("Recommencer")}};
    if (field == "monster") {
        e.types.attack = true;
        e.monsters = {{value, QStringLiteral("7"), QStringLiteral("9"), QStringLiteral("0")}};
    }
    if (field == "object")
        e.objects = {{value, "0", "0", "0", "0", "0", "0", "0", QString()}};
    QTemporaryDir dir;
    QVERIFY(writeBytes(dir.filePath("livre.xml"), bookOf({e})));
    QStringList args{"livre.xml", "--print-html", "livre.html"};
    if (field == "title")
        args << "--title" << value;
    const Run done = run(ORVANDEL_EXPORT, args, dir.path());
    QVERIFY2(done.status == 0, done.err.constData());
    const QString page = QString::fromUtf8(readBytes(dir.filePath("livre.html")));
    QVERIFY2(page.contains(value.toHtmlEscaped()), qPrintable(page));
    QVERIFY(!page.contains(value));
}

void TestTools::dotLabelsReadBack_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("text");
    QTest::newRow("backslash last") << "000" << "C:\\";
    QTest::newRow("backslash and quote") << "000" << "un \\\" deux";
    QTest::newRow("quote last") << "000" << "dit \"";
    QTest::newRow("backslash n as two letters") << "a\\nb" << "x\\ny";
    QTest::newRow("Graphviz's own escapes") << "\\N" << "\\G \\E \\L \\l";
    QTest::newRow("backslash in the id") << "0\\" << "Texte";
}

// Whatever an entry's number or text holds, the DOT is one that dot reads,
// and its label reads back as the number and the text.
void TestTools::dotLabelsReadBack()
{
    QFETCH(QString, id);
    QFETCH(QString, text);
    Entry e;
    e.id = id;
    e.text = text;
    BookReader reader;
    QVERIFY2(reader.read(bookOf({e})), qPrintable(reader.errorString()));
    QCOMPARE(reader.book().entry(0).text, text);
    const QByteArray dot = BookMap::dot(reader.book(), {});
    QProcess graphviz;
    graphviz.start("dot", {"-Tcanon"});
    graphviz.write(dot);
    graphviz.closeWriteChannel();
    QVERIFY(graphviz.waitForFinished(60000));
    QVERIFY2(graphviz.exitCode() == 0 && graphviz.readAllStandardError().isEmpty(), dot.constData());
    MapLayout layout;
    QString error;
    QVERIFY2(BookMap::layOut(dot, &layout, &error), qPrintable(error));
    QCOMPARE(layout.nodes.value(0).lines, (QStringList{id, text}));
}

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
