#include "app/bookcheckui.h"

#include "analysis/bookcounts.h"

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

    summary = new QLabel(this);
    summary->setObjectName(QStringLiteral("lbl_Summary"));
    table = new QTableWidget(0, 4, this);
    table->setObjectName(QStringLiteral("table_Findings"));
    table->setHorizontalHeaderLabels({tr("Constat"), tr("Entrée"), tr("Ligne"), tr("Détail")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    connect(table, &QTableWidget::cellDoubleClicked, this, [this](int row) {
        emit entryActivated(table->item(row, 0)->data(Qt::UserRole + 1).toInt());
    });
    showFindings(book, findings);
    table->sortByColumn(1, Qt::AscendingOrder);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(tr("Fermer"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(summary);
    layout->addWidget(table, 1);
    layout->addWidget(buttons);
}

void BookCheckUI::showFindings(const Book &book, const QVector<BookFinding> &findings)
{
    QMap<int, int> counts;
    for (const BookFinding &f : findings)
        ++counts[f.kind];
    // Endings are what a book needs, not faults: counted and named apart.
    QStringList endings;
    for (const BookFinding &f : findings)
        if (BookCheck::isEnding(f.kind))
            endings << book.entry(f.entry).id;
    const int faults = findings.size() - endings.size();
    const QString entries = book.size() == 1 ? tr("la seule entrée") : tr("les %1 entrées").arg(book.size());
    QStringList lines;
    if (faults == 0)
        lines << tr("Aucun problème trouvé dans %1 du livre.").arg(entries);
    else
        lines << (faults == 1 ? tr("1 constat dans %1 du livre :").arg(entries)
                              : tr("%1 constats dans %2 du livre :").arg(faults).arg(entries));
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (!BookCheck::isEnding(BookFinding::Kind(it.key())))
            lines << QStringLiteral("• %1 : %2").arg(BookCheck::title(BookFinding::Kind(it.key()))).arg(it.value());
    lines << (endings.isEmpty() ? tr("Aucune fin : aucune entrée n'achève l'aventure.")
                                : endings.size() == 1 ? tr("1 fin : %1").arg(endings.first())
                                                      : tr("%1 fins : %2").arg(endings.size()).arg(endings.join(QStringLiteral(", "))));
    if (counts.value(BookFinding::Victory) || counts.value(BookFinding::Death))
        lines << tr("Victoires : %1 · Morts : %2 · Fins sans plus : %3")
                     .arg(counts.value(BookFinding::Victory))
                     .arg(counts.value(BookFinding::Death))
                     .arg(counts.value(BookFinding::Ending));
    BookCounts sizes;
    sizes.reset(book);
    lines << BookCounts::said(sizes.totals()) + QLatin1Char('.');
    summary->setText(lines.join(QLatin1Char('\n')));

    table->setSortingEnabled(false);
    table->clearContents();
    table->setRowCount(findings.size());
    const QVector<int> lineOf = book.lineNumbers();
    for (int r = 0; r < findings.size(); ++r) {
        const BookFinding &f = findings.at(r);
        auto *kind = new QTableWidgetItem(BookCheck::title(f.kind));
        kind->setData(Qt::UserRole, BookCheck::key(f.kind));
        if (f.kind == BookFinding::Death)
            kind->setForeground(QColor(0x4a, 0x14, 0x8c));
        else if (BookCheck::isEnding(f.kind))
            kind->setForeground(QColor(0x2e, 0x7d, 0x32));
        else if (BookCheck::isError(f.kind))
            kind->setForeground(QColor(0xc6, 0x28, 0x28));
        kind->setData(Qt::UserRole + 1, f.entry);
        table->setItem(r, 0, kind);
        table->setItem(r, 1, new NumberItem(book.entry(f.entry).id, book.number(f.entry)));
        table->setItem(r, 2, new NumberItem(QString::number(lineOf.at(f.entry)), lineOf.at(f.entry)));
        table->setItem(r, 3, new QTableWidgetItem(f.detail));
    }
    table->setSortingEnabled(true);
    table->resizeColumnsToContents();
}
