#include "analysis/monstermerge.h"

#include "book/xmltext.h"

#include <QBuffer>
#include <QHash>
#include <QMap>

namespace {

struct Rows
{
    QVector<MonsterRow> rows;
    QVector<QString> keys; // the name, "/1" added for its second row, and so on
    QHash<QString, int> index;

    bool read(const QByteArray &bytes, bool blankAllowed, const QString &which, QString *error)
    {
        if (XmlText::isBlank(bytes)) {
            if (blankAllowed)
                return true;
            *error = MonsterMerge::tr("%1 est vide").arg(which);
            return false;
        }
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        MonsterList list;
        if (!list.read(&buffer)) {
            *error = MonsterMerge::tr("%1 n'est pas une liste de monstres lisible : %2").arg(which, list.errorString());
            return false;
        }
        rows = list.rows;
        for (const MonsterRow &row : qAsConst(rows)) {
            QString key = row.name;
            for (int k = 1; index.contains(key); ++k)
                key = row.name + QLatin1Char('/') + QString::number(k);
            index.insert(key, keys.size());
            keys.append(key);
        }
        return true;
    }
    int find(const QString &key) const { return index.value(key, -1); }
};

} // namespace

bool MonsterMerge::merge(const QByteArray &base, const QByteArray &ours, const QByteArray &theirs)
{
    merged.clear();
    conflictList.clear();
    aside.clear();
    error.clear();
    Rows b, o, t;
    if (!b.read(base, true, tr("la version d'origine"), &error) || !o.read(ours, false, tr("notre version"), &error)
        || !t.read(theirs, false, tr("leur version"), &error))
        return false;
    bool taken = false; // something of theirs came in
    const auto conflict = [&](BookMerge::Conflict::Kind kind, const QString &name, const MonsterRow *their) {
        conflictList.append({kind, name});
        if (their)
            aside.append(*their);
    };

    QVector<MonsterRow> rows;
    QMap<int, QVector<int>> insertAfter; // theirs' new rows, after the row they follow in theirs
    int anchor = -1;
    for (int i = 0; i < t.rows.size(); ++i) {
        const QString &key = t.keys.at(i);
        if (o.find(key) >= 0) {
            anchor = o.find(key);
            continue;
        }
        const int was = b.find(key);
        if (was < 0)
            insertAfter[anchor].append(i);
        else if (!(t.rows.at(i) == b.rows.at(was)))
            conflict(BookMerge::Conflict::DeletedByUs, t.rows.at(i).name, &t.rows.at(i));
    }
    const auto addAfter = [&](int a) {
        for (const int i : insertAfter.value(a))
            rows.append(t.rows.at(i));
        taken = taken || insertAfter.contains(a);
    };
    addAfter(-1);
    for (int i = 0; i < o.rows.size(); ++i) {
        const QString &key = o.keys.at(i);
        const MonsterRow &mine = o.rows.at(i);
        const int was = b.find(key), their = t.find(key);
        if (was < 0) {
            if (their >= 0 && !(t.rows.at(their) == mine))
                conflict(BookMerge::Conflict::BothAdded, mine.name, &t.rows.at(their));
            rows.append(mine);
        } else if (their < 0) {
            if (mine == b.rows.at(was))
                taken = true; // deleted by theirs
            else {
                conflict(BookMerge::Conflict::DeletedByThem, mine.name, nullptr);
                rows.append(mine);
            }
        } else if (mine == b.rows.at(was) && !(t.rows.at(their) == mine)) {
            rows.append(t.rows.at(their));
            taken = true;
        } else {
            if (!(t.rows.at(their) == mine) && !(t.rows.at(their) == b.rows.at(was)))
                conflict(BookMerge::Conflict::BothChanged, mine.name, &t.rows.at(their));
            rows.append(mine);
        }
        addAfter(i);
    }
    if (!taken) {
        merged = ours;
        return true;
    }
    MonsterList list;
    list.rows = rows;
    merged = list.toBytes();
    return true;
}

QByteArray MonsterMerge::conflictBook() const
{
    if (conflictList.isEmpty())
        return QByteArray();
    MonsterList list;
    list.rows = aside;
    return list.toBytes();
}
