#include "app/historyui.h"

#include "analysis/bookcommits.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString dateText(const QDateTime &when)
{
    return QLocale(QLocale::French, QLocale::France).toString(when, QStringLiteral("d MMMM yyyy, HH:mm:ss"));
}

// The entries a commit changed, a few of them when there are many.
QString changesText(const QStringList &changes)
{
    constexpr int shown = 8;
    if (changes.isEmpty())
        return HistoryUI::tr("aucune entrée");
    if (changes.size() <= shown)
        return changes.join(QStringLiteral(", "));
    return HistoryUI::tr("%1 … (et %2 autres)").arg(changes.mid(0, shown).join(QStringLiteral(", "))).arg(changes.size() - shown);
}

} // namespace

HistoryUI::HistoryUI(const FileHistory &history, const QString &what, QWidget *parent)
    : HistoryUI(history, what, QString(), parent)
{
}

HistoryUI::HistoryUI(const FileHistory &history, const QString &what, const QString &bookPath, QWidget *parent)
    : QDialog(parent)
    , versions(history.versions())
{
    setObjectName(QStringLiteral("HistoryUI"));
    setWindowTitle(tr("Historique — %1").arg(what));
    resize(640, 420);

    auto *label = new QLabel(versions.isEmpty()
                                 ? tr("Aucune version antérieure n'est encore gardée.")
                                 : tr("Les versions précédentes, la plus récente en haut. "
                                      "Restaurer une version est une modification comme une autre : "
                                      "la version actuelle rejoint l'historique."),
                             this);
    label->setWordWrap(true);
    table = new QTableWidget(versions.size(), 3, this);
    table->setObjectName(QStringLiteral("table_Versions"));
    table->setHorizontalHeaderLabels({tr("Date"), tr("Entrées"), tr("Modification qui a suivi")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    for (int r = 0; r < versions.size(); ++r) {
        const FileHistory::Version &v = versions.at(r);
        table->setItem(r, 0, new QTableWidgetItem(dateText(v.when)));
        table->setItem(r, 1, new QTableWidgetItem(QString::number(v.entries)));
        table->setItem(r, 2, new QTableWidgetItem(v.change));
    }
    table->resizeColumnsToContents();
    if (!versions.isEmpty())
        table->selectRow(0);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    restore = buttons->button(QDialogButtonBox::Ok);
    restore->setText(tr("Restaurer"));
    restore->setObjectName(QStringLiteral("pb_Restore"));
    restore->setEnabled(!versions.isEmpty());
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Fermer"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(table, &QTableWidget::cellDoubleClicked, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    if (bookPath.isEmpty() || BookCommits::repositoryOf(bookPath).isEmpty()) {
        layout->addWidget(label);
        layout->addWidget(table, 1);
        layout->addWidget(buttons);
        return;
    }

    // The book is in a git repository: its commits beside the versions kept here.
    resize(900, 520);
    auto *kept = new QWidget(this);
    auto *keptLayout = new QVBoxLayout(kept);
    keptLayout->addWidget(label);
    keptLayout->addWidget(table, 1);

    auto *committed = new QWidget(this);
    auto *committedLayout = new QVBoxLayout(committed);
    commitState = new QLabel(tr("Lecture des commits…"), committed);
    commitState->setObjectName(QStringLiteral("lbl_Commits"));
    commitState->setWordWrap(true);
    commitTable = new QTableWidget(0, 4, committed);
    commitTable->setObjectName(QStringLiteral("table_Commits"));
    commitTable->setHorizontalHeaderLabels({tr("Date"), tr("Auteur"), tr("Message"), tr("Entrées modifiées")});
    commitTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    commitTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    commitTable->setSelectionMode(QAbstractItemView::SingleSelection);
    commitTable->setWordWrap(false);
    commitTable->verticalHeader()->hide();
    commitTable->horizontalHeader()->setStretchLastSection(true);
    committedLayout->addWidget(commitState);
    committedLayout->addWidget(commitTable, 1);

    tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("tabs_History"));
    tabs->addTab(kept, tr("Versions gardées par Orvandel"));
    tabs->addTab(committed, tr("Commits git"));
    layout->addWidget(tabs, 1);
    if (versions.isEmpty())
        tabs->setCurrentIndex(1);
    layout->addWidget(buttons);

    gitCommits = new BookCommits(bookPath, this);
    connect(gitCommits, &BookCommits::listed, this, &HistoryUI::fillCommits);
    connect(gitCommits, &BookCommits::changesFound, this, &HistoryUI::showChanges);
    connect(gitCommits, &BookCommits::failed, this, [this]() {
        commitState->setText(tr("Les commits du livre ne peuvent pas être lus : %1").arg(gitCommits->errorString()));
    });
    connect(tabs, &QTabWidget::currentChanged, this, &HistoryUI::updateRestore);
    connect(commitTable, &QTableWidget::itemSelectionChanged, this, &HistoryUI::updateRestore);
    connect(commitTable, &QTableWidget::cellDoubleClicked, this, &QDialog::accept);
    gitCommits->start();
}

HistoryUI::~HistoryUI() = default;

void HistoryUI::fillCommits()
{
    const QVector<BookCommits::Commit> &commits = gitCommits->commits();
    commitState->setText(commits.isEmpty()
                             ? tr("Le livre est dans un dépôt git, mais n'y a pas encore été enregistré (git add, git commit).")
                             : (commits.size() == 1 ? tr("Un commit du livre.") : tr("%1 commits du livre, le plus récent en haut.").arg(commits.size()))
                                   + QLatin1Char(' ')
                                   + tr("Restaurer un commit remet le livre tel qu'il y était, en une modification que "
                                        "Ctrl+Z défait."));
    commitTable->setRowCount(commits.size());
    for (int r = 0; r < commits.size(); ++r) {
        const BookCommits::Commit &c = commits.at(r);
        commitTable->setItem(r, 0, new QTableWidgetItem(dateText(c.when)));
        commitTable->setItem(r, 1, new QTableWidgetItem(c.author));
        auto *message = new QTableWidgetItem(c.message);
        message->setToolTip(tr("%1\ncommit %2").arg(c.message, c.hash));
        commitTable->setItem(r, 2, message);
        commitTable->setItem(r, 3, new QTableWidgetItem(tr("…")));
        if (c.changesKnown)
            showChanges(r);
    }
    commitTable->resizeColumnsToContents();
    commitTable->setColumnWidth(2, qMin(commitTable->columnWidth(2), 320));
    if (!commits.isEmpty())
        commitTable->selectRow(0);
    updateRestore();
}

void HistoryUI::showChanges(int row)
{
    if (row < 0 || row >= commitTable->rowCount())
        return;
    const BookCommits::Commit &c = gitCommits->commits().at(row);
    auto *item = new QTableWidgetItem(changesText(c.changes));
    item->setToolTip(c.changes.join(QLatin1Char('\n')));
    commitTable->setItem(row, 3, item);
}

void HistoryUI::updateRestore()
{
    const bool onCommits = tabs && tabs->currentIndex() == 1;
    restore->setEnabled(restoreAllowed && (onCommits ? chosenCommit() >= 0 : !versions.isEmpty()));
}

void HistoryUI::forbidRestore(const QString &why)
{
    restoreAllowed = false;
    restore->setToolTip(why);
    updateRestore();
}

FileHistory::Version HistoryUI::chosen() const
{
    if (tabs && tabs->currentIndex() != 0)
        return FileHistory::Version();
    const int row = table->currentRow();
    return row >= 0 && row < versions.size() ? versions.at(row) : FileHistory::Version();
}

int HistoryUI::chosenCommit() const
{
    if (!tabs || tabs->currentIndex() != 1 || !gitCommits->isListed())
        return -1;
    const QList<QTableWidgetItem *> selected = commitTable->selectedItems();
    const int row = selected.isEmpty() ? -1 : selected.first()->row();
    return row < gitCommits->commits().size() ? row : -1;
}
