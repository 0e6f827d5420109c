#ifndef ORVANDEL_FILEHISTORY_H
#define ORVANDEL_FILEHISTORY_H

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QString>
#include <QVector>

#include <functional>

// The earlier versions of a file, kept in a folder beside it ("livre.xml"
// keeps them in "livre.xml.historique/"): before each change, the file as it
// was, with the number of its entries and what the change was. The oldest
// go once there are more than the limit.
class FileHistory
{
    Q_DECLARE_TR_FUNCTIONS(FileHistory)

public:
    struct Version
    {
        QString name;   // file name in the folder
        QDateTime when;
        int entries = 0;
        QString change; // what was done to this version ("entrée 042 modifiée")
    };

    // At most `limit` versions, and no more of them than fit in `bytes`
    // (the newest is always kept).
    explicit FileHistory(const QString &filePath = QString(), int limit = 50, qint64 bytes = qint64(1) << 30);
    QString folder() const;

    // Keeps `bytes`, the file before `change`, as the newest version. When
    // `file` is named and still holds those bytes (`isSame` says so of the
    // version made from it), the version is a second name for that file, a
    // hard link: nothing is copied or written. Otherwise (the file changed,
    // another file system), a copy of `bytes`. The file is then replaced by
    // a new one, never written in place, so the version stays as it was.
    bool keep(const QByteArray &bytes, int entries, const QString &change, const QString &file = QString(),
              const std::function<bool(const QString &)> &isSame = {});
    // The same, the bytes asked of `bytes` only when they are to be copied
    // (it answers false, with the reason, when it cannot give them).
    bool keep(const std::function<bool(QByteArray *bytes, QString *error)> &bytes, int entries,
              const QString &change, const QString &file, const std::function<bool(const QString &)> &isSame);
    // Takes back the version the last keep() made, when the change it was
    // kept for did not happen after all.
    bool forgetNewest();
    // Newest first. Only versions the history itself names are listed: a
    // line of the index naming anything but a file of ours in the folder
    // (another folder, a hidden file, a link) is passed over.
    QVector<Version> versions() const;
    bool read(const Version &version, QByteArray *bytes) const;
    QString errorString() const { return error; }

private:
    bool isVersionName(const QString &name) const;
    bool writeIndex(const QVector<Version> &newestFirst);

    QString filePath;
    int limit;
    qint64 byteLimit;
    mutable QString error;
};

#endif
