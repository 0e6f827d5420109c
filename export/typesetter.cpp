#include "export/typesetter.h"

#include "export/pdfpages.h"

#include <QAbstractTextDocumentLayout>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QPaintEngine>
#include <QPainter>
#include <QScopeGuard>
#include <QScreen>
#include <QTextBoundaryFinder>
#include <QTextDocument>
#include <QTextBlock>
#include <QTextFrame>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// Takes what Qt's layout draws of the front matter into the PDF: text
// (shaped again, the same way) and filled rectangles, the borders of its
// table. Anything else it cannot take, and says so.
class Recorder : public QPaintEngine
{
public:
    explicit Recorder(Typesetter *typesetter) : QPaintEngine(AllFeatures), typesetter(typesetter) {}

    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    Type type() const override { return User; }
    void updateState(const QPaintEngineState &state) override
    {
        if (state.state() & DirtyTransform) {
            const QTransform t = state.transform();
            if (t.type() > QTransform::TxTranslate)
                failed = true;
            offset = QPointF(t.dx(), t.dy());
        }
        if (state.state() & DirtyBrush)
            brush = state.brush();
        if (state.state() & DirtyPen)
            pen = state.pen();
    }
    void drawRects(const QRectF *rects, int count) override
    {
        if (pen.style() != Qt::NoPen || (brush.style() != Qt::SolidPattern && brush.style() != Qt::NoBrush)) {
            failed = true;
            return;
        }
        if (brush.style() == Qt::SolidPattern)
            for (int i = 0; i < count; ++i)
                typesetter->pdf.fill(rects[i].translated(offset), brush.color().rgb());
    }
    void drawRects(const QRect *rects, int count) override
    {
        for (int i = 0; i < count; ++i) {
            const QRectF r(rects[i]);
            drawRects(&r, 1);
        }
    }
    void drawTextItem(const QPointF &p, const QTextItem &item) override
    {
        if (pen.color().rgb() != qRgb(0, 0, 0))
            failed = true;
        const Typesetter::Shaped &shaped = typesetter->shapeWith(item.font(), -1, item.text());
        if (!typesetter->draw(shaped, p.x() + offset.x(), p.y() + offset.y()))
            failed = true;
    }
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override { failed = true; }
    void drawPath(const QPainterPath &) override { failed = true; }
    void drawLines(const QLineF *, int) override { failed = true; }
    void drawLines(const QLine *, int) override { failed = true; }
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override { failed = true; }
    void drawPolygon(const QPoint *, int, PolygonDrawMode) override { failed = true; }
    void drawEllipse(const QRectF &) override { failed = true; }
    void drawImage(const QRectF &, const QImage &, const QRectF &, Qt::ImageConversionFlags) override { failed = true; }
    void drawTiledPixmap(const QRectF &, const QPixmap &, const QPointF &) override { failed = true; }

    Typesetter *typesetter;
    QPointF offset;
    QBrush brush;
    QPen pen;
    bool failed = false;
};

namespace {

// What one thread makes handed to another, in order, at most `limit` items
// ahead of the taker.
template<typename T>
class Handover
{
public:
    explicit Handover(std::size_t limit) : limit(limit) {}
    // Waits for room; false once the taker has given up.
    bool put(T item)
    {
        std::unique_lock<std::mutex> lock(mutex);
        room.wait(lock, [this] { return stopped || items.size() < limit; });
        if (stopped)
            return false;
        items.push_back(std::move(item));
        ready.notify_one();
        return true;
    }
    void close()
    {
        std::lock_guard<std::mutex> lock(mutex);
        closed = true;
        ready.notify_one();
    }
    void stop()
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopped = true;
        room.notify_all();
    }
    // The next item, waited for; false when there are no more.
    bool take(T *item)
    {
        std::unique_lock<std::mutex> lock(mutex);
        ready.wait(lock, [this] { return !items.empty() || closed; });
        if (items.empty())
            return false;
        *item = std::move(items.front());
        items.pop_front();
        room.notify_one();
        return true;
    }

private:
    const std::size_t limit;
    std::mutex mutex;
    std::condition_variable ready, room;
    std::deque<T> items;
    bool closed = false, stopped = false;
};

// Qt's rich text gives its CSS pixels in device units at this ratio.
qreal pixelScale(int resolution)
{
    int dpi = 100;
    if (QCoreApplication::testAttribute(Qt::AA_Use96Dpi))
        dpi = 96;
    else if (const QScreen *screen = QGuiApplication::primaryScreen())
        dpi = qRound(screen->logicalDotsPerInchY());
    return qreal(resolution) / dpi;
}

bool rightToLeft(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x590)
            continue;
        switch (c.direction()) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirRLI:
        case QChar::DirAN:
            return true;
        default:
            break;
        }
    }
    return false;
}

// Qt's layout counts in 64ths of a device unit, rounding and ceiling there.
qreal fixedRound(qreal v)
{
    return std::floor((qRound(v * 64) + 32) / 64.0);
}

qreal fixedCeil(qreal v)
{
    return std::ceil(qRound(v * 64) / 64.0);
}


bool whiteSpace(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')
        || c == QLatin1Char('\f');
}

} // namespace

// Words of Latin letters, digits and apostrophes, ended by stops,
// commas, colons, semicolons, exclamation or question marks (no break
// before any of these, nor on either side of an apostrophe).
bool Typesetter::breaksAtSpacesOnly(QStringView text)
{
    bool ending = false; // in the marks that end a word
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u == ' ') {
            ending = false;
        } else if (u == '.' || u == ',' || u == ';' || u == ':' || u == '!' || u == '?') {
            ending = true;
        } else if (ending
                   || !((u >= '0' && u <= '9') || u == '\'' || u == 0x2019 || (u < 0x250 && c.isLetter()))) {
            return false;
        }
    }
    return true;
}

Typesetter::Typesetter(PdfPages &pdf, const QSizeF &body, int resolution)
    : pdf(pdf), body(body), resolution(resolution), scale(pixelScale(resolution)), recorder(new Recorder(this)),
      numberFont(QGuiApplication::font()), numberMetrics(numberFont, this)
{
    fonts[PageNumber] = numberFont;
    fontSet[PageNumber] = true;
}

Typesetter::~Typesetter() = default;

QPaintEngine *Typesetter::paintEngine() const
{
    return recorder.data();
}

int Typesetter::metric(PaintDeviceMetric metric) const
{
    switch (metric) {
    case PdmWidth:
        return int(body.width());
    case PdmHeight:
        return int(body.height());
    case PdmWidthMM:
        return qRound(body.width() * 25.4 / resolution);
    case PdmHeightMM:
        return qRound(body.height() * 25.4 / resolution);
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return resolution;
    case PdmDepth:
        return 32;
    case PdmNumColors:
        return INT_MAX;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return int(devicePixelRatioFScale());
    }
    return 0;
}

bool Typesetter::fail(const QString &why)
{
    if (reason.isEmpty())
        reason = why;
    return false;
}

void Typesetter::findFonts()
{
    for (const int format : {0, int(Bold), int(Italic), int(Heading2)})
        QFontInfo(font(format)).family();
}

QFont Typesetter::font(int format)
{
    QFont f = QGuiApplication::font();
    f.setFamily(QStringLiteral("serif"));
    f.setPointSizeF(format & Heading1 ? 24 : format & Heading2 ? 18 : 12);
    f.setBold(format & (Bold | Heading1 | Heading2));
    f.setItalic(format & Italic);
    return f;
}

const Typesetter::Shaped &Typesetter::shape(int format, QStringView text)
{
    auto it = cache[format].constFind(Key{text});
    if (it != cache[format].constEnd())
        return *it;
    if (!fontSet[format]) {
        fonts[format] = font(format);
        fontSet[format] = true;
    }
    // Numbers are most of what a book shapes once each ("au 042.", the
    // headings): they are made up of their characters, shaped one by one,
    // while the font sets those side by side as Qt would. The first
    // numbers of each format are shaped by Qt as well and compared: any
    // difference (kerning, another font) and the format's numbers go
    // through Qt alone.
    if (composing[format] != Never && isNumber(text)) {
        Shaped made;
        if (composed(format, text, &made)) {
            if (composing[format] == Always)
                return *cache[format].insert(Key{QStringView(made.text)}, made);
            const Shaped &qt = shapeWith(fonts[format], format, text);
            if (sameShape(made, qt)) {
                if (++checked[format] >= numbersChecked)
                    composing[format] = Always;
            } else {
                composing[format] = Never;
            }
            return qt;
        }
        composing[format] = Never;
    }
    return shapeWith(fonts[format], format, text);
}

bool Typesetter::isNumber(QStringView text)
{
    int end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    int digits = 0;
    while (digits < end && text.at(digits) >= QLatin1Char('0') && text.at(digits) <= QLatin1Char('9'))
        ++digits;
    return digits > 0 && (digits == end || (digits == end - 1 && QStringView(u".,").contains(text.at(digits))));
}

// `text` as its characters shaped alone, side by side, in one run.
bool Typesetter::composed(int format, QStringView text, Shaped *made)
{
    made->text = text.toString();
    PdfPages::Text run;
    qreal x = 0, natural = 0;
    for (int i = 0; i < text.size(); ++i) {
        const Shaped &one = shapeWith(fonts[format], format, text.mid(i, 1));
        if (one.runs.size() != 1 || (run.font >= 0 && one.runs.at(0).font != run.font))
            return false;
        const PdfPages::Text &glyph = one.runs.at(0);
        if (i == 0) {
            run.font = glyph.font;
            run.start = glyph.start;
            made->ascent = one.ascent;
            made->descent = one.descent;
            made->leading = one.leading;
        }
        run.bytes += glyph.bytes;
        x += one.width;
        if (text.at(i) != QLatin1Char(' '))
            natural = x;
    }
    run.advance = x - run.start;
    made->runs.append(run);
    made->width = x;
    made->natural = natural;
    return true;
}

bool Typesetter::sameShape(const Shaped &a, const Shaped &b)
{
    const auto near = [](qreal x, qreal y) { return std::abs(x - y) < 1e-4; };
    return a.runs.size() == 1 && b.runs.size() == 1 && a.runs.at(0).font == b.runs.at(0).font
        && a.runs.at(0).bytes == b.runs.at(0).bytes && near(a.runs.at(0).start, b.runs.at(0).start)
        && near(a.runs.at(0).advance, b.runs.at(0).advance) && near(a.width, b.width) && near(a.natural, b.natural)
        && near(a.ascent, b.ascent) && near(a.descent, b.descent) && near(a.leading, b.leading);
}

const Typesetter::Shaped &Typesetter::shapeWith(const QFont &font, int format, QStringView piece)
{
    // Pieces of the front matter come in any font: they are few.
    QHash<Key, Shaped> &table = cache[format < 0 ? 15 : format];
    if (format == PageNumber && !layouts[format]) {
        layouts[format].reset(new QTextLayout(QString(), font, this));
        layouts[format]->setCacheEnabled(true);
    }
    const QString key = format < 0 ? font.key() + QChar(0) + piece.toString() : QString();
    auto it = table.constFind(Key{format < 0 ? QStringView(key) : piece});
    if (it != table.constEnd())
        return *it;
    const QString text = piece.toString();
    Shaped shaped;
    shaped.text = format < 0 ? key : text;
    if (rightToLeft(text))
        fail(QStringLiteral("texte de droite à gauche"));
    // One layout a format: its font is resolved once.
    QScopedPointer<QTextLayout> own;
    QTextLayout *layout = format >= 0 ? layouts[format].data() : nullptr;
    if (!layout) {
        layout = new QTextLayout(QString(), font, this);
        // The glyphs shaped to lay the line out are the glyphs asked for
        // after (without it, Qt drops them and shapes the text again).
        layout->setCacheEnabled(true);
        if (format >= 0)
            layouts[format].reset(layout);
        else
            own.reset(layout);
    }
    layout->setText(text);
    layout->beginLayout();
    QTextLine line = layout->createLine();
    layout->endLayout();
    shaped.ascent = line.ascent();
    shaped.descent = line.descent();
    shaped.leading = line.leading();
    shaped.natural = line.naturalTextWidth();
    shaped.width = shaped.natural;
    const QList<QGlyphRun> runs = layout->glyphRuns();
    for (const QGlyphRun &glyphRun : runs) {
        const QVector<quint32> glyphs = glyphRun.glyphIndexes();
        const QVector<QPointF> positions = glyphRun.positions();
        QVector<qreal> x;
        x.reserve(positions.size());
        for (const QPointF &p : positions) {
            if (std::abs(p.y() - shaped.ascent) > 1e-6)
                fail(QStringLiteral("glyphes hors de la ligne"));
            x.append(p.x());
        }
        if (glyphs.isEmpty())
            continue;
        const QRawFont font = glyphRun.rawFont();
        QPointF advance;
        font.advancesForGlyphIndexes(&glyphs.last(), &advance, 1);
        shaped.width = std::max(shaped.width, x.last() + advance.x());
        pdf.reads(font, glyphs, text);
        const PdfPages::Text run = pdf.prepare(font, glyphs.constData(), x.constData(), glyphs.size());
        if (run.font < 0)
            fail(QStringLiteral("police sans contours TrueType"));
        shaped.runs.append(run);
        shaped.lastRun = x;
    }
    // Spaces that end a piece count only if a word follows on the line.
    int spaces = 0;
    while (spaces < text.size() && text.at(text.size() - 1 - spaces) == QLatin1Char(' '))
        ++spaces;
    shaped.natural = shaped.width;
    if (spaces > 0 && shaped.lastRun.size() >= spaces)
        shaped.natural = shaped.lastRun.at(shaped.lastRun.size() - spaces);
    shaped.lastRun.clear();
    // The key stands for the text the piece holds, which stays where it is.
    const QStringView held = shaped.text;
    return *table.insert(Key{held}, shaped);
}

qreal Typesetter::lineHeight(int format, bool step)
{
    // As paragraph() sets a line of that format alone: its height, or how
    // far down the next block starts.
    const Shaped &empty = shape(format, QString());
    return step ? std::max(std::ceil(empty.ascent + empty.descent + empty.leading),
                           empty.ascent + empty.descent + std::max(empty.leading, qreal(0)))
                : empty.ascent + empty.descent + std::max(empty.leading, qreal(0));
}

bool Typesetter::draw(const Shaped &shaped, qreal x, qreal baseline)
{
    for (const PdfPages::Text &run : shaped.runs)
        pdf.text(run, QPointF(x, baseline));
    return reason.isEmpty();
}

void Typesetter::pageNumber()
{
    const QString number = QString::number(page + 1);
    const Shaped &shaped = shape(PageNumber, number);
    // Set right as Qt's metrics would place it: their whole pixels of the
    // number's advance, the width just shaped.
    draw(shaped, body.width() - qRound(shaped.width),
         body.height() + numberMetrics.ascent() + 5.0 * resolution / 72);
}

void Typesetter::newPage()
{
    if (page >= 0)
        pageNumber();
    pdf.newPage();
    ++page;
}

void Typesetter::place(qreal height)
{
    // What starts below the page is on a page further down; what would
    // cross the page's foot goes to the top of the next.
    while (y >= (page + 1) * body.height())
        newPage();
    if (y + height > (page + 1) * body.height() && y > page * body.height()) {
        newPage();
        y = page * body.height();
    }
}

Typesetter::Result Typesetter::set(const QString &start, const std::function<bool(QString *piece)> &next)
{
    // The front matter ends with an empty paragraph that breaks the page
    // before the first entry.
    static const QString entriesStart = QStringLiteral("<p style='page-break-before: always'></p>");
    const int split = start.indexOf(entriesStart);
    if (split < 0 || split + entriesStart.size() != start.size())
        return fail(QStringLiteral("livre sans entrées")), NotMine;
    // The margins of an entry's heading and paragraphs as Qt reads the
    // page's style (an em of the heading depends on the screen's dpi).
    QTextDocument sample;
    sample.setHtml(start.left(start.indexOf(QLatin1String("<body>")) + 6)
                   + QStringLiteral("<h2 class='n'>0</h2><p>0</p></body></html>"));
    const QTextBlockFormat heading = sample.begin().blockFormat(), text = sample.begin().next().blockFormat();
    headingMargins = {heading.topMargin(), heading.bottomMargin()};
    textMargins = {text.topMargin(), text.bottomMargin()};
    // Qt sets its Thai line breaking up, unguarded, the first time it meets
    // Thai text. The reading thread meets the entries' before they are set
    // here; Thai in the front matter is met here before that thread starts.
    if (std::any_of(start.cbegin(), start.cend(), [](QChar c) { return c.unicode() >= 0xe00 && c.unicode() < 0xe80; }))
        QTextBoundaryFinder(QTextBoundaryFinder::Line, QStringLiteral("\u0e01\u0e32\u0e23")).toNextBoundary();
    // The entries are read in a thread of their own, some pieces ahead
    // (the first while the front matter is set), while the entries read
    // before are set here.
    QString unread; // why the entries could not be read
    {
        Handover<QVector<Block>> blocks(16);
        std::thread reading([&next, &blocks, &unread] {
            Reading state;
            QString piece;
            while (next(&piece)) {
                QVector<Block> read;
                if (!Typesetter::read(piece, state, &read)) {
                    unread = state.why;
                    break;
                }
                if (!blocks.put(std::move(read)))
                    break;
            }
            if (unread.isEmpty() && (state.block >= 0 || state.inTable))
                unread = QStringLiteral("HTML inachevé");
            blocks.close();
        });
        // However this ends, the thread is told to stop, and waited for.
        const auto ended = qScopeGuard([&blocks, &reading] {
            blocks.stop();
            QVector<Block> rest;
            while (blocks.take(&rest))
                ;
            reading.join();
        });
        const bool frontSet = front(start.left(split) + QStringLiteral("</body></html>"));
        bool first = true; // the first entry starts a page
        QVector<Block> read;
        for (bool more = frontSet; more && blocks.take(&read);) {
            for (const Block &block : qAsConst(read)) {
                if (!setBlock(block, first)) {
                    more = false;
                    break;
                }
                first = false;
            }
        }
    }
    if (!unread.isEmpty())
        fail(unread);
    if (!reason.isEmpty())
        return NotMine;
    if (page >= 0)
        pageNumber();
    return reason.isEmpty() ? Done : NotMine;
}

bool Typesetter::front(const QString &html)
{
    QTextDocument document;
    document.documentLayout()->setPaintDevice(this);
    document.setHtml(html);
    QTextFrameFormat frame = document.rootFrame()->frameFormat();
    frame.setMargin(0);
    document.rootFrame()->setFrameFormat(frame);
    document.setPageSize(body);
    const int pages = document.pageCount();
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, Qt::black);
    for (int sheet = 0; sheet < pages; ++sheet) {
        newPage();
        QPainter painter(this);
        const QRectF view(QPointF(0, sheet * body.height()), body);
        painter.translate(0, -view.top());
        painter.setClipRect(view);
        context.clip = view;
        document.documentLayout()->draw(&painter, context);
    }
    y = pages * body.height();
    if (recorder->failed)
        return fail(QStringLiteral("mise en page des premières pages"));
    return reason.isEmpty();
}

bool Typesetter::paragraph(const Block &block, bool centred, qreal top, qreal bottom, bool pageBreak)
{
    const int format = block.format;
    if (!pageBreak) {
        y += qRound(64 * (afterTable ? top : std::max(margin, top))) / 64.0; // in Qt's 64ths
        // An entry's number stays with the first line of its text: when the
        // number fits at the page's foot and that line does not, both go to
        // the next page (as printing through Qt breaks the page there).
        if (format == Heading2 && y > page * body.height() && y < (page + 1) * body.height()) {
            const qreal below = y + lineHeight(Heading2, true)
                + qRound(64 * std::max(bottom, textMargins.first * scale)) / 64.0 + lineHeight(0, false);
            if (y + lineHeight(Heading2, false) <= (page + 1) * body.height() && below > (page + 1) * body.height())
                pageBreak = true;
        }
    }
    if (pageBreak) {
        newPage();
        y = page * body.height() + top;
    }
    const QString &text = block.text;
    const QVector<int> &formats = block.formats;
    line.resize(0);
    qreal full = 0, natural = 0, lineY = y, height = 0, step = 0;
    const qreal width = body.width();
    auto flush = [&](const Shaped &metrics) {
        qreal ascent = metrics.ascent, descent = metrics.descent, leading = metrics.leading;
        for (const Item &item : qAsConst(line)) {
            ascent = std::max(ascent, item.shaped->ascent);
            descent = std::max(descent, item.shaped->descent);
            leading = std::max(leading, item.shaped->leading);
        }
        // As Qt: the line's height counts its leading if positive; the next
        // line comes down by the height with the leading, rounded up.
        height = ascent + descent + std::max(leading, qreal(0));
        step = std::ceil(ascent + descent + leading);
        place(height);
        const qreal left = centred ? (width - natural) / 2 : 0;
        for (const Item &item : qAsConst(line))
            if (!draw(*item.shaped, left + item.x, y - page * body.height() + ascent))
                return false;
        lineY = y;
        y += step;
        line.resize(0);
        full = natural = 0;
        return true;
    };
    const Shaped &empty = shape(format, QString());
    const int *nextStop = block.stops.constData();
    int from = 0;
    while (from <= text.size()) {
        int end = text.indexOf(QLatin1Char('\n'), from);
        if (end < 0)
            end = text.size();
        const QStringView group = QStringView(text).mid(from, end - from);
        int start = 0, boundary = 0;
        while (start < group.size()) {
            if (boundary <= start) {
                Q_ASSERT(nextStop < block.stops.constEnd());
                boundary = *nextStop++;
            }
            // Qt's lines also break after every space, whatever follows it.
            int stop = start + 1;
            while (stop < boundary && !(group.at(stop - 1) == QLatin1Char(' ') && group.at(stop) != QLatin1Char(' ')))
                ++stop;
            // One unbreakable stretch, in pieces of one format each.
            pieceItems.resize(0);
            qreal segmentFull = 0, segmentNatural = 0;
            for (int at = start; at < stop;) {
                const int f = formats.at(from + at);
                int next = at + 1;
                while (next < stop && formats.at(from + next) == f)
                    ++next;
                const Shaped &s = shape(f, group.mid(at, next - at));
                pieceItems.append({&s, segmentFull});
                segmentNatural = segmentFull + s.natural;
                segmentFull += s.width;
                at = next;
            }
            if (!line.isEmpty() && full + segmentNatural > width && !flush(empty))
                return false;
            if (line.isEmpty() && segmentNatural > width)
                return fail(QStringLiteral("un mot plus large que la ligne"));
            for (const Item &item : qAsConst(pieceItems))
                line.append({item.shaped, full + item.x});
            natural = full + segmentNatural;
            full += segmentFull;
            start = stop;
        }
        if (!flush(empty))
            return false;
        if (group.isEmpty()) // its end, not asked for
            ++nextStop;
        from = end + 1;
    }
    y = lineY + std::max(step, height);
    margin = bottom;
    afterTable = false;
    return reason.isEmpty();
}

bool Typesetter::table(const QVector<QVector<Cell>> &rows)
{
    // As Qt sets out <table border='1' cellspacing='0' cellpadding='4'>
    // whose cells hold one line each: every column as wide as its widest
    // text and padding, rounded up to a whole unit, every row as high as its
    // tallest text and padding, rounded; framed in raised and sunken borders.
    const qreal border = qRound(scale), padding = 4 * scale;
    QVector<qreal> columns;
    QVector<qreal> heights(rows.size(), 0), ascents(rows.size(), 0);
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < rows.at(r).size(); ++c) {
            qreal natural = 0, full = 0;
            const Shaped &empty = shape(0, QString());
            qreal ascent = empty.ascent, descent = empty.descent;
            for (const Piece &piece : rows.at(r).at(c).pieces) {
                const Shaped &s = shape(piece.format, piece.text);
                natural = full + s.natural;
                full += s.width;
                ascent = std::max(ascent, s.ascent);
                descent = std::max(descent, s.descent);
            }
            if (columns.size() <= c)
                columns.append(0);
            columns[c] = std::max(columns.at(c), fixedCeil(natural + 2 * padding));
            heights[r] = std::max(heights.at(r), fixedRound(ascent + descent + 2 * padding));
            ascents[r] = std::max(ascents.at(r), ascent);
        }
    }
    qreal width = 2 * border, height = 2 * border;
    for (const qreal c : qAsConst(columns))
        width += c + 2 * border;
    for (const qreal h : qAsConst(heights))
        height += h + 2 * border;
    if (width > body.width())
        return fail(QStringLiteral("un tableau plus large que la page"));
    // A fight stays with the line that follows it ("Si vous êtes
    // vainqueur…"): a table that fits at the page's foot while that line
    // does not goes to the next page.
    const qreal foot = (page + 1) * body.height();
    if (y > page * body.height() && y + height <= foot
        && y + height + qRound(64 * textMargins.first * scale) / 64.0 + lineHeight(0, false) > foot) {
        newPage();
        y = page * body.height();
    }
    place(height);
    // Qt draws a table from its top rounded to a whole unit.
    const qreal top = std::round(y - page * body.height());
    auto frame = [&](const QRectF &r, QRgb topLeft, QRgb bottomRight) {
        pdf.fill(QRectF(r.x(), r.y(), border, r.height()), topLeft);
        pdf.fill(QRectF(r.x() + border, r.y(), r.width() - border, border), topLeft);
        pdf.fill(QRectF(r.right() - border, r.y() + border, border, r.height() - 2 * border), bottomRight);
        pdf.fill(QRectF(r.x() + border, r.bottom() - border, r.width() - border, border), bottomRight);
    };
    const QRgb light = qRgb(0xc0, 0xc0, 0xc0), dark = qRgb(0x80, 0x80, 0x80);
    frame(QRectF(0, top, width, height), light, dark);
    qreal rowTop = top + border;
    for (int r = 0; r < rows.size(); ++r) {
        const qreal rowHeight = heights.at(r) + 2 * border;
        qreal left = border;
        for (int c = 0; c < columns.size(); ++c) {
            const qreal cellWidth = columns.at(c) + 2 * border;
            frame(QRectF(left, rowTop, cellWidth, rowHeight), dark, light);
            if (c < rows.at(r).size()) {
                qreal x = left + border + padding;
                for (const Piece &piece : rows.at(r).at(c).pieces) {
                    const Shaped &s = shape(piece.format, piece.text);
                    if (!draw(s, x, rowTop + border + padding + ascents.at(r)))
                        return false;
                    x += s.width;
                }
            }
            left += cellWidth;
        }
        rowTop += rowHeight;
    }
    y += height;
    margin = 0;
    afterTable = true;
    return reason.isEmpty();
}

bool Typesetter::setBlock(const Block &block, bool first)
{
    if (block.format < 0) {
        if (first)
            return fail(QStringLiteral("tableau"));
        return table(block.rows) || fail(QStringLiteral("tableau"));
    }
    const QPair<qreal, qreal> margins = block.format == Heading2 ? headingMargins : textMargins;
    return paragraph(block, block.format == Heading2, margins.first * scale, margins.second * scale, first);
}

void Typesetter::prepare(const QVector<Piece> &pieces, Reading &state, Block *block)
{
    for (const Piece &piece : pieces) {
        block->text += piece.text;
        block->formats.insert(block->formats.size(), piece.text.size(), piece.format);
    }
    const QString &text = block->text;
    for (int from = 0; from <= text.size();) {
        int end = text.indexOf(QLatin1Char('\n'), from);
        if (end < 0)
            end = text.size();
        const QStringView group = QStringView(text).mid(from, end - from);
        // Where Qt may break the lines, asked of Qt unless only the spaces
        // (most text): its attributes in a buffer of ours.
        if (!breaksAtSpacesOnly(group)) {
            QByteArray &buffer = state.breakBuffer;
            if (buffer.size() < group.size() + 1)
                buffer.resize(std::max<int>(group.size() + 1, 2 * buffer.size()));
            QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, group.data(), group.size(),
                                       reinterpret_cast<unsigned char *>(buffer.data()), buffer.size());
            for (int boundary = breaks.toNextBoundary(); boundary > 0 && boundary < group.size();
                 boundary = breaks.toNextBoundary())
                if (breaks.boundaryReasons() & QTextBoundaryFinder::BreakOpportunity)
                    block->stops.append(boundary);
        }
        block->stops.append(group.size());
        from = end + 1;
    }
}

bool Typesetter::read(const QString &html, Reading &state, QVector<Block> *blocks)
{
    // The entries as EntryHtml writes them for print: headings, paragraphs
    // with line ends, bold and italics, and fights as tables.
    QVector<Piece> &pieces = state.pieces;
    QVector<QVector<Cell>> &rows = state.rows;
    QString &text = state.text;
    int &format = state.format;
    int &block = state.block;
    bool &inTable = state.inTable, &inCell = state.inCell, &spaced = state.spaced;
    const auto fail = [&state](const QString &why) {
        state.why = why;
        return false;
    };
    const int n = html.size();
    const QChar *s = html.constData();
    auto flushText = [&]() {
        if (text.isEmpty())
            return;
        QVector<Piece> &into = inCell ? rows.last().last().pieces : pieces;
        const int f = format | (block > 0 ? block : 0);
        if (!into.isEmpty() && into.last().format == f)
            into.last().text += text;
        else
            into.append({f, text});
        text.clear();
    };
    auto addChar = [&](QChar c) {
        // HTML white space: a run is one space, none at the start of a line.
        if (whiteSpace(c)) {
            if (spaced)
                return;
            c = QLatin1Char(' ');
            spaced = true;
        } else {
            spaced = false;
        }
        text += c;
    };
    for (int i = 0; i < n;) {
        if (s[i] == QLatin1Char('<')) {
            const int close = html.indexOf(QLatin1Char('>'), i);
            if (close < 0)
                return fail(QStringLiteral("balise non fermée"));
            const QStringRef tag = html.midRef(i + 1, close - i - 1);
            i = close + 1;
            if (tag == QLatin1String("h2 class='n'") && block < 0 && !inTable) {
                block = Heading2;
                spaced = true;
            } else if (tag == QLatin1String("p") && block < 0 && !inTable) {
                block = 0;
                spaced = true;
            } else if ((tag == QLatin1String("/h2") && block == Heading2) || (tag == QLatin1String("/p") && block == 0)) {
                flushText();
                blocks->append(Block());
                blocks->last().format = block;
                prepare(pieces, state, &blocks->last());
                pieces.clear();
                block = -1;
            } else if (tag == QLatin1String("br") && block >= 0) {
                flushText();
                pieces.append({format | (block > 0 ? block : 0), QStringLiteral("\n")});
                spaced = true;
            } else if (tag == QLatin1String("b") || tag == QLatin1String("i")) {
                flushText();
                format |= tag == QLatin1String("b") ? Bold : Italic;
            } else if (tag == QLatin1String("/b") || tag == QLatin1String("/i")) {
                flushText();
                format &= ~(tag == QLatin1String("/b") ? Bold : Italic);
            } else if (tag == QLatin1String("table border='1' cellspacing='0' cellpadding='4'") && block < 0
                       && !inTable) {
                inTable = true;
                rows.clear();
            } else if (tag == QLatin1String("tr") && inTable && !inCell) {
                rows.append(QVector<Cell>());
            } else if (tag == QLatin1String("/tr") && inTable && !inCell) {
            } else if (tag == QLatin1String("td") && inTable && !inCell && !rows.isEmpty()) {
                rows.last().append(Cell());
                inCell = true;
                spaced = true;
            } else if (tag == QLatin1String("/td") && inCell) {
                flushText();
                inCell = false;
            } else if (tag == QLatin1String("/table") && inTable && !inCell) {
                blocks->append(Block());
                blocks->last().format = -1;
                blocks->last().rows = rows;
                inTable = false;
            } else if ((tag == QLatin1String("/body") || tag == QLatin1String("/html")) && block < 0 && !inTable) {
            } else {
                return fail(QStringLiteral("balise <%1>").arg(tag));
            }
            continue;
        }
        if (block < 0 && !inCell) {
            if (!whiteSpace(s[i]))
                return fail(QStringLiteral("texte hors d'un paragraphe"));
            ++i;
            continue;
        }
        if (s[i] == QLatin1Char('&')) {
            const int semicolon = html.indexOf(QLatin1Char(';'), i);
            const QStringRef entity = semicolon < 0 ? QStringRef() : html.midRef(i + 1, semicolon - i - 1);
            QChar c;
            if (entity == QLatin1String("lt"))
                c = QLatin1Char('<');
            else if (entity == QLatin1String("gt"))
                c = QLatin1Char('>');
            else if (entity == QLatin1String("amp"))
                c = QLatin1Char('&');
            else if (entity == QLatin1String("quot"))
                c = QLatin1Char('"');
            else if (entity == QLatin1String("#39"))
                c = QLatin1Char('\'');
            else if (entity == QLatin1String("nbsp"))
                c = QChar(0xa0);
            else
                return fail(QStringLiteral("entité &%1;").arg(entity));
            addChar(c);
            i = semicolon + 1;
            continue;
        }
        // A run of plain characters goes in at once.
        int plain = i;
        while (plain < n && s[plain] != QLatin1Char('<') && s[plain] != QLatin1Char('&') && !whiteSpace(s[plain]))
            ++plain;
        if (plain > i) {
            text.append(s + i, plain - i);
            spaced = false;
            i = plain;
        } else {
            addChar(s[i++]);
        }
    }
    return true;
}
