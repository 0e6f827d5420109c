#include "export/epubbook.h"

#include "book/booktitle.h"

#include "book/atomicfile.h"
#include "book/xmltext.h"
#include "export/bookidentity.h"
#include "export/entryhtml.h"
#include "export/printbook.h"

#include <KZip>

#include <QBuffer>
#include <QDateTime>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QtEndian>

namespace {

const char style[] = "body{font-family:serif;line-height:1.4;margin:0 .5em}\n"
                     "h1{text-align:center}\n"
                     "h1.title{margin-top:30%}\n"
                     "p.author{text-align:center;font-size:1.2em}\n"
                     "h2.n{text-align:center;margin-top:1.5em;page-break-after:avoid}\n"
                     "section.entry{page-break-inside:auto}\n"
                     "table{border-collapse:collapse;margin:.5em 0}\n"
                     "td{border:1px solid;padding:.3em .5em}\n"
                     "div.page table{width:100%}\n"
                     "div.page td{height:3em;vertical-align:top}\n";

QString text(const QString &value)
{
    return XmlText::escaped(QString(value).replace(QLatin1Char('\n'), QLatin1Char(' ')), XmlPlace::Content);
}

QString attribute(const QString &value)
{
    return XmlText::escaped(value, XmlPlace::Attribute);
}

// The name, in the archive, of the file that holds the entries from
// `position` in the book's order on.
QString entriesFile(int position)
{
    return QStringLiteral("entries-%1.xhtml").arg(position / EpubBook::entriesPerFile + 1, 3, 10, QLatin1Char('0'));
}

} // namespace

EpubBook::EpubBook(const Book &book, const QString &title, const QString &author)
    : book(book), title(title.isEmpty() ? BookTitle::titleFromRoot(book.rootName()) : title), author(author)
{
}

QString EpubBook::xhtml(const QString &html, const std::function<QString(int)> &link)
{
    static const QRegularExpression tag(QStringLiteral("<(/?)([A-Za-z][A-Za-z0-9]*)([^>]*)>"));
    static const QRegularExpression layout(
        QStringLiteral("\\s+(?:border|cellspacing|cellpadding|align|valign|width|height|bgcolor)"
                       "\\s*=\\s*(?:'[^']*'|\"[^\"]*\"|[^\\s>]+)"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression entryLink(QStringLiteral("href\\s*=\\s*(['\"])entry:(\\d+)\\1"));
    static const QStringList voids{QStringLiteral("br"), QStringLiteral("hr"), QStringLiteral("img"),
                                   QStringLiteral("col"), QStringLiteral("wbr")};
    QString out;
    out.reserve(html.size() + html.size() / 8);
    int at = 0;
    // Between tags only "&nbsp;" is not XML; inside them, attributes change.
    const auto between = [&](int end) {
        out += html.midRef(at, end - at).toString().replace(QLatin1String("&nbsp;"), QLatin1String("&#160;"));
    };
    for (auto it = tag.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        between(m.capturedStart());
        at = m.capturedEnd();
        const QString name = m.captured(2).toLower();
        QString attributes = m.captured(3);
        attributes.remove(layout);
        const QRegularExpressionMatch href = entryLink.match(attributes);
        if (href.hasMatch())
            attributes.replace(href.capturedStart(), href.capturedLength(),
                               QStringLiteral("href=\"%1\"").arg(attribute(link(href.captured(2).toInt()))));
        if (voids.contains(name) && !attributes.endsWith(QLatin1Char('/')))
            attributes += QLatin1Char('/');
        out += QLatin1Char('<') + m.captured(1) + name + attributes + QLatin1Char('>');
    }
    between(html.size());
    return out;
}

QString EpubBook::page(const QString &heading, const QString &body, bool navigation) const
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html>\n"
                          "<html xmlns=\"http://www.w3.org/1999/xhtml\"%1 xml:lang=\"fr\" lang=\"fr\">"
                          "<head><meta charset=\"UTF-8\"/><title>%2</title>"
                          "<link rel=\"stylesheet\" type=\"text/css\" href=\"style.css\"/></head>\n"
                          "<body>%3</body></html>\n")
        .arg(navigation ? QStringLiteral(" xmlns:epub=\"http://www.idpf.org/2007/ops\"") : QString(),
             text(heading), body);
}

bool EpubBook::wellFormed(const QString &name, const QString &xhtml)
{
    QXmlStreamReader reader(xhtml);
    while (!reader.atEnd())
        reader.readNext();
    if (!reader.hasError())
        return true;
    error = tr("la page %1 n'est pas du XHTML bien formé (ligne %2 : %3)")
                .arg(name)
                .arg(reader.lineNumber())
                .arg(reader.errorString());
    return false;
}

QByteArray EpubBook::bytes()
{
    error.clear();
    const QVector<int> order = PrintBook::order(book);
    QVector<int> position(book.size());
    for (int p = 0; p < order.size(); ++p)
        position[order.at(p)] = p;
    const auto link = [&position](int index) {
        return entriesFile(position.value(index)) + QStringLiteral("#e%1").arg(index);
    };

    // Name in the archive, then the page, in the reader's order.
    QVector<QPair<QString, QString>> pages;
    pages.append({QStringLiteral("title.xhtml"),
                  page(title, QStringLiteral("<h1 class=\"title\">%1</h1>%2")
                                  .arg(text(title), author.isEmpty() ? QString()
                                                                     : QStringLiteral("<p class=\"author\">%1</p>")
                                                                           .arg(text(author))))});
    pages.append({QStringLiteral("rules.xhtml"), page(tr("Règles"), xhtml(PrintBook::rules(), link))});
    pages.append({QStringLiteral("sheet.xhtml"), page(tr("Feuille d'aventure"), xhtml(PrintBook::adventureSheet(), link))});
    QString navigation = tr("<li><a href=\"title.xhtml\">%1</a></li><li><a href=\"rules.xhtml\">Règles</a></li>"
                            "<li><a href=\"sheet.xhtml\">Feuille d'aventure</a></li>")
                             .arg(text(title));
    for (int from = 0; from < order.size(); from += entriesPerFile) {
        const int to = qMin<int>(order.size(), from + entriesPerFile) - 1;
        QString body;
        for (int p = from; p <= to; ++p)
            body += QStringLiteral("<section class=\"entry\" id=\"e%1\">").arg(order.at(p))
                + xhtml(EntryHtml::of(book, order.at(p), EntryHtml::Ebook), link) + QStringLiteral("</section>\n");
        const QString range = tr("Entrées %1 à %2").arg(book.entry(order.at(from)).id, book.entry(order.at(to)).id);
        pages.append({entriesFile(from), page(range, body)});
        navigation += QStringLiteral("<li><a href=\"%1\">%2</a></li>").arg(entriesFile(from), text(range));
    }
    const QString nav = page(tr("Sommaire"), tr("<nav epub:type=\"toc\" id=\"toc\"><h1>Sommaire</h1><ol>%1</ol></nav>")
                                                 .arg(navigation),
                             true);

    QString manifest = QStringLiteral("<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" "
                                      "properties=\"nav\"/><item id=\"style\" href=\"style.css\" media-type=\"text/css\"/>");
    QString spine;
    for (int k = 0; k < pages.size(); ++k) {
        manifest += QStringLiteral("<item id=\"p%1\" href=\"%2\" media-type=\"application/xhtml+xml\"/>")
                        .arg(k)
                        .arg(pages.at(k).first);
        spine += QStringLiteral("<itemref idref=\"p%1\"/>").arg(k);
    }
    const QString package =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\" unique-identifier=\"uid\" "
                       "xml:lang=\"fr\"><metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
                       "<dc:identifier id=\"uid\">urn:uuid:%1</dc:identifier><dc:title>%2</dc:title>"
                       "<dc:language>fr</dc:language>%6<meta property=\"dcterms:modified\">%3</meta></metadata>\n"
                       "<manifest>%4</manifest>\n<spine>%5</spine></package>\n")
            .arg(BookIdentity::of(book, title).toString(QUuid::WithoutBraces), text(title),
                 QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddThh:mm:ssZ")), manifest, spine,
                 author.isEmpty() ? QString() : QStringLiteral("<dc:creator>%1</dc:creator>").arg(text(author)));
    const QString container = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles>"
        "<rootfile full-path=\"EPUB/package.opf\" media-type=\"application/oebps-package+xml\"/>"
        "</rootfiles></container>\n");

    pages.append({QStringLiteral("nav.xhtml"), nav});
    for (const auto &p : qAsConst(pages))
        if (!wellFormed(p.first, p.second))
            return QByteArray();

    QByteArray made;
    QBuffer buffer(&made);
    KZip zip(&buffer);
    if (!zip.open(QIODevice::WriteOnly)) {
        error = tr("l'archive n'a pas pu être commencée : %1").arg(zip.errorString());
        return QByteArray();
    }
    // The mimetype first, stored as it is and with nothing but its name in
    // its header: a reader knows an EPUB by its first bytes.
    zip.setExtraField(KZip::NoExtraField);
    zip.setCompression(KZip::NoCompression);
    bool ok = zip.writeFile(QStringLiteral("mimetype"), QByteArrayLiteral("application/epub+zip"));
    zip.setCompression(KZip::DeflateCompression);
    ok = ok && zip.writeFile(QStringLiteral("META-INF/container.xml"), container.toUtf8())
        && zip.writeFile(QStringLiteral("EPUB/package.opf"), package.toUtf8())
        && zip.writeFile(QStringLiteral("EPUB/style.css"), QByteArray(style));
    for (int k = 0; ok && k < pages.size(); ++k)
        ok = zip.writeFile(QStringLiteral("EPUB/") + pages.at(k).first, pages.at(k).second.toUtf8());
    if (!ok || !zip.close()) {
        error = tr("l'archive n'a pas pu être écrite : %1").arg(zip.errorString());
        return QByteArray();
    }
    // What e-readers check before anything else, checked here too.
    const QByteArray mimetype = "application/epub+zip";
    if (made.size() < 30 + 8 + mimetype.size() || !made.startsWith("PK\x03\x04")
        || qFromLittleEndian<quint16>(made.constData() + 8) != 0
        || qFromLittleEndian<quint16>(made.constData() + 26) != 8
        || qFromLittleEndian<quint16>(made.constData() + 28) != 0 || made.mid(30, 8) != "mimetype"
        || made.mid(38, mimetype.size()) != mimetype) {
        error = tr("l'archive ne commence pas par le type du livre, non compressé");
        return QByteArray();
    }
    return made;
}

bool EpubBook::write(QIODevice *device)
{
    const QByteArray made = bytes();
    return !made.isNull() && AtomicFile::writeAll(*device, made, &error);
}

bool EpubBook::write(const QString &path)
{
    const QByteArray made = bytes();
    if (made.isNull())
        return false;
    AtomicFile file(path);
    if (!file.write(made)) {
        error = file.errorString();
        return false;
    }
    if (!AtomicFile::holds(path, made)) {
        error = tr("le fichier écrit ne contient pas le livre");
        return false;
    }
    return true;
}
