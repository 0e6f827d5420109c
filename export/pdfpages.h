#ifndef ORVANDEL_PDFPAGES_H
#define ORVANDEL_PDFPAGES_H

#include <QByteArray>
#include <QHash>
#include <QPointF>
#include <QRawFont>
#include <QRgb>
#include <QRectF>
#include <QScopedPointer>
#include <QSizeF>
#include <QString>
#include <QVector>

// A PDF written page by page from what was laid out: glyphs of TrueType
// fonts at their positions and filled rectangles, in device units (y down)
// at a given resolution, inside a body that stands where the page layout
// puts it. Each font is embedded as a subset of the glyphs used, with the
// text each glyph stands for, so that the PDF reads back as text.
class PdfPages
{
public:
    // `body` in points from the page's top left corner.
    PdfPages(const QSizeF &pagePoints, const QPointF &bodyPoints, int resolution);
    ~PdfPages();

    void newPage();
    int pageCount() const { return pages.size(); }
    void fill(const QRectF &rect, QRgb color);
    // A run of `count` glyphs of one font, each `x` along the baseline,
    // made ready to be written as often as it is drawn. Its font is -1 for
    // a font that cannot be embedded (one without TrueType outlines).
    struct Text
    {
        int font = -1;
        QByteArray bytes; // the glyphs, and the shifts between them
        qreal start = 0, advance = 0;
    };
    Text prepare(const QRawFont &font, const quint32 *glyphs, const qreal *x, int count);
    // The run on a baseline through `origin`.
    void text(const Text &run, const QPointF &origin);
    // What these glyphs of `font` read as: `text`, shaped into them (once
    // for each glyph is enough).
    void reads(const QRawFont &font, const QVector<quint32> &glyphs, const QString &text);
    // The whole file; null when a font could not be read.
    QByteArray finish(const QString &title, const QString &creator, const QString &author = QString());

private:
    struct Face // a font file, embedded once
    {
        QRawFont font;
        QHash<quint32, QString> text; // glyph -> what it reads as
        QByteArray postscript;
        int descriptor = 0, file = 0, unicode = 0;
    };
    struct Font // a face at one size, with the advances the layout gave its glyphs
    {
        int face = 0;
        qreal size = 0;
        QRawFont raw;
        QVector<qreal> widths; // by glyph, -1 for a glyph not used
        QByteArray name;
        int object = 0;
    };
    int faceOf(const QRawFont &font);
    int fontOf(const QRawFont &font);
    QVector<int> widthsUsed(const Face &face) const;
    void endPage();
    void closeText();
    int object();
    void startObject(int number);
    void stream(int number, const QByteArray &dictionary, const QByteArray &data, bool compress);
    void packed(int number, const QByteArray &data, bool compressed);
    QByteArray subset(const Face &face, bool *ok) const;

    QSizeF pagePoints;
    QPointF bodyPoints;
    qreal unit;
    QByteArray out, content;
    QScopedPointer<struct Deflater> deflater;
    QScopedPointer<class Packer> packer; // the pages' contents, deflated as the next pages are set
    QVector<int> pages, offsets;
    QVector<int> contents; // each page's content stream object, written by finish()
    QVector<Face> faces;
    QVector<Font> fonts;
    QHash<QString, int> faceIndex;
    QHash<QPair<int, qint64>, int> fontIndex;
    QHash<QRawFont, int> rawIndex; // a font as Qt has it loaded -> fontOf() of it
    int current = -1; // the font the page's text state has, -1 none yet
    bool open = false; // a text object is open, on this baseline, its pen here
    qreal baseline = 0, penX = 0;
    QRgb fillColor = 0;
    bool fillSet = false;
};

#endif
