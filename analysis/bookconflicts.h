#ifndef ORVANDEL_BOOKCONFLICTS_H
#define ORVANDEL_BOOKCONFLICTS_H

#include "analysis/bookmerge.h"
#include "book/entry.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QVector>

// What a merge left for the author: the conflicts file orvandel-merge writes
// beside the book ("livre.xml" -> "livre.conflits.xml"), read back. Each
// conflict is a comment that says what happened to an entry, followed by
// theirs' version of it when there is one (BookMerge::conflictBook).
class BookConflicts
{
    Q_DECLARE_TR_FUNCTIONS(BookConflicts)

public:
    struct Conflict
    {
        BookMerge::Conflict::Kind kind = BookMerge::Conflict::BothChanged;
        QString id;   // the entry's; empty for what lies outside the entries
        QString note; // the comment, as the merge wrote it
        bool hasTheirs = false;
        Entry theirs;
    };

    static QString pathFor(const QString &bookPath);
    // False, with errorString(), when the file cannot be read.
    bool read(const QString &path);
    bool parse(const QByteArray &bytes);
    const QVector<Conflict> &conflicts() const { return list; }
    QString errorString() const { return error; }

private:
    QVector<Conflict> list;
    QString error;
};

#endif
