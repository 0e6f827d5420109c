#include "analysis/bookcheck.h"

#include "book/reference.h"
#include "play/fightodds.h"
#include "play/playbook.h"
#include "play/rules.h"

namespace {

QVector<Fight::Opponent> opponents(const Entry &entry)
{
    QVector<Fight::Opponent> out;
    for (const Entry::Monster &m : entry.monsters)
        out.append({m.name, Playbook::amount(m.habilete, 0), Playbook::amount(m.endurance, 0)}); // as the game reads them
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
    return tr("Combat contre %1 : %2 (faible), %3 (moyen), %4 (fort)")
        .arg(names.join(QStringLiteral(", ")), percent(odds.weakest), percent(odds.average),
             percent(odds.strongest));
}

BookCheck::BookCheck(const QSet<QString> *names, double hardFight)
    : monsterNames(names ? *names : QSet<QString>())
    , checkNames(names != nullptr)
    , hardFight(hardFight)
{
}

void BookCheck::changed(int index, int removed, int inserted)
{
    if (index < 0 || index + removed > entries.size()) {
        reset();
        return;
    }
    int from = 0, gone = 0;
    for (int i = 0; i < index + removed; ++i)
        (i < index ? from : gone) += entries.at(i).ways;
    targets.remove(from, gone);
    entries.remove(index, removed);
    entries.insert(index, inserted, Own());
}

BookCheck::Own BookCheck::ownChecks(const Entry &entry, QVector<int> *targets) const
{
    Own own;
    own.known = true;
    const QVector<Reference> references = Reference::of(entry);
    own.ways = references.size();
    for (const Reference &ref : references)
        targets->append(ref.target);
    if (!entry.monsters.isEmpty()
        && FightOdds::win(FightOdds::average.habilete, FightOdds::average.endurance, opponents(entry)) < hardFight)
        own.hardFight = fightOdds(entry);
    // The rules offer a flight once its round is played: at round 0 it is
    // never offered, whatever else the entry says of it.
    own.idleFlight = entry.flee.round == 0 && !entry.flee.ref.trimmed().isEmpty();
    if (checkNames)
        for (const Entry::Monster &m : entry.monsters)
            if (!monsterNames.contains(m.name))
                own.unknownMonsters << m.name;
    return own;
}

QVector<BookFinding> BookCheck::findings(const Book &book)
{
    const int size = book.size();
    if (entries.size() != size)
        reset();
    if (entries.isEmpty())
        entries = QVector<Own>(size);
    // The entries not looked at since they changed are, with their ways
    // out in their places among the others'.
    bool allKnown = true;
    for (int i = 0; i < size && allKnown; ++i)
        allKnown = entries.at(i).known;
    if (!allKnown) {
        QVector<int> all;
        all.reserve(targets.size() + 3 * size);
        for (int i = 0, from = 0; i < size; ++i) {
            Own &own = entries[i];
            if (own.known) {
                for (int k = 0; k < own.ways; ++k)
                    all.append(targets.at(from + k));
                from += own.ways;
            } else {
                own = ownChecks(book.entry(i), &all);
            }
        }
        targets = all;
        targets.squeeze();
    }

    // Everything the reader can reach from the first entry, following every
    // kind of reference; an entry whose number is held twice counts as
    // reached through the first of them only.
    // The walk jumps from entry to entry all over the book: it goes over
    // two flat tables (where each entry's ways out begin, the entry each
    // leads to, -1 for none) rather than over the entries themselves.
    QVector<int> firstWay(size + 1);
    QVector<int> leadsTo(targets.size());
    for (int i = 0, way = 0; i < size; ++i) {
        firstWay[i] = way;
        way += entries.at(i).ways;
    }
    firstWay[size] = targets.size();
    for (int w = 0; w < targets.size(); ++w)
        leadsTo[w] = book.indexOfNumber(targets.at(w));
    QVector<bool> reached(size, false);
    const int start = book.firstIndex();
    if (start >= 0) {
        QVector<int> stack{start};
        reached[start] = true;
        while (!stack.isEmpty()) {
            const int at = stack.takeLast();
            for (int w = firstWay.at(at); w < firstWay.at(at + 1); ++w) {
                const int next = leadsTo.at(w);
                if (next >= 0 && !reached.at(next)) {
                    reached[next] = true;
                    stack.append(next);
                }
            }
        }
    }

    // Entry by entry, in the order the author reads them: the number, the
    // ways out, the fight, the monsters, then whether the entry is reached.
    const QString ending = tr("fin de l'aventure : aucune sortie");
    const QString victory = tr("fin de l'aventure : victoire");
    const QString death = tr("fin de l'aventure : mort");
    const QString deadly = tr("fin marquée victoire, mais le lecteur y perd toute son ENDURANCE : c'est une mort");
    const QString unreachable = start < 0 ? tr("aucune entrée numérotée d'où partir")
                                          : tr("aucun chemin n'y mène depuis l'entrée %1").arg(book.entry(start).id);
    QVector<BookFinding> findings;
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
        Own &own = entries[i];
        // No way out: the adventure ends here, in victory or in death.
        if (own.ways == 0) {
            const Entry &e = book.entry(i);
            const BookFinding::Kind kind = endingKind(e);
            findings.append({kind, i,
                             kind == BookFinding::Victory ? victory
                                 : kind == BookFinding::Ending ? ending
                                 : e.endMark() == Entry::End::Death ? death
                                                                   : deadly});
        }
        QVector<Reference> references; // read again to word one that is wrong
        for (int r = 0; r < own.ways; ++r) {
            const int way = firstWay.at(i) + r;
            if (leadsTo.at(way) >= 0)
                continue;
            // Worded once: a reference stays wrong until its entry is written again.
            if (own.wrong.size() <= r)
                own.wrong.resize(r + 1);
            QString &text = own.wrong[r];
            if (text.isEmpty()) {
                if (references.isEmpty())
                    references = Reference::of(book.entry(i));
                const Reference &ref = references.at(r);
                text = ref.target >= 0 ? tr("%1 vers %2 : cette entrée n'existe pas").arg(Reference::kindName(ref.kind), ref.text)
                    : ref.text.trimmed().isEmpty()
                    ? tr("%1 : renvoi vide").arg(Reference::kindName(ref.kind))
                    : tr("%1 : « %2 » n'est pas un numéro d'entrée").arg(Reference::kindName(ref.kind), ref.text);
            }
            findings.append({targets.at(way) >= 0 ? BookFinding::Dangling : BookFinding::NotANumber, i, text});
        }
        if (!own.hardFight.isEmpty())
            findings.append({BookFinding::HardFight, i, own.hardFight});
        if (own.idleFlight)
            findings.append({BookFinding::IdleFlight, i,
                             tr("fuite vers %1 sans assaut : elle n'est jamais proposée ; dites après quel "
                                "assaut elle devient possible").arg(book.entry(i).flee.ref.trimmed())});
        for (const QString &name : qAsConst(own.unknownMonsters))
            findings.append({BookFinding::UnknownMonster, i,
                             tr("« %1 » n'est pas dans le fichier des monstres").arg(name)});
        if (!reached.at(i))
            findings.append({BookFinding::Unreachable, i, unreachable});
    }
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
    case BookFinding::IdleFlight: return QStringLiteral("idle-flight");
    case BookFinding::Victory: return QStringLiteral("victory");
    case BookFinding::Death: return QStringLiteral("death");
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
    case BookFinding::IdleFlight: return tr("Fuite jamais proposée");
    case BookFinding::Victory: return tr("Victoire");
    case BookFinding::Death: return tr("Mort");
    }
    return QString();
}

bool BookCheck::isError(BookFinding::Kind kind)
{
    return kind == BookFinding::Dangling || kind == BookFinding::DuplicateId
        || kind == BookFinding::NotANumber;
}

BookFinding::Kind BookCheck::endingKind(const Entry &entry)
{
    // The most a reader starts with, under the book's rules as printed.
    const Rules rules;
    const int most = rules.enduranceDice * Rules::dieSides + rules.enduranceBase;
    const int left = entry.hasBonus() ? most + Rules::bounded(entry.bonus.endurance) : most;
    switch (entry.endFor(left)) {
    case Entry::End::Victory: return BookFinding::Victory;
    case Entry::End::Death: return BookFinding::Death;
    case Entry::End::Unmarked: break;
    }
    return BookFinding::Ending;
}

QStringList BookCheck::faults(const Book &book)
{
    QStringList out;
    for (const BookFinding &f : run(book))
        if (isError(f.kind))
            out << tr("%1 : %2 : %3").arg(book.entry(f.entry).id, title(f.kind), f.detail);
    return out;
}

QString BookCheck::exportQuestion(const QStringList &faults)
{
    if (faults.isEmpty())
        return QString();
    // A long list is cut: the check list shows it whole.
    const int shown = 12;
    QStringList lines = faults.mid(0, shown);
    if (faults.size() > shown)
        lines << tr("… et %1 de plus").arg(faults.size() - shown);
    return (faults.size() == 1 ? tr("La vérification du livre trouve un défaut :")
                               : tr("La vérification du livre trouve %1 défauts :").arg(faults.size()))
        + QLatin1Char('\n')
        + lines.join(QLatin1Char('\n')) + QStringLiteral("\n\n") + tr("Exporter quand même ?");
}
