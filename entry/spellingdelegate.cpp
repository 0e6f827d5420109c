#include "entry/spellingdelegate.h"

#include "spelling/spellchecker.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>

SpellingDelegate::SpellingDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

void SpellingDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    if (!checker)
        return;
    QStyleOptionViewItem item(option);
    initStyleOption(&item, index);
    const QVector<SpellChecker::Span> spans = checker->misspelt(item.text);
    if (spans.isEmpty())
        return;
    const QStyle *style = item.widget ? item.widget->style() : QApplication::style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, item.widget) + 1;
    const QRect room = style->subElementRect(QStyle::SE_ItemViewItemText, &item, item.widget).adjusted(margin, 0, -margin, 0);
    const QFontMetrics metrics(item.font);
    // An elided cell shows its start only: what is cut off is not marked.
    const bool cut = metrics.horizontalAdvance(item.text) > room.width();
    const int shown = cut ? room.width() - metrics.horizontalAdvance(QStringLiteral("…")) : room.width();
    const int baseline = room.top() + (room.height() - metrics.height()) / 2 + metrics.ascent() + 2;
    painter->save();
    painter->setPen(QPen(Qt::red, 1));
    painter->setRenderHint(QPainter::Antialiasing);
    for (const SpellChecker::Span &span : spans) {
        const int from = metrics.horizontalAdvance(item.text.left(span.start));
        const int to = metrics.horizontalAdvance(item.text.left(span.end()));
        if (to > shown)
            break;
        QPainterPath wave(QPointF(room.left() + from, baseline));
        for (int x = from + 2, up = 1; x <= to; x += 2, up = -up)
            wave.lineTo(room.left() + x, baseline + up);
        painter->drawPath(wave);
    }
    painter->restore();
}

QWidget *SpellingDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto *line = qobject_cast<QLineEdit *>(editor))
        emit const_cast<SpellingDelegate *>(this)->editorOpened(line);
    return editor;
}
