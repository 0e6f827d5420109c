#include "export/printbook.h"

#include "book/atomicfile.h"
#include "book/booktitle.h"
#include "book/entryid.h"
#include "export/entryhtml.h"
#include "export/pdfpages.h"
#include "export/typesetter.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFileDevice>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

#include <algorithm>
#include <numeric>
#include <utility>


PrintBook::PrintBook(const Book &book, const QString &title, const QString &author)
    : book(book), title(title.isEmpty() ? BookTitle::titleFromRoot(book.rootName()) : title), author(author)
{
}

namespace {

// How a browser shows the page.
const char screenStyle[] = "font-family:serif;max-width:40em;margin:auto";

} // namespace

QString PrintBook::html() const
{
    return page(QLatin1String(screenStyle));
}

QString PrintBook::page(const QString &bodyStyle) const
{
    QString h;
    pieces(bodyStyle, [&h](const QString &piece) {
        h += piece;
        return true;
    });
    return h;
}

QVector<int> PrintBook::order(const Book &book)
{
    QVector<int> order(book.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&book](int a, int b) {
        const qint64 x = book.number(a) < 0 ? qint64(1) << 40 : book.number(a);
        const qint64 y = book.number(b) < 0 ? qint64(1) << 40 : book.number(b);
        return x < y;
    });
    return order;
}

QString PrintBook::rules()
{
    return tr("<div class='page'><h1 style='page-break-before: always'>Règles</h1>"
              "<p>Lancez un dé et ajoutez 6 : c'est votre HABILETÉ. Lancez deux dés et ajoutez 12 : "
              "c'est votre ENDURANCE. Lancez un dé et ajoutez 6 : c'est votre CHANCE.</p>"
              "<p><b>Combat.</b> À chaque assaut, lancez deux dés pour vous et ajoutez votre "
              "HABILETÉ, puis deux dés pour le monstre et ajoutez son HABILETÉ. Le plus fort blesse "
              "l'autre de 2 points d'ENDURANCE ; à égalité, personne n'est blessé. Celui dont "
              "l'ENDURANCE tombe à 0 a perdu.</p>"
              "<p><b>Fuite.</b> Là où le livre le permet, vous pouvez fuir un combat après l'assaut qu'il "
              "indique ; s'il le dit, fuir vous coûte 2 points d'ENDURANCE.</p>"
              "<p><b>Tentez votre chance.</b> Lancez deux dés : si le total est inférieur ou égal à "
              "votre CHANCE, vous êtes chanceux. Dans les deux cas, ôtez 1 point de CHANCE.</p>"
              "<p><b>Repas.</b> Là où c'est permis, un repas rend 4 points d'ENDURANCE.</p></div>");
}

QString PrintBook::adventureSheet()
{
    return tr("<div class='page'><h1 style='page-break-before: always'>Feuille d'aventure</h1>"
              "<table border='1' cellspacing='0' cellpadding='10' width='100%'>"
              "<tr><td>HABILETÉ<br>Départ :</td><td>ENDURANCE<br>Départ :</td><td>CHANCE<br>Départ :</td></tr>"
              "<tr><td colspan='3'>Or :</td></tr><tr><td colspan='3'>Provisions :</td></tr>"
              "<tr><td colspan='3' height='120'>Équipement :</td></tr></table></div>");
}

QString PrintBook::start(const QString &bodyStyle) const
{
    QString h = QStringLiteral("<!DOCTYPE html><html lang='fr'><head><meta charset='utf-8'><title>%1</title>"
                               "<style>body{%2}"
                               "h2.n{text-align:center;margin-top:1.5em;page-break-after:avoid;break-after:avoid}"
                               "table{page-break-inside:avoid;break-inside:avoid;page-break-after:avoid;break-after:avoid}"
                               "@media print{.page{page-break-after:always}}</style></head><body>")
                    .arg(EntryHtml::escaped(title), bodyStyle);
    h += QStringLiteral("<div class='page'><h1 align='center'>%1</h1>%2</div>")
             .arg(EntryHtml::escaped(title),
                  author.isEmpty() ? QString()
                                   : QStringLiteral("<p align='center'><big>%1</big></p>").arg(EntryHtml::escaped(author)));
    h += rules() + adventureSheet();
    return h + QStringLiteral("<p style='page-break-before: always'></p>");
}

QString PrintBook::end()
{
    return QStringLiteral("</body></html>");
}

bool PrintBook::pieces(const QString &bodyStyle, const std::function<bool(const QString &)> &out) const
{
    if (!out(start(bodyStyle)))
        return false;
    for (const int i : order(book))
        if (!out(EntryHtml::of(book, i, EntryHtml::Print)))
            return false;
    return out(end());
}

bool PrintBook::writeHtml(QIODevice *device)
{
    return pieces(QLatin1String(screenStyle), [this, device](const QString &piece) {
        return AtomicFile::writeAll(*device, piece.toUtf8(), &error);
    });
}

namespace {

// The PDF's own count of its pages (Qt writes one page tree), -1 without one.
int pagesIn(const QByteArray &pdf)
{
    const int tree = pdf.lastIndexOf("/Type /Pages");
    const int count = tree < 0 ? -1 : pdf.indexOf("/Count ", tree);
    if (count < 0)
        return -1;
    int end = count + 7;
    while (end < pdf.size() && pdf.at(end) >= '0' && pdf.at(end) <= '9')
        ++end;
    bool ok = false;
    const int pages = pdf.mid(count + 7, end - count - 7).toInt(&ok);
    return ok ? pages : -1;
}

// Qt's text layout reaches only so far down a document, in device units:
// it lays out in 26.6 fixed point held in an int, so that positions past
// 2^31 / 64 wrap round to negative ones, and QTextLayout draws no line that
// starts 2^23 down or further (the pages there come out blank).
const qreal drawnReach = 1 << 23;

// False when the book runs past that reach. A wrapped layout shows as
// something standing above what came before it down the root frame.
bool withinReach(const QTextDocument &document)
{
    const QAbstractTextDocumentLayout *layout = document.documentLayout();
    qreal top = 0;
    for (auto it = document.rootFrame()->begin(); !it.atEnd(); ++it) {
        const qreal at = it.currentFrame() ? layout->frameBoundingRect(it.currentFrame()).top()
                                           : layout->blockBoundingRect(it.currentBlock()).top();
        if (at < top)
            return false;
        top = at;
    }
    const qreal height = document.size().height();
    return height >= top && height <= drawnReach;
}

// The page a block's first line stands on, pages `height` high.
int pageOfFirstLine(const QTextDocument &document, const QTextBlock &block, qreal height)
{
    const QRectF box = document.documentLayout()->blockBoundingRect(block);
    const QTextLayout *layout = block.layout();
    const qreal top = box.top() + (layout && layout->lineCount() > 0 ? layout->lineAt(0).y() : 0);
    return int(top / height);
}

// As the book is set here (Typesetter): an entry's number stays on the page
// of its text's first line, a fight on the page of the line after it; the
// page breaks before the number or the fight otherwise. Each break moves
// what follows, which is looked at again from there (Qt lays the document
// out again down to the line asked about: the line after a table is asked
// about before the table).
void keepTogether(QTextDocument &document, qreal height)
{
    const QAbstractTextDocumentLayout *layout = document.documentLayout();
    const auto breakAfter = [](const QTextBlock &block) {
        QTextBlockFormat format = block.blockFormat();
        format.setPageBreakPolicy(format.pageBreakPolicy() | QTextFormat::PageBreak_AlwaysAfter);
        QTextCursor(block).setBlockFormat(format);
    };
    QTextBlock before; // the block above, which a page break follows
    bool entries = false;
    for (auto it = document.rootFrame()->begin(); !it.atEnd(); ++it) {
        auto next = it;
        ++next;
        if (next.atEnd() || !next.currentBlock().isValid()) {
            before = it.currentBlock();
            continue;
        }
        // What follows: the first line of text below (Qt ends a table with
        // an empty block of its own, laid out within it).
        QTextBlock following = next.currentBlock();
        while (following.isValid() && following.text().isEmpty())
            following = following.next();
        if (!following.isValid())
            break;
        const int after = pageOfFirstLine(document, following, height);
        // The pages before the entries are set as they are.
        entries = entries || (it.currentBlock().isValid() && it.currentBlock().blockFormat().headingLevel() == 2);
        if (!entries) {
        } else if (auto *table = qobject_cast<QTextTable *>(it.currentFrame())) {
            const QRectF box = layout->frameBoundingRect(table);
            // Split over two pages, or on the page before the line after it.
            if (before.isValid() && int(box.top() / height) != after)
                breakAfter(before);
        } else if (it.currentBlock().isValid() && it.currentBlock().blockFormat().headingLevel() == 2) {
            const QTextBlock heading = it.currentBlock();
            if (pageOfFirstLine(document, heading, height) != after
                && heading.blockFormat().pageBreakPolicy() == QTextFormat::PageBreak_Auto) {
                QTextBlockFormat format = heading.blockFormat();
                format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
                QTextCursor(heading).setBlockFormat(format);
            }
        }
        before = it.currentBlock();
    }
}

} // namespace

bool PrintBook::writePdf(QIODevice *device, Paper paper, int resolution, Typesetting typesetting)
{
    // Made whole in memory and its pages counted before a byte goes out.
    QByteArray made;
    int pages = 0;
    error.clear();
    if (typesetting == Own) {
        const QPageLayout layout(QPageSize(paper == Letter ? QPageSize::Letter : QPageSize::A4), QPageLayout::Portrait,
                                 QMarginsF(38, 38, 38, 38), QPageLayout::Millimeter);
        const QRect body = layout.paintRectPixels(resolution);
        PdfPages pdf(layout.fullRectPoints().size(), layout.paintRectPoints().topLeft(), resolution);
        Typesetter typesetter(pdf, body.size(), resolution);
        // The entries' HTML made some entries at a time, as the typesetter
        // asks for it (in a thread of its own).
        const QVector<int> entries = order(book);
        int at = 0;
        bool ended = false;
        const bool set = typesetter.set(start(QStringLiteral("font-family:serif")), [&](QString *piece) {
            if (at == entries.size()) {
                *piece = end();
                return !std::exchange(ended, true);
            }
            piece->clear();
            for (const int last = std::min<int>(at + 64, entries.size()); at < last; ++at)
                *piece += EntryHtml::of(book, entries.at(at), EntryHtml::Print);
            return true;
        }) == Typesetter::Done;
        if (set) {
            pages = pdf.pageCount();
            made = pdf.finish(title, QStringLiteral("Orvandel"), author);
        }
        if (made.isNull())
            typesetting = QtPrinting;
    }
    if (typesetting == QtPrinting && !printThroughQt(&made, &pages, paper, resolution))
        return false;
    const int written = pagesIn(made);
    if (written != pages) {
        error = tr("le PDF écrit compte %1 pages au lieu de %2").arg(written).arg(pages);
        return false;
    }
    if (!AtomicFile::writeAll(*device, made, &error))
        return false;
    auto *file = qobject_cast<QFileDevice *>(device);
    if (file && (!file->flush() || file->error() != QFileDevice::NoError)) {
        error = file->errorString();
        return false;
    }
    return true;
}

bool PrintBook::printThroughQt(QByteArray *bytes, int *laidOut, Paper paper, int resolution)
{
    QBuffer made(bytes);
    made.open(QIODevice::WriteOnly);
    QPdfWriter pdf(&made);
    pdf.setResolution(resolution);
    pdf.setTitle(title);
    pdf.setCreator(QStringLiteral("Orvandel"));
    pdf.setPageSize(QPageSize(paper == Letter ? QPageSize::Letter : QPageSize::A4));
    // The text stands 2 cm inside the printable area and the page number
    // under it on the right, as QTextDocument::print() sets a book out; the
    // pages are drawn here so that their count is known and checked.
    pdf.setPageMargins(QMarginsF(38, 38, 38, 38), QPageLayout::Millimeter);
    const QSizeF body(pdf.width(), pdf.height());

    QTextDocument document;
    document.documentLayout()->setPaintDevice(&pdf);
    // A browser centres the page; Qt reads "margin:auto" as a margin of 37
    // device units down each side (6 mm at 150 dpi).
    document.setHtml(page(QStringLiteral("font-family:serif")));
    QTextFrameFormat frame = document.rootFrame()->frameFormat();
    frame.setMargin(0);
    document.rootFrame()->setFrameFormat(frame);
    document.setPageSize(body);
    if (!withinReach(document)) {
        error = tr("le livre est trop long pour un seul PDF (au plus %1 pages)").arg(int(drawnReach / body.height()));
        return false;
    }

    keepTogether(document, body.height());
    const int pages = document.pageCount();

    QPainter painter;
    if (!painter.begin(&pdf)) {
        error = tr("le PDF n'a pas pu être commencé");
        return false;
    }
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, Qt::black);
    const QFont numberFont = document.defaultFont();
    for (int sheet = 0; sheet < pages; ++sheet) {
        if (sheet > 0 && !pdf.newPage()) {
            error = tr("la page %1 du PDF n'a pas pu être commencée").arg(sheet + 1);
            return false;
        }
        const QRectF view(QPointF(0, sheet * body.height()), body);
        painter.save();
        painter.translate(0, -view.top());
        painter.setClipRect(view);
        context.clip = view;
        document.documentLayout()->draw(&painter, context);
        painter.restore();
        painter.setFont(numberFont);
        const QString number = QString::number(sheet + 1);
        painter.drawText(QPointF(body.width() - painter.fontMetrics().horizontalAdvance(number),
                                 body.height() + painter.fontMetrics().ascent() + 5.0 * resolution / 72),
                         number);
    }
    if (!painter.end()) {
        error = tr("le PDF n'a pas pu être terminé");
        return false;
    }
    *laidOut = pages;
    return true;
}
