#ifndef ORVANDEL_BOOKWINDOW_H
#define ORVANDEL_BOOKWINDOW_H

#include "analysis/bookcheck.h"
#include "book/bookfile.h"

#include <QMainWindow>

class BookFilterModel;
class BookListModel;
class QFileSystemWatcher;
class QLineEdit;
class QTableView;
class QTextBrowser;

// The whole book at a glance: every entry in a list that filters and sorts,
// the selected entry as a reader reads it, and the changes an author makes
// (new, edit, delete), each undoable. Follows the file when another program
// changes it.
class BookWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit BookWindow(QWidget *parent = nullptr);
    ~BookWindow() override;

    // Opens the book at `path`; false, with the reason shown, when it cannot be read.
    bool openBook(const QString &path);
    const BookFile &file() const { return book; }
    // Another Orvandel writes into this book: it is shown, not changed.
    void setReadOnly(bool readOnly);

    // Selects entry `index` of the book in the list, clearing the filter if need be.
    void selectEntry(int index);
    int selectedEntry() const;
    // The preview of an entry as the reader reads it, links included.
    static QString previewHtml(const Book &book, int index);

public slots:
    void newEntry();
    void editEntry();
    void deleteEntry();
    void undo();
    void redo();
    void checkBook();
    void showMap();
    void play();
    void simulate();
    void exportPrint();
    void exportWeb();
    void renumber();
    void reload();

private:
    // After any change; after a change of the entries from `index` on
    // (`removed` of them gave way to `inserted`), only those are checked again.
    void refresh(int select = -1);
    void refresh(int select, int index, int removed, int inserted);
    void updatePreview();
    void showLink(const QUrl &url);
    bool applyChange(const BookFile::Change &change, const QString &what);
    void changed(); // after a change of ours: remember it for undo, refresh

    BookFile book;
    QVector<BookFinding> findings;
    BookCheck checker;
    QSet<QString> checkedNames; // the monster names the checker knows
    bool namesKnown = false;
    QVector<BookFile::Change> undoable, redoable;
    BookListModel *model;
    BookFilterModel *filter;
    QTableView *list;
    QLineEdit *filterEdit;
    QTextBrowser *preview;
    QFileSystemWatcher *watcher;
    QAction *undoAction, *redoAction;
};

#endif
