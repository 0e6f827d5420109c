#include "spelling/dictionary.h"

#include <QDir>
#include <QFile>
#include <QTextCodec>
#include <QThread>
#include <QtGlobal>

#include <hunspell.hxx>

namespace {

// Enough for the words of several long books; past it the cache starts afresh.
constexpr int cacheLimit = 200000;

} // namespace

Dictionary::Dictionary(const QStringList &folders, const QString &language)
{
    QStringList names{language};
    const QString bare = language.section(QLatin1Char('_'), 0, 0);
    if (bare != language)
        names << bare;
    for (const QString &name : qAsConst(names)) {
        for (const QString &folder : folders) {
            const QDir dir(folder);
            const QString aff = dir.filePath(name + QStringLiteral(".aff"));
            const QString dic = dir.filePath(name + QStringLiteral(".dic"));
            if (!QFile::exists(aff) || !QFile::exists(dic))
                continue;
            speller = std::make_unique<Hunspell>(QFile::encodeName(aff).constData(),
                                                 QFile::encodeName(dic).constData());
            const QByteArray encoding = QByteArray::fromStdString(speller->get_dict_encoding());
            utf8 = encoding.isEmpty() || encoding.compare("UTF-8", Qt::CaseInsensitive) == 0;
            if (!utf8 && !QTextCodec::codecForName(encoding)) {
                speller.reset();
                error = tr("le dictionnaire « %1 » est dans un codage inconnu (%2)")
                            .arg(QDir::toNativeSeparators(aff), QString::fromLatin1(encoding));
                continue;
            }
            affixPath = aff;
            error.clear();
            return;
        }
    }
    if (error.isEmpty())
        error = tr("aucun dictionnaire %1 dans %2").arg(language, folders.join(QStringLiteral(", ")));
}

Dictionary::~Dictionary() = default;

QStringList Dictionary::defaultFolders()
{
    QStringList folders;
    const QByteArray dicpath = qgetenv("DICPATH");
    for (const QString &folder : QString::fromLocal8Bit(dicpath).split(QLatin1Char(':'), Qt::SkipEmptyParts))
        folders << folder;
    folders << QStringLiteral("/usr/share/hunspell") << QStringLiteral("/usr/local/share/hunspell")
            << QStringLiteral("/usr/share/myspell") << QStringLiteral("/usr/share/myspell/dicts");
    return folders;
}

Dictionary &Dictionary::french()
{
    static Dictionary shared;
    static const bool told = [] {
        if (!shared.isAvailable())
            qWarning("%s (%s)", qPrintable(tr("Vérification de l'orthographe indisponible : "
                                              "dictionnaire français introuvable")),
                     qPrintable(shared.errorString()));
        return true;
    }();
    Q_UNUSED(told)
    return shared;
}

void Dictionary::preload()
{
    static QThread *reading = nullptr;
    if (reading)
        return;
    // The shared dictionary is a function's static: whoever asks for it
    // while the thread reads it waits until it is whole.
    reading = QThread::create([] { french(); });
    reading->start(QThread::LowPriority);
    qAddPostRoutine([] {
        reading->wait();
        delete reading;
    });
}

QByteArray Dictionary::encoded(const QString &word) const
{
    if (utf8)
        return word.toUtf8();
    return QTextCodec::codecForName(QByteArray::fromStdString(speller->get_dict_encoding()))->fromUnicode(word);
}

bool Dictionary::isCorrect(const QString &word)
{
    if (!speller)
        return true;
    const auto it = known.constFind(word);
    if (it != known.constEnd())
        return *it;
    if (known.size() >= cacheLimit)
        known.clear();
    const bool correct = speller->spell(encoded(word).toStdString());
    known.insert(word, correct);
    return correct;
}

QStringList Dictionary::suggestions(const QString &word, int most)
{
    QStringList found;
    if (!speller)
        return found;
    QTextCodec *codec = utf8 ? nullptr
                             : QTextCodec::codecForName(QByteArray::fromStdString(speller->get_dict_encoding()));
    for (const std::string &suggestion : speller->suggest(encoded(word).toStdString())) {
        const QByteArray bytes = QByteArray::fromStdString(suggestion);
        found << (codec ? codec->toUnicode(bytes) : QString::fromUtf8(bytes));
        if (found.size() >= most)
            break;
    }
    return found;
}
