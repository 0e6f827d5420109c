#include "app/bookcheckui.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QHeaderView>
#include <QLabel>
#include <QMap>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// Sorts entry numbers as numbers, not as text.
class NumberItem : public QTableWidgetItem
{
public:
    NumberItem(const QString &text, qint64 key) : QTableWidgetItem(text) { setData(Qt::UserRole, key); }
    bool operator<(const QTableWidgetItem &other) const override
    {
        return data(Qt::UserRole).toLongLong() < other.data(Qt::UserRole).toLongLong();
    }
};

} // namespace

BookCheckUI::BookCheckUI(const Book &book, const QVector<BookFinding> &findings,
                         QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("BookCheckUI"));
    setWindowTitle(tr("Vérification du livre"));
    resize(820, 520);

    QMap<int, int> counts;
    for (const BookFinding &f : findings)
        ++counts[f.kind];
    QStringList lines;
    if (findings.isEmpty())
        lines << tr("Aucun problème trouvé dans les %1 entrées du livre.").arg(book.size());
    else
        lines << tr("%1 constats dans les %2 entrées du livre :").arg(findings.size()).arg(book.size());
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        lines << QStringLiteral("• %1 : %2").arg(BookCheck::title(BookFinding::Kind(it.key()))).arg(it.value());
    summary = new QLabel(lines.join(QLatin1Char('\n')), this);
    summary->setObjectName(QStringLiteral("lbl_Summary"));

    table = new QTableWidget(findings.size(), 4, this);
    table->setObjectName(QStringLiteral("table_Findings"));
    table->setHorizontalHeaderLabels({tr("Constat"), tr("Entrée"), tr("Ligne"), tr("Détail")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    const QVector<int> lineOf = book.lineNumbers();
    for (int r = 0; r < findings.size(); ++r) {
        const BookFinding &f = findings.at(r);
        auto *kind = new QTableWidgetItem(BookCheck::title(f.kind));
        kind->setData(Qt::UserRole, BookCheck::key(f.kind));
        if (BookCheck::isError(f.kind))
            kind->setForeground(QColor(0xc6, 0x28, 0x28));
        kind->setData(Qt::UserRole + 1, f.entry);
        table->setItem(r, 0, kind);
        table->setItem(r, 1, new NumberItem(book.entry(f.entry).id, book.number(f.entry)));
        table->setItem(r, 2, new NumberItem(QString::number(lineOf.at(f.entry)), lineOf.at(f.entry)));
        table->setItem(r, 3, new QTableWidgetItem(f.detail));
    }
    connect(table, &QTableWidget::cellDoubleClicked, this, [this](int row) {
        emit entryActivated(table->item(row, 0)->data(Qt::UserRole + 1).toInt());
    });
    table->setSortingEnabled(true);
    table->sortByColumn(1, Qt::AscendingOrder);
    table->resizeColumnsToContents();

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(tr("Fermer"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(summary);
    layout->addWidget(table, 1);
    layout->addWidget(buttons);
}
