#ifndef ORVANDEL_NEWBOOKUI_H
#define ORVANDEL_NEWBOOKUI_H

#include <QDialog>

class QLabel;
class QLineEdit;
class QSpinBox;

// "Nouveau livre…": a title, its author, the first entry's number and a
// folder; the file's name and the book's inner name are made from the
// title, which is kept with the author beside the book (BookTitle).
class NewBookUI : public QDialog
{
    Q_OBJECT

public:
    explicit NewBookUI(const QString &folder, QWidget *parent = nullptr);

    QString title() const;
    QString author() const;
    int firstNumber() const;
    // Where the book goes: the folder, and a file named after the title.
    QString path() const;
    // A file name from a title: the title itself, but for the characters
    // file systems refuse; empty for a title without any letter or digit.
    static QString fileNameFrom(const QString &title);

    // Makes the book's file, empty, with a root named after the title, and
    // keeps the title and author beside it;
    // false, with errorString(), when it cannot (it exists already, the
    // folder cannot be written).
    bool create();
    QString errorString() const { return error; }

    void accept() override;

private:
    QLineEdit *titleEdit, *authorEdit;
    QSpinBox *first;
    QLineEdit *folderEdit;
    QLabel *where;
    QString error;
};

#endif
