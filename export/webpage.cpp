#include "export/webpage.h"

#include "book/atomicfile.h"
#include "play/playbook.h"

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
button{font:inherit;margin:.3em .3em 0 0;padding:.4em .8em}a.choix{font-weight:bold}.fin{font-weight:bold;color:#8b1a1a}
#journal{font-size:.85em;color:#555}@media (max-width:600px){body{padding:.5em;font-size:1.05em}button{width:100%}}
)CSS";

} // namespace

WebPage::WebPage(const Book &book, const QString &title, const Rules &rules)
    : book(book), title(title.isEmpty() ? book.rootName() : title), rules(rules)
{
    // A resource of a static library is linked in only when named.
    Q_INIT_RESOURCE(webpage);
    script = engine();
    if (script.isEmpty())
        error = tr("le moteur de la page web manque à ce programme");
}

QByteArray WebPage::bookJson() const
{
    const Playbook play(book);
    QJsonArray pages;
    for (int i = 0; i < play.size(); ++i) {
        const Playbook::Page &p = play.page(i);
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
        pages.append(QJsonObject{{"id", p.id}, {"text", book.entry(i).text}, {"h", p.habilete},
                                 {"e", p.endurance}, {"c", p.chance}, {"finds", finds},
                                 {"meal", p.meal}, {"monsters", monsters}, {"victory", way(p.victory)},
                                 {"flee", p.flee}, {"fleePenalty", p.fleePenalty},
                                 {"fleeRound", p.fleeRound}, {"fleeTo", way(p.fleeTo)},
                                 {"luck", p.luck}, {"lucky", way(p.lucky)}, {"unlucky", way(p.unlucky)},
                                 {"choices", choices}});
    }
    QByteArray json = QJsonDocument(QJsonObject{{"title", title}, {"first", play.first()}, {"regles", rulesJson(rules)},
                                                   {"pages", pages}})
                          .toJson(QJsonDocument::Compact);
    // Inside a <script> element "</script" ends it and "<!--" changes how
    // the rest is read: with no "<" at all, a book's text can do neither.
    // The other characters are escaped too, for whoever reads the data as
    // HTML or as JavaScript source, and U+FEFF, which a reader may take for
    // a byte-order mark at the start of a string and drop (Qt's does).
    // Outside strings JSON has none of them.
    return json.replace("<", "\\u003c").replace(">", "\\u003e").replace("&", "\\u0026")
        .replace("\xE2\x80\xA8", "\\u2028").replace("\xE2\x80\xA9", "\\u2029")
        .replace("\xEF\xBB\xBF", "\\ufeff");
}

QByteArray WebPage::html() const
{
    if (script.isEmpty())
        return QByteArray();
    const QByteArray data = bookJson();
    // The reader's progress is kept under this, so that it follows the
    // book's content rather than its title.
    const QByteArray fingerprint = QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex().left(32);
    return "<!DOCTYPE html>\n<html lang=\"fr\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
           "<title></title><style>" + QByteArray(style) + "</style></head><body>"
           "<h1 id=\"titre\"></h1><div id=\"feuille\"></div><main id=\"entree\"></main>"
           "<div id=\"actions\"></div><p id=\"sauvegarde\" class=\"fin\" hidden>Votre progression ne peut plus "
           "être enregistrée dans ce navigateur (stockage plein ou refusé) : elle sera perdue en fermant "
           "cette page.</p><ol id=\"journal\"></ol><pre id=\"trace\" hidden></pre>"
           "<script type=\"application/json\" id=\"livre\" data-empreinte=\"" + fingerprint + "\">" + data
        + "</script>"
           "<script>" + script + "</script></body></html>\n";
}

bool WebPage::write(QIODevice *device)
{
    if (script.isEmpty())
        return false;
    return AtomicFile::writeAll(*device, html(), &error);
}
