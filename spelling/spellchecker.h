#ifndef ORVANDEL_SPELLCHECKER_H
#define ORVANDEL_SPELLCHECKER_H

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

class Dictionary;

// The spelling of one book: the shared French dictionary, then the book's
// own words (names of places, characters, monsters) kept beside the book in
// "livre.xml.mots" (UTF-8, one word a line, sorted), the names of its
// monsters, and the words the author chose to ignore while it is open.
// A book's words are accepted as written, with a capital at the start of a
// sentence, in capitals, after an elision ("d'Aldric") and in a compound
// ("Aldric-le-Grand").
class SpellChecker : public QObject
{
    Q_OBJECT

public:
    explicit SpellChecker(Dictionary *dictionary, QObject *parent = nullptr);
    ~SpellChecker() override;

    // The file of a book's own words.
    static QString wordsPath(const QString &bookPath);
    // Reads the words of the book at `bookPath` (none when the file is
    // missing); false, with errorString(), when it cannot be read.
    bool setBook(const QString &bookPath);
    // Read-only, words are still accepted for the session, never written.
    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }
    bool isReadOnly() const { return readOnly_; }
    // Names the book uses, each of their words accepted; not written.
    void setNames(const QSet<QString> &names);

    bool isAvailable() const;
    bool isCorrect(const QString &word) const;
    QStringList suggestions(const QString &word) const;
    // What "add" keeps of a word: without an elision the dictionary knows
    // ("Aldric" of "d'Aldric").
    QString ownForm(const QString &word) const;

    // Adds a word to the book's words and writes the file again (read
    // again just before, so that words added meanwhile by another program
    // are kept); false, with errorString(), when it could not be written
    // (the word is still accepted until the book is closed).
    bool addWord(const QString &word);
    void ignore(const QString &word);
    QStringList bookWords() const;
    QString errorString() const { return error; }

    // A word of a text: where it starts and how long it is. Words are
    // letters, with the apostrophes and hyphens inside them.
    struct Span
    {
        int start;
        int length;
        int end() const { return start + length; }
    };
    static QVector<Span> words(const QString &text);
    QVector<Span> misspelt(const QString &text) const;

signals:
    // The words accepted changed: what was underlined may no longer be.
    void wordsChanged();

private:
    // A set of words that also knows them in capitals.
    struct WordSet
    {
        QSet<QString> exact;
        QSet<QString> upper;
        void insert(const QString &word);
        bool accepts(const QString &word) const;
        void clear();
    };
    bool isOwn(const QString &word) const;
    bool readWords(QStringList *into);

    Dictionary *dictionary;
    QString path;
    bool readOnly_ = false;
    QStringList stored; // as in the file
    WordSet own;        // the file's words and those added since
    WordSet names;
    WordSet ignored;
    QString error;
};

#endif
