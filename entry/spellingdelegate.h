#ifndef ORVANDEL_SPELLINGDELEGATE_H
#define ORVANDEL_SPELLINGDELEGATE_H

#include <QPointer>
#include <QStyledItemDelegate>

class QLineEdit;
class SpellChecker;

// Table cells that hold prose (a choice's text, a monster's name): their
// misspelt words underlined as in the form's fields, and the editor that
// opens on a cell handed to whoever checks the fields.
class SpellingDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit SpellingDelegate(QObject *parent);
    void setChecker(SpellChecker *checker) { this->checker = checker; }

signals:
    void editorOpened(QLineEdit *editor);

protected:
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    QPointer<SpellChecker> checker;
};

#endif
