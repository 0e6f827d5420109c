#include "app/conflictsui.h"

#include "analysis/booktext.h"
#include "book/entryid.h"
#include "document/bookdocument.h"
#include "export/entryhtml.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <QSet>

namespace {

// The id as the lines of the book's text begin with it.
QString oneLineId(const Entry &e)
{
    Entry bare;
    bare.id = e.id;
    const QString first = BookText::lines(bare).value(0);
    return first.left(first.indexOf(QStringLiteral(" · ")));
}

// The fields of an entry that differ between two versions ("Texte",
// "Choix 2"), as the book's text for git names them.
QStringList differingFields(const Entry &a, const Entry &b)
{
    const auto fields = [](const Entry &e) {
        QMultiHash<QString, QString> out;
        const int head = oneLineId(e).size() + 3; // "042 · "
        for (const QString &line : BookText::lines(e)) {
            const QString rest = line.mid(head);
            const int colon = rest.indexOf(QStringLiteral(" : "));
            out.insert(rest.left(colon), rest.mid(colon + 3));
        }
        return out;
    };
    const QMultiHash<QString, QString> x = fields(a), y = fields(b);
    QStringList names;
    QSet<QString> all;
    for (const QString &k : x.keys() + y.keys())
        all.insert(k);
    for (const QString &k : all)
        if (x.values(k) != y.values(k))
            names << k;
    std::sort(names.begin(), names.end());
    return names;
}

QTextBrowser *entryView(const QString &name)
{
    auto *view = new QTextBrowser;
    view->setObjectName(name);
    view->setOpenLinks(false);
    return view;
}

} // namespace

ConflictsUI::ConflictsUI(const QSharedPointer<BookDocument> &doc, QWidget *parent)
    : QDialog(parent)
    , document(doc)
{
    setObjectName(QStringLiteral("ConflictsUI"));
    const QString bookName = QFileInfo(document->path()).fileName();
    setWindowTitle(tr("Conflits de la fusion — %1").arg(bookName));
    resize(1100, 640);

    BookConflicts file;
    if (!file.read(BookConflicts::pathFor(document->path())))
        errorText = file.errorString();
    conflicts = file.conflicts();
    choices.resize(conflicts.size());

    auto *intro = new QLabel(tr("La fusion a laissé des entrées en conflit dans %1. Pour chacune, gardez notre "
                                "version (celle que le livre contient), prenez la leur, ou modifiez l'entrée. "
                                "Chaque choix se défait par Ctrl+Z.")
                                 .arg(bookName),
                             this);
    intro->setWordWrap(true);

    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("list_Conflicts"));
    note = new QLabel(this);
    note->setObjectName(QStringLiteral("lbl_Note"));
    note->setWordWrap(true);
    differences = new QLabel(this);
    differences->setObjectName(QStringLiteral("lbl_Differences"));
    differences->setWordWrap(true);
    ours = entryView(QStringLiteral("tb_Ours"));
    theirs = entryView(QStringLiteral("tb_Theirs"));
    auto *oursBox = new QGroupBox(tr("Notre version (dans le livre)"), this);
    (new QVBoxLayout(oursBox))->addWidget(ours);
    auto *theirsBox = new QGroupBox(tr("Leur version"), this);
    (new QVBoxLayout(theirsBox))->addWidget(theirs);
    auto *sides = new QHBoxLayout;
    sides->addWidget(oursBox, 1);
    sides->addWidget(theirsBox, 1);

    keepOurs = new QPushButton(tr("Garder la nôtre"), this);
    keepOurs->setObjectName(QStringLiteral("pb_Ours"));
    takeTheirs = new QPushButton(tr("Prendre la leur"), this);
    takeTheirs->setObjectName(QStringLiteral("pb_Theirs"));
    edit = new QPushButton(tr("Modifier…"), this);
    edit->setObjectName(QStringLiteral("pb_Edit"));
    auto *actions = new QHBoxLayout;
    actions->addWidget(keepOurs);
    actions->addWidget(takeTheirs);
    actions->addWidget(edit);
    actions->addStretch(1);

    auto *right = new QWidget(this);
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(note);
    rightLayout->addWidget(differences);
    rightLayout->addLayout(sides, 1);
    rightLayout->addLayout(actions);
    auto *splitter = new QSplitter(this);
    splitter->addWidget(list);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({260, 840});

    status = new QLabel(this);
    status->setObjectName(QStringLiteral("lbl_Status"));
    status->setWordWrap(true);
    status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(tr("Fermer"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(splitter, 1);
    layout->addWidget(status);
    layout->addWidget(buttons);

    connect(list, &QListWidget::currentRowChanged, this, &ConflictsUI::showConflict);
    connect(keepOurs, &QPushButton::clicked, this, [this]() { choose(list->currentRow(), Ours); });
    connect(takeTheirs, &QPushButton::clicked, this, [this]() { choose(list->currentRow(), Theirs); });
    connect(edit, &QPushButton::clicked, this, &ConflictsUI::editConflict);
    // The book's undo from here too: each choice is taken back where it was made.
    connect(new QShortcut(QKeySequence::Undo, this), &QShortcut::activated, document.data(), &BookDocument::undo);
    connect(new QShortcut(QKeySequence::Redo, this), &QShortcut::activated, document.data(), &BookDocument::redo);
    connect(document.data(), &BookDocument::entriesChanged, this, &ConflictsUI::refresh);
    connect(document.data(), &BookDocument::bookReset, this, &ConflictsUI::refresh);
    connect(document.data(), &BookDocument::problem, status, &QLabel::setText);

    for (const BookConflicts::Conflict &c : qAsConst(conflicts))
        list->addItem(c.id.isEmpty() ? tr("Hors des entrées") : tr("Entrée %1").arg(c.id));
    document->load();
    refresh();
    if (!conflicts.isEmpty())
        list->setCurrentRow(0);
    if (!errorText.isEmpty())
        status->setText(tr("Les conflits ne peuvent pas être lus : %1").arg(errorText));
}

bool ConflictsUI::hasConflicts(const QString &bookPath)
{
    BookConflicts file;
    return QFileInfo::exists(BookConflicts::pathFor(bookPath))
        && (!file.read(BookConflicts::pathFor(bookPath)) || !file.conflicts().isEmpty());
}

ConflictsUI *ConflictsUI::open(const QSharedPointer<BookDocument> &document, QWidget *parent)
{
    for (ConflictsUI *w : parent ? parent->findChildren<ConflictsUI *>() : QList<ConflictsUI *>())
        if (w->document == document) {
            w->show();
            w->raise();
            w->activateWindow();
            return w;
        }
    auto *w = new ConflictsUI(document, parent);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    return w;
}

int ConflictsUI::indexInBook(const QString &id) const
{
    const Book &book = document->book();
    const int n = EntryId::parse(id);
    if (n >= 0)
        return book.indexOfNumber(n);
    for (int i = 0; i < book.size(); ++i)
        if (book.entry(i).id == id)
            return i;
    return -1;
}

bool ConflictsUI::isSettled(int row) const
{
    if (row < 0 || row >= choices.size() || !choices.at(row).made)
        return false;
    const Choice &c = choices.at(row);
    if (c.always)
        return true;
    const int i = indexInBook(conflicts.at(row).id);
    return c.present ? i >= 0 && document->book().entry(i) == c.entry : i < 0;
}

bool ConflictsUI::choose(int row, Side side)
{
    if (row < 0 || row >= conflicts.size())
        return false;
    const BookConflicts::Conflict &c = conflicts.at(row);
    const int i = indexInBook(c.id);
    if (side == Ours) {
        // The book holds ours already: nothing to change.
        Choice &choice = choices[row];
        choice.made = true;
        choice.always = c.kind == BookMerge::Conflict::Outside || c.id.isEmpty();
        choice.present = i >= 0;
        choice.entry = i >= 0 ? document->book().entry(i) : Entry();
        refresh();
        finishIfSettled();
        return true;
    }
    if (c.hasTheirs)
        return put(row, true, c.theirs);
    if (c.kind == BookMerge::Conflict::DeletedByThem && i >= 0)
        return put(row, false, Entry());
    errorText = tr("leur version n'est pas dans le fichier des conflits");
    return false;
}

bool ConflictsUI::write(int row, const Entry &entry)
{
    if (row < 0 || row >= conflicts.size())
        return false;
    return put(row, true, entry);
}

bool ConflictsUI::put(int row, bool present, const Entry &entry)
{
    const int i = indexInBook(conflicts.at(row).id);
    bool done = true;
    if (present && i >= 0 && document->book().entry(i) != entry)
        done = document->replaceEntry(i, entry);
    else if (present && i < 0)
        done = document->addEntry(entry);
    else if (!present && i >= 0)
        done = document->removeEntry(i);
    if (!done) {
        errorText = document->errorString();
        status->setText(tr("Le livre n'a pas pu être modifié : %1").arg(errorText));
        return false;
    }
    Choice &choice = choices[row];
    choice.made = true;
    choice.always = false;
    const int at = indexInBook(conflicts.at(row).id);
    choice.present = present && at >= 0;
    choice.entry = choice.present ? document->book().entry(at) : Entry();
    refresh();
    finishIfSettled();
    return true;
}

void ConflictsUI::refresh()
{
    int open = 0;
    for (int row = 0; row < conflicts.size(); ++row) {
        const bool settled = isSettled(row);
        open += settled ? 0 : 1;
        const BookConflicts::Conflict &c = conflicts.at(row);
        const QString name = c.id.isEmpty() ? tr("Hors des entrées") : tr("Entrée %1").arg(c.id);
        list->item(row)->setText(settled ? tr("%1 — réglé").arg(name) : name);
        QFont font = list->item(row)->font();
        font.setBold(!settled);
        list->item(row)->setFont(font);
    }
    if (open > 0)
        status->setText(open == 1 ? tr("Reste 1 conflit à régler.") : tr("Restent %1 conflits à régler.").arg(open));
    showConflict();
}

void ConflictsUI::showConflict()
{
    const int row = list->currentRow();
    const bool valid = row >= 0 && row < conflicts.size();
    const bool writable = !document->isReadOnly();
    if (!valid) {
        note->clear();
        differences->clear();
        ours->clear();
        theirs->clear();
        for (QPushButton *b : {keepOurs, takeTheirs, edit})
            b->setEnabled(false);
        return;
    }
    const BookConflicts::Conflict &c = conflicts.at(row);
    const Book &book = document->book();
    const int i = indexInBook(c.id);
    // The merge's note, as a sentence: "Entrée 042 modifiée des deux côtés : …".
    note->setText(c.note.isEmpty() ? tr("Entrée %1 en conflit.").arg(c.id) : c.note.left(1).toUpper() + c.note.mid(1));
    const QString absent = tr("<p><i>L'entrée n'est pas dans cette version.</i></p>");
    if (c.kind == BookMerge::Conflict::Outside && !c.hasTheirs) {
        ours->setHtml(tr("<p><i>Le livre garde notre début et notre fin de fichier. Leur version n'est pas "
                         "gardée à part : comparez-la avec git si besoin (git show MERGE_HEAD:%1).</i></p>")
                          .arg(QFileInfo(document->path()).fileName().toHtmlEscaped()));
        theirs->clear();
    } else {
        ours->setHtml(i >= 0 ? EntryHtml::of(book, i, EntryHtml::Preview) : absent);
        theirs->setHtml(c.hasTheirs ? EntryHtml::of(book, c.theirs, EntryHtml::Preview) : absent);
    }
    if (i >= 0 && c.hasTheirs) {
        const QStringList fields = differingFields(book.entry(i), c.theirs);
        differences->setText(fields.isEmpty() ? tr("Les deux versions sont maintenant les mêmes.")
                                              : tr("Ce qui diffère : %1.").arg(fields.join(QStringLiteral(", "))));
    } else {
        differences->clear();
    }
    keepOurs->setEnabled(writable);
    takeTheirs->setEnabled(writable && (c.hasTheirs || (c.kind == BookMerge::Conflict::DeletedByThem && i >= 0)));
    edit->setEnabled(writable && (c.hasTheirs || i >= 0));
}

void ConflictsUI::editConflict()
{
    const int row = list->currentRow();
    if (row < 0 || row >= conflicts.size())
        return;
    const BookConflicts::Conflict &c = conflicts.at(row);
    const int i = indexInBook(c.id);
    const Entry mine = i >= 0 ? document->book().entry(i) : Entry();

    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("ConflictEdit"));
    dialog.setWindowTitle(tr("Modifier l'entrée %1").arg(c.id));
    dialog.resize(900, 480);
    auto *text = new QPlainTextEdit(i >= 0 ? mine.text : c.theirs.text, &dialog);
    text->setObjectName(QStringLiteral("te_Text"));
    auto *other = new QPlainTextEdit(i >= 0 && c.hasTheirs ? c.theirs.text : QString(), &dialog);
    other->setReadOnly(true);
    auto *rest = new QComboBox(&dialog);
    rest->setObjectName(QStringLiteral("cb_Rest"));
    if (i >= 0)
        rest->addItem(tr("de notre version"), int(Ours));
    if (c.hasTheirs)
        rest->addItem(tr("de leur version"), int(Theirs));
    auto *texts = new QHBoxLayout;
    auto *mineBox = new QGroupBox(tr("Le texte de l'entrée"), &dialog);
    (new QVBoxLayout(mineBox))->addWidget(text);
    texts->addWidget(mineBox, 1);
    if (i >= 0 && c.hasTheirs) {
        auto *theirsBox = new QGroupBox(tr("Leur texte, à reprendre"), &dialog);
        (new QVBoxLayout(theirsBox))->addWidget(other);
        texts->addWidget(theirsBox, 1);
    }
    auto *form = new QFormLayout;
    form->addRow(tr("Le reste de l'entrée (choix, combats, objets, bonus) :"), rest);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Mettre dans le livre"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Annuler"));
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addLayout(texts, 1);
    layout->addLayout(form);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return;
    Entry written = rest->currentData().toInt() == int(Ours) ? mine : c.theirs;
    written.text = text->toPlainText();
    write(row, written);
}

void ConflictsUI::finishIfSettled()
{
    for (int row = 0; row < conflicts.size(); ++row)
        if (!isSettled(row))
            return;
    const QString path = BookConflicts::pathFor(document->path());
    const QString bookName = QFileInfo(document->path()).fileName();
    if (!removed && QFileInfo::exists(path)) {
        QFile file(path);
        if (!file.remove()) {
            status->setText(tr("Tous les conflits sont réglés, mais %1 n'a pas pu être supprimé : %2")
                                .arg(QFileInfo(path).fileName(), file.errorString()));
            return;
        }
    }
    removed = true;
    status->setText(tr("<b>Tous les conflits sont réglés</b> ; %1 a été supprimé. Pour terminer la fusion, "
                       "enregistrez le livre dans git : <tt>git add %2</tt> puis <tt>git commit</tt>.")
                        .arg(QFileInfo(path).fileName().toHtmlEscaped(), bookName.toHtmlEscaped()));
}
