#include "export/pdfpages.h"

#include <QMutex>
#include <QThread>
#include <QWaitCondition>
#include <QtEndian>

#include <libdeflate.h>

#include <cstring>

#include <algorithm>
#include <cmath>

namespace {

// Content streams are written often and read once: the fastest deflate
// still takes them to a third of their size.
const int compression = 1;

// A number as PDF writes it: at most four decimals, no exponent.
void put(QByteArray &out, qreal value)
{
    qint64 n = qRound64(value * 10000);
    if (n < 0) {
        out += '-';
        n = -n;
    }
    char digits[32];
    int at = sizeof digits;
    qint64 whole = n / 10000;
    int fraction = int(n % 10000);
    int places = 4;
    while (places > 0 && fraction % 10 == 0) {
        fraction /= 10;
        --places;
    }
    for (int p = 0; p < places; ++p) {
        digits[--at] = char('0' + fraction % 10);
        fraction /= 10;
    }
    if (places > 0)
        digits[--at] = '.';
    do {
        digits[--at] = char('0' + whole % 10);
        whole /= 10;
    } while (whole > 0);
    out.append(digits + at, int(sizeof digits) - at);
}

// A glyph as two bytes of a literal string.
void putGlyph(QByteArray &out, quint32 glyph)
{
    for (const char c : {char(glyph >> 8), char(glyph & 0xff)}) {
        switch (c) {
        case '(':
        case ')':
        case '\\':
            out += '\\';
            out += c;
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
}

QByteArray hexUtf16(const QString &text)
{
    QByteArray bytes;
    for (const QChar c : text) {
        bytes += char(c.unicode() >> 8);
        bytes += char(c.unicode() & 0xff);
    }
    return bytes.toHex().toUpper();
}

quint16 be16(const QByteArray &data, int at)
{
    return at + 2 <= data.size() ? qFromBigEndian<quint16>(data.constData() + at) : 0;
}

quint32 be32(const QByteArray &data, int at)
{
    return at + 4 <= data.size() ? qFromBigEndian<quint32>(data.constData() + at) : 0;
}

void append16(QByteArray &out, quint16 v)
{
    char b[2];
    qToBigEndian(v, b);
    out.append(b, 2);
}

void append32(QByteArray &out, quint32 v)
{
    char b[4];
    qToBigEndian(v, b);
    out.append(b, 4);
}

quint32 checksum(const QByteArray &table)
{
    quint32 sum = 0;
    for (int i = 0; i < table.size(); i += 4) {
        quint32 word = 0;
        for (int k = 0; k < 4; ++k)
            word = (word << 8) | (i + k < table.size() ? quint8(table.at(i + k)) : 0);
        sum += word;
    }
    return sum;
}

} // namespace

// One deflater for every stream (libdeflate's: faster than zlib's fastest,
// and it packs smaller); setting one up costs more than a page.
struct Deflater
{
    libdeflate_compressor *c = libdeflate_alloc_compressor(compression);
    Deflater() = default;
    Deflater(const Deflater &) = delete;
    Deflater &operator=(const Deflater &) = delete;
    ~Deflater() { libdeflate_free_compressor(c); }
    QByteArray pack(const QByteArray &data)
    {
        if (!c)
            return QByteArray();
        QByteArray packed(int(libdeflate_zlib_compress_bound(c, size_t(data.size()))), Qt::Uninitialized);
        const size_t n =
            libdeflate_zlib_compress(c, data.constData(), size_t(data.size()), packed.data(), size_t(packed.size()));
        if (!n)
            return QByteArray();
        packed.resize(int(n));
        return packed;
    }
};

// Deflates the pages' contents on a thread of its own, in the order they
// come, while the pages after them are set.
class Packer
{
public:
    Packer() : thread(QThread::create([this] { run(); })) { thread->start(); }
    ~Packer()
    {
        {
            const QMutexLocker lock(&mutex);
            stopping = true;
        }
        more.wakeAll();
        thread->wait();
    }
    void add(const QByteArray &data)
    {
        const QMutexLocker lock(&mutex);
        results.append({data, false});
        more.wakeAll();
    }
    // The `index`th data given, deflated; as it came when it could not be.
    QByteArray take(int index, bool *compressed)
    {
        QMutexLocker lock(&mutex);
        while (done <= index)
            made.wait(&mutex);
        const Result result = results.at(index);
        results[index] = Result();
        *compressed = result.compressed;
        return result.data;
    }

private:
    struct Result
    {
        QByteArray data;
        bool compressed;
    };
    void run()
    {
        Deflater deflater;
        QMutexLocker lock(&mutex);
        for (;;) {
            while (!stopping && done == results.size())
                more.wait(&mutex);
            if (stopping)
                return;
            const QByteArray data = results.at(done).data;
            lock.unlock();
            const QByteArray packed = deflater.pack(data);
            lock.relock();
            if (!packed.isEmpty())
                results[done] = {packed, true};
            ++done;
            made.wakeAll();
        }
    }

    QMutex mutex;
    QWaitCondition more, made;
    QVector<Result> results; // as given, then as deflated
    int done = 0;            // how many are deflated (or could not be)
    bool stopping = false;
    QScopedPointer<QThread> thread;
};

PdfPages::~PdfPages() = default;

PdfPages::PdfPages(const QSizeF &pagePoints, const QPointF &bodyPoints, int resolution)
    : pagePoints(pagePoints), bodyPoints(bodyPoints), unit(72.0 / resolution), deflater(new Deflater),
      packer(new Packer)
{
    out = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
    offsets.resize(5); // 1 catalog, 2 page tree, 3 information, 4 resources
}

int PdfPages::object()
{
    offsets.append(0);
    return offsets.size() - 1;
}

void PdfPages::startObject(int number)
{
    offsets[number] = out.size();
    out += QByteArray::number(number) + " 0 obj\n";
}

void PdfPages::stream(int number, const QByteArray &dictionary, const QByteArray &data, bool compress)
{
    startObject(number);
    const QByteArray packed = compress ? deflater->pack(data) : QByteArray();
    if (!packed.isEmpty()) {
        out += "<< " + dictionary + " /Filter /FlateDecode /Length " + QByteArray::number(packed.size())
            + " >>\nstream\n";
        out += packed;
    } else {
        out += "<< " + dictionary + " /Length " + QByteArray::number(data.size()) + " >>\nstream\n";
        out += data;
    }
    out += "\nendstream\nendobj\n";
}

void PdfPages::packed(int number, const QByteArray &data, bool compressed)
{
    startObject(number);
    out += QByteArrayLiteral("<< ") + (compressed ? "/Filter /FlateDecode " : "") + "/Length "
        + QByteArray::number(data.size()) + " >>\nstream\n";
    out += data;
    out += "\nendstream\nendobj\n";
}

void PdfPages::newPage()
{
    endPage();
    pages.append(object());
    content.clear();
    content.reserve(1 << 16);
    // Device units, y down, from the body's top left corner.
    content += "q ";
    put(content, unit);
    content += " 0 0 ";
    put(content, -unit);
    content += ' ';
    put(content, bodyPoints.x());
    content += ' ';
    put(content, pagePoints.height() - bodyPoints.y());
    content += " cm\n";
    current = -1;
    open = false;
    fillSet = false;
}

void PdfPages::endPage()
{
    if (pages.isEmpty() || content.isEmpty())
        return;
    closeText();
    content += "Q\n";
    contents.append(object());
    packer->add(content);
    startObject(pages.last());
    out += "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 ";
    put(out, pagePoints.width());
    out += ' ';
    put(out, pagePoints.height());
    out += "] /Resources 4 0 R /Contents " + QByteArray::number(contents.last()) + " 0 R >>\nendobj\n";
    content.clear();
}

void PdfPages::closeText()
{
    if (open)
        content += ")] TJ ET\n";
    open = false;
}

void PdfPages::fill(const QRectF &rect, QRgb color)
{
    closeText();
    if (!fillSet || color != fillColor) {
        put(content, qRed(color) / 255.0);
        content += ' ';
        put(content, qGreen(color) / 255.0);
        content += ' ';
        put(content, qBlue(color) / 255.0);
        content += " rg\n";
        fillColor = color;
        fillSet = true;
    }
    put(content, rect.x());
    content += ' ';
    put(content, rect.y());
    content += ' ';
    put(content, rect.width());
    content += ' ';
    put(content, rect.height());
    content += " re f\n";
}

int PdfPages::faceOf(const QRawFont &font)
{
    const QString key = font.familyName() + QLatin1Char('\n') + font.styleName() + QLatin1Char('\n')
        + QString::number(font.weight()) + QLatin1Char('\n') + QString::number(int(font.style()));
    auto it = faceIndex.constFind(key);
    if (it != faceIndex.constEnd())
        return *it;
    if (font.fontTable("glyf").isEmpty() || font.fontTable("head").size() < 54)
        return -1;
    Face face;
    face.font = font;
    faces.append(face);
    faceIndex.insert(key, faces.size() - 1);
    return faces.size() - 1;
}

int PdfPages::fontOf(const QRawFont &font)
{
    // Qt hands out the font it has loaded again and again: which it is
    // is known from the second time on.
    const auto loaded = rawIndex.constFind(font);
    if (loaded != rawIndex.constEnd())
        return *loaded;
    const int face = faceOf(font);
    if (face < 0)
        return *rawIndex.insert(font, -1);
    const QPair<int, qint64> key(face, qRound64(font.pixelSize() * 4096));
    auto it = fontIndex.constFind(key);
    if (it != fontIndex.constEnd())
        return *rawIndex.insert(font, *it);
    rawIndex.insert(font, fonts.size());
    Font f;
    f.face = face;
    f.size = font.pixelSize();
    f.raw = font;
    f.name = "F" + QByteArray::number(fonts.size());
    fonts.append(f);
    fontIndex.insert(key, fonts.size() - 1);
    return fonts.size() - 1;
}

void PdfPages::reads(const QRawFont &font, const QVector<quint32> &glyphs, const QString &text)
{
    const int index = fontOf(font);
    if (index < 0)
        return;
    QHash<quint32, QString> &known = faces[fonts.at(index).face].text;
    if (std::all_of(glyphs.cbegin(), glyphs.cend(), [&known](quint32 g) { return known.contains(g); }))
        return; // read before
    // Each character's own glyph in this font, to find which characters a
    // glyph stands for: one each, several for a ligature.
    QVector<QString> chars;
    QVector<quint32> own;
    for (int i = 0; i < text.size(); ++i) {
        const int n = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        quint32 g[2] = {0, 0};
        int count = 2;
        font.glyphIndexesForChars(text.constData() + i, n, g, &count);
        chars.append(text.mid(i, n));
        own.append(g[0]);
        i += n - 1;
    }
    int c = 0;
    for (int i = 0; i < glyphs.size(); ++i) {
        const quint32 g = glyphs.at(i);
        int from = c;
        while (from < own.size() && own.at(from) != g && own.at(from) == 0)
            ++from; // characters another font draws
        QString reads;
        if (from < own.size() && own.at(from) == g) {
            reads = chars.at(from);
            c = from + 1;
        } else {
            // A ligature: the characters up to the next glyph's own.
            const quint32 next = i + 1 < glyphs.size() ? glyphs.at(i + 1) : quint32(-1);
            int to = c;
            while (to < own.size() && (to == c || own.at(to) != next))
                reads += chars.at(to++);
            c = to;
        }
        if (!reads.isEmpty() && !known.contains(g))
            known.insert(g, reads);
    }
}

PdfPages::Text PdfPages::prepare(const QRawFont &font, const quint32 *glyphs, const qreal *x, int count)
{
    Text run;
    if (count <= 0)
        return run;
    const int index = fontOf(font);
    if (index < 0)
        return run;
    Font &f = fonts[index];
    if (f.widths.isEmpty())
        f.widths.fill(-1, std::max<int>(1, be16(font.fontTable("maxp"), 4)));
    for (int i = 0; i < count; ++i) {
        if (glyphs[i] >= quint32(f.widths.size()))
            return run;
        if (f.widths.at(glyphs[i]) < 0) {
            QPointF advance;
            f.raw.advancesForGlyphIndexes(glyphs + i, &advance, 1);
            f.widths[glyphs[i]] = advance.x();
        }
    }
    qreal pen = x[0];
    for (int i = 0; i < count; ++i) {
        // Kerning, or any advance other than the glyph's own.
        const qreal off = x[i] - pen;
        if (i > 0 && std::abs(off) > 1e-3) {
            run.bytes += ')';
            put(run.bytes, -off * 1000 / f.size);
            run.bytes += '(';
        }
        putGlyph(run.bytes, glyphs[i]);
        pen = x[i] + f.widths.at(glyphs[i]);
    }
    run.font = index;
    run.start = x[0];
    run.advance = pen - x[0];
    return run;
}

void PdfPages::text(const Text &run, const QPointF &origin)
{
    if (run.font < 0)
        return;
    if (fillSet && fillColor != qRgb(0, 0, 0)) {
        // Text is black, whatever the rectangles before it were filled with.
        closeText();
        content += "0 g\n";
        fillColor = qRgb(0, 0, 0);
    }
    const Font &f = fonts.at(run.font);
    // Runs that follow one another on a line make one text object, the
    // space between them (kerning across a piece) as a shift.
    const qreal pen = origin.x() + run.start;
    if (open && run.font == current && origin.y() == baseline) {
        const qreal off = pen - penX;
        if (std::abs(off) > 1e-3) {
            content += ')';
            put(content, -off * 1000 / f.size);
            content += '(';
        }
    } else {
        closeText();
        content += "BT ";
        if (run.font != current) {
            content += '/' + f.name + ' ';
            put(content, f.size);
            content += " Tf ";
            current = run.font;
        }
        content += "1 0 0 -1 ";
        put(content, pen);
        content += ' ';
        put(content, origin.y());
        content += " Tm [(";
        open = true;
        baseline = origin.y();
    }
    content += run.bytes;
    penX = pen + run.advance;
}

QByteArray PdfPages::subset(const Face &face, bool *ok) const
{
    *ok = false;
    const QRawFont &font = face.font;
    const QByteArray head = font.fontTable("head"), maxp = font.fontTable("maxp"), loca = font.fontTable("loca"),
                     glyf = font.fontTable("glyf");
    const bool longLoca = be16(head, 50) != 0;
    const int count = be16(maxp, 4);
    if (head.size() < 54 || count <= 0 || loca.size() < (count + 1) * (longLoca ? 4 : 2))
        return QByteArray();
    auto offset = [&](int g) { return longLoca ? int(be32(loca, g * 4)) : be16(loca, g * 2) * 2; };
    QVector<bool> keep(count, false);
    QVector<int> queue{0};
    for (auto it = face.text.constBegin(); it != face.text.constEnd(); ++it)
        if (int(it.key()) < count)
            queue.append(int(it.key()));
    queue += widthsUsed(face);
    while (!queue.isEmpty()) {
        const int g = queue.takeLast();
        if (g < 0 || g >= count || keep.at(g))
            continue;
        keep[g] = true;
        int at = offset(g);
        const int end = offset(g + 1);
        if (end - at < 10 || qint16(be16(glyf, at)) >= 0)
            continue;
        at += 10; // a composite glyph: its parts go with it
        for (;;) {
            if (at + 4 > end)
                return QByteArray();
            const quint16 flags = be16(glyf, at);
            queue.append(be16(glyf, at + 2));
            at += 4 + ((flags & 0x0001) ? 4 : 2);
            at += (flags & 0x0008) ? 2 : (flags & 0x0040) ? 4 : (flags & 0x0080) ? 8 : 0;
            if (!(flags & 0x0020))
                break;
        }
    }
    QByteArray glyphs, locations;
    for (int g = 0; g < count; ++g) {
        append32(locations, glyphs.size());
        if (keep.at(g)) {
            const int from = offset(g), to = offset(g + 1);
            if (from < 0 || to < from || to > glyf.size())
                return QByteArray();
            glyphs.append(glyf.constData() + from, to - from);
            while (glyphs.size() % 4)
                glyphs += '\0';
        }
    }
    append32(locations, glyphs.size());
    // The head (54 bytes at least, checked above) with no checksum
    // adjustment and long offsets.
    QByteArray newHead = head;
    char *fields = newHead.data();
    std::fill(fields + 8, fields + 12, '\0');
    fields[50] = 0;
    fields[51] = 1;
    const QVector<QPair<QByteArray, QByteArray>> tables = {
        {"cvt ", font.fontTable("cvt ")}, {"fpgm", font.fontTable("fpgm")}, {"glyf", glyphs},
        {"head", newHead},               {"hhea", font.fontTable("hhea")}, {"hmtx", font.fontTable("hmtx")},
        {"loca", locations},             {"maxp", maxp},                   {"prep", font.fontTable("prep")}};
    int n = 0;
    for (const auto &t : tables)
        n += t.second.isEmpty() ? 0 : 1;
    QByteArray file;
    append32(file, 0x00010000);
    append16(file, quint16(n));
    int power = 1, log = 0;
    while (power * 2 <= n) {
        power *= 2;
        ++log;
    }
    append16(file, quint16(power * 16));
    append16(file, quint16(log));
    append16(file, quint16(n * 16 - power * 16));
    int at = 12 + 16 * n;
    QByteArray data;
    for (const auto &t : tables) {
        if (t.second.isEmpty())
            continue;
        file += t.first;
        append32(file, checksum(t.second));
        append32(file, quint32(at + data.size()));
        append32(file, quint32(t.second.size()));
        data += t.second;
        while (data.size() % 4)
            data += '\0';
    }
    *ok = true;
    return file + data;
}

QVector<int> PdfPages::widthsUsed(const Face &face) const
{
    QVector<int> used;
    for (const Font &f : fonts)
        if (&faces.at(f.face) == &face)
            for (int g = 0; g < f.widths.size(); ++g)
                if (f.widths.at(g) >= 0)
                    used.append(g);
    return used;
}

QByteArray PdfPages::finish(const QString &title, const QString &creator, const QString &author)
{
    newPage(); // closes the last page
    pages.removeLast();
    offsets.removeLast();
    for (int i = 0; i < contents.size(); ++i) {
        bool compressed = false;
        const QByteArray data = packer->take(i, &compressed);
        packed(contents.at(i), data, compressed);
    }
    for (int i = 0; i < faces.size(); ++i) {
        Face &face = faces[i];
        bool ok = false;
        const QByteArray file = subset(face, &ok);
        if (!ok)
            return QByteArray();
        face.file = object();
        stream(face.file, "/Length1 " + QByteArray::number(file.size()), file, true);
        // What each glyph reads as, for copying and searching.
        QByteArray map = "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
                         "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                         "/CMapName /Adobe-Identity-UCS def /CMapType 2 def\n"
                         "1 begincodespacerange <0000> <FFFF> endcodespacerange\n";
        QList<quint32> glyphs = face.text.keys();
        std::sort(glyphs.begin(), glyphs.end());
        for (int from = 0; from < glyphs.size(); from += 100) {
            const int n = std::min<int>(100, glyphs.size() - from);
            map += QByteArray::number(n) + " beginbfchar\n";
            for (int k = from; k < from + n; ++k)
                map += '<' + QByteArray::number(glyphs.at(k), 16).rightJustified(4, '0').toUpper() + "> <"
                    + hexUtf16(face.text.value(glyphs.at(k))) + ">\n";
            map += "endbfchar\n";
        }
        map += "endcmap CMapName currentdict /CMap defineresource pop end end\n";
        face.unicode = object();
        stream(face.unicode, QByteArray(), map, true);
        const QByteArray head = face.font.fontTable("head");
        const qreal em = be16(head, 18) > 0 ? be16(head, 18) : 1000;
        auto scaled = [&](const QByteArray &table, int at) {
            QByteArray number;
            put(number, qint16(be16(table, at)) * 1000 / em);
            return number;
        };
        QByteArray name = face.font.familyName().toLatin1() + '-' + face.font.styleName().toLatin1();
        name.replace(' ', "");
        for (char &c : name)
            if (c <= 32 || c >= 127 || strchr("()<>[]{}/%#", c))
                c = '_';
        QByteArray tag = "ORVA";
        tag += char('A' + i / 26 % 26);
        tag += char('A' + i % 26);
        face.postscript = tag + '+' + name;
        face.descriptor = object();
        startObject(face.descriptor);
        const QByteArray hhea = face.font.fontTable("hhea");
        out += "<< /Type /FontDescriptor /FontName /" + face.postscript + " /Flags 4 /FontBBox [" + scaled(head, 36)
            + ' ' + scaled(head, 38) + ' ' + scaled(head, 40) + ' ' + scaled(head, 42) + "] /ItalicAngle 0 /Ascent "
            + scaled(hhea, 4) + " /Descent " + scaled(hhea, 6) + " /CapHeight " + scaled(hhea, 4)
            + " /StemV 80 /FontFile2 " + QByteArray::number(face.file) + " 0 R >>\nendobj\n";
    }
    QByteArray resources = "<< /Font <<";
    for (Font &f : fonts) {
        const Face &face = faces.at(f.face);
        const int descendant = object();
        startObject(descendant);
        out += "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + face.postscript
            + " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /FontDescriptor "
            + QByteArray::number(face.descriptor) + " 0 R /CIDToGIDMap /Identity /DW 0 /W [";
        for (int g = 0; g < f.widths.size(); ++g) {
            if (f.widths.at(g) < 0)
                continue;
            out += QByteArray::number(g) + " [";
            put(out, f.widths.at(g) * 1000 / f.size);
            out += "] ";
        }
        out += "] >>\nendobj\n";
        f.object = object();
        startObject(f.object);
        out += "<< /Type /Font /Subtype /Type0 /BaseFont /" + face.postscript
            + " /Encoding /Identity-H /DescendantFonts [" + QByteArray::number(descendant) + " 0 R] /ToUnicode "
            + QByteArray::number(face.unicode) + " 0 R >>\nendobj\n";
        resources += " /" + f.name + ' ' + QByteArray::number(f.object) + " 0 R";
    }
    startObject(4);
    out += resources + " >> >>\nendobj\n";
    startObject(1);
    out += "<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
    startObject(3);
    out += "<< /Title <FEFF" + hexUtf16(title) + ">"
        + (author.isEmpty() ? QByteArray() : " /Author <FEFF" + hexUtf16(author) + ">") + " /Creator <FEFF"
        + hexUtf16(creator) + "> /Producer <FEFF" + hexUtf16(creator) + "> >>\nendobj\n";
    // The page tree last: its count is what a reader of the file finds first from the end.
    startObject(2);
    out += "<< /Type /Pages /Kids [";
    for (const int page : qAsConst(pages))
        out += QByteArray::number(page) + " 0 R ";
    out += "] /Count " + QByteArray::number(pages.size()) + " >>\nendobj\n";
    const int xref = out.size();
    out += "xref\n0 " + QByteArray::number(offsets.size()) + "\n0000000000 65535 f \n";
    for (int i = 1; i < offsets.size(); ++i)
        out += QByteArray::number(offsets.at(i)).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size " + QByteArray::number(offsets.size()) + " /Root 1 0 R /Info 3 0 R >>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}
