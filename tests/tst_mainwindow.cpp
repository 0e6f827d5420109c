// The main window as a new author first sees it, and the road to the entry dialog.
#include "app/mainwindow.h"
#include "app/specialui.h"
#include "entry/entryui.h"
#include "testsupport.h"

#include <QAction>
#include <QFileDialog>
#include <QMenu>
#include <QTemporaryDir>

#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>

#include <functional>

using namespace TestSupport;

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void widgets_data();
    void widgets();
    void window();
    void slotsInOrder();
    void menuAndBookLabel();
    void entryDialogOpensAndCancels_data();
    void entryDialogOpensAndCancels();
    void cancelledBookQuestionOpensNothing();
    void secondOpeningStartsBlank();
    void wholeRoadFromTheMainWindow();
    void menuChangesTheBook();
    void specialButtonOpensNothing();
    void specialDialogIsEmpty();
};

static void answerBook(ModalScript &script, const QString &path, QStringList *captions = nullptr)
{
    answerFileDialog(script, path, captions);
}

static QPushButton *button(QWidget *root, const char *name)
{
    return root->findChild<QPushButton *>(QLatin1String(name));
}

void TestMainWindow::widgets_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::newRow("pb_Entry") << "QPushButton" << QRect(100, 140, 121, 41) << "Nouvelle entrée";
    QTest::newRow("pb_Special") << "QPushButton" << QRect(270, 140, 121, 41)
                                << "Nouveau spécial";
    QTest::newRow("label") << "QLabel" << QRect(60, 10, 381, 101) << "Orvandel";
    QTest::newRow("label_2") << "QLabel" << QRect(0, 0, 61, 51) << "logo";
}

void TestMainWindow::widgets()
{
    QFETCH(QString, className);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    MainWindow window;
    window.show();
    auto *widget = window.findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(widget);
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    QCOMPARE(widget->parentWidget()->objectName(), QStringLiteral("centralWidget"));
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(widget->property("text").toString(), text);
}

void TestMainWindow::window()
{
    MainWindow window;
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window.windowTitle(), QStringLiteral("MainWindow"));
    QCOMPARE(window.size(), QSize(490, 282));
    QCOMPARE(window.centralWidget()->objectName(), QStringLiteral("centralWidget"));

    auto *banner = window.findChild<QLabel *>(QStringLiteral("label"));
    QCOMPARE(banner->font().family(), QStringLiteral("Bookman Old Style"));
    QCOMPARE(banner->font().pointSize(), 32);
    QCOMPARE(banner->alignment(), Qt::AlignHCenter | Qt::AlignTop);
    QVERIFY(banner->wordWrap());
    QVERIFY(window.findChild<QLabel *>(QStringLiteral("label_2"))->pixmap(Qt::ReturnByValue).isNull());

    QCOMPARE(window.menuBar()->objectName(), QStringLiteral("menuBar"));
    QCOMPARE(window.menuBar()->geometry().width(), 490);
    auto *toolBar = window.findChild<QToolBar *>(QStringLiteral("mainToolBar"));
    QVERIFY(toolBar);
    QCOMPARE(window.toolBarArea(toolBar), Qt::TopToolBarArea);
    QVERIFY(toolBar->actions().isEmpty());
    QCOMPARE(window.statusBar()->objectName(), QStringLiteral("statusBar"));
}

void TestMainWindow::slotsInOrder()
{
    const QMetaObject &meta = MainWindow::staticMetaObject;
    QStringList names;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
        if (meta.method(i).methodType() == QMetaMethod::Slot)
            names << QString::fromLatin1(meta.method(i).methodSignature());
    QCOMPARE(names.mid(0, 4), (QStringList{"loadEntryUI()", "loadObjectUI()", "loadMonsterUI()",
                                            "loadSpecialUI()"}));
}

void TestMainWindow::menuAndBookLabel()
{
    MainWindow window;
    const QList<QMenu *> menus = window.menuBar()->findChildren<QMenu *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(menus.size(), 1);
    QCOMPARE(menus.first()->title(), QStringLiteral("Fichier"));
    QStringList entries;
    for (QAction *action : menus.first()->actions())
        if (!action->isSeparator())
            entries << action->text();
    QVERIFY(entries.contains(QStringLiteral("Choisir le livre…")));
    auto *label = window.statusBar()->findChild<QLabel *>(QStringLiteral("lbl_Book"));
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("Aucun livre choisi"));
}

void TestMainWindow::entryDialogOpensAndCancels_data()
{
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("Cancel") << false;
    QTest::newRow("Escape") << true;
}

void TestMainWindow::entryDialogOpensAndCancels()
{
    QFETCH(bool, byEscape);
    QTemporaryDir dir;
    const QString book = dir.filePath(QStringLiteral("livre.xml"));
    MainWindow window;
    window.show();
    ModalScript script;
    QStringList captions;
    QString seen;
    bool mainBlocked = false;
    answerBook(script, book, &captions);
    script.then([&](QWidget *modal) {
        seen = QString::fromLatin1(modal->metaObject()->className());
        // The main window takes no input while the entry dialog runs.
        mainBlocked = QApplication::activeModalWidget() == modal && !window.isActiveWindow();
        if (byEscape)
            QTest::keyClick(modal, Qt::Key_Escape);
        else
            button(modal, "pb_Cancel")->click();
    });
    button(&window, "pb_Entry")->click();
    QCOMPARE(captions, QStringList{"Fichier des entrées|Fichier XML (*.xml)"});
    QCOMPARE(seen, QStringLiteral("EntryUI"));
    QVERIFY(mainBlocked);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(window.bookPath(), book);
    QVERIFY(window.statusBar()->findChild<QLabel *>(QStringLiteral("lbl_Book"))->text().contains(
        QDir::toNativeSeparators(book)));
    QVERIFY(!QFile::exists(book)); // cancelling writes nothing
    QVERIFY(script.unexpected.isEmpty());
}

void TestMainWindow::cancelledBookQuestionOpensNothing()
{
    MainWindow window;
    window.show();
    ModalScript script;
    answerBook(script, QString());
    button(&window, "pb_Entry")->click();
    QTest::qWait(30);
    QVERIFY(script.unexpected.isEmpty()); // no entry dialog came up
    QCOMPARE(script.pending(), 0);
    QVERIFY(window.bookPath().isEmpty());
}

void TestMainWindow::secondOpeningStartsBlank()
{
    QTemporaryDir dir;
    MainWindow window;
    window.show();
    ModalScript script;
    answerBook(script, dir.filePath(QStringLiteral("livre.xml")));
    script.then([](QWidget *modal) {
        Form(modal).text("textEdit", QStringLiteral("x")).choice(QStringLiteral("1"), QStringLiteral("y"));
        button(modal, "pb_Cancel")->click();
    });
    button(&window, "pb_Entry")->click();

    QString text = QStringLiteral("unset");
    int rows = -1;
    script.then([&](QWidget *modal) {
        text = modal->findChild<QTextEdit *>(QStringLiteral("textEdit"))->toPlainText();
        rows = modal->findChild<QTableWidget *>(QStringLiteral("table_Choice"))->rowCount();
        button(modal, "pb_Cancel")->click();
    });
    button(&window, "pb_Entry")->click();
    QCOMPARE(text, QString());
    QCOMPARE(rows, 0);
    QVERIFY(script.unexpected.isEmpty());
}

void TestMainWindow::wholeRoadFromTheMainWindow()
{
    QTemporaryDir dir;
    const QString book = dir.filePath(QStringLiteral("aventure.xml"));
    MainWindow window;
    window.show();
    ModalScript script;
    QStringList shown;
    answerBook(script, book);
    script.then([&](QWidget *modal) {
        Form form(modal);
        shown << form.shownId();
        form.text("textEdit", QStringLiteral("Vous entrez dans la taverne."))
            .check("ck_Choice")
            .choice(QStringLiteral("1"), QStringLiteral("Parler à l'aubergiste"))
            .click("pb_Save");
    });
    answerPrompt(script, QStringLiteral("Aventure"));
    button(&window, "pb_Entry")->click();
    QVERIFY(QFile::exists(book));

    // The next entry: no book question, the following number.
    script.then([&](QWidget *modal) {
        Form form(modal);
        shown << form.shownId();
        form.text("textEdit", QStringLiteral("L'aubergiste sourit."))
            .monster(QStringLiteral("Ivrogne"), 5, 6, QStringLiteral("3"))
            .click("pb_Save");
    });
    button(&window, "pb_Entry")->click();
    script.then([&](QWidget *modal) {
        shown << Form(modal).shownId();
        button(modal, "pb_Cancel")->click();
    });
    button(&window, "pb_Entry")->click();

    QCOMPARE(shown, (QStringList{"000", "001", "002"}));
    QVERIFY(script.unexpected.isEmpty());
    QCOMPARE(script.pending(), 0);
    const QByteArray bytes = readBytes(book);
    QVERIFY(bytes.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Aventure>\n\t<Attr id=\"000\">"));
    QVERIFY(bytes.contains("\t</Attr>\t<Attr id=\"001\">\n\t\t<Text>L'aubergiste sourit.</Text>"));
    QVERIFY(bytes.endsWith("\t</Attr>\n</Aventure>"));
    QString why;
    QVERIFY2(xmllintAccepts(book, &why), qPrintable(why));
}

void TestMainWindow::menuChangesTheBook()
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("un.xml"));
    const QString second = dir.filePath(QStringLiteral("deux.xml"));
    QVERIFY(writeBytes(second, "<Livre><Attr id=\"041\"/></Livre>"));
    MainWindow window;
    window.show();
    ModalScript script;
    answerBook(script, first);
    window.findChild<QAction *>(QStringLiteral("actionChooseBook"))->trigger();
    QCOMPARE(window.bookPath(), first);
    answerBook(script, second);
    window.findChild<QAction *>(QStringLiteral("actionChooseBook"))->trigger();
    QCOMPARE(window.bookPath(), second);

    QString shown;
    script.then([&](QWidget *modal) {
        shown = Form(modal).shownId();
        button(modal, "pb_Cancel")->click();
    });
    button(&window, "pb_Entry")->click();
    QCOMPARE(shown, QStringLiteral("042"));
    QVERIFY(script.unexpected.isEmpty());
}

void TestMainWindow::specialButtonOpensNothing()
{
    MainWindow window;
    window.show();
    window.findChild<QPushButton *>(QStringLiteral("pb_Special"))->click();
    QVERIFY(!QApplication::activeModalWidget());
}

void TestMainWindow::specialDialogIsEmpty()
{
    SpecialUI special;
    QCOMPARE(special.objectName(), QStringLiteral("SpecialUI"));
    QCOMPARE(special.windowTitle(), QStringLiteral("Dialog"));
    QCOMPARE(special.size(), QSize(560, 411));
    QVERIFY(special.findChildren<QWidget *>().isEmpty());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
