#ifndef ORVANDEL_COMMANDLINE_H
#define ORVANDEL_COMMANDLINE_H

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

// The command line of orvandel-check, orvandel-export, orvandel-merge and orvandel-play,
// read one way: --help and --version on standard output (status 0), a
// wrong command line said on standard error, "tool: why" then the usage,
// with status 2. Each tool takes one book and options named in English, as
// documented; everything said to the reader is French.
class CommandLine
{
    Q_DECLARE_TR_FUNCTIONS(CommandLine)

public:
    // `usage`: the tool's forms, one a line, each without the tool's name.
    CommandLine(const QString &tool, const QString &description, const QStringList &usage);

    // An option that takes a value when `valueName` is given, with the
    // value it has when not given.
    void addOption(const QString &name, const QString &description, const QString &valueName = QString(),
                   const QString &defaultValue = QString());

    // For a tool that takes other arguments than one book: each one's name
    // and description, of which the first `least` are needed.
    void setArguments(const QVector<QPair<QString, QString>> &arguments, int least);

    // Reads the arguments of the application, file names byte for byte.
    // False when the tool ends there, with exitStatus(): the help or the
    // version written (2 when standard output refused them), or the
    // command line refused.
    bool read();
    // The book may be given by `option` instead of as an argument (one of
    // the two, never both).
    void setBookOption(const QString &option) { bookOption = option; }
    int exitStatus() const { return status; }

    QString book() const { return bookPath; }
    QStringList arguments() const { return given; }
    bool isSet(const QString &option) const { return parser.isSet(option); }
    QString value(const QString &option) const { return parser.value(option); }

    // The value of `option` as a whole number from min (0 or more) to max,
    // digits only, or as a percentage from 0 to 100 (a fraction allowed)
    // given back as a share from 0 to 1. On anything else, *ok is false
    // and errorString() says why.
    qint64 number(const QString &option, qint64 min, qint64 max, bool *ok);
    double percent(const QString &option, bool *ok);
    QString errorString() const { return error; }

    // Says `message` on standard error under the tool's name, and gives
    // back `status` for the tool to end with.
    int fail(const QString &message, int status = 2) const;
    // A command line that cannot be run: the message, the usage, status 2.
    int refuse(const QString &message) const;

private:
    QString usage() const;
    int written() const;

    QCommandLineParser parser;
    QString tool, bookPath, bookOption, error;
    QStringList forms, given;
    int least = 1, most = 1;
    int status = 0;
};

#endif
