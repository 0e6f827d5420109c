#include "entry/spellinghighlighter.h"

#include "spelling/spellchecker.h"

#include <QTextEdit>

SpellingHighlighter::SpellingHighlighter(QTextEdit *edit, SpellChecker *checker)
    : QSyntaxHighlighter(static_cast<QObject *>(nullptr)), edit(edit), checker(checker)
{
    setParent(edit);
    // Told of a change before the highlighter is, so that a keystroke is
    // known as one when its paragraph is checked.
    connect(edit->document(), &QTextDocument::contentsChange, this, [this](int from, int removed, int added) {
        typedAt = removed <= 1 && added <= 1 ? from + added : -1;
    });
    connect(edit, &QTextEdit::cursorPositionChanged, this, [this] {
        if (typedAt >= 0 && this->edit->textCursor().position() != typedAt)
            leaveTypedWord();
    });
    setDocument(edit->document());
}

void SpellingHighlighter::setChecker(SpellChecker *other)
{
    checker = other;
    rehighlight();
}

void SpellingHighlighter::leaveTypedWord()
{
    if (typedAt < 0)
        return;
    const QTextBlock block = document()->findBlock(typedAt);
    typedAt = -1;
    if (block.isValid())
        rehighlightBlock(block);
}

void SpellingHighlighter::highlightBlock(const QString &text)
{
    if (!checker)
        return;
    QTextCharFormat wrong;
    wrong.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
    wrong.setUnderlineColor(Qt::red);
    const int at = typedAt - currentBlock().position();
    for (const SpellChecker::Span &span : checker->misspelt(text))
        if (span.end() != at || !edit->hasFocus())
            setFormat(span.start, span.length, wrong);
}
