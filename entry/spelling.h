#ifndef ORVANDEL_SPELLING_H
#define ORVANDEL_SPELLING_H

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QVector>

class QLineEdit;
class QMenu;
class QPoint;
class QTextEdit;
class QTimer;
class SpellChecker;
class SpellingDelegate;
class SpellingHighlighter;

// Spelling while writing in a form: the misspelt words of its prose fields
// underlined as word processors do, and on a right-click over one, what
// to put instead, "Ajouter au dictionnaire" (the book's own words) and
// "Ignorer", above the field's usual menu. The fields are found by their
// object names, so that the form itself needs to know nothing of it.
class Spelling : public QObject
{
    Q_OBJECT

public:
    // The text edit and the line edits that hold prose (not numbers).
    static QStringList proseFields();
    // The table columns that hold prose, as "table:column".
    static QStringList proseCells();

    // Checks the form's prose fields against `checker` (the book's); once
    // attached, attaching again only changes the checker.
    static Spelling *attach(QWidget *form, SpellChecker *checker);

    // The menu a right-click on `field` at `pos` (for the text edit, in its
    // viewport) opens; the caller owns it.
    QMenu *contextMenu(QWidget *field, const QPoint &pos);

signals:
    // Something the author should know: the dictionary missing, a word
    // that could not be written.
    void problem(const QString &why);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit Spelling(QWidget *form);
    void setChecker(SpellChecker *checker);
    // Checks a line edit of prose, one of the form's or a cell's editor.
    void watch(QLineEdit *line);
    void recheck();
    void later(QLineEdit *line);
    void underline(QLineEdit *line);

    QPointer<SpellChecker> checker;
    QTextEdit *text = nullptr;
    SpellingHighlighter *highlighter = nullptr;
    QVector<QLineEdit *> lines;
    QVector<SpellingDelegate *> cells;
    QSet<QLineEdit *> pending;
    QSet<QLineEdit *> underlined;  // those that show underlines now
    QHash<QLineEdit *, int> typedAt; // where the last keystroke left each cursor
    QTimer *timer;
};

#endif
