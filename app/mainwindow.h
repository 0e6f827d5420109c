#ifndef ORVANDEL_MAINWINDOW_H
#define ORVANDEL_MAINWINDOW_H

#include "document/bookdocument.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QSharedPointer>
#include <QString>

class BookWindow;
class QLabel;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The book (entries file) that new entries go into; empty until chosen.
    QString bookPath() const { return book; }
    // Opens a book in a book window of its own (one per book) and binds it
    // for "Nouvelle entrée".
    bool openBookWindow(const QString &path);
    // The book open last, opened again at start; false when there is none.
    bool reopenLastBook();
    // The book named on the command line, as the system gave its name.
    bool openBookArgument(const QByteArray &name);
    // The window of the book bound last, if it has one.
    BookWindow *bookWindow() const;
    BookDocument *document() const { return current.data(); }
    // Qt's own dialogs in French (Debian's qttranslations5-l10n).
    static void installFrench(class QCoreApplication *app);

public slots:
    // "Nouveau livre…": the book made from its title, opened, its first entry begun.
    void newBook();
    // A book made from a Twine story (Twee 3), then opened.
    void importTwee();

private slots:
    void loadEntryUI();
    void loadObjectUI();
    void loadMonsterUI();
    void loadSpecialUI();
    void chooseBook();
    void checkBook();
    void showBookMap();
    void showHistory();
    void playBook();

protected:
    // The book window the author works in gives the book the menus act on.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool askForBook();
    void openEntryDialog(bool special);
    bool openBook(const QString &path);
    void fillRecentBooks();
    bool readBook();
    void showBook();

    Ui::MainWindow *ui;
    QLabel *bookLabel;
    QString book;
    QSharedPointer<BookDocument> current; // the book bound, held while bound
    QList<QPointer<BookWindow>> windows;
};

#endif
