#ifndef ORVANDEL_TYPESETTER_H
#define ORVANDEL_TYPESETTER_H

#include "export/pdfpages.h"

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QPaintDevice>
#include <QRawFont>
#include <QScopedPointer>
#include <QSizeF>
#include <QTextLayout>
#include <QString>
#include <QVector>

#include <functional>

class Recorder;

// Sets the printed book out in pages of a PdfPages, as Qt's rich text
// would lay out its HTML, without laying out a whole QTextDocument: the
// front matter (title, rules, sheet) goes through Qt's layout, the entries
// (headings, paragraphs, lines broken where Qt breaks them, bold and
// italics, fights as tables of one line a cell) are set here, each distinct
// word shaped once. What the entries' HTML holds beyond that (other markup,
// right-to-left text, a word wider than a line, a font without TrueType
// outlines) is left to Qt's printing: set() says so.
class Typesetter : public QPaintDevice
{
public:
    Typesetter(PdfPages &pdf, const QSizeF &body, int resolution);
    ~Typesetter() override;

    enum Result { Done, NotMine };
    // The book's HTML, as PrintBook makes it, page after page, in parts:
    // the page up to its first entry (its head and front matter, ending
    // where the entries' page begins), then the entries' HTML in pieces of
    // whole elements, each given by `next` until it says there are no more.
    // The pieces may be made meanwhile in another thread.
    Result set(const QString &start, const std::function<bool(QString *piece)> &next);
    QString why() const { return reason; }

    QPaintEngine *paintEngine() const override;

    // Looks up the fonts the entries are set in, as their first words
    // would: fonts found once are found at once after, so a thread can do
    // this while the book is read.
    static void findFonts();

    // True when Qt finds nowhere to break a line of `text` but after its
    // spaces (QTextBoundaryFinder need not be asked).
    static bool breaksAtSpacesOnly(QStringView text);

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    friend class Recorder;
    struct Shaped // a piece of text in one format, shaped alone
    {
        QString text; // what its key in the cache stands for
        QVector<PdfPages::Text> runs;
        qreal width = 0, natural = 0; // with and without trailing white space
        qreal ascent = 0, descent = 0, leading = 0;
        QVector<qreal> lastRun; // while shaping
    };
    struct Piece
    {
        int format;
        QString text;
    };
    // A key of the cache of shaped pieces: the text, looked up where it
    // stands; held by the piece shaped (Shaped::text).
    struct Key
    {
        QStringView text;
        bool operator==(const Key &other) const { return text == other.text; }
    };
    friend uint qHash(const Key &key, uint seed) { return qHash(key.text, seed); }
    struct Item // a piece shaped, set at x along its line
    {
        const Shaped *shaped;
        qreal x;
    };
    struct Cell
    {
        QVector<Piece> pieces;
    };
    enum Format { Bold = 1, Italic = 2, Heading1 = 4, Heading2 = 8, PageNumber = 14 };

    const Shaped &shape(int format, QStringView text);
    // A number, as the book writes them: digits, then "." or "," maybe,
    // then spaces maybe.
    static bool isNumber(QStringView text);
    bool composed(int format, QStringView text, Shaped *made);
    static bool sameShape(const Shaped &a, const Shaped &b);
    const Shaped &shapeWith(const QFont &font, int format, QStringView text);
    static QFont font(int format);
    qreal lineHeight(int format, bool step);
    bool table(const QVector<QVector<Cell>> &rows);
    bool front(const QString &html);
    struct Block // an entry's heading, a paragraph or a table, as read
    {
        int format = 0; // 0 a paragraph, Heading2 a heading, -1 a table
        // A heading's or paragraph's text, its forced line ends as '\n',
        // the format of each character, and where a line may end: for each
        // run between forced ends, the places Qt may break it at, the
        // run's end last (lines also break after every space).
        QString text;
        QVector<int> formats;
        QVector<int> stops;
        QVector<QVector<Cell>> rows;
    };
    struct Reading // where read() stands between pieces
    {
        QVector<Piece> pieces;
        QVector<QVector<Cell>> rows;
        QString text;
        int format = 0;
        int block = -1; // 0 a paragraph, Heading2 an entry's number, -1 none open
        bool inTable = false, inCell = false, spaced = true;
        QString why; // what could not be read
        QByteArray breakBuffer; // QTextBoundaryFinder's, kept for the next
    };
    static void prepare(const QVector<Piece> &pieces, Reading &state, Block *block);
    // One piece of the entries' HTML read into blocks, the state kept for
    // the next; touches nothing of a Typesetter's.
    static bool read(const QString &html, Reading &state, QVector<Block> *blocks);
    bool setBlock(const Block &block, bool first);
    bool paragraph(const Block &block, bool centred, qreal top, qreal bottom, bool pageBreak);
    void newPage();
    void place(qreal height);
    bool draw(const Shaped &shaped, qreal x, qreal baseline);
    void pageNumber();
    bool fail(const QString &why);

    PdfPages &pdf;
    QSizeF body;
    int resolution;
    qreal scale; // CSS pixels to device units, as Qt's rich text has it
    QScopedPointer<Recorder> recorder;
    QHash<Key, Shaped> cache[16];
    // paragraph()'s, kept from one to the next
    QVector<Item> line, pieceItems;
    QFont fonts[16];
    QScopedPointer<QTextLayout> layouts[16];
    bool fontSet[16] = {};
    enum Composing { Checking, Always, Never };
    Composing composing[16] = {};
    int checked[16] = {};
    static constexpr int numbersChecked = 24;
    int page = -1;     // the page being set, from 0
    qreal y = 0;       // down the book, in device units
    qreal margin = 0;  // the bottom margin of the block above, still to give
    bool afterTable = false;
    QString reason;
    QPair<qreal, qreal> headingMargins, textMargins; // top and bottom, in CSS pixels
    QFont numberFont; // the page numbers', as QTextDocument::print() has them
    QFontMetrics numberMetrics;
};

#endif
