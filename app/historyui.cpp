#include "app/historyui.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

HistoryUI::HistoryUI(const FileHistory &history, const QString &what, QWidget *parent)
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
    const QLocale french(QLocale::French, QLocale::France);
    for (int r = 0; r < versions.size(); ++r) {
        const FileHistory::Version &v = versions.at(r);
        table->setItem(r, 0, new QTableWidgetItem(french.toString(v.when, QStringLiteral("d MMMM yyyy, HH:mm:ss"))));
        table->setItem(r, 1, new QTableWidgetItem(QString::number(v.entries)));
        table->setItem(r, 2, new QTableWidgetItem(v.change));
    }
    table->resizeColumnsToContents();
    if (!versions.isEmpty())
        table->selectRow(0);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Restaurer"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("pb_Restore"));
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!versions.isEmpty());
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Fermer"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(table, &QTableWidget::cellDoubleClicked, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(table, 1);
    layout->addWidget(buttons);
}

FileHistory::Version HistoryUI::chosen() const
{
    const int row = table->currentRow();
    return row >= 0 && row < versions.size() ? versions.at(row) : FileHistory::Version();
}
