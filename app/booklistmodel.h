#ifndef ORVANDEL_BOOKLISTMODEL_H
#define ORVANDEL_BOOKLISTMODEL_H

#include "analysis/bookcheck.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <atomic>
#include <future>
#include <memory>

// The entries of a book as rows: number, type codes, first words, and the
// findings of the checks. Reads the book in place: setBook() after any
// change, or changed() when only some entries changed.
class BookListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Number, Types, Text, Findings, ColumnCount };
    enum Role { SortRole = Qt::UserRole };

    explicit BookListModel(QObject *parent = nullptr);
    ~BookListModel() override;
    void setBook(const Book *book, const QVector<BookFinding> &findings);
    // Starts on what the search needs of `book` as it stands, before the
    // book is set: a setBook() of the same entries, unchanged, takes it up.
    void prepare(const Book &book);
    // The book's entries from `index` on: `removed` of them gave way to
    // `inserted` new ones. Only rows that changed are announced to the views.
    void changed(int index, int removed, int inserted, const QVector<BookFinding> &findings);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Lower case, without accents: "Épée" gives "epee".
    static QString folded(const QString &text);
    // The same in UTF-8, made faster: what the filter searches.
    static QByteArray foldedUtf8(const QString &text);
    // For the filter and the sort, without going through QVariant: the
    // row's number and text folded (`size` bytes, good until the next change).
    const char *searchText(int row, int *size) const;
    qint64 sortNumber(int row) const
    {
        row = bookRow(row);
        return book && row >= 0 && book->number(row) >= 0 ? book->number(row) : -1;
    }

private:
    static QVector<QString> titles(int size, const QVector<BookFinding> &findings);

    // The book's entry a row shows, while rows come and go after the book
    // changed; -1 for a row on its way out.
    int bookRow(int row) const
    {
        if (goneFrom >= 0 && row >= goneFrom && row < shiftFrom)
            return -1;
        return row >= shiftFrom ? row + shift : row;
    }

    const Book *book = nullptr;
    int rows = 0; // as the views know it, while rows come and go
    int shiftFrom = 0, shift = 0, goneFrom = -1;
    QVector<QString> findingText; // per entry, the titles of its findings

    // Every row's number and text folded, one row after the other, row i
    // from starts[i] to starts[i + 1]: made in a thread of its own as soon
    // as the book is shown, so that the first search finds it made, and
    // kept in step with the book's changes.
    struct SearchIndex
    {
        QByteArray folded;
        QVector<int> starts{0};
    };
    static SearchIndex makeIndex(const Book &book, const std::atomic<bool> *stop);
    static void appendSearchable(const Entry &entry, QByteArray *out);
    void startIndex(const Book &book);
    void settleIndex() const;
    mutable SearchIndex search;
    mutable std::future<SearchIndex> making;
    std::shared_ptr<std::atomic<bool>> stopMaking;
    Book prepared; // what prepare() was given, until setBook()
};

// Filters the entries on words (all must appear, accents and case aside)
// or an entry number, and sorts numbers as numbers.
class BookFilterModel : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setWords(const QString &text);
    void setSourceModel(QAbstractItemModel *source) override;
    // By number, a book whose entries already stand in that order is shown
    // in its own order: a new filter then costs no sort of what it keeps.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

protected:
    bool filterAcceptsRow(int row, const QModelIndex &parent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    bool inNumberOrder() const;
    void followOrder();

    QVector<QByteArray> words;
    bool byNumber = false; // asked to sort by number, ascending
};

#endif
