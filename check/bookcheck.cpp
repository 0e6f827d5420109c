#include "check/bookcheck.h"

#include <QCoreApplication>
#include <QHash>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("BookCheck", text);
}

} // namespace

int referenceNumber(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 9)
        return -1;
    for (const QChar c : t)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
    return t.toInt();
}

BookModel buildModel(const Book &book)
{
    BookModel model;
    model.nodes.reserve(book.entries.size());
    for (const BookEntry &entry : book.entries) {
        const EntryData &e = entry.data;
        BookNode node;
        node.id = e.id;
        node.number = referenceNumber(e.id);
        node.line = entry.line;
        node.text = e.text;
        node.types = entry.types;
        auto add = [&node](BookReference::Kind kind, const QString &text) {
            node.references.append({kind, text, referenceNumber(text)});
        };
        for (const EntryData::Choice &c : e.choices)
            add(BookReference::Choice, c.value);
        for (const EntryData::Monster &m : e.monsters) {
            add(BookReference::Victory, m.victory);
            node.monsters << m.name;
        }
        if (!e.fleeRef.isEmpty() || e.fleeRound != 0)
            add(BookReference::Flight, e.fleeRef);
        if (!e.luckyValue.isEmpty() || !e.luckyText.isEmpty()) {
            add(BookReference::Lucky, e.luckyValue);
            add(BookReference::Unlucky, e.unluckyValue);
        }
        if (node.number >= 0) {
            if (model.first < 0 || node.number < model.nodes.at(model.first).number)
                model.first = model.nodes.size();
            if (!model.byNumber.contains(node.number))
                model.byNumber.insert(node.number, model.nodes.size());
        }
        model.nodes.append(node);
    }
    return model;
}

QVector<BookFinding> checkBook(const BookModel &model, bool checkMonsters,
                               const QSet<QString> &monsterNames)
{
    QVector<BookFinding> findings;
    const QHash<int, int> &byNumber = model.byNumber;
    for (int i = 0; i < model.nodes.size(); ++i) {
        const BookNode &node = model.nodes.at(i);
        const int first = byNumber.value(node.number, i);
        if (node.number >= 0 && first != i)
            findings.append({BookFinding::DuplicateId, i,
                             tr("le numéro %1 est déjà celui de l'entrée de la ligne %2")
                                 .arg(node.number)
                                 .arg(model.nodes.at(first).line)});
    }

    for (int i = 0; i < model.nodes.size(); ++i) {
        const BookNode &node = model.nodes.at(i);
        if (node.references.isEmpty())
            findings.append({BookFinding::DeadEnd, i,
                             tr("aucune sortie : ni choix, ni fuite, ni chance, ni victoire "
                                "(une fin ?)")});
        for (const BookReference &ref : node.references) {
            if (ref.target < 0) {
                findings.append({BookFinding::NotANumber, i,
                                 ref.text.trimmed().isEmpty()
                                     ? tr("%1 : renvoi vide").arg(referenceName(ref.kind))
                                     : tr("%1 : « %2 » n'est pas un numéro d'entrée")
                                           .arg(referenceName(ref.kind), ref.text)});
            } else if (!byNumber.contains(ref.target)) {
                findings.append({BookFinding::Dangling, i,
                                 tr("%1 vers %2 : cette entrée n'existe pas")
                                     .arg(referenceName(ref.kind), ref.text)});
            }
        }
        if (checkMonsters)
            for (const QString &name : node.monsters)
                if (!monsterNames.contains(name))
                    findings.append({BookFinding::UnknownMonster, i,
                                     tr("« %1 » n'est pas dans le fichier des monstres").arg(name)});
    }

    // Everything the reader can reach from the first entry, following every
    // kind of reference; an entry whose number is held twice counts as reached
    // through the first of them only.
    QVector<bool> reached(model.nodes.size(), false);
    if (model.first >= 0) {
        QVector<int> queue{model.first};
        reached[model.first] = true;
        while (!queue.isEmpty()) {
            const int at = queue.takeLast();
            for (const BookReference &ref : model.nodes.at(at).references) {
                const int next = byNumber.value(ref.target, -1);
                if (ref.target >= 0 && next >= 0 && !reached[next]) {
                    reached[next] = true;
                    queue.append(next);
                }
            }
        }
    }
    const QString start = model.first >= 0 ? model.nodes.at(model.first).id : QString();
    for (int i = 0; i < model.nodes.size(); ++i)
        if (!reached[i])
            findings.append({BookFinding::Unreachable, i,
                             start.isEmpty()
                                 ? tr("aucune entrée numérotée d'où partir")
                                 : tr("aucun chemin n'y mène depuis l'entrée %1").arg(start)});

    std::stable_sort(findings.begin(), findings.end(),
                     [](const BookFinding &a, const BookFinding &b) { return a.node < b.node; });
    return findings;
}

QString findingKey(BookFinding::Kind kind)
{
    switch (kind) {
    case BookFinding::Dangling: return QStringLiteral("dangling");
    case BookFinding::Unreachable: return QStringLiteral("unreachable");
    case BookFinding::DeadEnd: return QStringLiteral("dead-end");
    case BookFinding::DuplicateId: return QStringLiteral("duplicate-id");
    case BookFinding::NotANumber: return QStringLiteral("not-a-number");
    case BookFinding::UnknownMonster: return QStringLiteral("unknown-monster");
    }
    return QString();
}

QString findingTitle(BookFinding::Kind kind)
{
    switch (kind) {
    case BookFinding::Dangling: return tr("Renvoi vers une entrée absente");
    case BookFinding::Unreachable: return tr("Entrée inaccessible");
    case BookFinding::DeadEnd: return tr("Sans issue");
    case BookFinding::DuplicateId: return tr("Numéro en double");
    case BookFinding::NotANumber: return tr("Renvoi qui n'est pas un numéro");
    case BookFinding::UnknownMonster: return tr("Monstre inconnu");
    }
    return QString();
}

QString referenceName(BookReference::Kind kind)
{
    switch (kind) {
    case BookReference::Choice: return tr("choix");
    case BookReference::Victory: return tr("victoire");
    case BookReference::Flight: return tr("fuite");
    case BookReference::Lucky: return tr("chanceux");
    case BookReference::Unlucky: return tr("malchanceux");
    }
    return QString();
}

bool isError(BookFinding::Kind kind)
{
    return kind == BookFinding::Dangling || kind == BookFinding::DuplicateId
        || kind == BookFinding::NotANumber;
}
