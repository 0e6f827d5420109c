#include "analysis/bookcheck.h"

#include "book/reference.h"
#include "play/fightodds.h"

namespace {

QVector<Fight::Opponent> opponents(const Entry &entry)
{
    QVector<Fight::Opponent> out;
    for (const Entry::Monster &m : entry.monsters)
        out.append({m.name, m.habilete.toInt(), m.endurance.toInt()});
    return out;
}

QString percent(double p)
{
    return QStringLiteral("%1 %").arg(qRound(p * 100));
}

} // namespace

QString BookCheck::fightOdds(const Entry &entry)
{
    if (entry.monsters.isEmpty())
        return QString();
    QStringList names;
    for (const Entry::Monster &m : entry.monsters)
        names << m.name;
    const FightOdds::Profiles odds = FightOdds::profiles(opponents(entry));
    return tr("Combat contre %1 : %2 (moyen), %3 (faible), %4 (fort)")
        .arg(names.join(QStringLiteral(", ")), percent(odds.average), percent(odds.weakest),
             percent(odds.strongest));
}

QVector<BookFinding> BookCheck::run(const Book &book, const QSet<QString> *monsterNames, double hardFight)
{
    QVector<BookFinding> findings;
    const int size = book.size();
    QVector<int> lines;
    for (int i = 0; i < size; ++i) {
        const int first = book.indexOfNumber(book.number(i));
        if (book.number(i) >= 0 && first != i) {
            if (lines.isEmpty())
                lines = book.lineNumbers();
            findings.append({BookFinding::DuplicateId, i,
                             tr("le numéro %1 est déjà celui de l'entrée de la ligne %2")
                                 .arg(book.number(i))
                                 .arg(lines.at(first))});
        }
    }

    // Each entry's ways out, worked out once for the checks and the walk below.
    QVector<QVector<Reference>> references(size);
    for (int i = 0; i < size; ++i) {
        const Entry &entry = book.entry(i);
        references[i] = Reference::of(entry);
        // No way out: the adventure ends here, in victory or in death.
        if (references.at(i).isEmpty())
            findings.append({BookFinding::Ending, i, tr("fin de l'aventure : aucune sortie")});
        for (const Reference &ref : references.at(i)) {
            if (ref.target < 0) {
                findings.append({BookFinding::NotANumber, i,
                                 ref.text.trimmed().isEmpty()
                                     ? tr("%1 : renvoi vide").arg(Reference::kindName(ref.kind))
                                     : tr("%1 : « %2 » n'est pas un numéro d'entrée")
                                           .arg(Reference::kindName(ref.kind), ref.text)});
            } else if (book.indexOfNumber(ref.target) < 0) {
                findings.append({BookFinding::Dangling, i,
                                 tr("%1 vers %2 : cette entrée n'existe pas")
                                     .arg(Reference::kindName(ref.kind), ref.text)});
            }
        }
        if (!entry.monsters.isEmpty()
            && FightOdds::win(FightOdds::average.habilete, FightOdds::average.endurance, opponents(entry)) < hardFight)
            findings.append({BookFinding::HardFight, i, fightOdds(entry)});
        if (monsterNames)
            for (const Entry::Monster &m : entry.monsters)
                if (!monsterNames->contains(m.name))
                    findings.append({BookFinding::UnknownMonster, i,
                                     tr("« %1 » n'est pas dans le fichier des monstres").arg(m.name)});
    }

    // Everything the reader can reach from the first entry, following every
    // kind of reference; an entry whose number is held twice counts as
    // reached through the first of them only.
    QVector<bool> reached(size, false);
    const int start = book.firstIndex();
    if (start >= 0) {
        QVector<int> stack{start};
        reached[start] = true;
        while (!stack.isEmpty()) {
            const int at = stack.takeLast();
            for (const Reference &ref : references.at(at)) {
                const int next = ref.target < 0 ? -1 : book.indexOfNumber(ref.target);
                if (next >= 0 && !reached.at(next)) {
                    reached[next] = true;
                    stack.append(next);
                }
            }
        }
    }
    for (int i = 0; i < size; ++i)
        if (!reached.at(i))
            findings.append({BookFinding::Unreachable, i,
                             start < 0 ? tr("aucune entrée numérotée d'où partir")
                                       : tr("aucun chemin n'y mène depuis l'entrée %1")
                                             .arg(book.entry(start).id)});

    std::stable_sort(findings.begin(), findings.end(),
                     [](const BookFinding &a, const BookFinding &b) { return a.entry < b.entry; });
    return findings;
}

QString BookCheck::key(BookFinding::Kind kind)
{
    switch (kind) {
    case BookFinding::Dangling: return QStringLiteral("dangling");
    case BookFinding::Unreachable: return QStringLiteral("unreachable");
    case BookFinding::Ending: return QStringLiteral("ending");
    case BookFinding::DuplicateId: return QStringLiteral("duplicate-id");
    case BookFinding::NotANumber: return QStringLiteral("not-a-number");
    case BookFinding::UnknownMonster: return QStringLiteral("unknown-monster");
    case BookFinding::HardFight: return QStringLiteral("hard-fight");
    }
    return QString();
}

QString BookCheck::title(BookFinding::Kind kind)
{
    switch (kind) {
    case BookFinding::Dangling: return tr("Renvoi vers une entrée absente");
    case BookFinding::Unreachable: return tr("Entrée inaccessible");
    case BookFinding::Ending: return tr("Fin");
    case BookFinding::DuplicateId: return tr("Numéro en double");
    case BookFinding::NotANumber: return tr("Renvoi qui n'est pas un numéro");
    case BookFinding::UnknownMonster: return tr("Monstre inconnu");
    case BookFinding::HardFight: return tr("Combat difficile");
    }
    return QString();
}

bool BookCheck::isError(BookFinding::Kind kind)
{
    return kind == BookFinding::Dangling || kind == BookFinding::DuplicateId
        || kind == BookFinding::NotANumber;
}
