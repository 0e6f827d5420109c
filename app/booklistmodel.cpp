#include "app/booklistmodel.h"

#include <QBrush>
#include <QColor>
#include <QVarLengthArray>

#include <cstring>

BookListModel::BookListModel(QObject *parent) : QAbstractTableModel(parent) {}

QVector<QString> BookListModel::titles(int size, const QVector<BookFinding> &findings)
{
    QVector<QString> out(size);
    for (const BookFinding &f : findings) {
        QString &text = out[f.entry];
        if (!text.isEmpty())
            text += QStringLiteral(", ");
        text += BookCheck::title(f.kind);
    }
    return out;
}

void BookListModel::setBook(const Book *read, const QVector<BookFinding> &findings)
{
    beginResetModel();
    book = read;
    rows = book ? book->size() : 0;
    findingText = titles(rows, findings);
    search.clear();
    endResetModel();
}

void BookListModel::changed(int index, int removed, int inserted, const QVector<BookFinding> &findings)
{
    if (!book || index < 0 || index + removed > rows || rows - removed + inserted != book->size()) {
        setBook(book, findings);
        return;
    }
    // The changed rows go and come back: the sorting and filtering views
    // place them anew without going over the others. The book has changed
    // already: while the rows go, those after them are read `removed`
    // places further down the book, and while they come back, `inserted`
    // places further.
    if (removed > 0) {
        shiftFrom = index + removed;
        shift = inserted - removed;
        goneFrom = index;
        beginRemoveRows(QModelIndex(), index, index + removed - 1);
        rows -= removed;
        findingText.remove(index, removed);
        if (!search.isEmpty())
            search.remove(index, removed);
        goneFrom = -1;
        shiftFrom = index;
        shift = inserted;
        endRemoveRows();
    }
    goneFrom = -1;
    shiftFrom = index;
    shift = inserted;
    QVector<QString> now = titles(book->size(), findings);
    if (inserted > 0) {
        beginInsertRows(QModelIndex(), index, index + inserted - 1);
        rows += inserted;
        findingText.insert(index, inserted, QString());
        for (int i = index; i < index + inserted; ++i) {
            findingText[i] = now.at(i);
            if (!search.isEmpty())
                search.insert(i, searchable(book->entry(i)));
        }
        shift = 0;
        endInsertRows();
    }
    shift = 0;
    // A change elsewhere can change what other entries are found to be.
    for (int i = 0; i < rows; ++i) {
        if (findingText.at(i) == now.at(i))
            continue;
        int last = i;
        while (last + 1 < rows && findingText.at(last + 1) != now.at(last + 1))
            ++last;
        for (int k = i; k <= last; ++k)
            findingText[k] = now.at(k);
        emit dataChanged(this->index(i, Findings), this->index(last, Findings));
        i = last;
    }
}

int BookListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows;
}

int BookListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString BookListModel::folded(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing)
            out += c;
    return out.toCaseFolded();
}

QVariant BookListModel::data(const QModelIndex &index, int role) const
{
    if (!book || !index.isValid() || index.row() >= rows)
        return QVariant();
    const int row = bookRow(index.row());
    if (row < 0 || row >= book->size())
        return QVariant();
    const Entry &entry = book->entry(row);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        switch (index.column()) {
        case Number: return entry.id;
        case Types: return entry.typeCodes();
        case Text: {
            if (role == Qt::ToolTipRole)
                return entry.text;
            const QString simplified = entry.text.left(200).simplified();
            return simplified.size() > 80 ? simplified.left(79) + QChar(0x2026) : simplified;
        }
        case Findings: return findingText.at(index.row());
        }
        break;
    case Qt::ForegroundRole:
        if (index.column() == Findings)
            return QBrush(QColor(0xc6, 0x28, 0x28));
        break;
    case SortRole:
        if (index.column() == Number)
            return book->number(row) >= 0 ? qint64(book->number(row)) : qint64(-1);
        return data(index, Qt::DisplayRole);
    }
    return QVariant();
}

QByteArray BookListModel::foldedUtf8(const QString &text)
{
    // Normalising a whole book's texts is most of a first search: the
    // characters up to U+00FF, most of a French book, fold on their own
    // (none combines with what follows), each once and for all.
    static const QVector<QByteArray> latin1 = [] {
        QVector<QByteArray> table(256);
        for (int c = 0; c < 256; ++c)
            table[c] = folded(QString(QChar(c))).toUtf8();
        return table;
    }();
    static const int widest = [] {
        int most = 1;
        for (const QByteArray &bytes : latin1)
            most = qMax(most, bytes.size());
        return most;
    }();
    // Written byte by byte into room made once: appending each byte to a
    // QByteArray was a tenth of opening a large book's window.
    QVarLengthArray<char, 1024> out(text.size() * widest + 16);
    int n = 0;
    const QChar *p = text.constData(), *const end = p + text.size();
    while (p < end) {
        const ushort c = p->unicode();
        if (c < 0x80) {
            out[n++] = char(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
            ++p;
        } else if (c < 0x100) {
            const QByteArray &f = latin1.at(c);
            std::memcpy(out.data() + n, f.constData(), size_t(f.size()));
            n += f.size();
            ++p;
        } else {
            const QChar *run = p;
            while (p < end && p->unicode() >= 0x100)
                ++p;
            const QByteArray f = folded(QString(run, int(p - run))).toUtf8();
            out.resize(n + f.size() + int(end - p) * widest + 16);
            std::memcpy(out.data() + n, f.constData(), size_t(f.size()));
            n += f.size();
        }
    }
    return QByteArray(out.constData(), n);
}

QByteArray BookListModel::searchable(const Entry &entry)
{
    // In UTF-8: half the bytes of the text to go over at each search.
    return foldedUtf8(entry.id + QLatin1Char(' ') + entry.text);
}

const QByteArray &BookListModel::searchText(int row) const
{
    if (search.isEmpty()) {
        search.resize(rows);
        for (int i = 0; i < rows; ++i) {
            const int entry = bookRow(i);
            search[i] = entry >= 0 ? searchable(book->entry(entry)) : QByteArray();
        }
    }
    return search.at(row);
}

QVariant BookListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case Number: return tr("N°");
    case Types: return tr("Types");
    case Text: return tr("Texte");
    case Findings: return tr("Constats");
    }
    return QVariant();
}

void BookFilterModel::setWords(const QString &text)
{
    words.clear();
    for (const QByteArray &word : BookListModel::foldedUtf8(text).split(' '))
        if (!word.isEmpty())
            words << word;
    // The whole mapping at once: removing scattered rows range by range
    // costs the view quadratic time on a large book.
    invalidate();
}

bool BookFilterModel::filterAcceptsRow(int row, const QModelIndex &parent) const
{
    if (words.isEmpty())
        return true;
    Q_UNUSED(parent);
    const auto *model = static_cast<const BookListModel *>(sourceModel());
    // A number alone finds that entry ("12" finds 012) before any text.
    if (words.size() == 1 && !words.first().isEmpty() && words.first().at(0) >= '0' && words.first().at(0) <= '9'
        && model->sortNumber(row) == words.first().toInt())
        return true;
    const QByteArray &haystack = model->searchText(row);
    for (const QByteArray &word : words)
        if (!haystack.contains(word))
            return false;
    return true;
}

bool BookFilterModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    if (left.column() != BookListModel::Number)
        return QSortFilterProxyModel::lessThan(left, right);
    const auto *model = static_cast<const BookListModel *>(sourceModel());
    const qint64 a = model->sortNumber(left.row()), b = model->sortNumber(right.row());
    return a != b ? a < b : left.row() < right.row();
}

void BookFilterModel::setSourceModel(QAbstractItemModel *source)
{
    QSortFilterProxyModel::setSourceModel(source);
    connect(source, &QAbstractItemModel::modelReset, this, &BookFilterModel::followOrder);
    connect(source, &QAbstractItemModel::rowsInserted, this, &BookFilterModel::followOrder);
    connect(source, &QAbstractItemModel::rowsRemoved, this, &BookFilterModel::followOrder);
}

bool BookFilterModel::inNumberOrder() const
{
    const auto *model = static_cast<const BookListModel *>(sourceModel());
    for (int row = 1; model && row < model->rowCount(); ++row)
        if (model->sortNumber(row) < model->sortNumber(row - 1))
            return false;
    return true;
}

void BookFilterModel::sort(int column, Qt::SortOrder order)
{
    byNumber = column == BookListModel::Number && order == Qt::AscendingOrder;
    QSortFilterProxyModel::sort(byNumber && inNumberOrder() ? -1 : column, order);
}

void BookFilterModel::followOrder()
{
    // A change may have put the entries out of number order, or back in it.
    if (!byNumber)
        return;
    const int column = inNumberOrder() ? -1 : int(BookListModel::Number);
    if (column != sortColumn())
        QSortFilterProxyModel::sort(column, Qt::AscendingOrder);
}
