#include "app/findreplaceui.h"

#include "analysis/bookfind.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
// Past this many, the list shows the first ones and says how many in all.
const int listed = 2000;
}

FindReplaceUI::FindReplaceUI(const QSharedPointer<BookDocument> &document, QWidget *parent)
    : QDialog(parent)
    , doc(document)
    , findEdit(new QLineEdit)
    , replaceEdit(new QLineEdit)
    , matches(new QTreeWidget)
    , count(new QLabel)
{
    setWindowTitle(tr("Rechercher et remplacer"));
    findEdit->setObjectName(QStringLiteral("le_Find"));
    findEdit->setPlaceholderText(tr("« epee » trouve « Épée »"));
    replaceEdit->setObjectName(QStringLiteral("le_Replace"));
    matches->setObjectName(QStringLiteral("tree_Matches"));
    matches->setHeaderLabels({tr("Entrée"), tr("Où"), tr("Extrait")});
    matches->setRootIsDecorated(false);
    matches->setUniformRowHeights(true);
    matches->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    matches->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    count->setObjectName(QStringLiteral("lbl_Count"));

    auto *buttons = new QDialogButtonBox;
    auto *find = buttons->addButton(tr("Chercher"), QDialogButtonBox::ActionRole);
    find->setObjectName(QStringLiteral("pb_FindAll"));
    replaceButton = buttons->addButton(tr("Tout remplacer"), QDialogButtonBox::ActionRole);
    replaceButton->setObjectName(QStringLiteral("pb_ReplaceAll"));
    replaceButton->setEnabled(false);
    buttons->addButton(QDialogButtonBox::Close);
    buttons->button(QDialogButtonBox::Close)->setText(tr("Fermer"));
    for (QAbstractButton *b : buttons->buttons())
        if (auto *push = qobject_cast<QPushButton *>(b))
            push->setAutoDefault(false);

    auto *form = new QFormLayout;
    form->addRow(tr("Rechercher :"), findEdit);
    form->addRow(tr("Remplacer par :"), replaceEdit);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(new QLabel(tr("Dans les textes, les choix, les monstres, les objets et les tests de chance ; "
                                    "sans tenir compte des majuscules ni des accents.")));
    layout->addWidget(matches, 1);
    layout->addWidget(count);
    layout->addWidget(buttons);
    resize(720, 480);

    connect(find, &QPushButton::clicked, this, &FindReplaceUI::findAll);
    connect(findEdit, &QLineEdit::returnPressed, this, &FindReplaceUI::findAll);
    connect(replaceButton, &QPushButton::clicked, this, &FindReplaceUI::replaceAll);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    connect(findEdit, &QLineEdit::textEdited, this, [this] {
        // What the list shows is no longer what would be replaced.
        matches->clear();
        count->clear();
        replaceButton->setEnabled(false);
    });
    connect(matches, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) {
        emit entryChosen(item->data(0, Qt::UserRole).toInt());
    });
    // The list follows the book: a change made elsewhere is searched again.
    const auto again = [this] {
        if (!matches->topLevelItemCount() && count->text().isEmpty())
            return;
        findAll();
    };
    connect(doc.data(), &BookDocument::entriesChanged, this, again);
    connect(doc.data(), &BookDocument::bookReset, this, again);
}

void FindReplaceUI::setWords(const QString &words)
{
    findEdit->setText(words);
    findEdit->selectAll();
    findEdit->setFocus(Qt::OtherFocusReason);
}

void FindReplaceUI::findAll()
{
    matches->clear();
    const BookFind find(findEdit->text());
    if (find.isEmpty()) {
        count->clear();
        replaceButton->setEnabled(false);
        return;
    }
    const Book &book = doc->book();
    const QVector<BookFind::Match> found = find.in(book);
    QList<QTreeWidgetItem *> items;
    QSet<int> entries;
    for (const BookFind::Match &m : found) {
        entries.insert(m.entry);
        if (items.size() >= listed)
            continue;
        const Entry &entry = book.entry(m.entry);
        auto *item = new QTreeWidgetItem({entry.id, BookFind::fieldName(m), BookFind::context(entry, m)});
        item->setData(0, Qt::UserRole, m.entry);
        items.append(item);
    }
    matches->addTopLevelItems(items);
    if (found.isEmpty())
        count->setText(tr("Aucune occurrence."));
    else
        count->setText((found.size() == 1 ? tr("1 occurrence") : tr("%1 occurrences").arg(found.size()))
                       + (entries.size() == 1 ? tr(" dans 1 entrée") : tr(" dans %1 entrées").arg(entries.size()))
                       + (found.size() > listed ? tr(" (les %1 premières affichées)").arg(listed) : QString()));
    replaceButton->setEnabled(!found.isEmpty() && !doc->isReadOnly());
}

void FindReplaceUI::replaceAll()
{
    const BookFind find(findEdit->text());
    if (find.isEmpty() || doc->isReadOnly())
        return;
    int entries = 0, replaced = 0;
    if (!doc->replaceAll(find, replaceEdit->text(), &entries, &replaced)) {
        QMessageBox::critical(this, tr("Tout remplacer"), doc->errorString());
        return;
    }
    findAll();
    if (replaced == 0) {
        count->setText(tr("Rien à remplacer."));
        return;
    }
    count->setText((replaced == 1 ? tr("1 occurrence remplacée") : tr("%1 occurrences remplacées").arg(replaced))
                   + (entries == 1 ? tr(" dans 1 entrée") : tr(" dans %1 entrées").arg(entries))
                   + tr(" ; Ctrl+Z dans le livre annule le tout."));
}
