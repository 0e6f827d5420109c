#ifndef ORVANDEL_MONSTERFILE_H
#define ORVANDEL_MONSTERFILE_H

#include <QByteArray>
#include <QString>
#include <QVector>

// The monsters file: a list of monsters, each a name with its Habileté and
// Endurance, kept as texts as the list dialog shows them.
struct MonsterRow
{
    QString name;
    QString habilete;
    QString endurance;
    bool operator==(const MonsterRow &other) const
    {
        return name == other.name && habilete == other.habilete && endurance == other.endurance;
    }
};

namespace MonsterFile {

// Reads every child element of the root as a monster; false when the text is
// not well-formed XML, with `rows` then left empty.
bool read(const QByteArray &bytes, QVector<MonsterRow> *rows);

// The whole file in ISO-8859-1, ids renumbered from 0 in list order.
QByteArray write(const QVector<MonsterRow> &rows);

} // namespace MonsterFile

#endif
