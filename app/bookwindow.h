#ifndef ORVANDEL_BOOKWINDOW_H
#define ORVANDEL_BOOKWINDOW_H

#include "document/bookdocument.h"

#include <QMainWindow>
#include <QPointer>
#include <QSharedPointer>

class BookFilterModel;
class BookTitle;
class BookMapUI;
class QTabWidget;
class EntryUI;
class QDockWidget;
class FindReplaceUI;
class BookListModel;
class QAction;
class QLineEdit;
class QMenu;
class QTableView;
class QTextBrowser;

// The whole book at a glance: every entry in a list that filters and sorts,
// the selected entry as a reader reads it, and the changes an author makes
// (new, edit, delete), each undoable. Shows a book's document: whatever
// changes it, here or in another window, shows here.
class BookWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit BookWindow(QWidget *parent = nullptr);
    ~BookWindow() override;

    // Opens the book at `path` (its document); false, with the reason
    // shown, when it cannot be read.
    bool openBook(const QString &path);
    bool setDocument(const QSharedPointer<BookDocument> &document);
    BookDocument *document() const { return doc.data(); }
    const BookFile &file() const { return doc->file(); }
    // Another Orvandel writes into this book: it is shown, not changed.
    void setReadOnly(bool readOnly);

    // The program's own actions in this window's "Fichier" menu: `first`
    // at its top (new book, open, recent books…), `quit` at its end.
    void addFileActions(const QList<QAction *> &first, QAction *quit);

    // The number of a new book's first entry (its own first entry only).
    void setFirstNumber(int number) { firstNumber = number; }

    // Selects entry `index` of the book in the list, clearing the filter if need be.
    void selectEntry(int index);
    int selectedEntry() const;
    // The form beside the list, where entries are written and changed.
    EntryUI *editor() const { return form; }

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
    void exportEpub();
    void exportTwee();
    void renumber();
    void findReplace();
    // Asks a number: its entry selected, on the map too when it is shown.
    void goToEntry();
    // The entries a git merge left to choose between, when there are.
    void showConflicts();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // Shows the form and puts the author in its text.
    void showEditor();
    // Before an export: the check's faults, and the title and author (asked
    // the first time); false when the author stops there.
    bool readyToPublish(const QString &what, BookTitle *title);
    // The form's place as the list or the map is shown.
    void followTab();
    // An arrow drawn on the map from entry `from`: a choice to the entry
    // `index`, to the missing entry `number`, or to a new entry.
    void addChoiceFromMap(int from, int index, int number);
    // After the document changed: the entries from `index` on (`removed` of
    // them gave way to `inserted`), or the whole book.
    void follow(int index, int removed, int inserted);
    void followAll();
    void showStatus();
    void updatePreview();
    void showLink(const QUrl &url);

    QSharedPointer<BookDocument> doc;
    BookListModel *model;
    BookFilterModel *filter;
    QTableView *list;
    QLineEdit *filterEdit;
    QTextBrowser *preview;
    EntryUI *form;
    QDockWidget *formDock;
    QTabWidget *tabs;
    BookMapUI *mapView = nullptr;
    QAction *undoAction, *redoAction;
    int firstNumber = -1;
    QMenu *fileMenu = nullptr;
    QPointer<FindReplaceUI> finder;
};

#endif
