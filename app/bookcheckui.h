#ifndef ORVANDEL_BOOKCHECKUI_H
#define ORVANDEL_BOOKCHECKUI_H

#include "analysis/bookcheck.h"

#include <QDialog>

class QLabel;
class QTableWidget;

// Lists the findings of a book: a count per kind, then one sortable row per
// finding naming its entry.
class BookCheckUI : public QDialog
{
    Q_OBJECT

public:
    BookCheckUI(const Book &book, const QVector<BookFinding> &findings,
                QWidget *parent = nullptr);
    // The findings again, after the book changed.
    void showFindings(const Book &book, const QVector<BookFinding> &findings);

signals:
    // Double-click on a finding: the entry it is about.
    void entryActivated(int index);

private:
    QLabel *summary;
    QTableWidget *table;
};

#endif
