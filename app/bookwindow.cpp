#include "app/bookwindow.h"

#include "app/bookcheckui.h"
#include "app/conflictsui.h"
#include "app/findreplaceui.h"
#include "app/bookmapui.h"
#include "app/booklistmodel.h"
#include "app/playui.h"
#include "app/simulationui.h"
#include "analysis/renumbering.h"
#include "book/entryid.h"
#include "book/reference.h"
#include "entry/entryui.h"
#include "monsters/monsterui.h"
#include "export/entryhtml.h"
#include "export/epubbook.h"
#include "export/printbook.h"
#include "export/tweewriter.h"
#include "export/webpage.h"
#include "book/atomicfile.h"
#include "book/booktitle.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDockWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QRegularExpression>
#include <QSpinBox>
#include <QBuffer>
#include <QFileDialog>
#include <QInputDialog>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QShortcut>
#include <QSplitter>
#include <QTabWidget>
#include <QStatusBar>
#include <QTableView>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

// Gives the form the room there is, and never less than it needs: a short
// screen scrolls it rather than squeezing its fields (whose wrapped lines
// would otherwise ask for the height of their longest layout).
class FormScroll : public QScrollArea
{
public:
    QSize sizeHint() const override
    {
        return widget() ? widget()->minimumSizeHint() + QSize(verticalScrollBar()->sizeHint().width(), 0) : QScrollArea::sizeHint();
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QScrollArea::resizeEvent(event);
        fit();
    }
    bool viewportEvent(QEvent *event) override
    {
        if (event->type() == QEvent::LayoutRequest)
            fit();
        return QScrollArea::viewportEvent(event);
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == widget() && event->type() == QEvent::LayoutRequest)
            QMetaObject::invokeMethod(this, [this] { fit(); }, Qt::QueuedConnection);
        return QScrollArea::eventFilter(watched, event);
    }

private:
    void fit()
    {
        if (QWidget *form = widget()) {
            const QSize least = form->minimumSizeHint();
            form->resize(qMax(viewport()->width(), least.width()), qMax(viewport()->height(), least.height()));
        }
    }
};

} // namespace

BookWindow::BookWindow(QWidget *parent)
    : QMainWindow(parent)
    , model(new BookListModel(this))
    , filter(new BookFilterModel(this))
    , list(new QTableView)
    , filterEdit(new QLineEdit)
    , preview(new QTextBrowser)
    , form(new EntryUI(this))
    , formDock(new QDockWidget(this))
    , tabs(new QTabWidget)
{
    setObjectName(QStringLiteral("BookWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(1340, 720);

    filter->setSourceModel(model);
    filter->setSortRole(BookListModel::SortRole);
    list->setObjectName(QStringLiteral("view_Entries"));
    list->setModel(filter);
    list->setSortingEnabled(true);
    list->sortByColumn(BookListModel::Number, Qt::AscendingOrder);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->verticalHeader()->hide();
    list->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    list->horizontalHeader()->setStretchLastSection(true);
    list->setColumnWidth(BookListModel::Number, 70);
    list->setColumnWidth(BookListModel::Types, 80);
    list->setColumnWidth(BookListModel::Text, 320);
    filterEdit->setObjectName(QStringLiteral("le_Filter"));
    filterEdit->setPlaceholderText(tr("Filtrer : numéro ou mots (« epee » trouve « épée »)"));
    filterEdit->setClearButtonEnabled(true);
    preview->setObjectName(QStringLiteral("text_Preview"));
    preview->setOpenLinks(false);

    // The list over the entry it selects, as a reader reads it; the form
    // beside them, so that other entries stay readable while writing.
    auto *top = new QWidget;
    auto *column = new QVBoxLayout(top);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(filterEdit);
    column->addWidget(list, 1);
    auto *split = new QSplitter(Qt::Vertical);
    split->addWidget(top);
    split->addWidget(preview);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    // The list and the map, the two ways to see the book, in tabs.
    tabs->setObjectName(QStringLiteral("tabs_Book"));
    tabs->setDocumentMode(true);
    tabs->addTab(split, tr("Entrées"));
    tabs->addTab(new QWidget, tr("Carte"));
    connect(tabs, &QTabWidget::currentChanged, this, [this](int tab) {
        if (tab == 1 && !mapView)
            showMap();
        else
            followTab();
    });
    setCentralWidget(tabs);

    form->setEmbedded(true);
    auto *scroll = new FormScroll;
    scroll->setWidget(form);
    scroll->setFrameShape(QFrame::NoFrame);
    formDock->setObjectName(QStringLiteral("dock_Entry"));
    formDock->setWidget(scroll);
    formDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    formDock->setWindowTitle(form->windowTitle());
    connect(form, &QWidget::windowTitleChanged, formDock, &QDockWidget::setWindowTitle);
    addDockWidget(Qt::RightDockWidgetArea, formDock);
    resizeDocks({formDock}, {820}, Qt::Horizontal);
    connect(form, &EntryUI::entrySaved, this, [this](const QString &id) {
        const int index = doc->book().indexOfNumber(EntryId::parse(id));
        if (index >= 0)
            selectEntry(index);
        statusBar()->showMessage(tr("Entrée %1 enregistrée").arg(id), 4000);
    });

    QToolBar *tools = addToolBar(tr("Livre"));
    tools->setObjectName(QStringLiteral("toolBar_Book"));
    tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    auto action = [&](const QString &name, const QString &text, const QKeySequence &key, auto slot) {
        QAction *a = tools->addAction(text, this, slot);
        a->setObjectName(name);
        a->setShortcut(key);
        a->setToolTip(key.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, key.toString(QKeySequence::NativeText)));
        return a;
    };
    QAction *add = action(QStringLiteral("actionNew"), tr("Nouvelle entrée"), QKeySequence::New, &BookWindow::newEntry);
    QAction *edit = action(QStringLiteral("actionEdit"), tr("Modifier"), QKeySequence(Qt::Key_F2), &BookWindow::editEntry);
    QAction *remove = action(QStringLiteral("actionDelete"), tr("Supprimer"), QKeySequence::Delete, &BookWindow::deleteEntry);
    // Suppr deletes an entry from the list only, never while typing in the form.
    remove->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    list->addAction(remove);
    tools->addSeparator();
    undoAction = action(QStringLiteral("actionUndo"), tr("Annuler"), QKeySequence::Undo, &BookWindow::undo);
    redoAction = action(QStringLiteral("actionRedo"), tr("Rétablir"), QKeySequence(QStringLiteral("Ctrl+Shift+Z")), &BookWindow::redo);
    undoAction->setEnabled(false);
    redoAction->setEnabled(false);
    tools->addSeparator();
    QAction *check = action(QStringLiteral("actionCheck"), tr("Vérifier"), QKeySequence(QStringLiteral("Ctrl+K")), &BookWindow::checkBook);
    QAction *map = action(QStringLiteral("actionMap"), tr("Carte"), QKeySequence(QStringLiteral("Ctrl+Shift+G")), &BookWindow::showMap);
    QAction *playing = action(QStringLiteral("actionPlay"), tr("Jouer"), QKeySequence(QStringLiteral("Ctrl+J")), &BookWindow::play);
    QAction *readers = action(QStringLiteral("actionSimulate"), tr("Lecteurs simulés"), QKeySequence(), &BookWindow::simulate);
    QAction *print = action(QStringLiteral("actionPrint"), tr("Livre à imprimer…"), QKeySequence::Print, &BookWindow::exportPrint);
    QAction *web = action(QStringLiteral("actionWeb"), tr("Page web jouable…"), QKeySequence(), &BookWindow::exportWeb);
    QAction *renumbering = action(QStringLiteral("actionRenumber"), tr("Renuméroter…"), QKeySequence(), &BookWindow::renumber);
    QAction *replace = action(QStringLiteral("actionReplace"), tr("Remplacer…"), QKeySequence(QStringLiteral("Ctrl+R")), &BookWindow::findReplace);

    // The same actions in the menus, with what only the menus hold.
    fileMenu = menuBar()->addMenu(tr("&Fichier"));
    fileMenu->setObjectName(QStringLiteral("menuFile"));
    QMenu *exporting = fileMenu->addMenu(tr("&Exporter"));
    exporting->addActions({print, web});
    exporting->addAction(tr("Livre numérique (EPUB)…"), this, &BookWindow::exportEpub)->setObjectName(QStringLiteral("actionEpub"));
    exporting->addAction(tr("Histoire Twine (Twee)…"), this, &BookWindow::exportTwee)->setObjectName(QStringLiteral("actionTwee"));
    fileMenu->addSeparator();
    QAction *closing = fileMenu->addAction(tr("&Fermer"), this, &QWidget::close);
    closing->setObjectName(QStringLiteral("actionClose"));
    closing->setShortcut(QKeySequence::Close);
    QMenu *editing = menuBar()->addMenu(tr("É&dition"));
    editing->addActions({undoAction, redoAction});
    editing->addSeparator();
    editing->addActions({add, edit, remove});
    editing->addSeparator();
    QAction *find = editing->addAction(tr("&Rechercher"), this, [this] {
        filterEdit->setFocus(Qt::ShortcutFocusReason);
        filterEdit->selectAll();
    });
    find->setObjectName(QStringLiteral("actionFind"));
    find->setShortcut(QKeySequence::Find);
    editing->addAction(replace);
    QMenu *bookMenu = menuBar()->addMenu(tr("&Livre"));
    bookMenu->addActions({check, map, playing, readers});
    bookMenu->addAction(tr("Conflits de la fusion…"), this, [this] {
        if (ConflictsUI::hasConflicts(doc->path()))
            ConflictsUI::open(doc, this);
        else
            statusBar()->showMessage(tr("Aucun conflit de fusion à régler pour ce livre."), 6000);
    })->setObjectName(QStringLiteral("actionConflicts"));
    QAction *going = bookMenu->addAction(tr("&Aller à l'entrée…"), this, &BookWindow::goToEntry);
    going->setObjectName(QStringLiteral("actionGoTo"));
    going->setShortcut(QKeySequence(QStringLiteral("Ctrl+G")));
    bookMenu->addSeparator();
    bookMenu->addAction(renumbering);

    connect(filterEdit, &QLineEdit::textChanged, filter, &BookFilterModel::setWords);
    connect(list->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &BookWindow::updatePreview);
    connect(list, &QTableView::activated, this, &BookWindow::editEntry);
    connect(preview, &QTextBrowser::anchorClicked, this, &BookWindow::showLink);
}

BookWindow::~BookWindow()
{
    // Windows of this one's (the find dialog) may hold the document a moment
    // longer: what it says then must not reach a window half gone.
    if (doc) {
        doc->disconnect(this);
        doc->undoStack()->disconnect(this);
    }
}

bool BookWindow::openBook(const QString &path)
{
    return setDocument(BookDocument::of(path));
}

bool BookWindow::setDocument(const QSharedPointer<BookDocument> &document)
{
    // The search's index is made while the book is checked.
    const QMetaObject::Connection read = connect(document.data(), &BookDocument::bookRead, this,
                                                 [this, d = document.data()] { model->prepare(d->book()); });
    const bool loaded = document->load();
    disconnect(read);
    if (!loaded && document->file().state() == BookFile::Unreadable) {
        QMessageBox::critical(this, tr("Ouvrir le livre"), document->errorString());
        return false;
    }
    if (doc) {
        doc->disconnect(this);
        doc->undoStack()->disconnect(this);
    }
    doc = document;
    connect(doc.data(), &BookDocument::entriesChanged, this, &BookWindow::follow);
    connect(doc.data(), &BookDocument::bookReset, this, &BookWindow::followAll);
    connect(doc.data(), &BookDocument::reloaded, this, [this](const QString &why) {
        statusBar()->showMessage(why, 8000);
        showConflicts(); // a merge rewrites the book under us
    });
    connect(doc.data(), &BookDocument::problem, this, [this](const QString &why) {
        QMessageBox::critical(this, tr("Annuler"), why);
    });
    QUndoStack *stack = doc->undoStack();
    auto showUndo = [this, stack] {
        undoAction->setEnabled(stack->canUndo());
        redoAction->setEnabled(stack->canRedo());
        // The button stays short; the action, its tip and menus say what it takes back.
        undoAction->setText(stack->canUndo() ? tr("Annuler : %1").arg(stack->undoText()) : tr("Annuler"));
        redoAction->setText(stack->canRedo() ? tr("Rétablir : %1").arg(stack->redoText()) : tr("Rétablir"));
        undoAction->setIconText(tr("Annuler"));
        redoAction->setIconText(tr("Rétablir"));
        undoAction->setToolTip(tr("%1 (Ctrl+Z)").arg(undoAction->text()));
        redoAction->setToolTip(tr("%1 (Ctrl+Maj+Z)").arg(redoAction->text()));
    };
    connect(stack, &QUndoStack::indexChanged, this, showUndo);
    connect(stack, &QUndoStack::cleanChanged, this, showUndo);
    showUndo();
    setReadOnly(doc->isReadOnly());
    followAll();
    if (!doc->book().isEmpty())
        selectEntry(0);
    form->setDocument(doc);
    form->startNew();
    form->setReadOnly(doc->isReadOnly());
    // A book opens to be written in: the author's first keys go to the text.
    if (!doc->isReadOnly())
        form->findChild<QWidget *>(QStringLiteral("textEdit"))->setFocus(Qt::OtherFocusReason);
    // A git merge left co-authors' entries to choose between: shown at once.
    QTimer::singleShot(0, this, &BookWindow::showConflicts);
    return true;
}

void BookWindow::setReadOnly(bool readOnly)
{
    // The document refuses every write too: what the window offers is only
    // what the author can do.
    doc->setReadOnly(readOnly);
    for (const char *name : {"actionNew", "actionDelete", "actionUndo", "actionRedo", "actionRenumber"})
        findChild<QAction *>(QLatin1String(name))->setVisible(!readOnly);
    findChild<QAction *>(QStringLiteral("actionEdit"))->setText(readOnly ? tr("Afficher") : tr("Modifier"));
    setWindowTitle(readOnly ? tr("%1 — lecture seule — Orvandel").arg(QFileInfo(doc->path()).fileName())
                            : tr("%1 — Orvandel").arg(QFileInfo(doc->path()).fileName()));
}

void BookWindow::follow(int index, int removed, int inserted)
{
    const int keep = selectedEntry();
    model->changed(index, removed, inserted, doc->findings());
    showStatus();
    // The selected entry stays selected, wherever the change moved it.
    int select = keep;
    if (keep >= index + removed)
        select = keep + inserted - removed;
    else if (keep >= index)
        select = qMin(index, doc->book().size() - 1);
    if (select >= 0 && select < doc->book().size())
        selectEntry(select);
    else
        updatePreview();
}

void BookWindow::followAll()
{
    const int keep = selectedEntry();
    model->setBook(&doc->book(), doc->findings());
    showStatus();
    if (keep >= 0 && keep < doc->book().size())
        selectEntry(keep);
    else
        updatePreview();
}

void BookWindow::showStatus()
{
    const QVector<BookFinding> &findings = doc->findings();
    const QString where = QDir::toNativeSeparators(doc->path());
    QString status = tr("%1 — %2").arg(where, BookCounts::said(doc->counts().totals()));
    int faults = 0;
    for (const BookFinding &f : findings)
        faults += !BookCheck::isEnding(f.kind);
    if (faults > 0)
        status += faults == 1 ? tr(" ; 1 constat") : tr(" ; %1 constats").arg(faults);
    const int selected = selectedEntry();
    if (selected >= 0) {
        const int words = doc->counts().wordsOf(selected);
        status += tr(" — entrée %1 : %2").arg(doc->book().entry(selected).id,
                                              words == 1 ? tr("1 mot") : tr("%1 mots").arg(QLocale(QLocale::French).toString(words)));
    }
    statusBar()->showMessage(status);
}

void BookWindow::selectEntry(int index)
{
    QModelIndex at = filter->mapFromSource(model->index(index, 0));
    if (!at.isValid()) {
        filterEdit->clear();
        at = filter->mapFromSource(model->index(index, 0));
    }
    list->setCurrentIndex(at);
    list->scrollTo(at);
    updatePreview();
}

int BookWindow::selectedEntry() const
{
    const QModelIndex current = filter->mapToSource(list->currentIndex());
    return current.isValid() ? current.row() : -1;
}

void BookWindow::updatePreview()
{
    if (mapView)
        mapView->selectEntry(selectedEntry());
    preview->setHtml(EntryHtml::of(doc->book(), selectedEntry(), EntryHtml::Preview));
    showStatus();
}

void BookWindow::showLink(const QUrl &url)
{
    if (url.scheme() == QLatin1String("entry"))
        selectEntry(url.path().toInt());
    // A reference to an entry not yet written: the form starts it.
    if (url.scheme() == QLatin1String("missing") && !doc->isReadOnly() && form->confirmAbandon()) {
        form->startNew();
        form->proposeNumber(url.path().toInt());
        showEditor();
    }
}

void BookWindow::showEditor()
{
    formDock->show();
    formDock->raise();
    form->findChild<QWidget *>(QStringLiteral("textEdit"))->setFocus(Qt::OtherFocusReason);
}

void BookWindow::newEntry()
{
    if (doc->isReadOnly() || !form->confirmAbandon())
        return;
    form->startNew();
    if (doc->book().isEmpty() && firstNumber >= 0)
        form->proposeNumber(firstNumber);
    showEditor();
}

void BookWindow::editEntry()
{
    const int index = selectedEntry();
    if (index < 0)
        return;
    if (index != form->editedEntry()) {
        if (!form->confirmAbandon())
            return;
        form->setDocument(doc, index);
        form->setReadOnly(doc->isReadOnly());
    }
    showEditor();
}

void BookWindow::closeEvent(QCloseEvent *event)
{
    // An entry being written is not dropped with its window.
    if (!form->confirmAbandon())
        return event->ignore();
    QMainWindow::closeEvent(event);
}

void BookWindow::deleteEntry()
{
    const int index = selectedEntry();
    if (index < 0 || doc->isReadOnly())
        return;
    // Whoever leads here is named: nothing is renumbered behind the author's back.
    QStringList from;
    const int number = doc->book().number(index);
    for (int i = 0; number >= 0 && i < doc->book().size(); ++i)
        for (const Reference &ref : Reference::of(doc->book().entry(i)))
            if (ref.target == number && i != index) {
                from << doc->book().entry(i).id;
                break;
            }
    QString text = tr("Supprimer l'entrée %1 ?").arg(doc->book().entry(index).id);
    if (!from.isEmpty())
        text += QLatin1String("\n\n")
            + (from.size() == 1 ? tr("1 entrée mène ici : %1. Son renvoi mènera à une entrée absente.")
                                      .arg(from.first())
                                : tr("%1 entrées mènent ici : %2. Leurs renvois mèneront à une entrée absente.")
                                      .arg(from.size())
                                      .arg(from.join(QStringLiteral(", "))));
    if (QMessageBox::question(this, tr("Supprimer l'entrée"), text, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No)
        != QMessageBox::Yes)
        return;
    if (!doc->removeEntry(index))
        QMessageBox::critical(this, tr("Supprimer l'entrée"), doc->errorString());
}

void BookWindow::undo()
{
    doc->undo();
}

void BookWindow::redo()
{
    doc->redo();
}

void BookWindow::checkBook()
{
    BookCheckUI dialog(doc->book(), doc->findings(), this);
    // The list follows the book while it is open (a change from another
    // window, a file read again).
    auto refill = [this, &dialog] { dialog.showFindings(doc->book(), doc->findings()); };
    connect(doc.data(), &BookDocument::entriesChanged, &dialog, refill);
    connect(doc.data(), &BookDocument::bookReset, &dialog, refill);
    connect(&dialog, &BookCheckUI::entryActivated, this, [this, &dialog](int index) {
        selectEntry(index);
        dialog.accept();
    });
    dialog.exec();
}

void BookWindow::showMap()
{
    if (mapView) {
        tabs->setCurrentWidget(mapView);
        return followTab();
    }
    std::unique_ptr<BookMapUI> made = BookMapUI::forDocument(doc.data(), this);
    if (!made) {
        tabs->setCurrentIndex(0);
        return;
    }
    mapView = made.release();
    mapView->setEmbedded();
    connect(mapView, &BookMapUI::entrySelected, this, &BookWindow::selectEntry);
    connect(mapView, &BookMapUI::nodeActivated, this, [this](int index) {
        selectEntry(index);
        editEntry();
    });
    connect(mapView, &BookMapUI::missingActivated, this, [this](int number) {
        if (doc->isReadOnly() || !form->confirmAbandon())
            return;
        form->startNew();
        form->proposeNumber(number);
        showEditor();
    });
    connect(mapView, &BookMapUI::linkDrawn, this, &BookWindow::addChoiceFromMap);
    connect(mapView, &BookMapUI::deleteAsked, this, [this](int index) {
        selectEntry(index);
        deleteEntry();
    });
    const int placeholder = 1;
    QWidget *old = tabs->widget(placeholder);
    {
        const QSignalBlocker quiet(tabs);
        tabs->removeTab(placeholder);
        delete old;
        tabs->insertTab(placeholder, mapView, tr("Carte"));
        tabs->setCurrentWidget(mapView);
    }
    followTab();
    if (selectedEntry() >= 0)
        mapView->selectEntry(selectedEntry());
}

void BookWindow::followTab()
{
    // The map takes the whole width until an entry is opened from it; the
    // form keeps its place while anything in it is not saved.
    if (tabs->currentIndex() == 1 && !form->isUnsaved())
        formDock->hide();
    else if (tabs->currentIndex() == 0)
        formDock->show();
}

void BookWindow::showConflicts()
{
    if (doc && !doc->isReadOnly() && !findChild<ConflictsUI *>() && ConflictsUI::hasConflicts(doc->path()))
        ConflictsUI::open(doc, this);
    // The book's monster list too may hold a merge's conflicts: settled in its window.
    if (doc && QFileInfo::exists(BookConflicts::pathFor(MonsterUI::listPathFor(*doc))))
        statusBar()->showMessage(tr("La fusion a laissé des monstres en conflit : Fichier › Liste des monstres… (Ctrl+M) "
                                    "pour les régler."));
}

void BookWindow::goToEntry()
{
    // Selected in the list, and on the map too (centred there) when it is open.
    bool ok = false;
    const int number = QInputDialog::getInt(this, tr("Aller à l'entrée"), tr("Numéro :"), 1, 0, 999999999, 1, &ok);
    if (!ok)
        return;
    const int index = doc->book().indexOfNumber(number);
    if (index < 0)
        statusBar()->showMessage(tr("Aucune entrée ne porte le numéro %1.").arg(number), 6000);
    else
        selectEntry(index);
}

void BookWindow::addChoiceFromMap(int from, int index, int number)
{
    if (doc->isReadOnly() || from < 0 || from >= doc->book().size())
        return;
    const bool fresh = index < 0 && number < 0;
    const int target = index >= 0 ? doc->book().number(index) : fresh ? doc->file().nextNumber() : number;
    if (target < 0)
        return;
    // The form must not write an older version of the entry over the choice.
    if ((form->editedEntry() == from || fresh) && !form->confirmAbandon())
        return;
    bool ok = false;
    const QString text = QInputDialog::getText(this, tr("Nouveau choix"),
                                               tr("Texte du choix de %1 vers %2 :").arg(doc->book().entry(from).id, EntryId::text(target)),
                                               QLineEdit::Normal, QString(), &ok);
    if (!ok || text.trimmed().isEmpty())
        return;
    Entry entry = doc->book().entry(from);
    entry.choices.append({EntryId::text(target), text.trimmed()});
    entry.types.choice = true;
    entry.choiceActive = true;
    if (!doc->replaceEntry(from, entry)) {
        QMessageBox::critical(this, tr("Nouveau choix"), doc->errorString());
        return;
    }
    if (form->editedEntry() == from)
        form->setDocument(doc, from);
    if (fresh) {
        form->startNew();
        form->proposeNumber(target);
        showEditor();
    }
}

void BookWindow::play()
{
    // From the selected entry, so that an author tries the part just written.
    PlayUI dialog(doc->book(), selectedEntry(), 0, this);
    dialog.exec();
}

void BookWindow::simulate()
{
    SimulationUI dialog(doc->book(), this);
    dialog.run();
    dialog.exec();
}

bool BookWindow::readyToPublish(const QString &what, BookTitle *title)
{
    // The check first: what is wrong is said, and the author decides.
    const QStringList faults = BookCheck::faults(doc->book());
    if (!faults.isEmpty()
        && QMessageBox::question(this, what, BookCheck::exportQuestion(faults), QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No)
            != QMessageBox::Yes)
        return false;
    // The title and author, asked once and kept beside the book.
    if (title->read(doc->path()))
        return true;
    QDialog ask(this);
    ask.setWindowTitle(tr("Titre et auteur"));
    auto *name = new QLineEdit(title->shownTitle(doc->book()), &ask);
    name->setObjectName(QStringLiteral("le_BookTitle"));
    auto *author = new QLineEdit(&ask);
    author->setObjectName(QStringLiteral("le_BookAuthor"));
    auto *said = new QLabel(tr("Ils figurent sur la couverture du livre imprimé, de la page web, de l'EPUB et de "
                               "l'histoire Twine ; Orvandel ne les demande qu'une fois."),
                            &ask);
    said->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &ask);
    connect(buttons, &QDialogButtonBox::accepted, &ask, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &ask, &QDialog::reject);
    auto *form = new QFormLayout(&ask);
    form->addRow(tr("Titre :"), name);
    form->addRow(tr("Auteur :"), author);
    form->addRow(said);
    form->addRow(buttons);
    if (ask.exec() != QDialog::Accepted)
        return false;
    title->title = name->text().trimmed();
    title->author = author->text().trimmed();
    if (!doc->isReadOnly() && !title->write(doc->path()))
        statusBar()->showMessage(tr("Le titre n'a pas pu être gardé : %1").arg(title->errorString()), 8000);
    return true;
}

void BookWindow::exportPrint()
{
    BookTitle title;
    if (!readyToPublish(tr("Livre à imprimer"), &title))
        return;
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Livre à imprimer"), QFileInfo(doc->path()).completeBaseName() + QStringLiteral(".pdf"),
        tr("Document PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    PrintBook print(doc->book(), title.shownTitle(doc->book()), title.author);
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    AtomicFile file(path);
    if (!print.writePdf(&pdf) || !file.write(pdf.data())) {
        QMessageBox::critical(this, tr("Livre à imprimer"),
                              tr("« %1 » n'a pas pu être écrit : %2")
                                  .arg(QDir::toNativeSeparators(path), print.errorString().isEmpty() ? file.errorString() : print.errorString()));
        return;
    }
    statusBar()->showMessage(tr("Livre à imprimer écrit dans %1").arg(QDir::toNativeSeparators(path)), 8000);
}

void BookWindow::exportWeb()
{
    BookTitle title;
    if (!readyToPublish(tr("Page web jouable"), &title))
        return;
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Page web jouable"), QFileInfo(doc->path()).completeBaseName() + QStringLiteral(".html"),
        tr("Page web (*.html)"));
    if (path.isEmpty())
        return;
    // Written as it is made: a large book's page is never whole in memory.
    WebPage page(doc->book(), title.shownTitle(doc->book()), Rules(), title.author);
    AtomicFile file(path);
    const bool written = file.write([&page](QIODevice *device, QString *error) {
        if (page.write(device))
            return true;
        *error = page.errorString();
        return false;
    });
    if (!written) {
        QMessageBox::critical(this, tr("Page web jouable"),
                              tr("« %1 » n'a pas pu être écrit : %2").arg(QDir::toNativeSeparators(path), file.errorString()));
        return;
    }
    statusBar()->showMessage(tr("Page web écrite dans %1").arg(QDir::toNativeSeparators(path)), 8000);
}

void BookWindow::exportEpub()
{
    BookTitle title;
    if (!readyToPublish(tr("Livre numérique"), &title))
        return;
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Livre numérique"), QFileInfo(doc->path()).completeBaseName() + QStringLiteral(".epub"),
        tr("Livre numérique EPUB (*.epub)"));
    if (path.isEmpty())
        return;
    EpubBook book(doc->book(), title.shownTitle(doc->book()), title.author);
    if (!book.write(path)) {
        QMessageBox::critical(this, tr("Livre numérique"),
                              tr("« %1 » n'a pas pu être écrit : %2").arg(QDir::toNativeSeparators(path), book.errorString()));
        return;
    }
    statusBar()->showMessage(tr("Livre numérique écrit dans %1").arg(QDir::toNativeSeparators(path)), 8000);
}

void BookWindow::exportTwee()
{
    BookTitle title;
    if (!readyToPublish(tr("Histoire Twine"), &title))
        return;
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Histoire Twine"), QFileInfo(doc->path()).completeBaseName() + QStringLiteral(".twee"),
        tr("Histoire Twine (*.twee)"));
    if (path.isEmpty())
        return;
    TweeWriter story(doc->book(), title.shownTitle(doc->book()), title.author);
    if (!story.write(path)) {
        QMessageBox::critical(this, tr("Histoire Twine"),
                              tr("« %1 » n'a pas pu être écrit : %2").arg(QDir::toNativeSeparators(path), story.errorString()));
        return;
    }
    statusBar()->showMessage(tr("Histoire Twine écrite dans %1").arg(QDir::toNativeSeparators(path)), 8000);
}

void BookWindow::renumber()
{
    if (doc->isReadOnly())
        return;
    // Applied to the book itself: one change, undoable, with the old -> new
    // table written beside the book.
    QDialog ask(this);
    ask.setWindowTitle(tr("Renuméroter le livre"));
    auto *shuffle = new QCheckBox(tr("Mélanger les numéros, comme dans un livre imprimé"), &ask);
    shuffle->setObjectName(QStringLiteral("ck_Shuffle"));
    shuffle->setChecked(true);
    auto *keep = new QLineEdit(&ask);
    keep->setObjectName(QStringLiteral("le_Keep"));
    keep->setPlaceholderText(tr("par exemple 1, 400"));
    auto *seed = new QSpinBox(&ask);
    seed->setRange(0, 999999999);
    seed->setValue(1);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &ask);
    connect(buttons, &QDialogButtonBox::accepted, &ask, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &ask, &QDialog::reject);
    auto *form = new QFormLayout(&ask);
    form->addRow(shuffle);
    form->addRow(tr("Numéros à garder :"), keep);
    form->addRow(tr("Graine :"), seed);
    form->addRow(new QLabel(tr("Sans mélange, les trous de la numérotation sont comblés. "
                               "La première entrée garde son numéro.")));
    form->addRow(buttons);
    if (ask.exec() != QDialog::Accepted)
        return;
    QSet<int> pinned;
    for (const QString &n : keep->text().split(QRegularExpression(QStringLiteral("[,; ]+")), Qt::SkipEmptyParts))
        if (EntryId::parse(n) >= 0)
            pinned.insert(EntryId::parse(n));
    const Renumbering r = Renumbering::make(doc->book(), shuffle->isChecked() ? Renumbering::Shuffle : Renumbering::Compact,
                                            quint32(seed->value()), pinned);
    if (!doc->renumber(r)) {
        QMessageBox::critical(this, tr("Renuméroter le livre"), doc->errorString());
        return;
    }
    const QString table = QFileInfo(doc->path()).path() + QLatin1Char('/') + QFileInfo(doc->path()).completeBaseName()
        + tr("-renumerotation.csv");
    AtomicFile tableFile(table, AtomicFile::RefuseLinks);
    if (!tableFile.write(r.csv())) {
        QMessageBox::warning(this, tr("Renuméroter le livre"),
                             tr("Le livre est renuméroté, mais la table des numéros n'a pas pu être écrite "
                                "dans « %1 » : %2\n\nAnnuler (Ctrl+Z) rend au livre ses anciens numéros.")
                                 .arg(QDir::toNativeSeparators(table), tableFile.errorString()));
        return;
    }
    statusBar()->showMessage(tr("Livre renuméroté ; la table des numéros est dans %1").arg(QDir::toNativeSeparators(table)), 10000);
}

void BookWindow::addFileActions(const QList<QAction *> &first, QAction *quit)
{
    QAction *before = fileMenu->actions().value(0);
    fileMenu->insertActions(before, first);
    fileMenu->insertSeparator(before);
    fileMenu->addAction(quit);
}

void BookWindow::findReplace()
{
    if (!finder) {
        finder = new FindReplaceUI(doc, this);
        finder->setAttribute(Qt::WA_DeleteOnClose);
        connect(finder, &FindReplaceUI::entryChosen, this, &BookWindow::selectEntry);
    }
    finder->setWords(filterEdit->text());
    finder->show();
    finder->raise();
    finder->activateWindow();
}
