#include "entry/spelling.h"

#include "entry/spellingdelegate.h"
#include "entry/spellinghighlighter.h"
#include "spelling/spellchecker.h"

#include <QAbstractItemView>
#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

#include <functional>

namespace {

QTextCharFormat misspeltFormat()
{
    QTextCharFormat format;
    format.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
    format.setUnderlineColor(Qt::red);
    return format;
}

} // namespace

QStringList Spelling::proseFields()
{
    return {QStringLiteral("textEdit"),       QStringLiteral("le_ChoiceText"), QStringLiteral("le_MonsterName"),
            QStringLiteral("le_ObjectText"),  QStringLiteral("le_ObjectOther"), QStringLiteral("le_LuckyText"),
            QStringLiteral("le_UnluckyText"), QStringLiteral("le_Special"),     QStringLiteral("le_Name")};
}

QStringList Spelling::proseCells()
{
    return {QStringLiteral("table_Choice:1"), QStringLiteral("table_Monster:0"), QStringLiteral("table_Objects:0"),
            QStringLiteral("table_Objects:8"), QStringLiteral("tableWidget:0")};
}

Spelling *Spelling::attach(QWidget *form, SpellChecker *checker)
{
    auto *spelling = form->findChild<Spelling *>(QString(), Qt::FindDirectChildrenOnly);
    if (!spelling)
        spelling = new Spelling(form);
    spelling->setChecker(checker);
    return spelling;
}

Spelling::Spelling(QWidget *form) : QObject(form), timer(new QTimer(this))
{
    timer->setSingleShot(true);
    timer->setInterval(0);
    connect(timer, &QTimer::timeout, this, [this] {
        const QSet<QLineEdit *> now = pending;
        pending.clear();
        for (QLineEdit *line : now)
            underline(line);
    });
    if (auto *message = form->findChild<QLabel *>(QStringLiteral("lbl_Message")))
        connect(this, &Spelling::problem, message, &QLabel::setText);

    for (const QString &name : proseFields()) {
        if (auto *edit = form->findChild<QTextEdit *>(name)) {
            text = edit;
            text->installEventFilter(this);
            text->viewport()->installEventFilter(this);
        } else if (auto *line = form->findChild<QLineEdit *>(name)) {
            watch(line);
        }
    }
    for (const QString &cell : proseCells())
        if (auto *table = form->findChild<QAbstractItemView *>(cell.section(QLatin1Char(':'), 0, 0))) {
            auto *delegate = new SpellingDelegate(table);
            connect(delegate, &SpellingDelegate::editorOpened, this, &Spelling::watch);
            table->setItemDelegateForColumn(cell.section(QLatin1Char(':'), 1).toInt(), delegate);
            cells << delegate;
        }
}

void Spelling::watch(QLineEdit *line)
{
    lines << line;
    line->installEventFilter(this);
    connect(line, &QLineEdit::textChanged, this, [this, line] { later(line); });
    connect(line, &QLineEdit::textEdited, this, [this, line] { typedAt.insert(line, line->cursorPosition()); });
    connect(line, &QLineEdit::cursorPositionChanged, this, [this, line](int, int now) {
        if (typedAt.contains(line) && typedAt.value(line) != now) {
            typedAt.remove(line);
            later(line);
        }
    });
    connect(line, &QObject::destroyed, this, [this, line] {
        lines.removeAll(line);
        pending.remove(line);
        underlined.remove(line);
        typedAt.remove(line);
    });
    later(line);
}

void Spelling::setChecker(SpellChecker *other)
{
    if (checker == other)
        return;
    if (checker)
        disconnect(checker, nullptr, this, nullptr);
    checker = other;
    if (checker)
        connect(checker, &SpellChecker::wordsChanged, this, &Spelling::recheck);
    if (text && !highlighter)
        highlighter = new SpellingHighlighter(text, checker);
    else if (highlighter)
        highlighter->setChecker(checker);
    for (SpellingDelegate *cell : qAsConst(cells)) {
        cell->setChecker(checker);
        if (auto *table = qobject_cast<QAbstractItemView *>(cell->parent()))
            table->viewport()->update();
    }
    for (QLineEdit *line : qAsConst(lines))
        later(line);
    static bool told = false;
    if (checker && !checker->isAvailable() && !told) {
        told = true;
        // Once the form is shown, not cleared by its filling.
        QTimer::singleShot(0, this, [this] {
            emit problem(tr("Vérification de l'orthographe indisponible : dictionnaire français introuvable"));
        });
    }
}

void Spelling::recheck()
{
    if (highlighter)
        highlighter->rehighlight();
    for (SpellingDelegate *cell : qAsConst(cells))
        if (auto *table = qobject_cast<QAbstractItemView *>(cell->parent()))
            table->viewport()->update();
    for (QLineEdit *line : qAsConst(lines))
        later(line);
}

void Spelling::later(QLineEdit *line)
{
    pending.insert(line);
    timer->start();
}

// A line edit has no highlighter: its words are underlined the way an input
// method shows what it composes, as formats over ranges of its text.
void Spelling::underline(QLineEdit *line)
{
    QList<QInputMethodEvent::Attribute> attributes;
    if (checker) {
        const int typed = line->hasFocus() ? typedAt.value(line, -1) : -1;
        const QTextCharFormat format = misspeltFormat();
        for (const SpellChecker::Span &span : checker->misspelt(line->text()))
            if (span.end() != typed)
                attributes << QInputMethodEvent::Attribute(QInputMethodEvent::TextFormat,
                                                           span.start - line->cursorPosition(), span.length, format);
    }
    if (attributes.isEmpty() && !underlined.contains(line))
        return;
    if (attributes.isEmpty())
        underlined.remove(line);
    else
        underlined.insert(line);
    QInputMethodEvent event(QString(), attributes);
    QCoreApplication::sendEvent(line, &event);
}

bool Spelling::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut) {
        if (watched == text && highlighter)
            highlighter->leaveTypedWord();
        else if (auto *line = qobject_cast<QLineEdit *>(watched); line && typedAt.remove(line))
            later(line);
    } else if (event->type() == QEvent::ContextMenu) {
        auto *menuEvent = static_cast<QContextMenuEvent *>(event);
        QWidget *field = qobject_cast<QLineEdit *>(watched);
        QPoint pos = menuEvent->pos();
        if (text && watched == text->viewport()) {
            field = text;
        } else if (text && watched == text) { // from the keyboard
            field = text;
            pos = text->viewport()->mapFrom(text, pos);
        }
        if (field) {
            QMenu *menu = contextMenu(field, pos);
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(menuEvent->globalPos());
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

QMenu *Spelling::contextMenu(QWidget *field, const QPoint &pos)
{
    QMenu *menu = nullptr;
    QString words;
    int offset = 0;
    std::function<void(int, int, const QString &)> replace;
    if (field == text && text) {
        const QTextCursor at = text->cursorForPosition(pos);
        const QPoint scrolled(text->horizontalScrollBar()->value(), text->verticalScrollBar()->value());
        menu = text->createStandardContextMenu(pos + scrolled);
        const QTextBlock block = at.block();
        words = block.text();
        offset = at.position() - block.position();
        QTextEdit *edit = text;
        const int base = block.position();
        replace = [edit, base](int start, int length, const QString &word) {
            QTextCursor cursor(edit->document());
            cursor.setPosition(base + start);
            cursor.setPosition(base + start + length, QTextCursor::KeepAnchor);
            cursor.insertText(word);
            edit->setTextCursor(cursor);
        };
    } else if (auto *line = qobject_cast<QLineEdit *>(field)) {
        menu = line->createStandardContextMenu();
        words = line->text();
        offset = line->cursorPositionAt(pos);
        replace = [line](int start, int length, const QString &word) {
            line->setSelection(start, length);
            line->insert(word);
        };
    } else {
        return new QMenu;
    }
    if (!checker || !checker->isAvailable())
        return menu;

    SpellChecker::Span found{-1, 0};
    for (const SpellChecker::Span &span : SpellChecker::words(words))
        if (span.start <= offset && offset <= span.end())
            found = span;
    if (found.start < 0)
        return menu;
    const QString word = words.mid(found.start, found.length);
    if (checker->isCorrect(word))
        return menu;

    QAction *first = menu->actions().value(0);
    QList<QAction *> added;
    const QStringList suggestions = checker->suggestions(word);
    for (const QString &suggestion : suggestions) {
        auto *action = new QAction(suggestion, menu);
        QFont bold = action->font();
        bold.setBold(true);
        action->setFont(bold);
        connect(action, &QAction::triggered, this,
                [replace, found, suggestion] { replace(found.start, found.length, suggestion); });
        added << action;
    }
    if (suggestions.isEmpty()) {
        auto *none = new QAction(tr("Aucune suggestion"), menu);
        none->setEnabled(false);
        added << none;
    }
    auto *separator = new QAction(menu);
    separator->setSeparator(true);
    added << separator;
    QPointer<SpellChecker> book = checker;
    auto *add = new QAction(tr("Ajouter au dictionnaire"), menu);
    add->setObjectName(QStringLiteral("spellingAdd"));
    add->setEnabled(!checker->isReadOnly());
    add->setStatusTip(checker->isReadOnly() ? tr("Le livre est ouvert en lecture seule : ses mots ne changent pas.")
                                            : tr("Accepter « %1 » partout dans ce livre.").arg(checker->ownForm(word)));
    connect(add, &QAction::triggered, this, [this, book, word] {
        if (book && !book->addWord(word))
            emit problem(tr("Orthographe : %1").arg(book->errorString()));
    });
    added << add;
    auto *ignore = new QAction(tr("Ignorer"), menu);
    ignore->setObjectName(QStringLiteral("spellingIgnore"));
    connect(ignore, &QAction::triggered, this, [book, word] {
        if (book)
            book->ignore(word);
    });
    added << ignore;
    if (first) {
        auto *below = new QAction(menu);
        below->setSeparator(true);
        added << below;
    }
    menu->insertActions(first, added);
    return menu;
}
