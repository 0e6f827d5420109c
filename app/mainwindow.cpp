#include "app/mainwindow.h"

#include "app/newbookui.h"

#include "app/bookcheckui.h"
#include "app/bookmapui.h"
#include "app/bookwindow.h"
#include "app/historyui.h"
#include "app/playui.h"
#include "analysis/bookcommits.h"
#include "book/bookfile.h"
#include "book/monsterlist.h"
#include "book/booktitle.h"
#include "export/tweereader.h"
#include "entry/entryui.h"
#include "monsters/monsterui.h"
#include "ui_mainwindow.h"

#include <QDir>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QFileInfo>
#include <QLabel>
#include <QSettings>
#include <QStandardPaths>
#include <QLibraryInfo>
#include <QPixmap>
#include <QPushButton>
#include <QTranslator>
#include <QFile>
#include <QLocale>
#include <QStatusBar>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    connect(ui->pb_Entry, SIGNAL(clicked(bool)), this, SLOT(loadEntryUI()));
    connect(ui->pb_Special, SIGNAL(clicked(bool)), this, SLOT(loadSpecialUI()));
    connect(ui->actionChooseBook, SIGNAL(triggered(bool)), this, SLOT(chooseBook()));
    connect(ui->actionMonsters, SIGNAL(triggered(bool)), this, SLOT(loadMonsterUI()));
    connect(ui->actionCheckBook, SIGNAL(triggered(bool)), this, SLOT(checkBook()));
    connect(ui->actionBookMap, SIGNAL(triggered(bool)), this, SLOT(showBookMap()));
    connect(ui->actionHistory, SIGNAL(triggered(bool)), this, SLOT(showHistory()));
    connect(ui->actionPlay, SIGNAL(triggered(bool)), this, SLOT(playBook()));
    auto *creating = new QAction(tr("&Nouveau livre…"), this);
    creating->setObjectName(QStringLiteral("actionNewBook"));
    creating->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+N")));
    connect(creating, &QAction::triggered, this, &MainWindow::newBook);
    ui->actionChooseBook->associatedWidgets().value(0)->insertAction(ui->actionChooseBook, creating);
    auto *importing = new QAction(tr("&Importer une histoire Twine…"), this);
    importing->setObjectName(QStringLiteral("actionImportTwee"));
    connect(importing, &QAction::triggered, this, &MainWindow::importTwee);
    ui->actionChooseBook->associatedWidgets().value(0)->insertAction(ui->menuRecent->menuAction(), importing);
    // Quitter leaves the program: every window closes, the book windows and
    // what they opened too, and with the last one the program ends.
    connect(ui->actionQuit, &QAction::triggered, this, &QApplication::closeAllWindows);
    // A permanent label: a temporary status message would be wiped by menu hovering.
    bookLabel = new QLabel(ui->statusBar);
    bookLabel->setObjectName(QStringLiteral("lbl_Book"));
    ui->statusBar->addWidget(bookLabel, 1);
    showBook();
    fillRecentBooks();
    // The program's icon in place of the placeholder, no empty tool bar.
    const QPixmap icon(QStringLiteral(":/orvandel.png"));
    if (!icon.isNull()) {
        ui->label_2->setPixmap(icon.scaled(ui->label_2->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    } else {
        ui->label_2->clear();
    }
    ui->mainToolBar->hide();
    // Starting without a book, the two ways to one under the entry buttons.
    const QList<QPair<QAction *, QString>> starts{{creating, QStringLiteral("pb_NewBook")},
                                                  {ui->actionChooseBook, QStringLiteral("pb_OpenBook")}};
    for (int i = 0; i < starts.size(); ++i) {
        auto *button = new QPushButton(starts.at(i).first->text().remove(QLatin1Char('&')), ui->centralWidget);
        button->setObjectName(starts.at(i).second);
        button->setGeometry(i == 0 ? ui->pb_Entry->x() : ui->pb_Special->x(), ui->pb_Entry->geometry().bottom() + 12,
                            ui->pb_Entry->width(), 32);
        connect(button, &QPushButton::clicked, starts.at(i).first, &QAction::trigger);
    }
}

void MainWindow::installFrench(QCoreApplication *app)
{
    // Qt's own dialogs and buttons in French, from Qt's translations.
    auto *qt = new QTranslator(app);
    if (qt->load(QLocale(QLocale::French, QLocale::France), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        app->installTranslator(qt);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
}

MainWindow::~MainWindow()
{
    // The book windows it opened go with it (those the author closed are gone already).
    for (const QPointer<BookWindow> &w : qAsConst(windows))
        delete w.data();
    delete ui;
}

void MainWindow::loadEntryUI()
{
    openEntryDialog(false);
}

void MainWindow::openEntryDialog(bool special)
{
    // The book is asked for once per run; the menu changes it.
    if (book.isEmpty() && !askForBook())
        return;
    EntryUI dialog;
    dialog.setDocument(current);
    if (special)
        dialog.startSpecial();
    if (dialog.exec() == QDialog::Accepted && !dialog.savedId().isEmpty())
        statusBar()->showMessage(dialog.bookSize() == 1
                                     ? tr("Entrée %1 enregistrée (1 entrée)").arg(dialog.savedId())
                                     : tr("Entrée %1 enregistrée (%2 entrées)").arg(dialog.savedId()).arg(dialog.bookSize()),
                                 10000);
}

void MainWindow::newBook()
{
    // Beside the book open last, else among the author's documents.
    const QStringList recent = QSettings().value(QStringLiteral("livresRecents")).toStringList();
    QString folder = recent.isEmpty() ? QString() : QFileInfo(recent.first()).absolutePath();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    NewBookUI ask(folder, QApplication::activeWindow() ? QApplication::activeWindow() : this);
    if (ask.exec() != QDialog::Accepted || !openBookWindow(ask.path()))
        return;
    BookWindow *window = bookWindow();
    window->setFirstNumber(ask.firstNumber());
    window->newEntry();
}

void MainWindow::importTwee()
{
    QWidget *over = QApplication::activeWindow() ? QApplication::activeWindow() : this;
    const QString story = QFileDialog::getOpenFileName(over, tr("Importer une histoire Twine"), QString(),
                                                       tr("Histoire Twine (*.twee *.tw)"));
    if (story.isEmpty())
        return;
    QFile file(story);
    TweeReader reader;
    if (!file.open(QIODevice::ReadOnly) || !reader.read(file.readAll())) {
        QMessageBox::critical(over, tr("Importer une histoire Twine"),
                              file.error() != QFile::NoError ? file.errorString() : reader.errorString());
        return;
    }
    const QString book = QFileDialog::getSaveFileName(over, tr("Livre à créer"),
                                                      QFileInfo(story).absolutePath() + QLatin1Char('/')
                                                          + QFileInfo(story).completeBaseName() + QStringLiteral(".xml"),
                                                      tr("Fichier XML (*.xml)"), nullptr,
                                                      QFileDialog::DontConfirmOverwrite);
    if (book.isEmpty())
        return;
    // A book is never replaced by an import: it would lose every entry.
    if (QFileInfo::exists(book)) {
        QMessageBox::critical(over, tr("Importer une histoire Twine"),
                              tr("« %1 » existe déjà : choisissez un autre nom.").arg(QDir::toNativeSeparators(book)));
        return;
    }
    if (!reader.writeBook(book)) {
        QMessageBox::critical(over, tr("Importer une histoire Twine"), reader.errorString());
        return;
    }
    // The story's title and author are the book's.
    BookTitle title;
    title.title = reader.title();
    title.author = reader.author();
    if ((!title.title.isEmpty() || !title.author.isEmpty()) && !title.write(book))
        QMessageBox::warning(over, tr("Importer une histoire Twine"), title.errorString());
    if (openBookWindow(book))
        bookWindow()->statusBar()->showMessage(
            tr("%1 passages importés ; la table des passages est dans %2")
                .arg(reader.entries().size())
                .arg(QDir::toNativeSeparators(TweeReader::tablePath(book))),
            10000);
}

void MainWindow::loadObjectUI()
{
}

void MainWindow::loadMonsterUI()
{
    // The book's own list when a book is open, else the list last used.
    if (current) {
        MonsterUI dialog(current, this);
        dialog.exec();
        return;
    }
    MonsterUI dialog(this);
    dialog.exec();
}

void MainWindow::loadSpecialUI()
{
    openEntryDialog(true);
}

void MainWindow::chooseBook()
{
    if (askForBook())
        openBookWindow(book);
}

BookWindow *MainWindow::bookWindow() const
{
    for (const QPointer<BookWindow> &w : windows)
        if (w && w->document() == current.data())
            return w;
    return nullptr;
}

bool MainWindow::openBookWindow(const QString &path)
{
    if ((path != book || !current) && !openBook(path))
        return false;
    BookWindow *window = bookWindow();
    if (!window) {
        window = new BookWindow;
        if (!window->setDocument(current)) {
            delete window;
            return false;
        }
        windows.removeAll(nullptr);
        windows.append(window);
        window->installEventFilter(this);
        window->addFileActions({findChild<QAction *>(QStringLiteral("actionNewBook")), ui->actionChooseBook,
                                findChild<QAction *>(QStringLiteral("actionImportTwee")), ui->menuRecent->menuAction(), ui->actionHistory,
                                ui->actionMonsters},
                               ui->actionQuit);
    }
    window->show();
    window->raise();
    window->activateWindow();

    QSettings settings;
    QStringList recent = settings.value(QStringLiteral("livresRecents")).toStringList();
    recent.removeAll(QFileInfo(path).absoluteFilePath());
    recent.prepend(QFileInfo(path).absoluteFilePath());
    settings.setValue(QStringLiteral("livresRecents"), QStringList(recent.mid(0, 8)));
    fillRecentBooks();
    return true;
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Several books open: "Historique…", "Liste des monstres…" and the
    // others act on the one whose window is in front.
    if (event->type() == QEvent::WindowActivate)
        if (auto *window = qobject_cast<BookWindow *>(watched))
            if (window->document() && window->document() != current.data()) {
                current = BookDocument::of(window->document()->path());
                book = current->path();
                showBook();
            }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::reopenLastBook()
{
    const QStringList recent = QSettings().value(QStringLiteral("livresRecents")).toStringList();
    return !recent.isEmpty() && QFileInfo(recent.first()).isFile() && openBookWindow(recent.first());
}

bool MainWindow::openBookArgument(const QByteArray &name)
{
    // A name that is not in the system's encoding reads back as another
    // name: opened, it would be an empty book, and saved, a second file.
    const QString path = QFile::decodeName(name);
    if (QFile::encodeName(path) != name) {
        QMessageBox::critical(this, tr("Ouvrir le livre"),
                              tr("Le nom du fichier « %1 » n'est pas écrit en UTF-8 : Orvandel ne peut pas "
                                 "l'ouvrir sans risquer d'écrire dans un autre fichier. Renommez-le, "
                                 "puis ouvrez-le de nouveau.")
                                  .arg(path));
        return false;
    }
    return openBookWindow(path);
}

void MainWindow::fillRecentBooks()
{
    ui->menuRecent->clear();
    const QStringList recent = QSettings().value(QStringLiteral("livresRecents")).toStringList();
    for (const QString &path : recent)
        ui->menuRecent->addAction(QDir::toNativeSeparators(path), this, [this, path] { openBookWindow(path); });
    ui->menuRecent->setEnabled(!recent.isEmpty());
}

bool MainWindow::askForBook()
{
    // A save dialog, so that a new book can be named; choosing an existing
    // one adds to it, hence no question about replacing it.
    QFileDialog dialog(this, tr("Fichier des entrées"), QString(), tr("Fichier XML (*.xml)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(QStringLiteral("xml"));
    if (!book.isEmpty())
        dialog.selectFile(book);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    return openBook(dialog.selectedFiles().constFirst());
}

bool MainWindow::openBook(const QString &path)
{
    // One Orvandel writes into a book at a time: a second one that opens it
    // is told, and may open it read-only. A book already open here is
    // shared, never claimed again.
    QSharedPointer<BookDocument> document = BookDocument::of(path);
    if (document->claimState() == BookDocument::NotClaimed) {
        QString holder;
        switch (document->claim(&holder)) {
        case BookDocument::HeldElsewhere:
            if (QMessageBox::question(this, tr("Livre déjà ouvert"),
                                      tr("Le livre « %1 » est déjà ouvert dans un autre Orvandel%2."
                                         "\n\nL'ouvrir en lecture seule ? "
                                         "Vous pourrez le lire et le vérifier, pas y écrire.")
                                          .arg(QDir::toNativeSeparators(path),
                                               holder.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(holder)),
                                      QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
                != QMessageBox::Yes)
                return false;
            document->setReadOnly(true);
            break;
        case BookDocument::CannotClaim:
            // No claim can be made beside the book (a read-only folder or
            // disk): nothing could be saved there either.
            QMessageBox::information(this, tr("Livre en lecture seule"),
                                     tr("Le dossier du livre « %1 » n'accepte aucune écriture : "
                                        "le livre est ouvert en lecture seule.")
                                         .arg(QDir::toNativeSeparators(path)));
            document->setReadOnly(true);
            break;
        default:
            break;
        }
    }
    current = document;
    book = path;
    showBook();
    return true;
}

void MainWindow::showBook()
{
    if (book.isEmpty())
        bookLabel->setText(tr("Aucun livre choisi"));
    else if (current && current->isReadOnly())
        bookLabel->setText(tr("Livre : %1 (lecture seule)").arg(QDir::toNativeSeparators(book)));
    else
        bookLabel->setText(tr("Livre : %1").arg(QDir::toNativeSeparators(book)));
}

bool MainWindow::readBook()
{
    if (book.isEmpty() && !askForBook())
        return false;
    if (!current->load() || current->file().state() != BookFile::Readable) {
        QMessageBox::critical(this, tr("Vérifier le livre"),
                              current->file().state() == BookFile::New
                                  ? tr("Le livre « %1 » n'a encore aucune entrée.")
                                        .arg(QDir::toNativeSeparators(book))
                                  : current->errorString());
        return false;
    }
    return true;
}

void MainWindow::checkBook()
{
    if (!readBook())
        return;
    BookCheckUI dialog(current->book(), current->findings());
    dialog.exec();
}

void MainWindow::showBookMap()
{
    if (!readBook())
        return;
    if (std::unique_ptr<BookMapUI> dialog = BookMapUI::forDocument(current.data(), this))
        dialog->exec();
}

void MainWindow::showHistory()
{
    if (book.isEmpty() && !askForBook())
        return;
    current->load();
    HistoryUI dialog(current->file().history(), QFileInfo(book).fileName(), book, this);
    if (current->isReadOnly())
        dialog.forbidRestore(tr("Le livre est ouvert en lecture seule."));
    if (dialog.exec() != QDialog::Accepted)
        return;
    QByteArray bytes;
    QString what, done;
    if (dialog.chosenCommit() >= 0) {
        const BookCommits::Commit commit = dialog.commits()->commits().at(dialog.chosenCommit());
        if (!dialog.commits()->read(dialog.chosenCommit(), &bytes)) {
            QMessageBox::critical(this, tr("Historique du livre"),
                                  tr("Le commit n'a pas pu être restauré : %1").arg(dialog.commits()->errorString()));
            return;
        }
        what = tr("commit %1 « %2 » restauré").arg(commit.hash.left(8), commit.message);
        done = tr("Commit %1 « %2 » restauré").arg(commit.hash.left(8), commit.message);
    } else {
        if (dialog.chosen().name.isEmpty())
            return;
        const FileHistory::Version version = dialog.chosen();
        const QString when = QLocale(QLocale::French).toString(version.when, QStringLiteral("d MMMM yyyy, HH:mm:ss"));
        if (!current->file().history().read(version, &bytes)) {
            QMessageBox::critical(this, tr("Historique du livre"),
                                  tr("La version n'a pas pu être restaurée : %1").arg(current->file().history().errorString()));
            return;
        }
        what = tr("version du %1 restaurée").arg(when);
        done = tr("Version du %1 restaurée").arg(when);
    }
    // One change among others: Ctrl+Z in the book window takes it back.
    if (!current->restore(bytes, what)) {
        QMessageBox::critical(this, tr("Historique du livre"),
                              tr("La version n'a pas pu être restaurée : %1").arg(current->errorString()));
        return;
    }
    statusBar()->showMessage(tr("%1 (%2 entrées)").arg(done).arg(current->book().size()), 5000);
}

void MainWindow::playBook()
{
    if (!readBook())
        return;
    PlayUI dialog(current->book(), -1, 0, this);
    dialog.exec();
}
