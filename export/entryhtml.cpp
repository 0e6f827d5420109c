#include "export/entryhtml.h"

#include "analysis/bookcheck.h"
#include "book/entryid.h"
#include "play/playbook.h"
#include "play/rules.h"

#include <QRegularExpression>

namespace {

// A reference as the reader reads it: the entry's number as the book shows
// it; in the preview a link to that entry, or marked when it is missing.
// Printed, a reference that leads nowhere says so in a word, for the
// reader not to look for an entry that is not there.
QString target(const Book &book, const QString &reference, EntryHtml::Use use)
{
    const int index = book.indexOfNumber(EntryId::parse(reference));
    if (index < 0 && use != EntryHtml::Preview)
        return reference.trimmed().isEmpty()
            ? EntryHtml::tr("… (renvoi vide)")
            : EntryHtml::tr("%1 (entrée absente)").arg(EntryHtml::escaped(reference.trimmed()));
    if (use == EntryHtml::Print || use == EntryHtml::Ebook)
        return use == EntryHtml::Print ? EntryHtml::escaped(book.entry(index).id)
                                       : QStringLiteral("<a href='entry:%1'>%2</a>")
                                             .arg(index)
                                             .arg(EntryHtml::escaped(book.entry(index).id));
    // In the preview, a missing entry with a number is a link that writes it.
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

// A text as a sentence: ending with its own stop, or with a full stop.
QString sentence(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return t;
    const QChar last = t.at(t.size() - 1);
    if (last == QLatin1Char('.') || last == QLatin1Char('!') || last == QLatin1Char('?') || last == QChar(0x2026)
        || last == QChar(0xbb))
        return t;
    return t + QLatin1Char('.');
}

// Where a text sends the reader to a number itself ("…, rendez-vous au
// 2", "allez au paragraphe 12", "Aller en 001"): the last such number.
QRegularExpressionMatch namedNumber(const QString &text)
{
    static const QRegularExpression number(
        QStringLiteral("\\b(?:au|à|en)\\s+(?:(?:paragraphe|section|numéro)\\s+|n°\\s*)?(\\d+)(?!\\d)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    QRegularExpressionMatch last;
    for (auto it = number.globalMatch(text); it.hasNext();)
        last = it.next();
    return last;
}

// The way a choice is printed (the rule the README states):
// - a text that already sends the reader to a number is printed as
//   written, that number written as the book writes the entry the choice
//   leads to (so that a renumbered book stays right);
// - a text that opens a condition or a purpose ("Si vous fuyez", "Pour
//   fuir", "Sinon") is followed by ", rendez-vous au 042.";
// - any other ("Ouvrir la porte") becomes "Si vous voulez ouvrir la porte,
//   rendez-vous au 042.";
// - no text at all, "Rendez-vous au 042.".
QString choiceSentence(const QString &text, const QString &to)
{
    QString t = text.trimmed();
    while (t.endsWith(QLatin1Char('.')) || t.endsWith(QLatin1Char(',')))
        t.chop(1);
    t = t.trimmed();
    if (t.isEmpty())
        return EntryHtml::tr("Rendez-vous au %1.").arg(to);
    const QRegularExpressionMatch named = namedNumber(t);
    if (named.hasMatch())
        return EntryHtml::escaped(t.left(named.capturedStart(1))) + to
            + EntryHtml::escaped(sentence(QLatin1Char('0') + t.mid(named.capturedEnd(1))).mid(1));
    static const QRegularExpression clause(QStringLiteral("^(si|s'|s’|pour|quand|lorsque|lorsqu'|lorsqu’|sinon|dès que|au cas où)\\b"),
                                           QRegularExpression::CaseInsensitiveOption
                                               | QRegularExpression::UseUnicodePropertiesOption);
    if (clause.match(t).hasMatch())
        return EntryHtml::tr("%1, rendez-vous au %2.").arg(EntryHtml::escaped(t), to);
    return EntryHtml::tr("Si vous voulez %1, rendez-vous au %2.")
        .arg(EntryHtml::escaped(t.left(1).toLower() + t.mid(1)), to);
}

// "1 point", "2 points": French takes the singular below 2.
QString counted(int n, const QString &one, const QString &many)
{
    return (n < 2 ? one : many).arg(n);
}

// "1 point d'HABILETÉ", "2 points d'ENDURANCE", "1 point de CHANCE".
QString points(int n, int characteristic)
{
    const QString what = characteristic == 0 ? EntryHtml::tr("d'HABILETÉ")
        : characteristic == 1                ? EntryHtml::tr("d'ENDURANCE")
                                             : EntryHtml::tr("de CHANCE");
    return counted(n, EntryHtml::tr("%1 point"), EntryHtml::tr("%1 points")) + QLatin1Char(' ') + what;
}

} // namespace

QString EntryHtml::bonusSentences(int habilete, int endurance, int chance)
{
    QStringList said;
    const int values[] = {habilete, endurance, chance};
    for (int c = 0; c < 3; ++c) {
        if (values[c] > 0)
            said << tr("Ajoutez %1.").arg(points(values[c], c));
        else if (values[c] < 0)
            said << tr("Perdez %1.").arg(points(-values[c], c));
    }
    return said.join(QLatin1Char(' '));
}

QString EntryHtml::findSentence(const Entry::Object &o)
{
    const int gold = Playbook::amount(o.gold, 0), food = Playbook::amount(o.food, 0);
    QStringList found;
    if (!o.text.trimmed().isEmpty())
        found << escaped(o.text.trimmed());
    if (gold > 0)
        found << counted(gold, tr("%1 pièce d'or"), tr("%1 pièces d'or"));
    if (food > 0)
        found << tr("%1 repas").arg(food);
    QString h;
    if (!found.isEmpty()) {
        const QString last = found.takeLast();
        h = tr("Vous trouvez : %1.").arg(found.isEmpty() ? last : tr("%1 et %2").arg(found.join(QStringLiteral(", ")), last));
    }
    const QString bonus = bonusSentences(Playbook::amount(o.habilete), Playbook::amount(o.endurance),
                                         Playbook::amount(o.chance));
    for (const QString &more : {bonus, escaped(sentence(o.other))})
        if (!more.isEmpty())
            h += (h.isEmpty() ? QString() : QStringLiteral(" ")) + more;
    return h;
}

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
    const Rules rules;
    QString h = QStringLiteral("<h2 class='n'>%1</h2><p>%2</p>").arg(escaped(e.id), escaped(e.text));
    if (e.hasBonus())
        h += QStringLiteral("<p><i>%1</i></p>")
                 .arg(bonusSentences(Rules::bounded(e.bonus.habilete), Rules::bounded(e.bonus.endurance),
                                     Rules::bounded(e.bonus.chance)));
    for (const Entry::Object &o : e.objects) {
        const QString found = findSentence(o);
        if (!found.isEmpty())
            h += QStringLiteral("<p><i>%1</i></p>").arg(found);
    }
    if (e.types.eat)
        h += tr("<p><i>Vous pouvez prendre un repas.</i></p>");
    const QString fleePenalty = e.flee.penality
        ? QStringLiteral(" ") + tr("Si vous fuyez, perdez %1.").arg(points(rules.fleePenalty, 1))
        : QString();
    if (!e.monsters.isEmpty()) {
        h += QStringLiteral("<table border='1' cellspacing='0' cellpadding='4'>");
        for (const Entry::Monster &m : e.monsters)
            h += tr("<tr><td><b>%1</b></td><td>HABILETÉ %2</td><td>ENDURANCE %3</td><td>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;</td></tr>")
                     .arg(escaped(m.name), escaped(m.habilete), escaped(m.endurance));
        h += QStringLiteral("</table>");
        if (use == Preview)
            h += QStringLiteral("<p><i>%1</i></p>").arg(escaped(BookCheck::fightOdds(e)));
        if (e.hasFlee()) {
            h += e.flee.round == 1
                ? tr("<p>Après le premier assaut, vous pouvez prendre la fuite : rendez-vous au %1.%2</p>")
                      .arg(to(e.flee.ref), fleePenalty)
                : tr("<p>Après %3 assauts, vous pouvez prendre la fuite : rendez-vous au %1.%2</p>")
                      .arg(to(e.flee.ref), fleePenalty)
                      .arg(e.flee.round);
        }
        h += tr("<p>Si vous êtes vainqueur, rendez-vous au %1.</p>").arg(to(e.monsters.last().victory));
    } else if (e.hasFlee()) {
        h += tr("<p>Si vous prenez la fuite, rendez-vous au %1.%2</p>").arg(to(e.flee.ref), fleePenalty);
    }
    if (e.hasLuck()) {
        const auto outcome = [&](const QString &lead, const QString &text, const QString &reference) {
            const QString said = sentence(text);
            return said.isEmpty() ? tr("%1, rendez-vous au %2.").arg(lead, to(reference))
                                  : tr("%1 : %2 Rendez-vous au %3.").arg(lead, escaped(said), to(reference));
        };
        // The call and its first outcome in one paragraph: a page never
        // ends on "Tentez votre chance." alone.
        h += QStringLiteral("<p>%1 %2</p>")
                 .arg(tr("Tentez votre chance."), outcome(tr("Si vous êtes chanceux"), e.luck.luckyText, e.luck.luckyValue));
        h += QStringLiteral("<p>%1</p>")
                 .arg(outcome(tr("Si vous êtes malchanceux"), e.luck.unluckyText, e.luck.unluckyValue));
    }
    for (const Entry::Choice &c : e.choices)
        h += QStringLiteral("<p>%1</p>").arg(choiceSentence(c.text, to(c.value)));
    if (!e.hasWayOut()) {
        switch (BookCheck::endingKind(e)) {
        case BookFinding::Victory: h += tr("<p><b>Vous avez réussi !</b></p>"); break;
        case BookFinding::Death: h += tr("<p><b>Votre aventure s'achève ici.</b></p>"); break;
        default: h += tr("<p><b>Fin.</b></p>"); break;
        }
        if (use == Preview)
            h += tr("<p><i>Fin : aucune sortie.</i></p>");
    }
    return h;
}
