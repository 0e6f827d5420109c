// The windows as an author uses them: the main window, the entry form, saving
// through the entry dialog, the monster list and the check dialog.
#include "analysis/bookcheck.h"
#include "analysis/bookconflicts.h"
#include "analysis/bookmap.h"
#include "analysis/monstermerge.h"
#include "analysis/mapplaces.h"
#include "app/booklistmodel.h"
#include "app/bookmapui.h"
#include "app/bookwindow.h"
#include "app/findreplaceui.h"
#include "app/newbookui.h"
#include "app/mapitem.h"
#include "app/mainwindow.h"
#include "app/playui.h"
#include "export/printbook.h"
#include "export/tweereader.h"
#include "book/monsterlist.h"
#include "book/bookreader.h"
#include "book/entryid.h"
#include "book/entrywriter.h"
#include "book/booktitle.h"
#include "book/filehistory.h"
#include "entry/entryui.h"
#include "monsters/monsterui.h"
#include "bookgen.h"
#include "support.h"

#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <QRandomGenerator>
#include <QAbstractItemModelTester>
#include <QAction>
#include <QDockWidget>
#include <QSortFilterProxyModel>
#include <QTreeWidget>
#include <QToolTip>
#include <QHelpEvent>
#include <QElapsedTimer>
#include <QGraphicsView>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QListWidget>
#include <QStatusBar>
#include <QLockFile>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QTableWidget>
#include <QTextBrowser>
#include <QTemporaryDir>

using namespace Support;

class TestGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void wholeRoadFromTheMainWindow();
    void bookOpenElsewhereIsReadOnly_data();
    void bookOpenElsewhereIsReadOnly();
    void flightRoundStartsAtOne();
    void nameThatIsNotUtf8();
    void addRules_data();
    void addRules();
    void resetAndMirroring();
    void refusals_data();
    void refusals();
    void rootName();
    void rowNotAdded_data();
    void rowNotAdded();
    void endingAskedOnce_data();
    void endingAskedOnce();
    void changedUnderOurFeet();
    void unreadableBook();
    void historyCannotBeWritten();
    void monsterList();
    void monsterConflicts_data();
    void monsterConflicts();
    void unreadableMonsterList();
    void bookMonsterList();
    void checkAndMapFromTheMenu();
    void mapLayoutCanBeCancelled();
    void mapView_data();
    void mapView();
    void mapFollowsChanges_data();
    void mapFollowsChanges();
    void mapKeptWithTheBook();
    void bookWindow();
    void listByNumber_data();
    void listByNumber();
    void searchFolding_data();
    void searchFolding();
    void searchFollowsChanges();
    void searchPrepared_data();
    void searchPrepared();
    void playtest();
    void smallerPoints();
    void printedBook();
    void renumberInPlace();
    void replaceAllUndone();
    void bookWindowMenus();
    void newBookOpensAgain();
    void sectionNote_data();
    void sectionNote();
    void editorFollowsTheBook();
    void mapWorkspace();
    void twineBothWays();
    void publishAsksOnce();
    void mapReading_data();
    void mapReading();
    void oneDocumentPerBook();

private:
    QString path(const QString &name = "livre.xml") { return dir->filePath(name); }
    EntryUI *bind(const QString &book)
    {
        delete dialog;
        dialog = new EntryUI;
        dialog->setEntriesFile(book);
        dialog->show();
        return dialog;
    }
    int rows(const char *table) { return Form(dialog).get<QTableWidget>(table)->rowCount(); }

    QTemporaryDir *dir = nullptr;
    ModalScript *script = nullptr;
    EntryUI *dialog = nullptr;
};

void TestGui::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName("OrvandelTests");
    MainWindow::installFrench(qApp);
}

void TestGui::init()
{
    QSettings().clear();
    dir = new QTemporaryDir;
    script = new ModalScript;
}

void TestGui::cleanup()
{
    const QStringList unexpected = script->unexpected;
    const int pending = script->pending();
    delete dialog;
    dialog = nullptr;
    delete script;
    delete dir;
    QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join(QLatin1Char(' '))));
    QCOMPARE(pending, 0);
}

// The book is asked once; each entry is saved under the next number, and the
// file is the format's text.
void TestGui::wholeRoadFromTheMainWindow()
{
    MainWindow window;
    window.show();
    QCOMPARE(window.findChild<QLabel *>("label")->text(), "Orvandel");
    QStringList shown;
    Entry first;
    script->file(QString()); // cancelled: nothing opens
    Form(&window).click("pb_Entry");
    QTRY_COMPARE(script->pending(), 0);
    script->file(path());
    script->then([&](QWidget *modal) {
        Form form(modal);
        shown << form.shownId();
        form.text("textEdit", "Vous entrez dans la taverne.").check("ck_Choice")
            .choice("1", "Parler à l'aubergiste").click("pb_Save");
    });
    script->prompt("Aventure");
    Form(&window).click("pb_Entry");
    script->then([&](QWidget *modal) {
        Form form(modal);
        shown << form.shownId();
        form.text("textEdit", "Fin.").number("sb_BonusEndurance", -2).click("pb_Save");
    });
    QStringList ending;
    script->message(&ending, QMessageBox::Yes);
    Form(&window).click("pb_Entry");
    script->then([&](QWidget *modal) {
        shown << Form(modal).shownId();
        Form(modal).click("pb_Cancel");
    });
    Form(&window).click("pb_Entry");
    QCOMPARE(shown, (QStringList{"000", "001", "002"}));

    BookReader reader;
    QVERIFY(reader.read(readBytes(path())));
    QCOMPARE(reader.book().size(), 2);
    QCOMPARE(readBytes(path()), (EntryWriter::newBookText("Aventure", reader.book().entry(0))
                                     .replace("\n</Aventure>",
                                              QLatin1Char('\t') + EntryWriter::elementXml(reader.book().entry(1))
                                                  + "\n</Aventure>"))
                                    .toUtf8());
    QCOMPARE(reader.book().entry(0).choices.first().text, "Parler à l'aubergiste");
    QVERIFY(reader.book().entry(0).types.choice && reader.book().entry(0).choiceActive);
    QCOMPARE(reader.book().entry(1).bonus.endurance, -2); // a penalty reads back as written
    QCOMPARE(ending.size(), 1);
    QVERIFY(xmllintAccepts(path()));
}

// Held by another Orvandel (here, a lock file of this process), the book
// opens read-only: the entry form works, but nothing is saved.
void TestGui::bookOpenElsewhereIsReadOnly_data()
{
    QTest::addColumn<QString>("claim"); // what stands beside the book
    QTest::addColumn<QString>("said");
    QTest::newRow("another Orvandel") << "lock" << "Livre déjà ouvert|Le livre « %1 » est déjà ouvert dans un autre Orvandel (processus ";
    QTest::newRow("a claim naming no process") << "junk" << "Livre déjà ouvert|Le livre « %1 » est déjà ouvert dans un autre Orvandel.";
    QTest::newRow("a folder that takes no claim") << "no folder" << "Livre en lecture seule|";
}

// Read-only, nothing writes: the form shows without saving, and the
// window's changes, renumbering and restoring a version are not offered.
void TestGui::bookOpenElsewhereIsReadOnly()
{
    QFETCH(QString, claim);
    QFETCH(QString, said);
    const QString book = claim == "no folder" ? path("absent/livre.xml") : path();
    if (claim != "no folder")
        QVERIFY(QFile::copy(fixture("book-own.xml"), book));
    QLockFile other(book + ".ouvert");
    if (claim == "lock")
        QVERIFY(other.tryLock(0));
    if (claim == "junk")
        QVERIFY(writeBytes(book + ".ouvert", "pas une réclamation d'Orvandel"));
    const QByteArray before = readBytes(book);
    const int versions = claim == "no folder" ? 0 : 1;
    if (versions)
        QVERIFY(FileHistory(book).keep(before, 3, "une version à restaurer"));
    MainWindow window;
    window.show();
    QStringList seen;
    script->message(&seen, QMessageBox::Yes);
    QVERIFY(window.openBookWindow(book));
    QCOMPARE(seen.size(), 1);
    QVERIFY2(seen.first().startsWith(said.arg(QDir::toNativeSeparators(book))), qPrintable(seen.first()));
    QVERIFY(window.findChild<QLabel *>("lbl_Book")->text().endsWith("(lecture seule)"));

    BookWindow *books = window.bookWindow();
    bool saveEnabled = true, restoreEnabled = true;
    auto saveOffered = [&](QWidget *modal) {
        saveEnabled = Form(modal).get<QPushButton>("pb_Save")->isEnabled();
        qobject_cast<QDialog *>(modal)->reject();
    };
    script->then(saveOffered);
    Form(&window).click("pb_Entry");
    QVERIFY(!saveEnabled);
    if (books->file().book().size() > 0) {
        books->selectEntry(0);
        emit books->findChild<QTableView *>("view_Entries")->activated(books->findChild<QTableView *>("view_Entries")->currentIndex());
        QCOMPARE(books->editor()->editedEntry(), 0);
        QVERIFY(!Form(books->editor()).get<QPushButton>("pb_Save")->isEnabled());
    }
    for (const char *action : {"actionNew", "actionDelete", "actionRenumber", "actionUndo"}) {
        QVERIFY(!books->findChild<QAction *>(action)->isVisible());
        books->findChild<QAction *>(action)->trigger(); // a shortcut, a script: still nothing
    }
    script->then([&](QWidget *modal) {
        restoreEnabled = Form(modal).get<QPushButton>("pb_Restore")->isEnabled();
        qobject_cast<QDialog *>(modal)->reject();
    });
    window.findChild<QAction *>("actionHistory")->trigger();
    QVERIFY(!restoreEnabled);
    QCOMPARE(readBytes(book), before);
    QCOMPARE(FileHistory(book).versions().size(), versions);
}

void TestGui::addRules_data()
{
    QTest::addColumn<QString>("fields"); // name=value;... typed before the click
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("added");
    QTest::newRow("choice") << "le_ChoiceValue=1;le_ChoiceText=a" << "pb_ChoiceAdd" << "table_Choice" << 1;
    QTest::newRow("choice without text") << "le_ChoiceValue=1" << "pb_ChoiceAdd" << "table_Choice" << 0;
    QTest::newRow("monster") << "le_MonsterName=Orque;sb_MonsterHabilete=7;sb_MonsterEndurance=9;le_MonsterVictory=3"
                             << "pb_MonsterAdd" << "table_Monster" << 1;
    QTest::newRow("monster, Endurance 0") << "le_MonsterName=Orque;sb_MonsterHabilete=7;le_MonsterVictory=3"
                                          << "pb_MonsterAdd" << "table_Monster" << 0;
    QTest::newRow("monster without victory") << "le_MonsterName=Orque;sb_MonsterHabilete=7;sb_MonsterEndurance=9"
                                             << "pb_MonsterAdd" << "table_Monster" << 0;
    QTest::newRow("object, gold only") << "sb_ObjectGold=3" << "pb_ObjectAdd" << "table_Objects" << 1;
    QTest::newRow("empty object") << "" << "pb_ObjectAdd" << "table_Objects" << 0;
}

void TestGui::addRules()
{
    QFETCH(QString, fields);
    QFETCH(QString, button);
    QFETCH(QString, table);
    QFETCH(int, added);
    bind(path());
    Form form(dialog);
    form.fill(fields);
    form.click(qPrintable(button));
    form.click(qPrintable(button)); // a successful add clears its inputs (objects excepted)
    const int count = rows(qPrintable(table));
    QCOMPARE(count, table == QLatin1String("table_Objects") ? 2 * added : added);
    // "Retirer" takes the current row away.
    if (count > 0) {
        auto *widget = form.get<QTableWidget>(qPrintable(table));
        widget->setCurrentCell(0, 0);
        form.click(qPrintable(QString(button).replace(QLatin1String("Add"), QLatin1String("Remove"))));
        QCOMPARE(widget->rowCount(), count - 1);
    }
}

void TestGui::resetAndMirroring()
{
    bind(path());
    Form form(dialog);
    form.check("ck_Choice");
    QVERIFY(form.get<QCheckBox>("ck_ChoiceActive")->isChecked()); // the Type box carries to Actif
    form.text("textEdit", "x").choice("1", "a").number("sb_BonusChance", 3).text("le_Special", "s");
    // Reset, Cancel and Escape ask before throwing work away; No keeps it.
    QStringList seen;
    script->message(&seen, QMessageBox::No).message(&seen, QMessageBox::No);
    form.click("pb_Reset").click("pb_Cancel");
    QCOMPARE(seen.size(), 2);
    QVERIFY(seen.first().startsWith("Abandonner cette entrée ?|"));
    QCOMPARE(rows("table_Choice"), 1);
    QVERIFY(dialog->isVisible());
    script->message(&seen, QMessageBox::Yes);
    form.click("pb_Reset");
    QVERIFY(form.get<QTextEdit>("textEdit")->toPlainText().isEmpty());
    QCOMPARE(rows("table_Choice"), 0);
    QCOMPARE(form.get<QSpinBox>("sb_BonusChance")->text(), "0");
    QVERIFY(!form.get<QCheckBox>("ck_ChoiceActive")->isChecked());
    QVERIFY(form.get<QLineEdit>("le_Special")->text().isEmpty());
    QCOMPARE(form.shownId(), "000");
    // After a reset the rows are counted from zero again.
    form.choice("2", "b");
    QCOMPARE(rows("table_Choice"), 1);
}

void TestGui::refusals_data()
{
    QTest::addColumn<QString>("fill");     // what the author filled in
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("message");  // said in the dialog; empty: the ending question
    QTest::addColumn<QString>("focus");
    QTest::newRow("no text") << "choice" << "pb_Save" << "Il manque le texte de l'entrée." << "textEdit";
    QTest::newRow("objects only") << "text object" << "pb_Save" << "" << "";
    QTest::newRow("flight without reference") << "text flight" << "pb_Save" << "" << "";
    QTest::newRow("choice without text") << "value" << "pb_ChoiceAdd" << "Il manque le texte du choix." << "le_ChoiceText";
    QTest::newRow("monster without victory") << "monster" << "pb_MonsterAdd"
        << "Il manque la victoire du monstre : l'entrée où mène le combat gagné." << "le_MonsterVictory";
}

// A refused save or add says why in the dialog and puts the focus there; an
// entry without a way out is saved as an ending only once the author says so.
void TestGui::refusals()
{
    QFETCH(QString, fill);
    QFETCH(QString, button);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    bind(path());
    Form form(dialog);
    if (fill.contains("text"))
        form.text("textEdit", "T");
    if (fill.contains("choice"))
        form.choice("1", "a");
    if (fill.contains("object"))
        form.text("le_ObjectText", "Épée").click("pb_ObjectAdd");
    if (fill.contains("flight"))
        form.number("sb_FleeRound", 2);
    if (fill.contains("value"))
        form.text("le_ChoiceValue", "4");
    if (fill.contains("monster"))
        form.text("le_MonsterName", "Orque").number("sb_MonsterHabilete", 7).number("sb_MonsterEndurance", 9);
    QStringList seen;
    if (message.isEmpty())
        script->message(&seen, QMessageBox::No);
    form.click(qPrintable(button));
    QCOMPARE(form.get<QLabel>("lbl_Message")->text(), message);
    if (message.isEmpty())
        QVERIFY(seen.value(0).startsWith("Une fin ?|Cette entrée n'a aucune sortie"));
    else
        QCOMPARE(dialog->focusWidget()->objectName(), focus);
    QVERIFY(dialog->isVisible());
    QVERIFY(!QFile::exists(path()));
    form.text("le_ChoiceText", "x");
    QTest::keyClick(form.get<QLineEdit>("le_ChoiceText"), Qt::Key_Left); // typing clears it
    QTest::keyClicks(form.get<QLineEdit>("le_ChoiceText"), "y");
    QVERIFY(form.get<QLabel>("lbl_Message")->text().isEmpty());
}

// A new book asks for its name, proposed from the file's; a title with spaces
// becomes a valid name, and the numbering may start at 1.
void TestGui::rootName()
{
    bind(path("Ma belle aventure.xml"));
    Form(dialog).text("textEdit", "T").choice("1", "a");
    script->prompt(QString());
    Form(dialog).click("pb_Save");
    QVERIFY(!QFile::exists(path("Ma belle aventure.xml")));
    QVERIFY(dialog->isVisible());
    QString proposed;
    script->then([&](QWidget *modal) {
        proposed = modal->findChild<QLineEdit *>("le_RootName")->text();
        qobject_cast<QDialog *>(modal)->reject();
    });
    Form(dialog).click("pb_Save");
    QCOMPARE(proposed, "Ma_belle_aventure");
    script->prompt("Mon livre", true);
    Form(dialog).click("pb_Save");
    QVERIFY(readBytes(path("Ma belle aventure.xml")).contains("\n<Mon_livre>\n\t<Attr id=\"001\">"));
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    // A colon would make a name that readers knowing namespaces refuse.
    bind(path("deux.xml"));
    Form(dialog).text("textEdit", "T").choice("1", "a");
    script->prompt("livre:un");
    Form(dialog).click("pb_Save");
    QVERIFY(readBytes(path("deux.xml")).contains("\n<livre_un>\n"));
}

void TestGui::rowNotAdded_data()
{
    QTest::addColumn<QString>("fields"); // typed, name=value;…
    QTest::addColumn<bool>("asked");     // whether closing the form asks first
    QTest::newRow("nothing typed") << "" << false;
    QTest::newRow("a choice's number") << "le_ChoiceValue=12" << true;
    QTest::newRow("a choice's text") << "le_ChoiceText=Fuir" << true;
    QTest::newRow("a monster's name") << "le_MonsterName=Orque" << true;
    QTest::newRow("a monster's skill") << "sb_MonsterHabilete=7" << true;
    QTest::newRow("an object") << "le_ObjectText=Corde" << true;
    QTest::newRow("an object's gold") << "sb_ObjectGold=3" << true;
}

// Whatever is typed under a table and not yet added is work the form asks
// about before it is thrown away.
void TestGui::rowNotAdded()
{
    QFETCH(QString, fields);
    QFETCH(bool, asked);
    bind(path());
    Form form(dialog);
    form.fill(fields);
    QStringList seen;
    if (asked)
        script->message(&seen, QMessageBox::No);
    form.click("pb_Cancel");
    QCOMPARE(dialog->isVisible(), asked);
    if (asked)
        QVERIFY(seen.value(0).startsWith("Abandonner cette entrée ?|"));
}

void TestGui::endingAskedOnce_data()
{
    QTest::addColumn<QString>("answer"); // the button pressed
    QTest::addColumn<int>("mark");       // Entry::End, -1 when nothing is saved
    QTest::newRow("a victory") << "pb_Victory" << int(Entry::End::Victory);
    QTest::newRow("a death") << "pb_Death" << int(Entry::End::Death);
    QTest::newRow("an ending, no more") << "yes" << int(Entry::End::Unmarked);
    QTest::newRow("cancelled") << "no" << -1;
}

// An ending is asked about when it is first saved, not each time it is
// rewritten: the author says whether it is a victory, a death or an ending
// and no more, and the mark stays when the entry is written again.
void TestGui::endingAskedOnce()
{
    QFETCH(QString, answer);
    QFETCH(int, mark);
    QVERIFY(QFile::copy(fixture("book-own.xml"), path()));
    BookReader reader;
    QVERIFY(reader.read(readBytes(path())));
    const int before = reader.book().size();
    bind(path());
    QStringList seen;
    script->then([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        seen << box->windowTitle() + '|' + box->findChild<QAbstractButton *>(answer.startsWith("pb_") ? answer : "pb_Death")->text();
        QCOMPARE(static_cast<QAbstractButton *>(box->defaultButton()), box->button(QMessageBox::No));
        QAbstractButton *press = answer == "yes" ? box->button(QMessageBox::Yes)
            : answer == "no"                     ? box->button(QMessageBox::No)
                                                 : box->findChild<QAbstractButton *>(answer);
        QVERIFY(press);
        press->click();
    });
    Form(dialog).text("textEdit", "La fin.").click("pb_Save");
    QCOMPARE(seen, QStringList{answer == "pb_Victory" ? "Une fin ?|Une victoire" : "Une fin ?|Une mort"});
    QSharedPointer<BookDocument> document = BookDocument::of(path());
    if (mark < 0) {
        QCOMPARE(document->book().size(), before);
        return;
    }
    QCOMPARE(document->book().size(), before + 1);
    QCOMPARE(int(document->book().entry(before).endMark()), mark);
    EntryUI again;
    again.setDocument(document, before);
    again.show();
    Form(&again).text("textEdit", "La fin, enfin.").click("pb_Save");
    QCOMPARE(seen.size(), 1);
    QVERIFY(readBytes(path()).contains("La fin, enfin."));
    QCOMPARE(int(BookDocument::of(path())->book().entry(before).endMark()), mark);
    QVERIFY(xmllintAccepts(path()));
}

void TestGui::changedUnderOurFeet()
{
    QVERIFY(QFile::copy(fixture("book-own.xml"), path()));
    bind(path());
    QCOMPARE(Form(dialog).shownId(), "003");
    const QByteArray theirs = readBytes(path()).replace("</Aventure>", "\t<Attr id=\"003\"></Attr>\n</Aventure>");
    QVERIFY(writeBytes(path(), theirs));
    Form(dialog).text("textEdit", "Le mien").choice("1", "a");
    QStringList seen;
    script->message(&seen);
    Form(dialog).click("pb_Save");
    QCOMPARE(seen.size(), 1);
    QVERIFY(seen.first().startsWith("saveEntry - Fichier modifié|"));
    QCOMPARE(readBytes(path()), theirs);
    QCOMPARE(Form(dialog).shownId(), "004");
    Form(dialog).click("pb_Save");
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QVERIFY(readBytes(path()).startsWith(theirs.left(theirs.size() - 12)));
    QVERIFY(readBytes(path()).contains("<Attr id=\"004\">\n\t\t<Text>Le mien</Text>"));
}

void TestGui::unreadableBook()
{
    const QByteArray icon("\0\0\1\0<Livre/>", 12);
    QVERIFY(writeBytes(path(), icon));
    QStringList seen;
    script->message(&seen);
    bind(path());
    QCOMPARE(seen.size(), 1);
    QVERIFY(seen.first().startsWith(QStringLiteral("getLastId - Erreur ouverture document XML|"
                                                   "Le document XML n'a pas pu être attribué")));
    Form(dialog).text("textEdit", "T").choice("1", "a");
    script->message(&seen);
    Form(dialog).click("pb_Save");
    QCOMPARE(seen.size(), 2);
    QVERIFY(seen.last().startsWith("saveEntry - Fichier illisible|"));
    QCOMPARE(readBytes(path()), icon);
}

// The author decides whether a save goes on without the history.
void TestGui::historyCannotBeWritten()
{
    QVERIFY(QFile::copy(fixture("book-own.xml"), path()));
    QVERIFY(writeBytes(path("livre.xml.historique"), "un fichier à la place du dossier"));
    const QByteArray before = readBytes(path());
    bind(path());
    Form(dialog).text("textEdit", "T").choice("1", "a");
    QStringList seen;
    script->message(&seen, QMessageBox::No);
    Form(dialog).click("pb_Save");
    QCOMPARE(readBytes(path()), before);
    QVERIFY(dialog->isVisible());
    script->message(&seen, QMessageBox::Yes);
    Form(dialog).click("pb_Save");
    QCOMPARE(seen.size(), 2);
    QVERIFY(seen.first().startsWith("saveEntry - Historique|"));
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QVERIFY(readBytes(path()).contains("<Attr id=\"003\">"));
}

void TestGui::monsterList()
{
    QVERIFY(QFile::copy(fixture("monsters.xml"), path("m.xml")));
    QStringList seen;
    script->file(path("m.xml"));
    MonsterUI list;
    list.show();
    Form form(&list);
    auto *table = form.get<QTableWidget>("tableWidget");
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(1, 0)->text(), "Démon & cæ");
    form.text("le_Name", "Troll");
    for (auto [name, value] : {std::make_pair("sb_Habilete", "9"), std::make_pair("sb_Endurance", "14")}) {
        form.get<QSpinBox>(name)->clear();
        QTest::keyClicks(form.get<QSpinBox>(name), QLatin1String(value));
    }
    QTest::keyClick(form.get<QLineEdit>("le_Name"), Qt::Key_Return); // Enter adds, never closes
    QVERIFY(list.isVisible());
    form.click("pb_Add"); // lacks its numbers
    QCOMPARE(table->rowCount(), 3);
    table->selectRow(0); // "Supprimer" takes the selected monster away
    form.click("pb_Remove");
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(0, 0)->text(), "Démon & cæ");
    // Another file is opened only once the author gives up the changes.
    script->message(&seen, QMessageBox::No);
    form.click("pb_ChangeFile");
    QCOMPARE(seen.size(), 1);
    QVERIFY(seen.first().startsWith("Changer de fichier ?|"));
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(1, 0)->text(), "Troll");
    QMetaObject::invokeMethod(form.get<QDialogButtonBox>("buttonBox"), "accepted");
    QCOMPARE(list.result(), int(QDialog::Accepted));
    QVERIFY(readBytes(path("m.xml")).endsWith(
        "\t<Elem id=\"1\" Name=\"Troll\" Habilete=\"9\" Endurance=\"14\"/>\n</Monsters>"));
    QCOMPARE(FileHistory(path("m.xml")).versions().size(), 1);
}

// A list that cannot be read is shown empty, and replaced only when the author says so.
void TestGui::unreadableMonsterList()
{
    const QByteArray icon("\0\0\1\0<Monsters/>", 15);
    QVERIFY(writeBytes(path("m.xml"), icon));
    QStringList seen;
    script->file(path("m.xml")).message(&seen).message(&seen, QMessageBox::No);
    MonsterUI list;
    list.show();
    QMetaObject::invokeMethod(Form(&list).get<QDialogButtonBox>("buttonBox"), "accepted");
    QCOMPARE(seen.size(), 2);
    QVERIFY(seen.at(0).startsWith("loadFile - Erreur ouverture document XML|"));
    QVERIFY(seen.at(1).startsWith("Remplacer le fichier des monstres ?|"));
    QCOMPARE(readBytes(path("m.xml")), icon);
}

// Each book has its own monster list: the first time made from the monsters
// its fights name, beside it; once another list is chosen for a book, its
// monsters are checked against that list, another book's are not.
void TestGui::bookMonsterList()
{
    QVERIFY(QFile::copy(fixture("book-own.xml"), path("a.xml")));
    QVERIFY(QFile::copy(fixture("book-own.xml"), path("b.xml")));
    QVERIFY(writeBytes(path("m.xml"), "<Monsters>\n\t<Elem id=\"0\" Name=\"Troll\" Habilete=\"9\" Endurance=\"14\"/>\n</Monsters>"));
    const auto unknown = [](const QSharedPointer<BookDocument> &document) {
        int n = 0;
        for (const BookFinding &f : document->findings())
            n += f.kind == BookFinding::UnknownMonster;
        return n;
    };
    QSharedPointer<BookDocument> a = BookDocument::of(path("a.xml")), b = BookDocument::of(path("b.xml"));
    QVERIFY(a->load() && b->load());
    {
        MonsterUI list(a);
        QCOMPARE(list.windowTitle(), "Liste des monstres — a-monstres.xml");
        QCOMPARE(Form(&list).get<QTableWidget>("tableWidget")->item(0, 0)->text(), "Orque");
        QMetaObject::invokeMethod(Form(&list).get<QDialogButtonBox>("buttonBox"), "accepted");
        QCOMPARE(list.result(), int(QDialog::Accepted));
    }
    QCOMPARE(a->monsterListPath(), path("a-monstres.xml"));
    QVERIFY(readBytes(path("a-monstres.xml")).contains("Name=\"Orque\""));
    QCOMPARE(unknown(a), 0);
    {
        MonsterUI list(a);
        script->file(path("m.xml"));
        Form(&list).click("pb_ChangeFile");
        QMetaObject::invokeMethod(Form(&list).get<QDialogButtonBox>("buttonBox"), "accepted");
    }
    QCOMPARE(a->monsterListPath(), path("m.xml"));
    QCOMPARE(unknown(a), 1);  // the orc is not in that list
    QCOMPARE(unknown(b), 0);  // nor is another book checked against it
    EntryUI form;
    form.setDocument(b);
    QStringList offered;
    for (const MonsterRow &row : b->monsters())
        offered << row.name;
    QCOMPARE(offered, QStringList{"Orque"});
    // The choice is the book's, for the next time it is opened too.
    QPointer<BookDocument> gone = a.data();
    a.clear();
    QVERIFY(gone.isNull());
    const QSharedPointer<BookDocument> again = BookDocument::of(path("a.xml"));
    QVERIFY(again->load());
    QCOMPARE(again->monsterListPath(), path("m.xml"));
    QCOMPARE(unknown(again), 1);
}

void TestGui::monsterConflicts_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("ours");
    QTest::addColumn<QString>("theirs");
    QTest::addColumn<QString>("choices"); // one a conflict: 0 keep ours, 1 take theirs, - left, x taking refused
    QTest::addColumn<QString>("written");
    QTest::addColumn<bool>("settled");
    const QString base = "Troll 9 14, Orque 7 8, Loup 6 6", ours = "Troll 10 14, Orque 7 8",
                  theirs = "Troll 9 16, Orque 7 9, Loup 6 7";
    // the conflicts come Loup (removed by us, changed by them), then Troll (changed by both)
    QTest::newRow("ours kept, theirs taken back") << base << ours << theirs << "10" << "Troll 10 14, Orque 7 9, Loup 6 7" << true;
    QTest::newRow("theirs taken, ours kept out") << base << ours << theirs << "01" << "Troll 9 16, Orque 7 9" << true;
    QTest::newRow("one left") << base << ours << theirs << "-1" << "Troll 9 16, Orque 7 9" << false;
    // two monsters of one name: which of ours theirs stands for cannot be told
    QTest::newRow("a name twice") << "Orque 7 8, Orque 6 6" << "Orque 7 8, Orque 8 6" << "Orque 7 8, Orque 5 6"
                                  << "x" << "Orque 7 8, Orque 8 6" << false;
    // removed by them, changed by us: ours stays, nothing to choose, the file goes
    QTest::newRow("removed by them only") << "Troll 9 14, Orque 7 8" << "Troll 10 14, Orque 7 8" << "Orque 7 8"
                                          << "" << "Troll 10 14, Orque 7 8" << true;
}

// A merge's conflicts in the book's monster list, settled in its window:
// what is written is what the author chose, and the conflicts file goes
// once all are settled.
void TestGui::monsterConflicts()
{
    QFETCH(QString, base);
    QFETCH(QString, ours);
    QFETCH(QString, theirs);
    QFETCH(QString, choices);
    QFETCH(QString, written);
    QFETCH(bool, settled);
    const auto list = [](const QString &rows) {
        QByteArray xml = "<Monsters>\n";
        int id = 0;
        for (const QString &row : rows.split(", ")) {
            const QStringList f = row.split(' ');
            xml += QString("\t<Elem id=\"%1\" Name=\"%2\" Habilete=\"%3\" Endurance=\"%4\"/>\n")
                       .arg(id++).arg(f.at(0), f.at(1), f.at(2)).toUtf8();
        }
        return xml + "</Monsters>\n";
    };
    MonsterMerge merge;
    QVERIFY(merge.merge(list(base), list(ours), list(theirs)));
    QVERIFY(!merge.isClean());
    const QString monsters = path("m.xml"), aside = BookConflicts::pathFor(path("m.xml"));
    QVERIFY(writeBytes(monsters, merge.result()) && writeBytes(aside, merge.conflictBook()));
    QVERIFY(QFile::copy(fixture("book-own.xml"), path("a.xml")));
    const QSharedPointer<BookDocument> book = BookDocument::of(path("a.xml"));
    QVERIFY(book->load());
    book->setMonsterListPath(monsters);

    MonsterUI window(book);
    QCOMPARE(window.conflictCount(), choices.size());
    QCOMPARE(Form(&window).get<QPushButton>("pb_Conflicts")->isVisibleTo(&window), !choices.isEmpty());
    for (int k = 0; k < window.conflictCount(); ++k) {
        const QChar choice = choices.at(k);
        if (choice != '-')
            QCOMPARE(window.settleConflict(k, choice != '0'), choice != 'x');
    }
    QCOMPARE(window.conflictsSettled(), settled);
    QMetaObject::invokeMethod(Form(&window).get<QDialogButtonBox>("buttonBox"), "accepted");
    QCOMPARE(window.result(), int(QDialog::Accepted));
    QFile file(monsters);
    MonsterList read;
    QVERIFY(file.open(QIODevice::ReadOnly) && read.read(&file));
    QStringList rows;
    for (const MonsterRow &row : read.rows)
        rows << QString("%1 %2 %3").arg(row.name, row.habilete, row.endurance);
    QCOMPARE(rows.join(", "), written);
    QCOMPARE(QFile::exists(aside), !settled);
}

void TestGui::checkAndMapFromTheMenu()
{
    QVERIFY(QFile::copy(fixture("check-flawed.xml"), path()));
    MainWindow window;
    window.show();
    QString summary;
    int findings = -1;
    script->file(path()).then([&](QWidget *modal) {
        summary = modal->findChild<QLabel *>("lbl_Summary")->text();
        findings = modal->findChild<QTableWidget *>("table_Findings")->rowCount();
        qobject_cast<QDialog *>(modal)->reject();
    });
    window.findChild<QAction *>("actionCheckBook")->trigger();
    QVERIFY(summary.startsWith("5 constats dans les 5 entrées du livre"));
    QVERIFY2(summary.endsWith("1 fin : 002\n5 entrées, 12 mots : 1 combat, 0 test de chance, 1 fin."), qPrintable(summary));
    QCOMPARE(findings, 6);
}

// A long layout shows its progress and the window keeps answering:
// "Annuler" gives the window back at once.
void TestGui::mapLayoutCanBeCancelled()
{
    BookReader reader;
    QVERIFY(reader.read(generateBook(8000)));
    const MapLayout drawing = BookMap::drawing(reader.book(), {});
    QMainWindow window;
    window.show();
    bool shown = false;
    QElapsedTimer clock;
    QTimer::singleShot(400, [&] {
        auto *progress = window.findChild<QProgressDialog *>();
        shown = progress && progress->isVisible() && progress->labelText().startsWith("Mise en page");
        clock.start();
        if (progress) // as the author does it
            progress->findChild<QPushButton *>()->click();
    });
    QVERIFY(!BookMapUI::layOut(drawing, &window));
    QVERIFY(shown);
    QVERIFY(clock.elapsed() < 500);
    // The cancelled layout ends in the background; the next one waits for it.
    MapLayout small;
    QString error;
    QVERIFY(BookMap::layOut(BookMap::dot(readFixture("check-clean.xml"), {}), &small, &error));
    QTest::qWait(50);
}

namespace {

// A map of `count` boxes on a jittered lattice, arrows straight and
// curved between random boxes, some with labels.
MapLayout syntheticMap(int count, quint32 seed)
{
    QRandomGenerator random(seed);
    MapLayout map;
    const int side = int(std::ceil(std::sqrt(double(count))));
    for (int i = 0; i < count; ++i) {
        MapLayout::Node node;
        node.entry = i;
        node.box = QRectF(130.0 * (i % side) + random.bounded(30), 90.0 * (i / side) + random.bounded(30), 60, 36);
        node.fill = 0xff000000u | random.generate();
        map.nodes << node;
        map.bounds |= node.box;
    }
    for (int i = 0; i < count * 2; ++i) {
        MapLayout::Edge edge;
        edge.from = int(random.bounded(count));
        edge.to = i % 5 ? int(random.bounded(count)) : qBound(0, edge.from + side + 1, count - 1);
        BookMap::drawStraight(&edge, map.nodes.at(edge.from).box, map.nodes.at(edge.to).box);
        if (i % 7 == 0 && edge.curve.size() == 4)
            edge.curve[1] += QPointF(0, 80); // bends
        if (i % 11 == 0) {
            edge.label = QStringLiteral("Fuir");
            edge.labelAt = (edge.curve.constFirst() + edge.tip) / 2;
        }
        map.edges << edge;
    }
    map.bounds.setTopLeft(QPointF(0, 0));
    return map;
}

QImage rendered(MapItem *item, const QRectF &part, double zoom)
{
    QImage image((part.size() * zoom).toSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.scale(zoom, zoom);
    painter.translate(-part.topLeft());
    QStyleOptionGraphicsItem option;
    option.exposedRect = part;
    item->paint(&painter, &option, nullptr);
    return image;
}

} // namespace

void TestGui::mapFollowsChanges_data()
{
    QTest::addColumn<QString>("change");
    for (const char *change : {"box added below", "box moved", "arrow added", "arrow removed", "box removed",
                               "arrows in another order", "grown far beyond"})
        QTest::newRow(change) << QString(change);
}

// A map item made from the one before it, as the map follows the book,
// finds and paints every box and arrow as one made from nothing does.
void TestGui::mapFollowsChanges()
{
    QFETCH(QString, change);
    const MapLayout before = syntheticMap(2500, 5);
    const MapItem first(before);
    MapLayout after = before;
    const int n = after.nodes.size();
    if (change == "box added below" || change == "grown far beyond") {
        MapLayout::Node node = after.nodes.at(7);
        node.entry = n;
        node.box.moveTopLeft(QPointF(200, after.bounds.bottom() + (change == "box added below" ? 40 : 9000)));
        after.nodes << node;
        MapLayout::Edge edge;
        edge.from = 3;
        edge.to = n;
        BookMap::drawStraight(&edge, after.nodes.at(3).box, node.box);
        after.edges << edge;
        after.bounds |= node.box;
    } else if (change == "box moved") {
        after.nodes[40].box.translate(-300, 500);
        for (MapLayout::Edge &edge : after.edges)
            if (edge.from == 40 || edge.to == 40)
                BookMap::drawStraight(&edge, after.nodes.at(edge.from).box, after.nodes.at(edge.to).box);
    } else if (change == "arrow added") {
        MapLayout::Edge edge;
        edge.from = 0;
        edge.to = n - 1;
        BookMap::drawStraight(&edge, after.nodes.at(0).box, after.nodes.at(n - 1).box);
        after.edges.insert(10, edge);
    } else if (change == "arrows in another order") {
        after.edges.move(5, 3000);
        after.edges.move(4000, 2);
    } else if (change == "arrow removed") {
        after.edges.remove(20);
    } else if (change == "box removed") {
        after.nodes.remove(100);
        QVector<MapLayout::Edge> kept;
        for (MapLayout::Edge edge : qAsConst(after.edges)) {
            if (edge.from == 100 || edge.to == 100)
                continue;
            edge.from -= edge.from > 100;
            edge.to -= edge.to > 100;
            kept << edge;
        }
        after.edges = kept;
    }
    auto *followed = new MapItem(after, &first);
    auto *fresh = new MapItem(after);
    for (const MapLayout::Node &node : qAsConst(after.nodes)) {
        QCOMPARE(followed->entryAt(node.box.center()), fresh->entryAt(node.box.center()));
        QCOMPARE(followed->nodeAt(node.box.topLeft() + QPointF(1, 1)), fresh->nodeAt(node.box.topLeft() + QPointF(1, 1)));
    }
    // Parts of the map close up and further out, arrows crossing them.
    const QSizeF size = after.bounds.size();
    for (const QRectF &part : {QRectF(QPointF(0, 0), size / 3), QRectF(QPointF(size.width() / 2, size.height() / 3), size / 4),
                               QRectF(QPointF(0, size.height() * 0.8), size / 5)})
        for (const double zoom : {1.0, 0.3}) {
            const QImage a = rendered(followed, part, zoom), b = rendered(fresh, part, zoom);
            // Lines drawn in another order blend a shade apart where they cross.
            int most = 0;
            for (int y = 0; y < a.height(); ++y)
                for (int x = 0; x < a.width(); ++x)
                    most = qMax(most, qAbs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))));
            QVERIFY2(most <= 8, qPrintable(QString("zoom %1 at %2,%3: %4").arg(zoom).arg(part.x()).arg(part.y()).arg(most)));
        }
    delete followed;
    delete fresh;
}

void TestGui::mapView_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<double>("zoom"); // 0: the whole map
    QTest::newRow("layered, reading size") << readBytes(fixture("check-flawed.xml")) << 1.0;
    QTest::newRow("by force, reading size") << generateBook(2000) << 1.0;
    QTest::newRow("by force, boxes only") << generateBook(2000) << 0.3;
    QTest::newRow("by force, far out") << generateBook(2000) << 0.1;
    QTest::newRow("by force, whole") << generateBook(2000) << 0.0;
}

// Whatever the zoom, each box is painted where it lies, and a double-click
// on it names its entry.
void TestGui::mapView()
{
    QFETCH(QByteArray, bytes);
    QFETCH(double, zoom);
    BookReader reader;
    QVERIFY(reader.read(bytes));
    MapLayout layout = BookMap::drawing(reader.book(), BookCheck::run(reader.book()));
    QString error;
    QVERIFY(BookMap::layOut(&layout, &error));
    BookMapUI dialog(std::make_unique<MapItem>(layout), reader.book().firstIndex());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *view = dialog.findChild<QGraphicsView *>("view_Map");
    if (zoom > 0)
        dialog.zoomBy(zoom / dialog.zoom());
    else
        dialog.findChild<QPushButton *>("pb_Fit")->click();

    // Boxes clear of every other box, up to a dozen.
    QVector<int> clear;
    for (int n = 0; n < layout.nodes.size() && clear.size() < 12; ++n) {
        const MapLayout::Node &node = layout.nodes.at(n);
        bool alone = node.entry >= 0 && node.shape == MapLayout::Box;
        for (int m = 0; alone && m < layout.nodes.size(); ++m)
            alone = m == n || !layout.nodes.at(m).box.adjusted(-4, -4, 4, 4).intersects(node.box);
        if (alone)
            clear << n;
    }
    QVERIFY(!clear.isEmpty());
    QSignalSpy activated(&dialog, &BookMapUI::nodeActivated);
    for (const int n : clear) {
        const MapLayout::Node &node = layout.nodes.at(n);
        // Close up the label takes the middle: the colour shows at the side.
        const QPointF inside = zoom >= MapItem::readable ? QPointF(node.box.left() + 4, node.box.center().y())
                                                         : node.box.center();
        view->centerOn(inside);
        QCoreApplication::processEvents();
        const QPoint at = view->mapFromScene(inside);
        const QImage shown = view->viewport()->grab().toImage();
        const QColor fill = QColor::fromRgba(node.fill);
        const auto near = [&fill](const QColor &seen) {
            return qAbs(seen.red() - fill.red()) + qAbs(seen.green() - fill.green()) + qAbs(seen.blue() - fill.blue()) < 24;
        };
        if (zoom >= MapItem::readable || zoom == 0) {
            const QColor seen = shown.pixelColor(at);
            QVERIFY2(near(seen), qPrintable(QString("entry %1: %2 instead of %3").arg(node.entry).arg(seen.name(), fill.name())));
        } else {
            // Further out the box is its colour, with its number once it is
            // big enough on the screen to be read.
            const QRect box = view->mapFromScene(node.box).boundingRect().adjusted(1, 1, -1, -1);
            int filled = 0, dark = 0;
            for (int y = box.top(); y <= box.bottom(); ++y)
                for (int x = box.left(); x <= box.right(); ++x) {
                    filled += near(shown.pixelColor(x, y));
                    dark += shown.pixelColor(x, y).lightness() < 100;
                }
            QVERIFY2(filled * 3 >= box.width() * box.height(), qPrintable(QString("entry %1: %2 of %3 pixels in its colour").arg(node.entry).arg(filled).arg(box.width() * box.height())));
            QCOMPARE(dark > 0, node.box.height() * zoom >= 8);
        }
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->mapFromScene(node.box.center()));
        QCOMPARE(activated.size(), 1);
        QCOMPARE(activated.takeFirst().at(0).toInt(), node.entry);
    }
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->mapFromScene(layout.bounds.bottomRight() + QPointF(10, 10)));
    QVERIFY(activated.isEmpty());

    // While the map is larger than the window, the whole of it in small:
    // a click there brings that place into view.
    auto *overview = dialog.findChild<QWidget *>("map_Overview");
    const QRectF inView = view->mapToScene(view->viewport()->rect()).boundingRect();
    const bool whole = inView.adjusted(-1, -1, 1, 1).contains(layout.bounds);
    QVERIFY2(overview->isVisible() == !whole, qPrintable(QString("overview shown %1, map %2 in view").arg(overview->isVisible()).arg(whole ? "whole" : "in part")));
    if (!whole) {
        QVERIFY(view->viewport()->geometry().contains(overview->geometry()));
        QTest::mouseClick(overview, Qt::LeftButton, {}, overview->rect().center());
        const QPointF aimed = layout.bounds.center();
        const QPointF centre = view->mapToScene(view->viewport()->rect().center());
        QVERIFY2(QLineF(centre, aimed).length() < layout.bounds.width() / 20,
                 qPrintable(QString("%1,%2 instead of %3,%4").arg(centre.x()).arg(centre.y()).arg(aimed.x()).arg(aimed.y())));
    }
}

// The map's places are kept with the book's document and beside the book:
// opened again, the map is not laid out again; a read-only book gets no
// places file, and the book itself is never written to.
void TestGui::mapKeptWithTheBook()
{
    QVERIFY(writeBytes(path(), generateBook(300)));
    const QByteArray bytes = readBytes(path());
    const QString places = MapPlaces::pathFor(path());
    QSharedPointer<BookDocument> document = BookDocument::of(path());
    QVERIFY(document->load());
    document->setReadOnly(true);
    std::unique_ptr<BookMapUI> map = BookMapUI::forDocument(document.data(), nullptr);
    QVERIFY(map);
    QVERIFY(!QFile::exists(places));
    // Laid out again on demand, and its places written once the book may be.
    document->setReadOnly(false);
    map->findChild<QPushButton *>("pb_Reorganize")->click();
    QVERIFY(QFile::exists(places));
    QVERIFY(QFile::remove(places));
    map = BookMapUI::forDocument(document.data(), nullptr);
    QVERIFY(map);
    QVERIFY(!QFile::exists(places));
    QCOMPARE(readBytes(path()), bytes);
}

void TestGui::listByNumber_data()
{
    QTest::addColumn<QStringList>("ids"); // in the file's order
    QTest::newRow("in order") << QStringList{"000", "001", "002", "010"};
    QTest::newRow("out of order") << QStringList{"010", "001", "fin", "002", "000"};
}

// The list shows entries by number whatever their order in the file, with
// or without a filter.
void TestGui::listByNumber()
{
    QFETCH(QStringList, ids);
    QByteArray bytes = "<Livre>";
    for (const QString &id : ids)
        bytes += "<Attr id=\"" + id.toUtf8() + "\"><Text>Une porte " + id.toUtf8() + "</Text><Type>X</Type></Attr>";
    QVERIFY(writeBytes(path(), bytes + "</Livre>"));
    BookWindow window;
    QVERIFY(window.openBook(path()));
    auto *list = window.findChild<QTableView *>("view_Entries");
    QStringList sorted = ids;
    std::sort(sorted.begin(), sorted.end(), [](const QString &a, const QString &b) {
        return EntryId::parse(a) < EntryId::parse(b);
    });
    for (const QString &word : {QString(), QString("porte")}) {
        window.findChild<QLineEdit *>("le_Filter")->setText(word);
        QStringList shown;
        for (int row = 0; row < list->model()->rowCount(); ++row)
            shown << list->model()->index(row, BookListModel::Number).data().toString();
        QCOMPARE(shown, sorted);
    }
}

void TestGui::searchFolding_data()
{
    QTest::addColumn<QString>("text");
    QString latin1;
    for (int c = 0x20; c < 0x100; ++c)
        latin1 += QChar(c);
    QTest::newRow("every Latin-1 character") << latin1;
    QTest::newRow("capitals and accents") << QString("ÉPÉE, Forêt; ÇA Œuvre æ ß µ");
    QTest::newRow("marks typed apart") << QString("E\u0301pe\u0301e e\u0301\u0323 A\u030A");
    QTest::newRow("beyond Latin-1") << QString("Ā ǅ ﬁ Σας Ωμέγα Ꭰ İ \U0001F600 \U00010400");
    QTest::newRow("long, with folds that grow") << QString("ﬃ").repeated(2000) + QString("Été ß").repeated(300);
}

// The filter's fast folding gives what the full one gives, character for character.
void TestGui::searchFolding()
{
    QFETCH(QString, text);
    QCOMPARE(QString::fromUtf8(BookListModel::foldedUtf8(text)), BookListModel::folded(text));
}

void TestGui::searchPrepared_data()
{
    // To setBook() after prepare(): 0 that book, 1 another, 2 that book
    // changed; 3 a book set, then an empty one that gains an entry.
    QTest::addColumn<int>("given");
    QTest::newRow("the book prepared") << 0;
    QTest::newRow("another book") << 1;
    QTest::newRow("the book changed since") << 2;
    QTest::newRow("an empty book after another") << 3;
}

// The search's index begun before the book is set serves only the very
// entries it was begun on (all empty books hold the same no entries).
void TestGui::searchPrepared()
{
    QFETCH(int, given);
    const auto read = [](const QByteArray &text) {
        BookReader reader;
        reader.read(text.isNull() ? "<Livre>\n</Livre>"
                                  : "<Livre><Attr id=\"1\"><Text>" + text + "</Text><Type>X</Type></Attr></Livre>");
        return reader.book();
    };
    Book book = read("torche"), other = read(given == 3 ? QByteArray() : "lanterne");
    BookListModel model;
    Entry e = book.entry(0);
    e.text = "lanterne";
    if (given == 3) {
        model.setBook(&book, {});
        model.setBook(&other, {});
        other.apply(other.appending(e));
        model.changed(0, 0, 1, {});
    } else {
        model.prepare(book);
        if (given == 2)
            book.apply(book.replacing(0, e));
        model.setBook(given == 1 ? &other : &book, {});
    }
    int size = 0;
    const char *folded = model.searchText(0, &size);
    const QByteArray text(folded, size);
    QVERIFY2(text.contains(given == 0 ? "torche" : "lanterne"), text.constData());
}

// After each change, the filter finds what folding each entry's number,
// text, choices and monsters anew finds: the one folded text of the whole book follows entries
// added, rewritten and removed in its middle.
void TestGui::searchFollowsChanges()
{
    QVERIFY(QFile::copy(fixture("book-own.xml"), path()));
    BookWindow window;
    QVERIFY(window.openBook(path()));
    auto *list = window.findChild<QTableView *>("view_Entries");
    auto *filter = window.findChild<QLineEdit *>("le_Filter");
    BookDocument *doc = window.document();
    const auto check = [&] {
        for (const QString &word : QStringList{"ore", "oeuvre", "fin", "ΣΑΣ", "écrit", "e", "ﬁnale", "fuir", "orque"}) {
            filter->setText(word);
            QStringList shown, found;
            for (int row = 0; row < list->model()->rowCount(); ++row)
                shown << list->model()->index(row, BookListModel::Number).data().toString();
            for (int i = 0; i < doc->book().size(); ++i) {
                const Entry &e = doc->book().entry(i);
                QString read = e.id + ' ' + e.text; // and what else a reader reads
                for (const Entry::Choice &c : e.choices)
                    read += ' ' + c.text;
                for (const Entry::Monster &m : e.monsters)
                    read += ' ' + m.name;
                if (BookListModel::foldedUtf8(read).contains(BookListModel::foldedUtf8(word)))
                    found << e.id;
            }
            shown.sort();
            found.sort();
            QVERIFY2(shown == found, qPrintable(QString("%1: %2 instead of %3").arg(word, shown.join(','), found.join(','))));
        }
    };
    check();
    Entry e = doc->book().entry(1);
    e.text = "Œuvre écrite à la ﬁnale";
    QVERIFY(doc->replaceEntry(1, e));
    check();
    QVERIFY(doc->removeEntry(0));
    check();
    e.id = "050";
    e.text = "Σας Ωμέγα : fin.";
    QVERIFY(doc->addEntry(e));
    check();
    doc->undo();
    doc->undo();
    check();
}

// The book window as an author uses it: filter, follow a link, edit, delete,
// undo and redo to the exact bytes, and follow a change made elsewhere.
void TestGui::bookWindow()
{
    QVERIFY(QFile::copy(fixture("book-own.xml"), path()));
    const QByteArray original = readBytes(path());
    BookWindow window;
    QVERIFY(window.openBook(path()));
    window.show();
    auto *list = window.findChild<QTableView *>("view_Entries");
    // The list and its filter keep the model rules through every change below.
    auto *filtered = qobject_cast<QSortFilterProxyModel *>(list->model());
    QAbstractItemModelTester filterTester(filtered, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester listTester(filtered->sourceModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    auto *filter = window.findChild<QLineEdit *>("le_Filter");
    filter->setText("OREE foret"); // accents and case aside, every word
    QCOMPARE(list->model()->rowCount(), 1);
    filter->setText("2");
    QCOMPARE(list->model()->rowCount(), 1);
    filter->clear();
    QCOMPARE(list->model()->rowCount(), 3);

    window.selectEntry(0);
    auto *preview = window.findChild<QTextBrowser *>("text_Preview");
    QVERIFY(preview->toHtml().contains("entry:1"));
    emit preview->anchorClicked(QUrl("entry:1"));
    QCOMPARE(window.selectedEntry(), 1);
    QVERIFY(preview->toPlainText().contains("Si vous êtes vainqueur, rendez-vous au 3 (entrée absente : l'écrire)."));
    // That link starts the missing entry in the form.
    QVERIFY(preview->toHtml().contains("missing:3"));
    emit preview->anchorClicked(QUrl("missing:3"));
    QCOMPARE(Form(window.editor()).shownId(), "003");

    // Saved unchanged, an entry leaves the file as it was; changed, only its bytes change.
    // The form beside the list: saving moves on to a new entry, the saved one selected.
    EntryUI *editor = window.editor();
    window.editEntry();
    Form(editor).click("pb_Save");
    QCOMPARE(readBytes(path()), original);
    QCOMPARE(editor->editedEntry(), -1);
    QCOMPARE(window.selectedEntry(), 1);
    const Book::Span span = window.file().book().span(1);
    window.editEntry();
    QCOMPARE(window.findChild<QDockWidget *>("dock_Entry")->windowTitle(), "Entrée 001 — livre.xml");
    Form(editor).text("textEdit", "Un orque furieux.").choice("2", "Fuir").click("pb_Save");
    QCOMPARE(Form(editor).shownId(), "003");
    const QByteArray edited = readBytes(path());
    QVERIFY(edited.startsWith(original.left(span.begin)) && edited.endsWith(original.mid(span.end)));
    QVERIFY(edited.contains("<Text>Un orque furieux.</Text>"));

    // Each entry that leads here is named once, however many of its ways do.
    QStringList seen;
    window.selectEntry(2);
    script->message(&seen, QMessageBox::No).message(&seen, QMessageBox::Yes);
    window.deleteEntry();
    QCOMPARE(window.file().book().size(), 3);
    window.deleteEntry();
    QVERIFY2(seen.value(1).contains("2 entrées mènent ici : 000, 001."), qPrintable(seen.value(1)));
    const QByteArray deleted = readBytes(path());
    QCOMPARE(window.file().book().size(), 2);
    QVERIFY(xmllintAccepts(path()));
    // The entry that led there now leads nowhere, and the list says so.
    QCOMPARE(list->model()->index(0, BookListModel::Number).data().toString(), "000");
    QVERIFY(list->model()->index(0, BookListModel::Findings).data().toString().contains("absente"));

    for (const QByteArray &expected : {edited, original}) {
        window.undo();
        QCOMPARE(readBytes(path()), expected);
    }
    for (const QByteArray &expected : {edited, deleted}) {
        window.redo();
        QCOMPARE(readBytes(path()), expected);
    }

    QVERIFY(writeBytes(path(), QByteArray(original).replace("forêt", "clairière")));
    QTRY_VERIFY(preview->toPlainText().contains("clairière") || window.file().book().size() == 3);
    QCOMPARE(window.file().book().size(), 3);
    // What was done before another program's change is not undone over it.
    QVERIFY(!window.findChild<QAction *>("actionUndo")->isEnabled());
    QVERIFY(window.statusBar()->currentMessage().contains("ne peut plus être annulé"));
}

// A reader's walk with real dice: choices as buttons, every round shown,
// death said plainly, one step back, the seed shown.
void TestGui::playtest()
{
    BookReader reader;
    QVERIFY(reader.read(readBytes(fixture("play-fork.xml"))));
    PlayUI play(reader.book(), -1, 5);
    play.show();
    Form form(&play);
    QVERIFY(form.get<QLabel>("lbl_Sheet")->text().contains("Graine : 5"));
    QVERIFY(play.findChild<QTextBrowser *>("text_Entry")->toPlainText().contains("Deux portes"));
    form.click("pb_Choice0"); // the red door: the dragon
    for (int round = 0; round < 40 && play.findChild<QPushButton *>("pb_Round"); ++round)
        form.click("pb_Round");
    QCOMPARE(form.get<QLabel>("lbl_Status")->text(), "<b>Vous êtes mort.</b>");
    QVERIFY(play.findChild<QListWidget *>("list_Log")->count() > 3);
    form.click("pb_Back");
    QVERIFY(play.findChild<QPushButton *>("pb_Round"));
}

// Qt's own buttons speak French; a file that is no book is added to only
// when the author says so; "Nouveau spécial" starts a special entry; a free
// number can be typed; the main window says what was saved.
void TestGui::smallerPoints()
{
    QMessageBox box(QMessageBox::Question, "t", "q", QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.button(QMessageBox::Yes)->text(), "&Oui");

    QVERIFY(QFile::copy(fixture("monsters.xml"), path()));
    const QByteArray monsters = readBytes(path());
    bind(path());
    Form(dialog).text("textEdit", "T").choice("1", "a");
    QStringList seen;
    script->message(&seen, QMessageBox::No);
    Form(dialog).click("pb_Save");
    QVERIFY(seen.value(0).contains("Ce fichier ne ressemble pas à un livre"));
    QCOMPARE(readBytes(path()), monsters);

    QVERIFY(QFile::remove(path()) && QFile::copy(fixture("book-own.xml"), path()));
    MainWindow window;
    window.show();
    bool special = false;
    script->file(path()).then([&](QWidget *modal) {
        Form form(modal);
        special = form.get<QCheckBox>("ck_Special")->isChecked() && modal->focusWidget() == form.get<QLineEdit>("le_Special");
        for (const char *taken : {"1", "7"})
            script->then([taken](QWidget *ask) {
                qobject_cast<QInputDialog *>(ask)->setIntValue(QString(taken).toInt());
                qobject_cast<QDialog *>(ask)->accept();
            });
        form.click("pb_Number");
        QCOMPARE(form.get<QLabel>("lbl_Message")->text(), "Le numéro 001 est déjà pris par une autre entrée.");
        form.click("pb_Number");
        QCOMPARE(form.shownId(), "007");
        QVERIFY(modal->windowTitle().startsWith("Nouvelle entrée 007 — "));
        form.text("textEdit", "Une porte.").choice("0", "Retour").click("pb_Save");
    });
    Form(&window).click("pb_Special");
    QVERIFY(special);
    QCOMPARE(window.statusBar()->currentMessage(), "Entrée 007 enregistrée (4 entrées)");
}

// Printed, every entry comes in number order with its number and its text,
// its choices written out.
void TestGui::printedBook()
{
    BookReader reader;
    QVERIFY(reader.read(readBytes(fixture("check-flawed.xml"))));
    QFile pdf(path("livre.pdf"));
    QVERIFY(pdf.open(QIODevice::WriteOnly));
    PrintBook print(reader.book(), "La Tour");
    QVERIFY(print.writePdf(&pdf, PrintBook::Letter));
    pdf.close();
    QProcess text;
    text.start("pdftotext", {"-layout", pdf.fileName(), "-"});
    QVERIFY(text.waitForFinished(60000));
    // The PDF sets "fi" as one glyph; a reader reads the letters.
    const QString out = QString::fromUtf8(text.readAllStandardOutput()).replace(QChar(0xFB01), "fi").simplified();
    int at = out.indexOf("La Tour");
    QVERIFY2(at >= 0, qPrintable(out.left(300)));
    for (const char *expected : {"Règles", "Feuille d'aventure", "000", "Départ.", "Aller en 001.",
                                 "001", "Combat.", "Dragon", "002", "Une fin ?", "002", "Le même numéro, encore.", "005",
                                 "Personne ne vient ici."}) {
        const int next = out.indexOf(QString::fromUtf8(expected), at);
        QVERIFY2(next >= 0, expected);
        at = next;
    }
}

// Renumbered from the book window: one change of the book itself, the table
// beside it, undone to the exact bytes.
void TestGui::renumberInPlace()
{
    QVERIFY(QFile::copy(fixture("check-flawed.xml"), path()));
    const QByteArray before = readBytes(path());
    BookWindow window;
    QVERIFY(window.openBook(path()));
    script->then([](QWidget *modal) {
        Form(modal).get<QCheckBox>("ck_Shuffle")->setChecked(false);
        qobject_cast<QDialog *>(modal)->accept();
    });
    window.findChild<QAction *>("actionRenumber")->trigger();
    QCOMPARE(window.file().book().entry(4).id, "003"); // 005 closes the gap
    QVERIFY(readBytes(path("livre-renumerotation.csv")).contains("005;003"));
    window.undo();
    QCOMPARE(readBytes(path()), before);

    // A link in the table's place is not written through, and the author is told.
    QVERIFY(QFile::remove(path("livre-renumerotation.csv")));
    QVERIFY(writeBytes(path("autre.txt"), "précieux"));
    QVERIFY(QFile::link(path("autre.txt"), path("livre-renumerotation.csv")));
    QStringList seen;
    script->then([](QWidget *modal) { qobject_cast<QDialog *>(modal)->accept(); }).message(&seen);
    window.findChild<QAction *>("actionRenumber")->trigger();
    QVERIFY2(seen.value(0).contains("la table des numéros n'a pas pu être écrite"), qPrintable(seen.value(0)));
    QCOMPARE(readBytes(path("autre.txt")), QByteArray("précieux"));
    window.undo();
    QCOMPARE(readBytes(path()), before);
}

// "Tout remplacer" lists what it will change, changes it in one save, and
// one undo gives the book back to the byte.
void TestGui::replaceAllUndone()
{
    QVERIFY(QFile::copy(fixture("find-replace.xml"), path()));
    const QByteArray before = readBytes(path());
    BookWindow window;
    QVERIFY(window.openBook(path()));
    window.show();
    window.findChild<QAction *>("actionReplace")->trigger();
    auto *finder = window.findChild<FindReplaceUI *>();
    QVERIFY(finder && finder->isVisible());
    Form form(finder);
    form.text("le_Find", "EPEE").click("pb_FindAll");
    QCOMPARE(form.get<QTreeWidget>("tree_Matches")->topLevelItemCount(), 10);
    QCOMPARE(form.get<QLabel>("lbl_Count")->text(), "10 occurrences dans 3 entrées");
    form.text("le_Replace", "lame").click("pb_ReplaceAll");
    QVERIFY(readBytes(path()).contains("Prendre l'lame"));
    QVERIFY(!readBytes(path()).contains("pée"));
    QCOMPARE(form.get<QTreeWidget>("tree_Matches")->topLevelItemCount(), 0);
    QCOMPARE(window.document()->undoStack()->count(), 1);
    window.undo();
    QCOMPARE(readBytes(path()), before);
    form.click("pb_FindAll"); // the list follows the book
    QCOMPARE(form.get<QTreeWidget>("tree_Matches")->topLevelItemCount(), 10);
}

// The book window holds the whole menu, the program's file actions
// included, every shortcut once; Quitter leaves every window.
void TestGui::bookWindowMenus()
{
    QVERIFY(QFile::copy(fixture("book-own.xml"), path()));
    MainWindow window;
    window.show();
    QVERIFY(window.openBookWindow(path()));
    BookWindow *book = window.bookWindow();
    QStringList names, keys;
    const std::function<void(QMenu *)> walk = [&](QMenu *menu) {
        for (QAction *a : menu->actions()) {
            if (a->menu()) {
                walk(a->menu());
                continue;
            }
            names << a->objectName();
            if (!a->shortcut().isEmpty())
                keys << a->shortcut().toString();
        }
    };
    for (QAction *top : book->menuBar()->actions())
        walk(top->menu());
    for (const char *wanted : {"actionChooseBook", "actionHistory", "actionMonsters", "actionQuit", "actionClose",
                               "actionUndo", "actionFind", "actionReplace", "actionCheck", "actionMap", "actionRenumber"})
        QVERIFY2(names.contains(wanted), wanted);
    QCOMPARE(keys.size(), QSet<QString>(keys.begin(), keys.end()).size());
    window.findChild<QAction *>("actionQuit")->trigger();
    QVERIFY(!book->isVisible());
    QVERIFY(!window.isVisible());
}

// "Nouveau livre…" makes the file and the book's inner name from the title,
// begins its first entry under the number asked, and the book opens again
// at the next start.
void TestGui::newBookOpensAgain()
{
    const QString made = path("Le Manoir - des Ombres.xml");
    {
        MainWindow window;
        window.show();
        script->then([this](QWidget *modal) {
            Form(modal).text("le_Title", "Le Manoir : des Ombres").text("le_Author", "Jeanne  Martin")
                .text("le_Folder", dir->path()).number("sb_FirstNumber", 5);
            qobject_cast<QDialog *>(modal)->accept();
        });
        window.newBook();
        Form form(window.bookWindow()->editor());
        QCOMPARE(form.shownId(), "005");
        form.text("textEdit", "Au seuil du manoir.").choice("6", "Entrer").click("pb_Save");
        QVERIFY(readBytes(made).startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Le_Manoir_des_Ombres>\n"
                                           "\t<Attr id=\"005\">\n\t\t<Text>Au seuil du manoir.</Text>"));
        QVERIFY(readBytes(made).contains("<Choices active=\"1\">")); // a choice added ticks its section
        // The title and author as typed, kept beside the book.
        QCOMPARE(readBytes(made + ".titre"), QByteArray("titre=Le Manoir : des Ombres\nauteur=Jeanne Martin\n"));
    }
    // A second book of the same title is refused, the first left alone.
    const QByteArray first = readBytes(made);
    NewBookUI twice(dir->path());
    Form(&twice).text("le_Title", "Le Manoir : des Ombres");
    QVERIFY(!twice.create());
    QVERIFY(twice.errorString().startsWith("Un fichier « Le Manoir - des Ombres.xml » existe déjà"));
    QCOMPARE(readBytes(made), first);
    MainWindow again;
    QVERIFY(again.reopenLastBook());
    QCOMPARE(again.bookWindow()->document()->path(), made);
}

// A book named on the command line in bytes that are not UTF-8 is not
// taken for another, empty one.
void TestGui::nameThatIsNotUtf8()
{
    MainWindow window;
    QStringList seen;
    script->message(&seen);
    QVERIFY(!window.openBookArgument(QFile::encodeName(path("livre-")) + "\xE9.xml"));
    QVERIFY2(seen.value(0).contains("n'est pas écrit en UTF-8"), qPrintable(seen.value(0)));
    QCOMPARE(window.findChild<QLabel *>("lbl_Book")->text(), "Aucun livre choisi");
    QVERIFY(window.openBookArgument(QFile::encodeName(path("livre-é.xml"))));
    QVERIFY(window.findChild<QLabel *>("lbl_Book")->text().endsWith("livre-é.xml"));
}

// Every window changes a book through its one document: an entry added
// from the main window while the book window is open is no other
// program's change, undo takes both changes back to the exact bytes, a
// restored version is undone like any change, and a second book gets a
// window of its own that can write.
void TestGui::oneDocumentPerBook()
{
    QVERIFY(QFile::copy(fixture("book-own.xml"), path()));
    const QByteArray original = readBytes(path());
    MainWindow window;
    window.show();
    QVERIFY(window.openBookWindow(path()));
    BookWindow *books = window.bookWindow();
    auto *filtered = qobject_cast<QSortFilterProxyModel *>(books->findChild<QTableView *>("view_Entries")->model());
    QAbstractItemModelTester filterTester(filtered, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester listTester(filtered->sourceModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    auto *undo = books->findChild<QAction *>("actionUndo");
    books->selectEntry(1);
    QStringList seen;
    script->message(&seen, QMessageBox::Yes);
    books->deleteEntry();
    QCOMPARE(undo->text(), "Annuler : suppression de l'entrée 001");
    const QByteArray deleted = readBytes(path());
    script->then([](QWidget *modal) { Form(modal).text("textEdit", "Une fin.").click("pb_Save"); });
    script->message(&seen, QMessageBox::Yes); // an ending
    Form(&window).click("pb_Entry");
    QCOMPARE(books->file().book().size(), 3);
    QCOMPARE(undo->text(), "Annuler : ajout de l'entrée 003");
    QTest::qWait(300); // the watch on the file has spoken by now
    QVERIFY(!books->statusBar()->currentMessage().contains("autre programme"));
    books->undo();
    QCOMPARE(readBytes(path()), deleted);
    undo->trigger();
    QCOMPARE(readBytes(path()), original);
    QCOMPARE(books->file().book().size(), 3);
    books->redo();
    QCOMPARE(readBytes(path()), deleted);

    // A version restored from the history is undone like any change.
    script->then([](QWidget *modal) {
        auto *versions = modal->findChild<QTableWidget *>("table_Versions");
        versions->setCurrentCell(versions->rowCount() - 1, 0); // the oldest: the book as it came
        qobject_cast<QDialog *>(modal)->accept();
    });
    window.findChild<QAction *>("actionHistory")->trigger();
    QCOMPARE(readBytes(path()), original);
    QVERIFY(undo->text().startsWith("Annuler : version du "));
    books->undo();
    QCOMPARE(readBytes(path()), deleted);

    // Another book from the menu: its own window, writable.
    QVERIFY(QFile::copy(fixture("check-clean.xml"), path("autre.xml")));
    script->file(path("autre.xml"));
    window.findChild<QAction *>("actionChooseBook")->trigger();
    QCOMPARE(seen.size(), 2); // no question of a book open elsewhere
    BookWindow *other = window.bookWindow();
    QVERIFY(other && other != books && books->isVisible());
    QVERIFY(!other->file().isReadOnly());
    QVERIFY(other->findChild<QAction *>("actionNew")->isVisible());
    other->selectEntry(0);
    script->message(&seen, QMessageBox::Yes);
    other->deleteEntry();
    QCOMPARE(other->file().book().size(), readFixture("check-clean.xml").size() - 1);
    // The check list follows the book while it is open.
    QString said, saidAfter;
    script->then([&](QWidget *modal) {
        said = modal->findChild<QLabel *>("lbl_Summary")->text();
        books->document()->removeEntry(0);
        saidAfter = modal->findChild<QLabel *>("lbl_Summary")->text();
        qobject_cast<QDialog *>(modal)->reject();
    });
    books->checkBook();
    QVERIFY2(said.contains("les 2 entrées") && saidAfter.contains("la seule entrée"), qPrintable(said + saidAfter));

    // The menus shared by the windows act on the book in front.
    QCOMPARE(window.document(), other->document());
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(books, &activate);
    QCOMPARE(window.document(), books->document());
    QVERIFY(window.findChild<QLabel *>("lbl_Book")->text().endsWith(QDir::toNativeSeparators(path())));

    // Back to the first book: its window, never a claim against ourselves.
    QVERIFY(window.openBookWindow(path()));
    QCOMPARE(window.bookWindow(), books);
    QCOMPARE(seen.size(), 3);
    delete other;
    delete books;
}

// Typing where a flight leads makes it possible from the first round; a
// flight shown as the file holds it is left as it is.
void TestGui::flightRoundStartsAtOne()
{
    bind(path());
    Form form(dialog);
    auto *round = form.get<QSpinBox>("sb_FleeRound");
    QCOMPARE(round->text(), "jamais");
    QTest::keyClicks(form.get<QLineEdit>("le_FleeRef"), "12");
    QCOMPARE(round->value(), 1);
    round->setValue(3);
    QTest::keyClicks(form.get<QLineEdit>("le_FleeRef"), "3");
    QCOMPARE(round->value(), 3);

    QVERIFY(QFile::copy(fixture("renumber-keeps.xml"), path("main.xml")));
    EntryUI shown;
    shown.setDocument(BookDocument::of(path("main.xml")), 1);
    QCOMPARE(shown.findChild<QSpinBox *>("sb_FleeRound")->value(), 0);
}

QTEST_MAIN(TestGui)


// A section holding data while its box is unticked is said, and only then.
void TestGui::sectionNote_data()
{
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QString>("add");
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QString>("said");
    QTest::newRow("choice unticked") << "le_ChoiceValue=4;le_ChoiceText=Fuir" << "pb_ChoiceAdd" << "ck_Choice" << false << "Choix";
    QTest::newRow("fight unticked") << "le_MonsterName=Orque;sb_MonsterHabilete=6;sb_MonsterEndurance=5;le_MonsterVictory=3"
                                    << "pb_MonsterAdd" << "ck_Attack" << false << "Attaque";
    QTest::newRow("luck never ticked") << "le_LuckyValue=5;le_LuckyText=Ouf" << "" << "ck_Eat" << true << "Tentez votre chance";
    QTest::newRow("bonus ticked") << "sb_BonusChance=-1" << "" << "ck_Bonus" << true << "";
    QTest::newRow("flight without a reference") << "sb_FleeRound=2" << "" << "ck_Eat" << false << "";
    QTest::newRow("flight, active unticked") << "le_FleeRef=9;sb_FleeRound=1" << "" << "ck_FleeActive" << false << "Fuite";
}

void TestGui::sectionNote()
{
    QFETCH(QString, fields);
    QFETCH(QString, add);
    QFETCH(QString, box);
    QFETCH(bool, on);
    QFETCH(QString, said);
    bind(path());
    Form form(dialog);
    form.check("ck_Flee").check("ck_FleeActive").fill(fields);
    if (!add.isEmpty())
        form.click(qPrintable(add));
    form.check(qPrintable(box), on);
    auto *note = form.get<QLabel>("lbl_Sections");
    QCOMPARE(note->isVisibleTo(dialog), !said.isEmpty());
    if (!said.isEmpty())
        QVERIFY2(note->text().startsWith(QStringLiteral("Case décochée, section remplie (%1)").arg(said)), qPrintable(note->text()));
}

// The form beside the list keeps to its entry while the book changes under
// it, and an entry deleted meanwhile is written again rather than lost.
void TestGui::editorFollowsTheBook()
{
    QVERIFY(QFile::copy(fixture("book-own.xml"), path()));
    BookWindow window;
    QVERIFY(window.openBook(path()));
    window.show();
    EntryUI *editor = window.editor();
    BookDocument *doc = window.document();
    window.selectEntry(2);
    window.editEntry();
    Form(editor).text("textEdit", "Le pont s'effondre.");
    QVERIFY(doc->removeEntry(0));
    QCOMPARE(editor->editedEntry(), 1);
    Form(editor).click("pb_Save");
    QCOMPARE(doc->book().size(), 2);
    QCOMPARE(doc->book().entry(1).id, "002");
    QCOMPARE(doc->book().entry(1).text, "Le pont s'effondre.");

    window.selectEntry(1);
    window.editEntry();
    Form(editor).text("textEdit", "Le pont tient bon.");
    QVERIFY(doc->removeEntry(1));
    QCOMPARE(editor->editedEntry(), -1);
    QVERIFY(Form(editor).get<QLabel>("lbl_Message")->text().contains("L'entrée 002 n'est plus dans le livre"));
    QStringList seen;
    script->message(&seen, QMessageBox::No); // closing asks first, and stays open
    window.close();
    QVERIFY(window.isVisible());
    QCOMPARE(seen.size(), 1);
    script->message(&seen, QMessageBox::Yes); // an ending
    Form(editor).click("pb_Save");
    QCOMPARE(doc->book().size(), 2);
    QCOMPARE(doc->book().entry(1).id, "002");
    QCOMPARE(doc->book().entry(1).text, "Le pont tient bon.");
    window.close();
    QVERIFY(!window.isVisible());
}

// The map as a workspace: an arrow drawn to a box adds a choice, to empty
// space a new entry too, a missing entry's box writes it, a box moved stays
// where it is put when the book opens again; each change undone to the byte.
void TestGui::mapWorkspace()
{
    QVERIFY(QFile::copy(fixture("book-own.xml"), path()));
    const QByteArray original = readBytes(path());
    auto window = std::make_unique<BookWindow>();
    QVERIFY(window->openBook(path()));
    window->show();
    window->showMap();
    auto *map = window->findChild<BookMapUI *>();
    QVERIFY(map && map->isVisible());
    auto *view = map->findChild<QGraphicsView *>("view_Map");
    const auto layout = [&view]() -> const MapLayout & {
        for (QGraphicsItem *item : view->scene()->items())
            if (auto *drawn = dynamic_cast<MapItem *>(item))
                return drawn->layout();
        qFatal("no map");
    };
    const auto send = [&](QEvent::Type type, const QPointF &at, Qt::KeyboardModifiers keys) {
        map->findChild<QPushButton *>("pb_Fit")->click();
        QMouseEvent event(type, view->mapFromScene(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, keys);
        QApplication::sendEvent(view->viewport(), &event);
    };
    const auto drag = [&](const QPointF &from, const QPointF &to, Qt::KeyboardModifiers keys) {
        send(QEvent::MouseButtonPress, from, keys);
        send(QEvent::MouseMove, (from + to) / 2, keys);
        send(QEvent::MouseMove, to, keys);
        send(QEvent::MouseButtonRelease, to, keys);
        QTest::qWait(20); // the map follows the document
    };
    const auto centre = [&](int node) { return layout().nodes.at(node).box.center(); };
    BookDocument *doc = window->document();
    Form form(window->editor());

    script->prompt(QString());
    drag(centre(0), centre(2), Qt::ShiftModifier);
    QCOMPARE(readBytes(path()), original); // cancelled: no choice
    script->prompt("Descendre l'escalier");
    drag(centre(0), centre(2), Qt::ShiftModifier);
    QCOMPARE(doc->book().entry(0).choices.constLast().value, "002");
    QCOMPARE(doc->book().entry(0).choices.constLast().text, "Descendre l'escalier");
    window->undo();
    QCOMPARE(readBytes(path()), original);

    QStringList seen;
    script->prompt("Ouvrir la trappe");
    drag(centre(2), layout().bounds.bottomRight() + QPointF(12, 12), Qt::ShiftModifier);
    const QString fresh = form.shownId();
    QCOMPARE(doc->book().entry(2).choices.constLast().value, fresh);
    script->message(&seen, QMessageBox::Yes); // an ending
    form.text("textEdit", "Une trappe s'ouvre.").click("pb_Save");
    QCOMPARE(doc->book().entry(doc->book().indexOfNumber(fresh.toInt())).text, "Une trappe s'ouvre.");
    window->undo();
    window->undo();
    QCOMPARE(readBytes(path()), original);

    int missing = -1;
    for (int n = 0; n < layout().nodes.size(); ++n)
        if (layout().nodes.at(n).missing == 3)
            missing = n;
    QVERIFY(missing >= 0);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->mapFromScene(centre(missing)));
    QCOMPARE(form.shownId(), "003");
    script->message(&seen, QMessageBox::Yes);
    form.text("textEdit", "Le trésor.").click("pb_Save");
    QCOMPARE(doc->book().entry(doc->book().size() - 1).id, "003");
    window->undo();
    QCOMPARE(readBytes(path()), original);

    const QRectF before = layout().nodes.at(1).box;
    drag(before.center(), before.center() + QPointF(150, 80), {});
    const QRectF moved = layout().nodes.at(1).box;
    QVERIFY(QLineF(moved.topLeft(), before.topLeft() + QPointF(150, 80)).length() < 2 / map->zoom());
    window.reset();
    window = std::make_unique<BookWindow>();
    QVERIFY(window->openBook(path()));
    window->show();
    window->showMap();
    map = window->findChild<BookMapUI *>();
    view = map->findChild<QGraphicsView *>("view_Map");
    QVERIFY(QLineF(layout().nodes.at(1).box.topLeft(), moved.topLeft()).length() < 0.5);
    QCOMPARE(readBytes(path()), original);
}

// A Twine story imported from the menu opens as a book; the book goes out
// again as a story Orvandel reads back, and as an EPUB.
void TestGui::twineBothWays()
{
    MainWindow window;
    window.show();
    script->file(fixture("story-twine.twee")).file(path());
    window.findChild<QAction *>("actionImportTwee")->trigger();
    BookWindow *books = window.bookWindow();
    QVERIFY(books);
    const QByteArray made = readBytes(path());
    QVERIFY(xmllintAccepts(path()));
    const int entries = books->document()->book().size();
    QVERIFY(entries >= 4);
    // Never over a book that is there.
    QStringList seen;
    script->file(fixture("story-twine.twee")).file(path()).message(&seen);
    window.findChild<QAction *>("actionImportTwee")->trigger();
    QVERIFY2(seen.value(0).contains("existe déjà"), qPrintable(seen.value(0)));
    QCOMPARE(readBytes(path()), made);

    // Its faults are said before each export (the author goes on), its title
    // is the story's: nothing more is asked.
    const bool faulty = !BookCheck::faults(books->document()->book()).isEmpty();
    if (faulty)
        script->message(&seen, QMessageBox::Yes);
    script->file(path("histoire.twee"));
    books->findChild<QAction *>("actionTwee")->trigger();
    TweeReader again;
    QVERIFY2(again.read(readBytes(path("histoire.twee"))), qPrintable(again.errorString()));
    QCOMPARE(again.entries().size(), entries);
    if (faulty)
        script->message(&seen, QMessageBox::Yes);
    script->file(path("livre.epub"));
    books->findChild<QAction *>("actionEpub")->trigger();
    QVERIFY(!faulty || seen.constLast().endsWith("Exporter quand même ?"));
    QVERIFY(readBytes(path("livre.epub")).startsWith("PK\x03\x04"));
}

// Finding one's way on a large map: only the entries a few arrows away on
// demand, the corner view moved off the entry looked at, the first words of
// a box in its tool tip.
void TestGui::mapReading_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("steps");
    QTest::newRow("one step") << 40 << 1;
    QTest::newRow("three steps") << 40 << 3;
    QTest::newRow("further on") << 150 << 2;
}

void TestGui::mapReading()
{
    QFETCH(int, entry);
    QFETCH(int, steps);
    QVERIFY(writeBytes(path(), generateBook(300)));
    BookWindow window;
    QVERIFY(window.openBook(path()));
    window.resize(1000, 700);
    window.show();
    window.showMap();
    QTest::qWait(20); // laid out in its tab
    auto *map = window.findChild<BookMapUI *>();
    auto *view = map->findChild<QGraphicsView *>("view_Map");
    MapItem *item = nullptr;
    for (QGraphicsItem *drawn : view->scene()->items())
        item = item ? item : dynamic_cast<MapItem *>(drawn);
    QVERIFY(item);
    const MapLayout &layout = item->layout();
    // "Aller à l'entrée…" by its number: selected in the list and on the map.
    const int number = window.document()->book().number(entry);
    script->then([number](QWidget *ask) {
        qobject_cast<QInputDialog *>(ask)->setIntValue(number);
        qobject_cast<QDialog *>(ask)->accept();
    });
    window.findChild<QAction *>("actionGoTo")->trigger();
    QCOMPARE(window.selectedEntry(), entry);
    QCOMPARE(map->selectedEntry(), entry);

    // Within `steps` arrows, either way.
    QSet<int> near{entry};
    for (int k = 0; k < steps; ++k) {
        QSet<int> next = near;
        for (const MapLayout::Edge &edge : layout.edges) {
            if (near.contains(edge.from))
                next.insert(edge.to);
            if (near.contains(edge.to))
                next.insert(edge.from);
        }
        near = next;
    }
    Form(map).number("sb_Around", steps).check("ck_Around");
    QCOMPARE(item->shownCount(), near.size());
    Form(map).check("ck_Around", false);
    QCOMPARE(item->shownCount(), layout.nodes.size());

    // The entry looked at, brought under the corner view, pushes it aside.
    auto *overview = map->findChild<QWidget *>("map_Overview");
    map->zoomBy(2.0 / map->zoom());
    const QRectF box = layout.nodes.at(entry).box;
    const QSize room = view->viewport()->size();
    view->centerOn(box.center() - QPointF(room.width() / 2 - 60, room.height() / 2 - 40) / map->zoom());
    QCoreApplication::processEvents();
    QVERIFY(overview->isVisible());
    const QRect under = view->mapFromScene(box).boundingRect();
    QVERIFY2(under.right() > room.width() - 100 && under.bottom() > room.height() - 80, "the box is not in the corner");
    QVERIFY(!overview->geometry().intersects(under));
    QVERIFY2(overview->x() < room.width() / 2, qPrintable(QString("overview %1,%2 %3x%4; box %5,%6 %7x%8; room %9x%10").arg(overview->x()).arg(overview->y()).arg(overview->width()).arg(overview->height()).arg(under.x()).arg(under.y()).arg(under.width()).arg(under.height()).arg(room.width()).arg(room.height())));

    QHelpEvent tip(QEvent::ToolTip, view->mapFromScene(box.center()), view->viewport()->mapToGlobal(view->mapFromScene(box.center())));
    QApplication::sendEvent(view->viewport(), &tip);
    const Entry &shown = window.document()->book().entry(entry);
    QVERIFY2(QToolTip::text().startsWith(shown.id + " — " + shown.text.simplified().section(' ', 0, 3)), qPrintable(QToolTip::text()));
}

// Before an export the book's faults are said, and "No" stops there; the
// title and author are asked the first time only, and kept beside the book.
void TestGui::publishAsksOnce()
{
    QVERIFY(QFile::copy(fixture("book-own.xml"), path())); // leads to a missing 3
    BookWindow window;
    QVERIFY(window.openBook(path()));
    window.show();
    QStringList seen;
    script->message(&seen, QMessageBox::No);
    window.exportWeb();
    QVERIFY2(seen.value(0).contains("Exporter quand même ?"), qPrintable(seen.value(0)));
    QVERIFY(!QFile::exists(BookTitle::pathFor(path())));

    script->message(&seen, QMessageBox::Yes).then([](QWidget *modal) {
        Form(modal).text("le_BookTitle", "La Forêt d'Ombre").text("le_BookAuthor", "Anne Martin");
        qobject_cast<QDialog *>(modal)->accept();
    }).file(path("page.html"));
    window.exportWeb();
    QVERIFY(readBytes(path("page.html")).contains("<title>La Forêt d'Ombre</title>"));
    BookTitle kept;
    QVERIFY(kept.read(path()));
    QCOMPARE(kept.author, "Anne Martin");
    script->message(&seen, QMessageBox::Yes).file(path("livre.twee"));
    window.exportTwee();
    QVERIFY(readBytes(path("livre.twee")).contains(":: StoryTitle\nLa Forêt d'Ombre"));
}

#include "tst_gui.moc"
