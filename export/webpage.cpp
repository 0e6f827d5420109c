#include "export/webpage.h"

#include "book/booktitle.h"

#include "book/atomicfile.h"
#include "play/playbook.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonObject way(const Playbook::Way &w)
{
    return {{QStringLiteral("t"), w.target}, {QStringLiteral("s"), w.text}};
}

// Every number of the rules the page's engine plays by: it has none of its own.
QJsonObject rulesJson(const Rules &r)
{
    return {{"dieSides", Rules::dieSides}, {"fightDice", Rules::fightDice}, {"luckDice", Rules::luckDice},
            {"habileteDice", r.habileteDice}, {"habileteBase", r.habileteBase},
            {"enduranceDice", r.enduranceDice}, {"enduranceBase", r.enduranceBase},
            {"chanceDice", r.chanceDice}, {"chanceBase", r.chanceBase}, {"provisions", r.provisions},
            {"wound", r.wound}, {"fleePenalty", r.fleePenalty}, {"meal", r.meal}, {"luckCost", r.luckCost},
            {"stepLimit", r.stepLimit}, {"valueLimit", Rules::valueLimit}};
}

// The engine, export/webpage.js, compiled in: the page stays one file.
QByteArray engine()
{
    QFile file(QStringLiteral(":/export/webpage.js"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const char style[] = R"CSS(
body{font-family:Georgia,serif;max-width:42em;margin:0 auto;padding:1em;line-height:1.5;background:#fffdf6;color:#222}
h1{text-align:center;font-size:1.6em}#feuille{background:#f3ead3;border-radius:6px;padding:.5em;font-size:.95em}
button{font:inherit;margin:.3em .3em 0 0;padding:.4em .8em}a.choix{font-weight:bold}.fin{font-weight:bold;color:#8b1a1a}.victoire{font-weight:bold;color:#1b5e20}
#journal{font-size:.85em;color:#555}@media (max-width:600px){body{padding:.5em;font-size:1.05em}button{width:100%}}
)CSS";

} // namespace

WebPage::WebPage(const Book &book, const QString &title, const Rules &rules, const QString &author)
    : book(book), title(title.isEmpty() ? BookTitle::titleFromRoot(book.rootName()) : title), author(author), rules(rules)
{
    // A resource of a static library is linked in only when named.
    Q_INIT_RESOURCE(webpage);
    script = engine();
    if (script.isEmpty())
        error = tr("le moteur de la page web manque à ce programme");
}

namespace {

QString endName(Entry::End end)
{
    return end == Entry::End::Victory ? QStringLiteral("victoire") : end == Entry::End::Death ? QStringLiteral("mort") : QString();
}

// One entry as the page's script reads it.
QJsonObject pageJson(const Book &book, int index)
{
    const Playbook::Page p = Playbook::pageOf(book, index);
    QJsonArray finds, monsters, choices;
    for (const Playbook::Find &f : p.finds)
        finds.append(QJsonObject{{"n", f.name}, {"h", f.habilete}, {"e", f.endurance}, {"c", f.chance},
                                 {"g", f.gold}, {"f", f.food}});
    for (const Fight::Opponent &m : p.monsters)
        monsters.append(QJsonObject{{"n", m.name}, {"h", m.habilete}, {"e", m.endurance}});
    for (int c = 0; c < p.choices.size(); ++c) {
        QJsonObject o = way(p.choices.at(c));
        o.insert(QStringLiteral("x"), p.choiceTexts.value(c));
        choices.append(o);
    }
    QJsonObject page{{"id", p.id}, {"text", book.entry(index).text}, {"h", p.habilete},
                       {"e", p.endurance}, {"c", p.chance}, {"finds", finds},
                       {"meal", p.meal}, {"monsters", monsters}, {"victory", way(p.victory)},
                       {"flee", p.flee}, {"fleePenalty", p.fleePenalty},
                       {"fleeRound", p.fleeRound}, {"fleeTo", way(p.fleeTo)},
                       {"luck", p.luck}, {"lucky", way(p.lucky)}, {"unlucky", way(p.unlucky)},
                       {"choices", choices}};
    if (book.entry(index).endMark() != Entry::End::Unmarked) // a mark only where the author set one
        page.insert(QStringLiteral("end"), endName(book.entry(index).endMark()));
    return page;
}

// Inside a <script> element "</script" ends it and "<!--" changes how the
// rest is read: with no "<" at all, a book's text can do neither. The
// other characters are escaped too, for whoever reads the data as HTML or
// as JavaScript source, and U+FEFF, which a reader may take for a
// byte-order mark at the start of a string and drop (Qt's does). Outside
// strings JSON has none of them; each is a whole character, never cut
// between two pieces of the data.
QByteArray escaped(const QByteArray &json)
{
    QByteArray out;
    const char *p = json.constData(), *const end = p + json.size();
    const char *copied = p;
    const auto escape = [&](const char *at, int length, const char *with) {
        if (out.isNull())
            out.reserve(json.size() + 64);
        out.append(copied, int(at - copied));
        out.append(with);
        copied = at + length;
    };
    for (; p < end; ++p) {
        switch (uchar(*p)) {
        case '<': escape(p, 1, "\\u003c"); break;
        case '>': escape(p, 1, "\\u003e"); break;
        case '&': escape(p, 1, "\\u0026"); break;
        case 0xE2:
            if (end - p >= 3 && uchar(p[1]) == 0x80 && (uchar(p[2]) == 0xA8 || uchar(p[2]) == 0xA9)) {
                escape(p, 3, uchar(p[2]) == 0xA8 ? "\\u2028" : "\\u2029");
                p += 2;
            }
            break;
        case 0xEF:
            if (end - p >= 3 && uchar(p[1]) == 0xBB && uchar(p[2]) == 0xBF) {
                escape(p, 3, "\\ufeff");
                p += 2;
            }
            break;
        default:
            break;
        }
    }
    if (out.isNull())
        return json;
    out.append(copied, int(end - copied));
    return out;
}

} // namespace

bool WebPage::data(const std::function<bool(const QByteArray &)> &out) const
{
    // The whole as QJsonDocument writes it (keys in their order, numbers
    // and strings its way), the pages made one at a time in their place.
    const QByteArray whole = QJsonDocument(QJsonObject{{"title", title}, {"first", book.firstIndex()},
                                                       {"regles", rulesJson(rules)}, {"pages", QJsonArray()}})
                                 .toJson(QJsonDocument::Compact);
    const QByteArray place = "\"pages\":[";
    const int at = whole.indexOf(place + ']') + place.size();
    if (!out(escaped(whole.left(at))))
        return false;
    for (int i = 0; i < book.size(); ++i) {
        const QByteArray page = QJsonDocument(pageJson(book, i)).toJson(QJsonDocument::Compact);
        if (!out(escaped(i == 0 ? page : ',' + page)))
            return false;
    }
    return out(escaped(whole.mid(at)));
}

QByteArray WebPage::bookJson() const
{
    QByteArray json;
    data([&json](const QByteArray &piece) {
        json += piece;
        return true;
    });
    return json;
}

QByteArray WebPage::html() const
{
    if (script.isEmpty())
        return QByteArray();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QString unused;
    return writePage(&buffer, &unused) ? buffer.data() : QByteArray();
}

bool WebPage::writePage(QIODevice *device, QString *failure) const
{
    // The reader's progress is kept under this, so that it follows the
    // book's content rather than its title.
    QCryptographicHash hash(QCryptographicHash::Sha256);
    data([&hash](const QByteArray &piece) {
        hash.addData(piece);
        return true;
    });
    const QByteArray fingerprint = hash.result().toHex().left(32);
    const auto put = [device, failure](const QByteArray &bytes) { return AtomicFile::writeAll(*device, bytes, failure); };
    return put("<!DOCTYPE html>\n<html lang=\"fr\"><head><meta charset=\"utf-8\">"
               "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
               "<title>" + title.toHtmlEscaped().toUtf8() + "</title><style>" + QByteArray(style) + "</style></head><body>"
               "<h1 id=\"titre\">" + title.toHtmlEscaped().toUtf8() + "</h1>"
               + (author.isEmpty() ? QByteArray() : "<p id=\"auteur\">" + author.toHtmlEscaped().toUtf8() + "</p>")
               + "<div id=\"feuille\"></div><main id=\"entree\"></main>"
               "<div id=\"actions\"></div><p id=\"sauvegarde\" class=\"fin\" hidden>Votre progression ne peut plus "
               "être enregistrée dans ce navigateur (stockage plein ou refusé) : elle sera perdue en fermant "
               "cette page.</p><ol id=\"journal\"></ol><pre id=\"trace\" hidden></pre>"
               "<script type=\"application/json\" id=\"livre\" data-empreinte=\"" + fingerprint + "\">")
        && data(put)
        && put("</script><script>" + script + "</script></body></html>\n");
}

bool WebPage::write(QIODevice *device)
{
    if (script.isEmpty())
        return false;
    return writePage(device, &error);
}
