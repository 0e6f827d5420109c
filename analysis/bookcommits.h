#ifndef ORVANDEL_BOOKCOMMITS_H
#define ORVANDEL_BOOKCOMMITS_H

#include "book/book.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <memory>

class QThread;

// The commits of a book kept in a git repository, newest first, as
// `git log --follow` gives them (a book renamed is followed), each with the
// entries it changed: the book at that commit compared, entry by entry,
// with the book at its first parent. git runs as a process; the list and
// the entries changed are read in the background, one commit after
// another, so that a book of hundreds of commits never holds up a window.
class BookCommits : public QObject
{
    Q_OBJECT

public:
    struct Commit
    {
        QString hash;
        QString author;
        QDateTime when;
        QString message; // the first line
        QString path;    // the book's path in the repository at that commit
        bool changesKnown = false;
        QStringList changes; // "042 modifiée", "043 ajoutée", "010 supprimée"
    };

    explicit BookCommits(const QString &bookPath, QObject *parent = nullptr);
    // Stops the reading, waiting at most for the git command under way.
    ~BookCommits() override;

    // The top folder of the git repository that holds `bookPath`; empty when
    // none does, or git cannot be run.
    static QString repositoryOf(const QString &bookPath);

    // Starts reading: listed() once the commits are known, then
    // changesFound() for each commit in turn; failed() with errorString()
    // when the list cannot be read.
    void start();
    bool isListed() const { return listDone; }
    const QVector<Commit> &commits() const { return list; }
    // The book as commit `row` holds it, its exact bytes (a short wait for git).
    bool read(int row, QByteArray *bytes);
    QString errorString() const { return error; }

    // What changed from `before` to `after`, entry by entry, in `after`'s
    // order, the entries gone last: "042 modifiée", "043 ajoutée",
    // "010 supprimée". An entry is known by its number ("42" and "042"
    // alike), or by its id when it has none.
    static QStringList changes(const Book &before, const Book &after);

signals:
    void listed();
    void changesFound(int row);
    void failed();

private:
    void listRead(const QVector<Commit> &commits);
    void changesRead(int row, const QStringList &changes);
    void listFailed(const QString &why);

    QString bookPath;
    QString top;
    QVector<Commit> list;
    bool listDone = false;
    QString error;
    QThread *worker = nullptr;
    std::shared_ptr<std::atomic_bool> stop;
};

#endif
