#include "book/commandline.h"

#include "book/filepaths.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QTranslator>

#include <cstdio>

CommandLine::CommandLine(const QString &tool, const QString &description, const QStringList &usage)
    : tool(tool), forms(usage)
{
    QCoreApplication::setApplicationName(tool);
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVANDEL_VERSION));
    // "-help" or "-seed" is one option misspelt, not letters run together.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(description);
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, tr("Affiche cette aide.")});
    parser.addOption({{QStringLiteral("v"), QStringLiteral("version")}, tr("Affiche la version.")});
    parser.addPositionalArgument(tr("LIVRE.xml"), tr("Le livre, un fichier XML."));
}

void CommandLine::addOption(const QString &name, const QString &description, const QString &valueName,
                            const QString &defaultValue)
{
    QCommandLineOption option(name, description, valueName, defaultValue);
    parser.addOption(option);
}

void CommandLine::setArguments(const QVector<QPair<QString, QString>> &arguments, int least)
{
    parser.clearPositionalArguments();
    for (const auto &argument : arguments)
        parser.addPositionalArgument(argument.first, argument.second);
    this->least = least;
    most = arguments.size();
}

bool CommandLine::read()
{
    // Qt's own words (a value missing after an option, the headings of the
    // help) in French, from Qt's translations, as in the program's windows.
    QCoreApplication *app = QCoreApplication::instance();
    auto *qt = new QTranslator(app);
    if (qt->load(QLocale(QLocale::French, QLocale::France), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    FilePaths::keepNameBytes();

    if (!parser.parse(QCoreApplication::arguments())) {
        // Qt names an unknown option without its dashes.
        const QStringList unknown = parser.unknownOptionNames();
        const QString name = unknown.value(0);
        const QLatin1String dashes(name.size() == 1 ? "-" : "--");
        status = refuse(unknown.isEmpty() ? parser.errorText() : tr("option inconnue : %1%2").arg(dashes, name));
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        // Qt's first line names the program by the path it was started
        // from: the usage says it better.
        const QString help = parser.helpText();
        std::printf("%s\n%s", qPrintable(usage()), qPrintable(help.mid(help.indexOf(QLatin1Char('\n')) + 1)));
        status = written();
        return false;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("%s %s\n", qPrintable(tool), ORVANDEL_VERSION);
        status = written();
        return false;
    }
    given = parser.positionalArguments();
    if (!bookOption.isEmpty() && parser.isSet(bookOption))
        given.prepend(parser.value(bookOption));
    if (given.size() < least || given.size() > most) {
        status = refuse(given.size() > most ? tr("argument en trop : %1").arg(given.at(most))
                        : most == 1         ? tr("il manque le livre")
                                            : tr("il manque des arguments"));
        return false;
    }
    bookPath = given.value(0);
    return true;
}

qint64 CommandLine::number(const QString &option, qint64 min, qint64 max, bool *ok)
{
    // Digits only: "+5", " 5" or "5e3" is a slip, not a number. Eighteen
    // digits at most always fit.
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,18}$"));
    const QString text = parser.value(option);
    const qint64 n = text.toLongLong();
    *ok = digits.match(text).hasMatch() && n >= min && n <= max;
    if (!*ok)
        error = tr("--%1 attend un nombre entier de %2 à %3, pas « %4 »").arg(option).arg(min).arg(max).arg(text);
    return *ok ? n : 0;
}

double CommandLine::percent(const QString &option, bool *ok)
{
    static const QRegularExpression decimal(QStringLiteral("^([0-9]+\\.?[0-9]*|\\.[0-9]+)$"));
    const QString text = parser.value(option);
    const double p = text.toDouble();
    *ok = decimal.match(text).hasMatch() && p <= 100;
    if (!*ok)
        error = tr("--%1 attend un pourcentage de 0 à 100, pas « %2 »").arg(option, text);
    return *ok ? p / 100 : 0;
}

int CommandLine::fail(const QString &message, int status) const
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(tool), qPrintable(message));
    return status;
}

int CommandLine::refuse(const QString &message) const
{
    return fail(message + QLatin1Char('\n') + usage(), 2);
}

int CommandLine::written() const
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return 0;
    return fail(tr("la sortie standard n'a pas pu être écrite"));
}

QString CommandLine::usage() const
{
    const QString first = tr("usage : ");
    QStringList lines;
    for (const QString &form : forms)
        lines << (lines.isEmpty() ? first : QString(first.size(), QLatin1Char(' '))) + tool + QLatin1Char(' ') + form;
    return lines.join(QLatin1Char('\n'));
}
