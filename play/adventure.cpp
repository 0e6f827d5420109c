#include "play/adventure.h"

Adventure::Adventure(const Playbook &book, Dice &dice, const Rules &rules)
    : book(&book), dice(&dice), laws(rules)
{
}

Sheet Adventure::rollSheet()
{
    const int h = dice->roll(laws.habileteDice) + laws.habileteBase;
    const int e = dice->roll(laws.enduranceDice) + laws.enduranceBase;
    const int c = dice->roll(laws.chanceDice) + laws.chanceBase;
    return Sheet::starting(h, e, c, laws.provisions);
}

bool Adventure::start()
{
    return start(rollSheet());
}

bool Adventure::start(const Sheet &sheet, int entry)
{
    if (entry < 0)
        entry = book->first();
    if (entry < 0 || entry >= book->size())
        return refuse(tr("Le livre n'a aucune entrée numérotée où commencer."));
    history.clear();
    now = State();
    now.sheet = sheet;
    Sheet &s = now.sheet;
    for (int *value : {&s.habilete, &s.endurance, &s.chance, &s.habileteMax, &s.enduranceMax,
                       &s.chanceMax, &s.gold, &s.provisions})
        *value = Rules::bounded(*value, 0);
    if (recording)
        now.trace << QStringLiteral("0 départ - | %1 | %2").arg(sheetText(s), book->page(entry).id);
    if (const Playbook::Way *next = arrive(entry))
        go(*next);
    error.clear();
    return true;
}

bool Adventure::refuse(const QString &why)
{
    error = why;
    return false;
}

// A copy of what only grows in every step would make a fight of n rounds,
// or a walk of n entries, cost n squared: a step keeps only the lengths, and
// going back cuts the lists of the state to them.
void Adventure::remember()
{
    error.clear();
    if (!recording)
        return;
    Undo undo{now, now.events.size(), now.path.size(), now.log.size(), now.trace.size(),
              now.sheet.items.size()};
    undo.state.events = QVector<Event>();
    undo.state.path = QVector<int>();
    undo.state.log = undo.state.trace = undo.state.sheet.items = QStringList();
    history.append(undo);
}

bool Adventure::back()
{
    if (history.isEmpty())
        return refuse(tr("Il n'y a pas de pas à défaire."));
    Undo undo = history.takeLast();
    State &then = undo.state;
    then.events = std::move(now.events);
    then.events.resize(undo.events);
    then.path = std::move(now.path);
    then.path.resize(undo.path);
    auto cut = [](QStringList *list, int size) { list->erase(list->begin() + size, list->end()); };
    then.log = std::move(now.log);
    cut(&then.log, undo.log);
    then.trace = std::move(now.trace);
    cut(&then.trace, undo.trace);
    then.sheet.items = std::move(now.sheet.items);
    cut(&then.sheet.items, undo.items);
    now = std::move(then);
    error.clear();
    return true;
}

// A bonus or a find never lifts a value above where it started; one already
// above (an author's sheet) is left alone by a gain.
void Adventure::change(int *value, int max, int delta)
{
    if (delta > 0)
        *value = qMax(*value, qMin(max, *value + delta));
    else
        *value = qMax(0, *value + delta);
}

const Playbook::Way *Adventure::arrive(int index)
{
    const Playbook::Page &p = book->page(index);
    now.entry = index;
    ++now.steps;
    if (visits && (*seen)[index] != visitMark) {
        (*seen)[index] = visitMark;
        ++(*visits)[index];
    }
    if (recording)
        now.firstEvent = now.events.size();
    else
        now.events.clear();
    now.fight = Fight(p.monsters, laws.wound);
    now.fightDone = now.luckDone = now.mealTaken = false;
    if (recording) {
        now.path.append(index);
        note([&] { return tr("Entrée %1").arg(p.id); });
    }
    if (now.steps > laws.stepLimit) {
        end(Looped);
        return nullptr;
    }
    Sheet &s = now.sheet;
    if (p.habilete || p.endurance || p.chance) {
        change(&s.habilete, s.habileteMax, p.habilete);
        change(&s.endurance, s.enduranceMax, p.endurance);
        change(&s.chance, s.chanceMax, p.chance);
        note([&] {
            return tr("Bonus : Habileté %1, Endurance %2, Chance %3").arg(p.habilete).arg(p.endurance).arg(p.chance);
        });
    }
    for (const Playbook::Find &f : p.finds) {
        change(&s.habilete, s.habileteMax, f.habilete);
        change(&s.endurance, s.enduranceMax, f.endurance);
        change(&s.chance, s.chanceMax, f.chance);
        s.gold = Rules::bounded(qint64(s.gold) + f.gold, 0);
        s.provisions = Rules::bounded(qint64(s.provisions) + f.food, 0);
        if (!f.name.isEmpty())
            s.items << f.name;
        note([&] { return tr("Objet trouvé : %1").arg(f.name); });
    }
    if (s.endurance <= 0) {
        end(Died);
        return nullptr;
    }
    return settle();
}

const Playbook::Way *Adventure::settle()
{
    const Playbook::Page &p = page();
    if (!now.fightDone && !p.monsters.isEmpty()) {
        if (!now.fight.isWon()) {
            now.phase = Fighting;
            return nullptr;
        }
        // Every monster of the entry was beaten before the first round.
        now.fightDone = true;
        if (p.victory.isSet())
            return &p.victory;
    }
    if (!now.luckDone && p.luck)
        now.phase = TestingLuck;
    else if (!p.choices.isEmpty())
        now.phase = Choosing;
    else
        end(now.sheet.endurance <= 0 || p.deathMarked ? Died : Finished);
    return nullptr;
}

// Entries that need no decision (monsters beaten before the first round)
// are passed through in a loop rather than by recursion: a ring of them must
// reach the step limit, not the end of the stack.
void Adventure::go(const Playbook::Way &way)
{
    for (const Playbook::Way *next = &way; next;) {
        if (next->target < 0) {
            now.brokenRef = next->text;
            note([&] { return tr("Le renvoi « %1 » ne mène à aucune entrée.").arg(next->text); });
            return end(Broken);
        }
        if (recording)
            now.trace << traceLine(book->page(next->target).id);
        next = arrive(next->target);
    }
}

void Adventure::end(Ending ending)
{
    now.phase = Over;
    now.ending = ending;
    static const char *const words[] = {"", "fin", "mort", "rompu", "boucle"};
    if (recording) {
        now.trace << traceLine(QLatin1String(words[ending]));
        switch (ending) {
        case Finished:
            note([&] { return book->page(now.entry).victoryMarked ? tr("Vous avez réussi !") : tr("Fin de l'aventure."); });
            break;
        case Died:
            note([&] {
                return book->page(now.entry).deathMarked && now.sheet.endurance > 0 ? tr("Votre aventure s'achève ici.")
                                                                                     : tr("Vous êtes mort.");
            });
            break;
        case Looped:
            note([&] { return tr("Plus de %1 entrées parcourues : l'aventure tourne en rond.").arg(laws.stepLimit); });
            break;
        default: break;
        }
    }
}

bool Adventure::fightRound()
{
    if (now.phase != Fighting)
        return refuse(tr("Aucun combat en cours."));
    remember();
    const Fight::Round r = now.fight.round(*dice, now.sheet.habilete, &now.sheet.endurance);
    Event ev;
    ev.kind = Event::Round;
    std::copy(std::begin(r.adventurerDice), std::end(r.adventurerDice), ev.dice);
    std::copy(std::begin(r.monsterDice), std::end(r.monsterDice), ev.dice + Rules::fightDice);
    ev.value = r.monster;
    ev.outcome = r.outcome;
    now.events.append(ev);
    if (recording) {
        // "Vous : 5+2+7 = 14 · Troll : 4+3+8 = 15 → vous perdez 2 points d'Endurance"
        const QString name = now.fight.all().at(r.monster).name;
        auto sum = [](const int *dice, int habilete, int total) {
            QStringList terms;
            for (int i = 0; i < Rules::fightDice; ++i)
                terms << QString::number(dice[i]);
            terms << QString::number(habilete);
            return QStringLiteral("%1 = %2").arg(terms.join(QLatin1Char('+'))).arg(total);
        };
        const QString points = laws.wound == 1 ? tr("1 point d'Endurance") : tr("%1 points d'Endurance").arg(laws.wound);
        note([&] {
            return tr("Ronde %1 — Vous : %2 · %3 : %4 → %5")
                .arg(now.fight.roundsFought())
                .arg(sum(r.adventurerDice, now.sheet.habilete, r.adventurerScore), name,
                     sum(r.monsterDice, now.fight.all().at(r.monster).habilete, r.monsterScore),
                     r.outcome == Fight::Won    ? tr("%1 perd %2").arg(name, points)
                     : r.outcome == Fight::Lost ? tr("vous perdez %1").arg(points)
                                                : tr("égalité, personne n'est blessé"));
        });
        if (now.fight.current() != r.monster && now.sheet.endurance > 0)
            note([&] { return tr("Vous avez vaincu %1.").arg(name); });
    }
    if (now.sheet.endurance <= 0) {
        now.killedBy = r.monster;
        end(Died);
    } else if (now.fight.isWon()) {
        now.fightDone = true;
        if (page().victory.isSet())
            go(page().victory);
        else if (const Playbook::Way *next = settle())
            go(*next);
    }
    return true;
}

bool Adventure::canFlee() const
{
    return now.phase == Fighting && page().flee && now.fight.roundsFought() >= page().fleeRound;
}

bool Adventure::flee()
{
    if (!canFlee()) {
        if (now.phase == Fighting && page().flee)
            return refuse(tr("La fuite n'est permise qu'après la ronde %1.").arg(page().fleeRound));
        return refuse(tr("Impossible de fuir ici."));
    }
    remember();
    Event ev;
    ev.kind = Event::Flight;
    now.events.append(ev);
    note([&] { return tr("Vous prenez la fuite."); });
    if (page().fleePenalty)
        now.sheet.endurance = qMax(0, now.sheet.endurance - laws.fleePenalty);
    if (now.sheet.endurance <= 0)
        end(Died);
    else
        go(page().fleeTo);
    return true;
}

bool Adventure::testLuck()
{
    if (now.phase != TestingLuck)
        return refuse(tr("Aucun test de chance à faire ici."));
    remember();
    Event ev;
    ev.kind = Event::Luck;
    int total = 0;
    for (int i = 0; i < Rules::luckDice; ++i) {
        ev.dice[i] = dice->d6();
        total += ev.dice[i];
    }
    const int chance = now.sheet.chance;
    const bool lucky = total <= chance;
    ev.value = lucky;
    now.events.append(ev);
    now.sheet.chance = qMax(0, now.sheet.chance - laws.luckCost);
    now.luckDone = true;
    note([&] {
        QStringList faces;
        for (int i = 0; i < Rules::luckDice; ++i)
            faces << QString::number(ev.dice[i]);
        return (lucky ? tr("Test de chance : %1 = %2, Chance %3 : chanceux.")
                      : tr("Test de chance : %1 = %2, Chance %3 : malchanceux."))
            .arg(faces.join(QLatin1Char('+')))
            .arg(total)
            .arg(chance);
    });
    note([&] {
        const QString told = (lucky ? page().luckyText : page().unluckyText).trimmed();
        return told.isEmpty() ? QString() : QStringLiteral("« %1 »").arg(told);
    });
    const Playbook::Way &way = lucky ? page().lucky : page().unlucky;
    if (way.isSet())
        go(way);
    else if (const Playbook::Way *next = settle())
        go(*next);
    return true;
}

bool Adventure::choose(int choice)
{
    if (now.phase != Choosing)
        return refuse(tr("Aucun choix à faire ici."));
    const QVector<Playbook::Way> &choices = page().choices;
    if (choice < 0 || choice >= choices.size())
        return refuse(tr("Il n'y a pas de choix n° %1.").arg(choice + 1));
    remember();
    Event ev;
    ev.kind = Event::Choice;
    ev.value = choice;
    ev.outcome = choices.size();
    now.events.append(ev);
    note([&] { return tr("Choix : %1").arg(page().choiceTexts.at(choice)); });
    go(choices.at(choice));
    return true;
}

bool Adventure::canEat() const
{
    return now.phase != Over && page().meal && !now.mealTaken && now.sheet.provisions > 0;
}

bool Adventure::eat()
{
    if (!canEat())
        return refuse(tr("Pas de repas possible ici."));
    remember();
    Event ev;
    ev.kind = Event::Meal;
    now.events.append(ev);
    --now.sheet.provisions;
    now.mealTaken = true;
    change(&now.sheet.endurance, now.sheet.enduranceMax, laws.meal);
    note([&] { return tr("Repas : Endurance %1.").arg(now.sheet.endurance); });
    return true;
}

QString Adventure::sheetText(const Sheet &s)
{
    return QStringLiteral("H=%1/%2 E=%3/%4 C=%5/%6 or=%7 provisions=%8")
        .arg(s.habilete).arg(s.habileteMax).arg(s.endurance).arg(s.enduranceMax)
        .arg(s.chance).arg(s.chanceMax).arg(s.gold).arg(s.provisions);
}

QString Adventure::traceLine(const QString &next) const
{
    QStringList tokens;
    for (int i = now.firstEvent; i < now.events.size(); ++i) {
        const Event &e = now.events.at(i);
        const auto dice = [&e](int from, int count) {
            QStringList d;
            for (int k = from; k < from + count; ++k)
                d << QString::number(e.dice[k]);
            return d.join(QLatin1Char('+'));
        };
        switch (e.kind) {
        case Event::Round:
            tokens << QLatin1Char('R') + dice(0, Rules::fightDice) + QLatin1Char('/')
                    + dice(Rules::fightDice, Rules::fightDice);
            break;
        case Event::Luck: tokens << QLatin1Char('L') + dice(0, Rules::luckDice); break;
        case Event::Meal: tokens << QStringLiteral("M"); break;
        case Event::Flight: tokens << QStringLiteral("F"); break;
        case Event::Choice: tokens << QStringLiteral("C%1/%2").arg(e.value + 1).arg(e.outcome); break;
        }
    }
    return QStringLiteral("%1 %2 %3 | %4 | %5")
        .arg(now.steps).arg(page().id)
        .arg(tokens.isEmpty() ? QStringLiteral("-") : tokens.join(QLatin1Char(' ')),
             sheetText(now.sheet), next);
}
