#include "app/booklistmodel.h"

#include <QBrush>
#include <QColor>

#include <cstring>

namespace {

// Each character up to U+00FF folded on its own, in UTF-8: none of them
// combines with what follows. Normalising a whole book's texts was most of
// a first search; most of a French book is made of these.
struct Latin1Folds
{
    char bytes[256][4];
    uchar size[256];
    int widest = 1;
};

const Latin1Folds &latin1Folds()
{
    static const Latin1Folds table = [] {
        Latin1Folds t{};
        for (int c = 0; c < 256; ++c) {
            const QByteArray f = BookListModel::folded(QString(QChar(c))).toUtf8().left(4);
            t.size[c] = uchar(f.size());
            std::memcpy(t.bytes[c], f.constData(), size_t(f.size()));
            t.widest = qMax(t.widest, int(f.size()));
        }
        return t;
    }();
    return table;
}

// Appends `text` folded to `out`, in UTF-8, written byte by byte into room
// made ahead (appending each byte to a QByteArray was a tenth of opening a
// large book's window).
void appendFolded(const QString &text, QByteArray *out)
{
    const Latin1Folds &latin1 = latin1Folds();
    int n = out->size();
    const auto makeRoom = [out, &n](qsizetype bytes) {
        qsizetype wanted = n + bytes;
        if (wanted <= out->size())
            return;
        if (wanted > out->capacity())
            wanted = qMax(wanted, qsizetype(out->capacity()) + out->capacity() / 2);
        out->resize(int(wanted));
    };
    const QChar *p = text.constData(), *const end = p + text.size();
    makeRoom((end - p) * latin1.widest + 4);
    char *o = out->data();
    while (p < end) {
        const ushort c = p->unicode();
        if (c < 0x80) {
            o[n++] = char(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
            ++p;
        } else if (c < 0x100) {
            std::memcpy(o + n, latin1.bytes[c], 4);
            n += latin1.size[c];
            ++p;
        } else {
            // Beyond, a run of such characters is folded whole (marks
            // typed apart go with their letter).
            const QChar *run = p;
            while (p < end && p->unicode() >= 0x100)
                ++p;
            const QByteArray f = BookListModel::folded(QString(run, int(p - run))).toUtf8();
            makeRoom(f.size() + (end - p) * latin1.widest + 4);
            o = out->data();
            std::memcpy(o + n, f.constData(), size_t(f.size()));
            n += f.size();
        }
    }
    out->resize(n);
}

} // namespace

BookListModel::BookListModel(QObject *parent) : QAbstractTableModel(parent) {}

BookListModel::~BookListModel()
{
    if (stopMaking)
        *stopMaking = true; // and `making` waits for its thread to see it
}

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
    // An empty book never takes an index up: every empty book "shares"
    // its no entries with every other.
    if (!book || book->isEmpty() || !making.valid() || !book->sharesEntriesWith(prepared))
        startIndex(book ? *book : Book());
    prepared = Book(); // held no longer: the book's next change would copy its entries
    endResetModel();
}

void BookListModel::prepare(const Book &now)
{
    prepared = now;
    startIndex(now);
}

void BookListModel::changed(int index, int removed, int inserted, const QVector<BookFinding> &findings)
{
    if (!book || index < 0 || index + removed > rows || rows - removed + inserted != book->size()) {
        setBook(book, findings);
        return;
    }
    settleIndex();
    const bool indexed = search.starts.size() == rows + 1;
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
        if (indexed) {
            const int from = search.starts.at(index), gone = search.starts.at(index + removed) - from;
            search.folded.remove(from, gone);
            search.starts.remove(index + 1, removed);
            for (int k = index + 1; k < search.starts.size(); ++k)
                search.starts[k] -= gone;
        }
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
        QByteArray folded;
        QVector<int> ends;
        for (int i = index; i < index + inserted; ++i) {
            findingText[i] = now.at(i);
            if (indexed) {
                appendSearchable(book->entry(i), &folded);
                ends.append(folded.size());
            }
        }
        if (indexed) {
            const int at = search.starts.at(index);
            // Room for a few more at a time, not for as much again.
            if (search.folded.size() + folded.size() > search.folded.capacity())
                search.folded.reserve(search.folded.size() + folded.size() + search.folded.size() / 64);
            search.folded.insert(at, folded);
            for (int k = index + 1; k < search.starts.size(); ++k)
                search.starts[k] += folded.size();
            search.starts.insert(index + 1, inserted, 0);
            for (int k = 0; k < inserted; ++k)
                search.starts[index + 1 + k] = at + ends.at(k);
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
    QByteArray out;
    appendFolded(text, &out);
    return out;
}

void BookListModel::appendSearchable(const Entry &entry, QByteArray *out)
{
    // In UTF-8: half the bytes of the text to go over at each search. A
    // space keeps each piece's folding apart from the next, as folding them
    // joined would. Beyond the text, what else the reader reads: the
    // choices, the monsters' names, the objects, the tests of luck.
    const auto add = [out](const QString &piece) {
        if (piece.isEmpty())
            return;
        out->append(' ');
        appendFolded(piece, out);
    };
    appendFolded(entry.id, out);
    add(entry.text);
    for (const Entry::Choice &c : entry.choices)
        add(c.text);
    for (const Entry::Monster &m : entry.monsters)
        add(m.name);
    for (const Entry::Object &o : entry.objects) {
        add(o.text);
        add(o.other);
    }
    add(entry.luck.luckyText);
    add(entry.luck.unluckyText);
    add(entry.types.specialText);
}

BookListModel::SearchIndex BookListModel::makeIndex(const Book &book, const std::atomic<bool> *stop)
{
    SearchIndex index;
    qint64 characters = 0;
    for (int i = 0; i < book.size(); ++i)
        characters += book.entry(i).id.size() + 1 + book.entry(i).text.size();
    index.folded.reserve(int(qMin<qint64>(characters + characters / 8 + 16, 1 << 30)));
    index.starts.reserve(book.size() + 1);
    for (int i = 0; i < book.size(); ++i) {
        if (stop && i % 1024 == 0 && stop->load())
            return SearchIndex();
        appendSearchable(book.entry(i), &index.folded);
        index.starts.append(index.folded.size());
    }
    if (index.folded.capacity() > index.folded.size() + index.folded.size() / 16)
        index.folded.squeeze();
    return index;
}

void BookListModel::startIndex(const Book &book)
{
    if (stopMaking)
        *stopMaking = true;
    making = std::future<SearchIndex>(); // waits for the thread making the last one
    search = SearchIndex();
    if (book.isEmpty())
        return;
    // The thread works on the book as it is now: a copy that shares all it
    // holds with the book, which may change meanwhile.
    stopMaking = std::make_shared<std::atomic<bool>>(false);
    making = std::async(std::launch::async, [now = book, stop = stopMaking] {
        SearchIndex made = makeIndex(now, stop.get());
        // Read once here, where no one waits: on some machines (virtual
        // ones) the first read of memory just written costs microseconds a
        // page, 35 ms for the index of 100,000 entries, which the first
        // search would pay otherwise.
        volatile char sum = 0;
        for (int at = 0; at < made.folded.size(); at += 4096)
            sum = sum + made.folded.at(at);
        return made;
    });
}

// The index made in its thread, taken once it is done.
void BookListModel::settleIndex() const
{
    if (making.valid())
        search = making.get();
}

const char *BookListModel::searchText(int row, int *size) const
{
    settleIndex();
    if (search.starts.size() != rows + 1) {
        if (!book || rows != book->size()) {
            *size = 0;
            return "";
        }
        search = makeIndex(*book, nullptr);
    }
    *size = search.starts.at(row + 1) - search.starts.at(row);
    return search.folded.constData() + search.starts.at(row);
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
    int size = 0;
    const char *haystack = model->searchText(row, &size);
    for (const QByteArray &word : words)
        if (!memmem(haystack, size_t(size), word.constData(), size_t(word.size())))
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
