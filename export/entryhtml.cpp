#include "export/entryhtml.h"

#include "analysis/bookcheck.h"
#include "book/entryid.h"

namespace {

// A reference as the reader reads it: the entry's number as the book shows
// it; in the preview a link to that entry, or marked when it is missing.
QString target(const Book &book, const QString &reference, EntryHtml::Use use)
{
    const int index = book.indexOfNumber(EntryId::parse(reference));
    if (use == EntryHtml::Print || (use == EntryHtml::Ebook && index < 0))
        return EntryHtml::escaped(index < 0 ? reference.trimmed() : book.entry(index).id);
    // A missing entry with a number is a link that writes it.
    const int number = EntryId::parse(reference);
    if (index < 0 && number >= 0)
        return QStringLiteral("<a href='missing:%1' style='color:#c62828'>%2 (%3)</a>")
            .arg(number)
            .arg(EntryHtml::escaped(reference.trimmed()), EntryHtml::tr("entrée absente : l'écrire"));
    if (index < 0)
        return QStringLiteral("<span style='color:#c62828'>%1 (%2)</span>")
            .arg(EntryHtml::escaped(reference.trimmed()), EntryHtml::tr("entrée absente"));
    return QStringLiteral("<a href='entry:%1'>%2</a>").arg(index).arg(EntryHtml::escaped(book.entry(index).id));
}

// "Ouvrir la porte" gives "Si vous voulez ouvrir la porte"; a text that is
// already a sentence stands as it is.
QString choiceSentence(const QString &text, const QString &to)
{
    QString t = text.trimmed();
    while (t.endsWith(QLatin1Char('.')))
        t.chop(1);
    if (t.isEmpty())
        return EntryHtml::tr("Rendez-vous au %1.").arg(to);
    if (t.startsWith(QLatin1String("Si "), Qt::CaseInsensitive))
        return EntryHtml::tr("%1, rendez-vous au %2.").arg(EntryHtml::escaped(t), to);
    return EntryHtml::tr("Si vous voulez %1, rendez-vous au %2.")
        .arg(EntryHtml::escaped(t.left(1).toLower() + t.mid(1)), to);
}

} // namespace

QString EntryHtml::escaped(const QString &text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br>"));
}

QString EntryHtml::of(const Book &book, int i, Use use)
{
    if (i < 0 || i >= book.size())
        return QString();
    return of(book, book.entry(i), use);
}

QString EntryHtml::of(const Book &book, const Entry &e, Use use)
{
    auto to = [&](const QString &reference) { return target(book, reference, use); };
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
        if (use == Preview)
            h += QStringLiteral("<p><i>%1</i></p>").arg(escaped(BookCheck::fightOdds(e)));
        if (e.hasFlee()) {
            const QString penalty = e.flee.penality ? tr(" (vous perdez 2 points d'Endurance)") : QString();
            h += e.flee.round == 1
                ? tr("<p>Après le premier assaut, vous pouvez prendre la fuite%1 : rendez-vous au %2.</p>")
                      .arg(penalty, to(e.flee.ref))
                : tr("<p>Après %3 assauts, vous pouvez prendre la fuite%1 : rendez-vous au %2.</p>")
                      .arg(penalty, to(e.flee.ref))
                      .arg(e.flee.round);
        }
        h += tr("<p>Si vous êtes vainqueur, rendez-vous au %1.</p>").arg(to(e.monsters.last().victory));
    } else if (e.hasFlee()) {
        h += tr("<p>Si vous prenez la fuite, rendez-vous au %1.</p>").arg(to(e.flee.ref));
    }
    if (e.hasLuck())
        h += tr("<p>Tentez votre chance. Si vous êtes chanceux, rendez-vous au %1 ; si vous êtes "
                "malchanceux, rendez-vous au %2.</p>")
                 .arg(to(e.luck.luckyValue), to(e.luck.unluckyValue));
    for (const Entry::Choice &c : e.choices)
        h += QStringLiteral("<p>%1</p>").arg(choiceSentence(c.text, to(c.value)));
    if (use == Preview && !e.hasWayOut())
        h += tr("<p><i>Fin : aucune sortie.</i></p>");
    return h;
}
