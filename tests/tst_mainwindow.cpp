// The main window as a new author first sees it, and the road to the entry dialog.
#include "app/mainwindow.h"
#include "app/specialui.h"
#include "entry/entryui.h"

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

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void widgets_data();
    void widgets();
    void window();
    void slotsInOrder();
    void entryDialogOpensAndCancels_data();
    void entryDialogOpensAndCancels();
    void secondOpeningStartsBlank();
    void specialButtonOpensNothing();
    void specialDialogIsEmpty();
};

// Runs `answer` on the next modal dialog that shows up, once it is up.
static void whenModal(std::function<void(QWidget *)> answer)
{
    QTimer::singleShot(0, [answer]() {
        QWidget *modal = nullptr;
        for (int i = 0; i < 200 && !modal; ++i) {
            modal = QApplication::activeModalWidget();
            if (!modal)
                QTest::qWait(10);
        }
        answer(modal);
    });
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

void TestMainWindow::entryDialogOpensAndCancels_data()
{
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("Cancel") << false;
    QTest::newRow("Escape") << true;
}

void TestMainWindow::entryDialogOpensAndCancels()
{
    QFETCH(bool, byEscape);
    MainWindow window;
    window.show();
    QString seen;
    bool mainBlocked = false;
    whenModal([&](QWidget *modal) {
        seen = modal ? QString::fromLatin1(modal->metaObject()->className()) : QString();
        if (!modal)
            return;
        // The main window takes no input while the entry dialog runs.
        mainBlocked = !QApplication::activeModalWidget()->isAncestorOf(&window)
                      && QApplication::activeModalWidget() != &window;
        if (byEscape)
            QTest::keyClick(modal, Qt::Key_Escape);
        else
            modal->findChild<QPushButton *>(QStringLiteral("pb_Cancel"))->click();
    });
    window.findChild<QPushButton *>(QStringLiteral("pb_Entry"))->click();
    QCOMPARE(seen, QStringLiteral("EntryUI"));
    QVERIFY(mainBlocked);
    QVERIFY(!QApplication::activeModalWidget());
}

void TestMainWindow::secondOpeningStartsBlank()
{
    MainWindow window;
    window.show();
    whenModal([](QWidget *modal) {
        modal->findChild<QTextEdit *>(QStringLiteral("textEdit"))->setPlainText(QStringLiteral("x"));
        modal->findChild<QLineEdit *>(QStringLiteral("le_ChoiceValue"))->setText(QStringLiteral("1"));
        modal->findChild<QLineEdit *>(QStringLiteral("le_ChoiceText"))->setText(QStringLiteral("y"));
        modal->findChild<QPushButton *>(QStringLiteral("pb_ChoiceAdd"))->click();
        modal->findChild<QPushButton *>(QStringLiteral("pb_Cancel"))->click();
    });
    window.findChild<QPushButton *>(QStringLiteral("pb_Entry"))->click();

    QString text = QStringLiteral("unset");
    int rows = -1;
    whenModal([&](QWidget *modal) {
        text = modal->findChild<QTextEdit *>(QStringLiteral("textEdit"))->toPlainText();
        rows = modal->findChild<QTableWidget *>(QStringLiteral("table_Choice"))->rowCount();
        modal->findChild<QPushButton *>(QStringLiteral("pb_Cancel"))->click();
    });
    window.findChild<QPushButton *>(QStringLiteral("pb_Entry"))->click();
    QCOMPARE(text, QString());
    QCOMPARE(rows, 0);
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
