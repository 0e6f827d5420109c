#include "analysis/bookcommits.h"

#include "book/bookreader.h"
#include "book/entryid.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QThread>

namespace {

// How long one git command may take before it is given up.
constexpr int gitWait = 60000;

QStringList gitArguments(const QStringList &args)
{
    // Whatever the user's settings, nothing but what is asked for.
    return QStringList{QStringLiteral("-c"), QStringLiteral("log.showSignature=false"), QStringLiteral("-c"),
                       QStringLiteral("core.quotePath=false")}
        + args;
}

bool runGit(const QString &dir, const QStringList &args, QByteArray *out, QString *error)
{
    QProcess git;
    git.setWorkingDirectory(dir);
    git.start(QStringLiteral("git"), gitArguments(args));
    if (!git.waitForStarted(gitWait)) {
        *error = BookCommits::tr("git ne peut pas être lancé : %1").arg(git.errorString());
        return false;
    }
    git.closeWriteChannel();
    // Read as it comes: a pipe that fills would stop git.
    QByteArray all, said;
    while (git.state() != QProcess::NotRunning) {
        if (!git.waitForReadyRead(gitWait) && git.state() != QProcess::NotRunning) {
            git.kill();
            git.waitForFinished();
            *error = BookCommits::tr("git ne répond pas");
            return false;
        }
        all += git.readAllStandardOutput();
        said += git.readAllStandardError();
    }
    all += git.readAllStandardOutput();
    said += git.readAllStandardError();
    if (git.exitStatus() != QProcess::NormalExit || git.exitCode() != 0) {
        const QString why = QString::fromUtf8(said).trimmed();
        *error = why.isEmpty() ? BookCommits::tr("git a échoué") : why;
        return false;
    }
    *out = all;
    return true;
}

// `git cat-file --batch`: the books of many commits from one process.
class Blobs
{
public:
    bool start(const QString &dir)
    {
        git.setWorkingDirectory(dir);
        git.start(QStringLiteral("git"), gitArguments({QStringLiteral("cat-file"), QStringLiteral("--batch")}));
        return git.waitForStarted(gitWait);
    }
    ~Blobs()
    {
        if (git.state() != QProcess::NotRunning) {
            git.closeWriteChannel();
            if (!git.waitForFinished(gitWait))
                git.kill();
            git.waitForFinished();
        }
    }
    // The object `name` ("HASH:path"): false when it is missing (the book
    // was not there), or git stopped answering (`broken` then).
    bool get(const QString &name, QByteArray *id, QByteArray *bytes, bool *broken)
    {
        *broken = false;
        git.write(name.toUtf8() + '\n');
        QByteArray header;
        if (!line(&header)) {
            *broken = true;
            return false;
        }
        const QList<QByteArray> words = header.split(' ');
        if (words.size() != 3 || words.at(1) != "blob")
            return false; // "… missing", or not a file
        bool ok = false;
        const qint64 size = words.at(2).toLongLong(&ok);
        if (!ok || size < 0 || size > (qint64(1) << 30) || !take(size + 1, bytes)) {
            *broken = true;
            return false;
        }
        bytes->chop(1); // the line feed after the content
        *id = words.at(0);
        return true;
    }

private:
    bool fill()
    {
        if (git.bytesAvailable() == 0 && !git.waitForReadyRead(gitWait))
            return false;
        buffer += git.readAllStandardOutput();
        return true;
    }
    bool line(QByteArray *out)
    {
        int end;
        while ((end = buffer.indexOf('\n')) < 0)
            if (!fill())
                return false;
        *out = buffer.left(end);
        buffer.remove(0, end + 1);
        return true;
    }
    bool take(qint64 size, QByteArray *out)
    {
        while (buffer.size() < size)
            if (!fill())
                return false;
        *out = buffer.left(int(size));
        buffer.remove(0, int(size));
        return true;
    }

    QProcess git;
    QByteArray buffer;
};

// An entry's key in both books: its number, or its id when it has none.
QString keyOf(const Book &book, int i)
{
    const int n = book.number(i);
    return n >= 0 ? QString::number(n) : QLatin1Char('@') + book.entry(i).id;
}

// `git log` read: one record a commit, fields apart, the book's name(s) after.
QVector<BookCommits::Commit> parseLog(const QByteArray &out, const QString &path)
{
    QVector<BookCommits::Commit> commits;
    QString name = path;
    for (const QByteArray &record : out.split('\x1e')) {
        const QString text = QString::fromUtf8(record);
        const QStringList lines = text.split(QLatin1Char('\n'));
        const QStringList fields = lines.value(0).split(QChar(0x1f));
        if (fields.size() < 4)
            continue;
        BookCommits::Commit c;
        c.hash = fields.at(0);
        c.author = fields.at(1);
        c.when = QDateTime::fromSecsSinceEpoch(fields.at(2).toLongLong());
        c.message = fields.mid(3).join(QChar(0x1f));
        // A merge names no file: the book keeps the name it had after it.
        for (int k = 1; k < lines.size(); ++k)
            if (!lines.at(k).isEmpty()) {
                name = lines.at(k);
                break;
            }
        c.path = name;
        commits.append(c);
    }
    return commits;
}

} // namespace

BookCommits::BookCommits(const QString &path, QObject *parent)
    : QObject(parent)
    , bookPath(path)
    , stop(std::make_shared<std::atomic_bool>(false))
{
}

BookCommits::~BookCommits()
{
    if (worker) {
        stop->store(true);
        worker->wait();
        delete worker;
    }
}

QString BookCommits::repositoryOf(const QString &path)
{
    const QFileInfo info(path);
    QProcess git;
    git.setWorkingDirectory(info.absolutePath());
    git.start(QStringLiteral("git"), {QStringLiteral("rev-parse"), QStringLiteral("--show-toplevel")});
    if (!git.waitForFinished(gitWait) || git.exitStatus() != QProcess::NormalExit || git.exitCode() != 0)
        return QString();
    return QString::fromUtf8(git.readAllStandardOutput()).trimmed();
}

void BookCommits::start()
{
    if (worker)
        return;
    top = repositoryOf(bookPath);
    if (top.isEmpty()) {
        listFailed(tr("le livre n'est pas dans un dépôt git"));
        return;
    }
    const QString canonical = QFileInfo(bookPath).canonicalFilePath();
    const QString relative = QDir(QFileInfo(top).canonicalFilePath())
                                 .relativeFilePath(canonical.isEmpty() ? QFileInfo(bookPath).absoluteFilePath() : canonical);
    const QString dir = top;
    const std::shared_ptr<std::atomic_bool> stopping = stop;
    worker = QThread::create([this, dir, relative, stopping]() {
        QByteArray out;
        QString why;
        if (!runGit(dir,
                    {QStringLiteral("log"), QStringLiteral("--follow"), QStringLiteral("--name-only"),
                     QStringLiteral("--format=%x1e%H%x1f%an%x1f%at%x1f%s"), QStringLiteral("--"), relative},
                    &out, &why)) {
            QMetaObject::invokeMethod(this, [this, why]() { listFailed(why); }, Qt::QueuedConnection);
            return;
        }
        const QVector<Commit> commits = parseLog(out, relative);
        QMetaObject::invokeMethod(this, [this, commits]() { listRead(commits); }, Qt::QueuedConnection);

        // Each commit's book against its first parent's, each book read once:
        // the parent of one commit is most often the next commit's book.
        Blobs blobs;
        if (!blobs.start(dir))
            return;
        QHash<QByteArray, Book> books;
        QHash<QByteArray, bool> readable;
        const auto bookOf = [&](const QString &name, Book *book, bool *present, bool *broken, QByteArray *kept) {
            QByteArray id, bytes;
            *present = blobs.get(name, &id, &bytes, broken);
            *kept = id;
            if (!*present)
                return true;
            if (!readable.contains(id)) {
                BookReader reader;
                readable.insert(id, reader.read(bytes));
                books.insert(id, reader.book());
            }
            *book = books.value(id);
            return readable.value(id);
        };
        for (int row = 0; row < commits.size() && !stopping->load(); ++row) {
            const Commit &c = commits.at(row);
            // The parent's name: the book's in the next commit listed, when renamed.
            const QString before = row + 1 < commits.size() ? commits.at(row + 1).path : c.path;
            Book now, was;
            bool present = false, wasPresent = false, broken = false;
            QByteArray nowId, wasId;
            const bool nowRead = bookOf(c.hash + QLatin1Char(':') + c.path, &now, &present, &broken, &nowId);
            if (broken)
                return;
            const bool wasRead = bookOf(c.hash + QStringLiteral("^:") + before, &was, &wasPresent, &broken, &wasId);
            if (broken)
                return;
            QStringList found;
            if (!present)
                found << tr("livre supprimé");
            else if (!nowRead || !wasRead)
                found << tr("livre illisible");
            else
                found = changes(was, now);
            // Only the parent's book is kept: the next commit's, most often.
            for (const QByteArray &id : books.keys())
                if (id != wasId) {
                    books.remove(id);
                    readable.remove(id);
                }
            QMetaObject::invokeMethod(this, [this, row, found]() { changesRead(row, found); }, Qt::QueuedConnection);
        }
    });
    worker->start();
}

void BookCommits::listRead(const QVector<Commit> &commits)
{
    list = commits;
    listDone = true;
    emit listed();
}

void BookCommits::changesRead(int row, const QStringList &found)
{
    if (row < 0 || row >= list.size())
        return;
    list[row].changes = found;
    list[row].changesKnown = true;
    emit changesFound(row);
}

void BookCommits::listFailed(const QString &why)
{
    error = why;
    emit failed();
}

bool BookCommits::read(int row, QByteArray *bytes)
{
    if (row < 0 || row >= list.size()) {
        error = tr("aucun commit choisi");
        return false;
    }
    const Commit &c = list.at(row);
    QString why;
    if (!runGit(top, {QStringLiteral("cat-file"), QStringLiteral("blob"), c.hash + QLatin1Char(':') + c.path}, bytes,
                &why)) {
        error = tr("le livre du commit %1 ne peut pas être lu : %2").arg(c.hash.left(8), why);
        return false;
    }
    return true;
}

QStringList BookCommits::changes(const Book &before, const Book &after)
{
    QHash<QString, int> was;
    for (int i = before.size() - 1; i >= 0; --i)
        was.insert(keyOf(before, i), i); // the first entry of a key wins
    QStringList out;
    QHash<QString, bool> seen;
    for (int i = 0; i < after.size(); ++i) {
        const QString key = keyOf(after, i);
        if (seen.contains(key))
            continue;
        seen.insert(key, true);
        const int k = was.value(key, -1);
        if (k < 0)
            out << tr("%1 ajoutée").arg(after.entry(i).id);
        else if (before.entry(k) != after.entry(i))
            out << tr("%1 modifiée").arg(after.entry(i).id);
    }
    for (int i = 0; i < before.size(); ++i) {
        const QString key = keyOf(before, i);
        if (!seen.contains(key)) {
            seen.insert(key, true);
            out << tr("%1 supprimée").arg(before.entry(i).id);
        }
    }
    return out;
}
