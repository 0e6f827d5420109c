#ifndef ORVANDEL_FILEPATHS_H
#define ORVANDEL_FILEPATHS_H

#include <QCoreApplication>
#include <QString>
#include <QStringList>

// File names as the command-line tools take them: which file a name leads
// to before anything is written there, and names whose bytes are not UTF-8.
class FilePaths
{
    Q_DECLARE_TR_FUNCTIONS(FilePaths)

public:
    // The canonical path of the file a write to `path` lands in: links
    // followed, a dangling one to the target it would create, the folder
    // canonical. A file that exists gives its real path.
    static QString planned(const QString &path);

    // True when a and b are one file: the same device and inode when both
    // exist (hard links and links included), else the same planned path.
    static bool sameFile(const QString &a, const QString &b);

    // False, with errorString() naming them, when an output would land on
    // an input or two outputs on one file. Devices and pipes are written
    // straight to, never replaced, and may be shared. Empty names are left out.
    bool outputsApart(const QStringList &inputs, const QStringList &outputs);
    QString errorString() const { return error; }

    // To be called once the application object exists, before its
    // arguments are read. Under a UTF-8 locale Qt reads a name that is not
    // UTF-8 with replacement characters, and opening it then finds no
    // file: the names are read instead as UTF-8 that keeps every byte it
    // cannot read, and are written back to the system byte for byte.
    static void keepNameBytes();

private:
    QString error;
};

#endif
