#ifndef ORVANDEL_MAINWINDOW_H
#define ORVANDEL_MAINWINDOW_H

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <memory>

class QLockFile;
class BookWindow;

class QLabel;
class BookFile;

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
    // Opens a book in the book window (and binds it for "Nouvelle entrée").
    bool openBookWindow(const QString &path);
    // The book named on the command line, as the system gave its name.
    bool openBookArgument(const QByteArray &name);
    BookWindow *bookWindow() const;
    // Qt's own dialogs in French (Debian's qttranslations5-l10n).
    static void installFrench(class QCoreApplication *app);

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

private:
    bool askForBook();
    void openEntryDialog(bool special);
    bool openBook(const QString &path);
    void fillRecentBooks();
    bool readBook(BookFile *file);
    void showBook();

    Ui::MainWindow *ui;
    QLabel *bookLabel;
    QString book;
    bool bookReadOnly = false;
    std::unique_ptr<QLockFile> bookLock; // held while this window has the book
    QPointer<BookWindow> window;
};

#endif
