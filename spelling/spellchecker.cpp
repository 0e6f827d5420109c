#include "spelling/spellchecker.h"

#include "book/atomicfile.h"
#include "spelling/dictionary.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace {

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c.isMark();
}

// Apostrophes and hyphens belong to a word when letters stand on both sides.
bool isJoiner(QChar c)
{
    return c == QLatin1Char('\'') || c == QChar(0x2019) || c == QChar(0x02BC) || c == QLatin1Char('-')
        || c == QChar(0x2010) || c == QChar(0x2011);
}

// One apostrophe and one hyphen, whichever the author typed.
QString normalized(QString word)
{
    word.replace(QChar(0x2019), QLatin1Char('\'')).replace(QChar(0x02BC), QLatin1Char('\''));
    word.replace(QChar(0x2010), QLatin1Char('-')).replace(QChar(0x2011), QLatin1Char('-'));
    return word;
}

bool hasDigit(const QString &word)
{
    return std::any_of(word.cbegin(), word.cend(), [](QChar c) { return c.isDigit(); });
}

// The file's order: as a reader looks words up, accents and case aside,
// then by their exact letters so that the order is always the same.
QString sortKey(const QString &word)
{
    QString key;
    for (QChar c : word.normalized(QString::NormalizationForm_D))
        if (!c.isMark())
            key += c;
    return key.toCaseFolded();
}

void sortWords(QStringList &words)
{
    words.removeDuplicates();
    std::sort(words.begin(), words.end(), [](const QString &a, const QString &b) {
        const QString ka = sortKey(a), kb = sortKey(b);
        return ka != kb ? ka < kb : a < b;
    });
}

} // namespace

void SpellChecker::WordSet::insert(const QString &word)
{
    exact.insert(word);
    upper.insert(word.toUpper());
}

bool SpellChecker::WordSet::accepts(const QString &word) const
{
    if (word.isEmpty())
        return false;
    if (exact.contains(word))
        return true;
    // At the start of a sentence, and in capitals.
    if (word.at(0).isUpper() && exact.contains(word.at(0).toLower() + word.mid(1)))
        return true;
    return word == word.toUpper() && upper.contains(word);
}

void SpellChecker::WordSet::clear()
{
    exact.clear();
    upper.clear();
}

SpellChecker::SpellChecker(Dictionary *dictionary, QObject *parent) : QObject(parent), dictionary(dictionary)
{
}

SpellChecker::~SpellChecker() = default;

QString SpellChecker::wordsPath(const QString &bookPath)
{
    return bookPath + QStringLiteral(".mots");
}

bool SpellChecker::readWords(QStringList *into)
{
    into->clear();
    QFile file(wordsPath(path));
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        error = tr("les mots du livre n'ont pas pu être lus (%1) : %2")
                    .arg(QDir::toNativeSeparators(file.fileName()), file.errorString());
        return false;
    }
    const QString text = QString::fromUtf8(file.readAll());
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString word = normalized(line.trimmed());
        if (!word.isEmpty())
            into->append(word);
    }
    return true;
}

bool SpellChecker::setBook(const QString &bookPath)
{
    path = bookPath;
    own.clear();
    error.clear();
    const bool read = readWords(&stored);
    for (const QString &word : qAsConst(stored))
        own.insert(word);
    emit wordsChanged();
    return read;
}

void SpellChecker::setNames(const QSet<QString> &all)
{
    WordSet made;
    for (const QString &name : all)
        for (const Span &span : words(name))
            made.insert(normalized(name.mid(span.start, span.length)));
    if (made.exact == names.exact)
        return;
    names = made;
    emit wordsChanged();
}

bool SpellChecker::isAvailable() const
{
    return dictionary && dictionary->isAvailable();
}

bool SpellChecker::isOwn(const QString &word) const
{
    if (own.accepts(word) || names.accepts(word) || ignored.accepts(word))
        return true;
    // After an elision the dictionary knows: "d'Aldric", "L'Orvandel".
    const int apostrophe = word.indexOf(QLatin1Char('\''));
    if (apostrophe <= 0 || apostrophe + 1 >= word.size())
        return false;
    const QString rest = word.mid(apostrophe + 1);
    return (own.accepts(rest) || names.accepts(rest) || ignored.accepts(rest))
        && dictionary->isCorrect(word.left(apostrophe + 1));
}

bool SpellChecker::isCorrect(const QString &word) const
{
    if (!isAvailable() || hasDigit(word))
        return true;
    const QString w = normalized(word);
    if (dictionary->isCorrect(w) || isOwn(w))
        return true;
    // A compound with one of the book's words in it, the rest French.
    if (!w.contains(QLatin1Char('-')))
        return false;
    bool hasOwn = false;
    for (const QString &part : w.split(QLatin1Char('-'))) {
        if (isOwn(part))
            hasOwn = true;
        else if (part.isEmpty() || !dictionary->isCorrect(part))
            return false;
    }
    return hasOwn;
}

QStringList SpellChecker::suggestions(const QString &word) const
{
    return isAvailable() ? dictionary->suggestions(normalized(word)) : QStringList();
}

QString SpellChecker::ownForm(const QString &word) const
{
    const QString w = normalized(word.trimmed());
    const int apostrophe = w.indexOf(QLatin1Char('\''));
    if (apostrophe > 0 && apostrophe + 1 < w.size() && isAvailable()
        && dictionary->isCorrect(w.left(apostrophe + 1)))
        return w.mid(apostrophe + 1);
    return w;
}

bool SpellChecker::addWord(const QString &word)
{
    const QString added = ownForm(word);
    if (added.isEmpty())
        return true;
    if (readOnly_) {
        error = tr("le livre est ouvert en lecture seule : ses mots ne sont pas enregistrés");
        return false;
    }
    own.insert(added);
    emit wordsChanged();
    if (path.isEmpty()) {
        error = tr("aucun livre n'est ouvert : « %1 » n'est accepté que jusqu'à la fermeture").arg(added);
        return false;
    }
    QStringList words;
    if (!readWords(&words))
        return false;
    for (const QString &other : qAsConst(words))
        own.insert(other);
    words << added;
    sortWords(words);
    QByteArray bytes;
    for (const QString &w : qAsConst(words))
        bytes += w.toUtf8() + '\n';
    AtomicFile file(wordsPath(path), AtomicFile::RefuseLinks);
    if (!file.write(bytes)) {
        error = tr("« %1 » n'a pas pu être enregistré dans %2 : %3")
                    .arg(added, QDir::toNativeSeparators(wordsPath(path)), file.errorString());
        return false;
    }
    stored = words;
    error.clear();
    return true;
}

void SpellChecker::ignore(const QString &word)
{
    ignored.insert(normalized(word));
    emit wordsChanged();
}

QStringList SpellChecker::bookWords() const
{
    QStringList all = own.exact.values();
    sortWords(all);
    return all;
}

QVector<SpellChecker::Span> SpellChecker::words(const QString &text)
{
    QVector<Span> found;
    const int n = text.size();
    int i = 0;
    while (i < n) {
        if (!isWordChar(text.at(i))) {
            ++i;
            continue;
        }
        const int start = i;
        while (i < n && (isWordChar(text.at(i)) || (isJoiner(text.at(i)) && i + 1 < n && isWordChar(text.at(i + 1)))))
            ++i;
        found.append({start, i - start});
    }
    return found;
}

QVector<SpellChecker::Span> SpellChecker::misspelt(const QString &text) const
{
    QVector<Span> found;
    if (!isAvailable())
        return found;
    for (const Span &span : words(text))
        if (!isCorrect(text.mid(span.start, span.length)))
            found.append(span);
    return found;
}
