#ifndef ORVANDEL_SPELLINGHIGHLIGHTER_H
#define ORVANDEL_SPELLINGHIGHLIGHTER_H

#include <QPointer>
#include <QSyntaxHighlighter>

class QTextEdit;
class SpellChecker;

// Underlines the misspelt words of a text edit, paragraph by paragraph: Qt
// hands it only the paragraphs that changed. The word being typed is left
// alone until the cursor leaves it.
class SpellingHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT

public:
    SpellingHighlighter(QTextEdit *edit, SpellChecker *checker);
    void setChecker(SpellChecker *checker);
    // The cursor left the word being typed, or the edit its focus.
    void leaveTypedWord();

protected:
    void highlightBlock(const QString &text) override;

private:
    QTextEdit *edit;
    QPointer<SpellChecker> checker;
    int typedAt = -1; // where the last keystroke left the cursor, in the document
};

#endif
