#ifndef ORVANDEL_FINDREPLACEUI_H
#define ORVANDEL_FINDREPLACEUI_H

#include "document/bookdocument.h"

#include <QDialog>
#include <QSharedPointer>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

// Find and replace across a book: every match listed with its entry and
// the words around it before anything is replaced; "Tout remplacer" is one
// change of the book's undo stack. Stays open beside the book's window and
// follows its document.
class FindReplaceUI : public QDialog
{
    Q_OBJECT

public:
    explicit FindReplaceUI(const QSharedPointer<BookDocument> &document, QWidget *parent = nullptr);

    void setWords(const QString &words);

public slots:
    void findAll();
    void replaceAll();

signals:
    // The author double-clicked a match: entry `index` of the book.
    void entryChosen(int index);

private:
    QSharedPointer<BookDocument> doc;
    QLineEdit *findEdit;
    QLineEdit *replaceEdit;
    QTreeWidget *matches;
    QLabel *count;
    QPushButton *replaceButton;
};

#endif
