#ifndef ORVANDEL_DICTIONARY_H
#define ORVANDEL_DICTIONARY_H

#include <QCoreApplication>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>

class Hunspell;

// A hunspell dictionary, read once, with what it said of each word kept:
// a book's text says the same words again and again. Without its files the
// dictionary is unavailable and finds every word correct.
class Dictionary
{
    Q_DECLARE_TR_FUNCTIONS(Dictionary)

public:
    // Looks for `language`.aff and .dic (then those of the language without
    // its country) in `folders`, first found first.
    explicit Dictionary(const QStringList &folders = defaultFolders(),
                        const QString &language = QStringLiteral("fr_FR"));
    ~Dictionary();
    Dictionary(const Dictionary &) = delete;
    Dictionary &operator=(const Dictionary &) = delete;

    // Where dictionaries are installed: the folders of $DICPATH, then the
    // system's.
    static QStringList defaultFolders();
    // The French dictionary the whole program shares, read when first asked
    // for; when it cannot be, that is said once in the log.
    static Dictionary &french();
    // Starts reading the French dictionary in a thread of its own, so that
    // the first form opened need not wait for it; french() waits for it
    // when it is asked for sooner, and so does the program's end.
    static void preload();

    bool isAvailable() const { return speller != nullptr; }
    QString errorString() const { return error; }
    // The files read, for the log.
    QString affixFile() const { return affixPath; }

    bool isCorrect(const QString &word);
    QStringList suggestions(const QString &word, int most = 6);

private:
    QByteArray encoded(const QString &word) const;

    std::unique_ptr<Hunspell> speller;
    bool utf8 = true;
    QHash<QString, bool> known;
    QString affixPath;
    QString error;
};

#endif
