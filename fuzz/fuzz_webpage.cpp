// Any book that reads makes the web page's data: JSON with no "<", ">",
// "&", U+2028, U+2029 or U+FEFF to end or change the element that holds it
// or to be lost on reading, from which every entry's texts, references and
// numbers come back as the book and the rules have them.
#include "book/bookreader.h"
#include "book/booktitle.h"
#include "export/webpage.h"
#include "play/playbook.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdint>
#include <cstdlib>

namespace {

void same(bool alike)
{
    if (!alike)
        abort();
}

void sameWay(const QJsonValue &value, const QString &written, const Playbook::Way &way)
{
    const QJsonObject o = value.toObject();
    same(o.value(QLatin1String("s")).toString() == written && way.text == written
         && o.value(QLatin1String("t")).toInt(-2) == way.target);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    BookReader reader;
    if (!reader.read(bytes))
        return 0;
    const Book &book = reader.book();
    const QByteArray json = WebPage(book).bookJson();
    for (const char *unsafe : {"<", ">", "&", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xEF\xBB\xBF"})
        same(!json.contains(unsafe));
    QJsonParseError error;
    const QJsonObject root = QJsonDocument::fromJson(json, &error).object();
    same(error.error == QJsonParseError::NoError);
    const Playbook play(book);
    const QJsonArray pages = root.value(QLatin1String("pages")).toArray();
    same(root.value(QLatin1String("title")).toString() == BookTitle::titleFromRoot(book.rootName())
         && root.value(QLatin1String("first")).toInt(-2) == play.first() && pages.size() == book.size());
    for (int i = 0; i < book.size(); ++i) {
        const Entry &e = book.entry(i);
        const Playbook::Page &p = play.page(i);
        const QJsonObject page = pages.at(i).toObject();
        same(page.value(QLatin1String("id")).toString() == e.id
             && page.value(QLatin1String("text")).toString() == e.text);
        const QJsonArray choices = page.value(QLatin1String("choices")).toArray();
        same(choices.size() == e.choices.size());
        for (int c = 0; c < choices.size(); ++c) {
            same(choices.at(c).toObject().value(QLatin1String("x")).toString() == e.choices.at(c).text);
            sameWay(choices.at(c), e.choices.at(c).value, p.choices.at(c));
        }
        const QJsonArray monsters = page.value(QLatin1String("monsters")).toArray();
        same(monsters.size() == e.monsters.size());
        for (int m = 0; m < monsters.size(); ++m) {
            const QJsonObject o = monsters.at(m).toObject();
            same(o.value(QLatin1String("n")).toString() == e.monsters.at(m).name
                 && o.value(QLatin1String("h")).toInt(-1) == p.monsters.at(m).habilete
                 && o.value(QLatin1String("e")).toInt(-1) == p.monsters.at(m).endurance);
        }
        if (!e.monsters.isEmpty())
            sameWay(page.value(QLatin1String("victory")), e.monsters.last().victory, p.victory);
        if (e.hasFlee())
            sameWay(page.value(QLatin1String("fleeTo")), e.flee.ref, p.fleeTo);
        if (e.hasLuck()) {
            sameWay(page.value(QLatin1String("lucky")), e.luck.luckyValue, p.lucky);
            sameWay(page.value(QLatin1String("unlucky")), e.luck.unluckyValue, p.unlucky);
        }
        const QJsonArray finds = page.value(QLatin1String("finds")).toArray();
        same(finds.size() == e.objects.size());
        for (int f = 0; f < finds.size(); ++f)
            same(finds.at(f).toObject().value(QLatin1String("n")).toString() == e.objects.at(f).text
                 && finds.at(f).toObject().value(QLatin1String("g")).toInt(-1000) == p.finds.at(f).gold);
    }
    return 0;
}
