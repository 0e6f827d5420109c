#include "export/printbook.h"

#include "book/atomicfile.h"
#include "book/entryid.h"

#include <QFileDevice>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

#include <algorithm>
#include <numeric>

namespace {

QString escaped(const QString &text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br>"));
}

// A reference as a reader reads it: the entry's number as the book shows it.
QString target(const Book &book, const QString &reference)
{
    const int index = book.indexOfNumber(EntryId::parse(reference));
    return escaped(index < 0 ? reference.trimmed() : book.entry(index).id);
}

// "Ouvrir la porte" gives "Si vous voulez ouvrir la porte"; a text that is
// already a sentence stands as it is.
QString choiceSentence(const QString &text, const QString &to)
{
    QString t = text.trimmed();
    while (t.endsWith(QLatin1Char('.')))
        t.chop(1);
    if (t.isEmpty())
        return PrintBook::tr("Rendez-vous au %1.").arg(to);
    if (t.startsWith(QLatin1String("Si "), Qt::CaseInsensitive))
        return PrintBook::tr("%1, rendez-vous au %2.").arg(escaped(t), to);
    return PrintBook::tr("Si vous voulez %1, rendez-vous au %2.").arg(escaped(t.left(1).toLower() + t.mid(1)), to);
}

} // namespace

PrintBook::PrintBook(const Book &book, const QString &title)
    : book(book), title(title.isEmpty() ? book.rootName() : title)
{
}

QString PrintBook::entryHtml(int i) const
{
    const Entry &e = book.entry(i);
    QString h = QStringLiteral("<h2 class='n'>%1</h2><p>%2</p>").arg(escaped(e.id), escaped(e.text));
    if (e.hasBonus())
        h += tr("<p><i>Habileté %1, Endurance %2, Chance %3.</i></p>")
                 .arg(e.bonus.habilete).arg(e.bonus.endurance).arg(e.bonus.chance);
    for (const Entry::Object &o : e.objects)
        if (!o.text.isEmpty())
            h += tr("<p><i>Vous trouvez : %1.</i></p>").arg(escaped(o.text));
    if (!e.monsters.isEmpty()) {
        h += QStringLiteral("<table border='1' cellspacing='0' cellpadding='4'>");
        for (const Entry::Monster &m : e.monsters)
            h += tr("<tr><td><b>%1</b></td><td>HABILETÉ %2</td><td>ENDURANCE %3</td><td>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;</td></tr>")
                     .arg(escaped(m.name), escaped(m.habilete), escaped(m.endurance));
        h += QStringLiteral("</table>");
        if (e.hasFlee())
            h += (e.flee.round == 1 ? tr("<p>Après le premier assaut, vous pouvez prendre la fuite%1 : rendez-vous au %2.</p>")
                                    : tr("<p>Après %3 assauts, vous pouvez prendre la fuite%1 : rendez-vous au %2.</p>"))
                     .arg(e.flee.penality ? tr(" (vous perdez 2 points d'Endurance)") : QString(),
                          target(book, e.flee.ref))
                     .arg(e.flee.round);
        h += tr("<p>Si vous êtes vainqueur, rendez-vous au %1.</p>").arg(target(book, e.monsters.last().victory));
    } else if (e.hasFlee()) {
        h += tr("<p>Si vous prenez la fuite, rendez-vous au %1.</p>").arg(target(book, e.flee.ref));
    }
    if (e.hasLuck())
        h += tr("<p>Tentez votre chance. Si vous êtes chanceux, rendez-vous au %1 ; si vous êtes "
                "malchanceux, rendez-vous au %2.</p>")
                 .arg(target(book, e.luck.luckyValue), target(book, e.luck.unluckyValue));
    for (const Entry::Choice &c : e.choices)
        h += QStringLiteral("<p>%1</p>").arg(choiceSentence(c.text, target(book, c.value)));
    return h;
}

QString PrintBook::html() const
{
    // Entries in the order of their numbers; those without one come last.
    QVector<int> order(book.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
        const qint64 x = book.number(a) < 0 ? qint64(1) << 40 : book.number(a);
        const qint64 y = book.number(b) < 0 ? qint64(1) << 40 : book.number(b);
        return x < y;
    });
    QString h = QStringLiteral("<!DOCTYPE html><html lang='fr'><head><meta charset='utf-8'><title>%1</title>"
                               "<style>body{font-family:serif;max-width:40em;margin:auto}"
                               "h2.n{text-align:center;margin-top:1.5em}"
                               "@media print{.page{page-break-after:always}}</style></head><body>")
                    .arg(escaped(title));
    h += QStringLiteral("<div class='page'><h1 align='center'>%1</h1></div>").arg(escaped(title));
    h += tr("<div class='page'><h1 style='page-break-before: always'>Règles</h1>"
            "<p>Lancez un dé et ajoutez 6 : c'est votre HABILETÉ. Lancez deux dés et ajoutez 12 : "
            "c'est votre ENDURANCE. Lancez un dé et ajoutez 6 : c'est votre CHANCE.</p>"
            "<p><b>Combat.</b> À chaque assaut, lancez deux dés pour vous et ajoutez votre "
            "HABILETÉ, puis deux dés pour le monstre et ajoutez son HABILETÉ. Le plus fort blesse "
            "l'autre de 2 points d'ENDURANCE ; à égalité, personne n'est blessé. Celui dont "
            "l'ENDURANCE tombe à 0 a perdu.</p>"
            "<p><b>Tentez votre chance.</b> Lancez deux dés : si le total est inférieur ou égal à "
            "votre CHANCE, vous êtes chanceux. Dans les deux cas, ôtez 1 point de CHANCE.</p>"
            "<p><b>Repas.</b> Là où c'est permis, un repas rend 4 points d'ENDURANCE.</p></div>");
    h += tr("<div class='page'><h1 style='page-break-before: always'>Feuille d'aventure</h1>"
            "<table border='1' cellspacing='0' cellpadding='10' width='100%'>"
            "<tr><td>HABILETÉ<br>Départ :</td><td>ENDURANCE<br>Départ :</td><td>CHANCE<br>Départ :</td></tr>"
            "<tr><td colspan='3'>Or :</td></tr><tr><td colspan='3'>Provisions :</td></tr>"
            "<tr><td colspan='3' height='120'>Équipement :</td></tr></table></div>");
    h += QStringLiteral("<p style='page-break-before: always'></p>");
    for (const int i : qAsConst(order))
        h += entryHtml(i);
    return h + QStringLiteral("</body></html>");
}

bool PrintBook::writeHtml(QIODevice *device)
{
    return AtomicFile::writeAll(*device, html().toUtf8(), &error);
}

bool PrintBook::writePdf(QIODevice *device, Paper paper)
{
    QPdfWriter pdf(device);
    pdf.setTitle(title);
    pdf.setCreator(QStringLiteral("Orvandel"));
    pdf.setPageSize(QPageSize(paper == Letter ? QPageSize::Letter : QPageSize::A4));
    pdf.setPageMargins(QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter);
    QTextDocument document;
    document.setHtml(html());
    document.print(&pdf);
    auto *file = qobject_cast<QFileDevice *>(device);
    if (file && file->error() != QFileDevice::NoError) {
        error = file->errorString();
        return false;
    }
    return true;
}
