#ifndef ORVANDEL_MONSTERLIST_H
#define ORVANDEL_MONSTERLIST_H

#include <QCoreApplication>
#include <QString>
#include <QVector>

class QIODevice;

// One monster of the list: a name with its Habileté and Endurance, kept as
// texts as the list dialog shows them.
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

// The monsters file: ISO-8859-1, root `Monsters`, one `Elem` per monster.
class MonsterList
{
    Q_DECLARE_TR_FUNCTIONS(MonsterList)

public:
    QVector<MonsterRow> rows;

    // Every child element of the root is a monster. False when the file is
    // not well-formed XML; `rows` is then left empty.
    bool read(QIODevice *device);
    // The whole file, ids renumbered from 0 in list order.
    bool write(QIODevice *device) const;
    QByteArray toBytes() const;
    QString errorString() const { return error; }

private:
    mutable QString error;
};

#endif
