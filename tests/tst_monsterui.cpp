// The monster list dialog, driven as an author drives it.
#include "app/mainwindow.h"
#include "monsters/monsterfile.h"
#include "monsters/monsterui.h"
#include "testsupport.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QTemporaryDir>

using namespace TestSupport;

class TestMonsterUI : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void form();
    void returnInTheNameFieldConfirms();
    void missingFileReadsSilently_data();
    void missingFileReadsSilently();
    void existingFileShowsItsMonsters();
    void blankLinesGiveTheSecondMessage();
    void addRule_data();
    void addRule();
    void numbersMustBeTypedAgain();
    void removeTakesTheLastRow();
    void okRenumbersAndCancelLeavesTheFile();
    void writeFailureKeepsTheList();
    void noFileChosenAsksAtOk();
    void unreadableFileNeedsConfirmation();
    void reachedFromTheMainWindowMenu();

private:
    // Answers the file question of the dialog's constructor.
    void answerFile(const QString &path);
    // A new dialog on `path`; `readMessage` notes the message a bad file gives.
    MonsterUI *open(const QString &path, Seen *readMessage = nullptr);
    void clickOk() { dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click(); }
    QStringList row(int r) const;
    void add(const QString &name, const QString &habilete, const QString &endurance);

    QTemporaryDir *dir = nullptr;
    ModalScript *script = nullptr;
    MonsterUI *dialog = nullptr;
    QStringList captions; // of every file question asked
};

void TestMonsterUI::init()
{
    dir = new QTemporaryDir;
    script = new ModalScript;
}

void TestMonsterUI::cleanup()
{
    const QStringList unexpected = script->unexpected;
    const int pending = script->pending();
    for (const QString &caption : qAsConst(captions))
        QCOMPARE(caption, QStringLiteral("Fichier des monstres|Fichier XML (*.xml)"));
    captions.clear();
    delete dialog;
    dialog = nullptr;
    delete script;
    delete dir;
    QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join(QLatin1Char(' '))));
    QCOMPARE(pending, 0);
}

void TestMonsterUI::answerFile(const QString &path)
{
    const bool exists = !path.isNull() && QFileInfo::exists(path);
    answerFileDialog(*script, path, &captions, exists);
}

MonsterUI *TestMonsterUI::open(const QString &path, Seen *readMessage)
{
    answerFile(path);
    if (readMessage)
        answerMessage(*script, readMessage);
    delete dialog;
    dialog = new MonsterUI;
    dialog->show();
    QApplication::setActiveWindow(dialog);
    return dialog;
}

QStringList TestMonsterUI::row(int r) const
{
    auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    QStringList texts;
    for (int c = 0; c < table->columnCount(); ++c)
        texts << (table->item(r, c) ? table->item(r, c)->text() : QStringLiteral("<none>"));
    return texts;
}

void TestMonsterUI::add(const QString &name, const QString &habilete, const QString &endurance)
{
    Form form(dialog);
    form.text("le_Name", name);
    for (auto [box, text] : {std::pair<const char *, QString>{"sb_Habilete", habilete},
                             {"sb_Endurance", endurance}}) {
        auto *spin = form.get<QSpinBox>(box);
        spin->clear();
        QTest::keyClicks(spin, text);
    }
    form.click("pb_Add");
}

void TestMonsterUI::form()
{
    const QMetaObject &meta = MonsterUI::staticMetaObject;
    QStringList slotNames;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
        slotNames << QString::fromLatin1(meta.method(i).methodSignature());
    QCOMPARE(slotNames, (QStringList{"addMonsterToList()", "removeMonsterFromList()", "addToXML()",
                                     "on_buttonBox_accepted()"}));

    open(QString());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Dialog"));
    QCOMPARE(dialog->size(), QSize(628, 392));
    auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    QCOMPARE(table->geometry(), QRect(110, 10, 511, 211));
    QCOMPARE(table->columnCount(), 3);
    QCOMPARE(table->horizontalHeaderItem(1)->text(), QStringLiteral("Habileté"));
    QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(!table->verticalHeader()->isVisible());
    QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
    Form f(dialog);
    QCOMPARE(f.get<QPushButton>("pb_Add")->text(), QStringLiteral("Ajouter"));
    QCOMPARE(f.get<QPushButton>("pb_Remove")->text(), QStringLiteral("Suppr dernier"));
    QCOMPARE(f.get<QPushButton>("pb_Add")->focusPolicy(), Qt::NoFocus);
    QCOMPARE(f.get<QLabel>("label")->text(), QStringLiteral("Liste des monstres"));
}

void TestMonsterUI::returnInTheNameFieldConfirms()
{
    // The two push buttons take no focus and are not auto-default, so OK
    // stays the default button: Return writes the list and closes.
    const QString path = dir->filePath(QStringLiteral("monstres.xml"));
    open(path);
    add(QStringLiteral("Orque"), QStringLiteral("7"), QStringLiteral("12"));
    auto *name = Form(dialog).get<QLineEdit>("le_Name");
    name->setFocus();
    QTest::keyClick(name, Qt::Key_Return);
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(readBytes(path), MonsterFile::write({{"Orque", "7", "12"}}));
}

void TestMonsterUI::missingFileReadsSilently_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("missing") << false << QByteArray();
    QTest::newRow("empty") << true << QByteArray();
    QTest::newRow("LF") << true << QByteArray("\n");
    QTest::newRow("CR LF") << true << QByteArray("\r\n");
}

void TestMonsterUI::missingFileReadsSilently()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, bytes);
    const QString path = dir->filePath(QStringLiteral("monstres.xml"));
    if (exists)
        QVERIFY(writeBytes(path, bytes));
    open(path);
    QCOMPARE(dialog->findChild<QTableWidget *>()->rowCount(), 0);
    clickOk();
    QCOMPARE(readBytes(path), MonsterFile::write({}));
}

void TestMonsterUI::existingFileShowsItsMonsters()
{
    const QString path = dir->filePath(QStringLiteral("monstres.xml"));
    QVERIFY(writeBytes(path, MonsterFile::write({{"Orque", "7", "12"}, {"Gobelin", "5", "4"},
                                                 {"Dragon", "15", "30"}})));
    open(path);
    auto *table = dialog->findChild<QTableWidget *>();
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(row(0), (QStringList{"Orque", "7", "12"}));
    QCOMPARE(row(2), (QStringList{"Dragon", "15", "30"}));
    QCOMPARE(table->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(table->selectionModel()->selectedRows().first().row(), 2);
}

void TestMonsterUI::blankLinesGiveTheSecondMessage()
{
    const QString path = dir->filePath(QStringLiteral("monstres.xml"));
    QVERIFY(writeBytes(path, "\n\n  \n"));
    Seen seen;
    open(path, &seen);
    QCOMPARE(seen.titles, QStringList{"loadFile - Erreur ouverture document XML"});
    QCOMPARE(seen.texts,
             QStringList{"Le document XML n'a pas pu être attribué à l'objet QDomDocument."});
    QCOMPARE(dialog->findChild<QTableWidget *>()->rowCount(), 0);
}

void TestMonsterUI::addRule_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("habilete");
    QTest::addColumn<QString>("endurance");
    QTest::addColumn<bool>("added");
    QTest::newRow("complete") << "Orque" << "7" << "12" << true;
    QTest::newRow("spaces only name") << "   " << "1" << "1" << true;
    QTest::newRow("no name") << "" << "7" << "12" << false;
    QTest::newRow("habilete 0") << "Orque" << "0" << "12" << false;
    QTest::newRow("endurance 0") << "Orque" << "7" << "0" << false;
    QTest::newRow("habilete not typed") << "Orque" << "" << "12" << false;
}

void TestMonsterUI::addRule()
{
    QFETCH(QString, name);
    QFETCH(QString, habilete);
    QFETCH(QString, endurance);
    QFETCH(bool, added);
    open(QString());
    add(name, habilete, endurance);
    Form f(dialog);
    QCOMPARE(dialog->findChild<QTableWidget *>()->rowCount(), added ? 1 : 0);
    if (added) {
        QCOMPARE(row(0), (QStringList{name, habilete, endurance}));
        QVERIFY(f.get<QLineEdit>("le_Name")->text().isEmpty());
        QVERIFY(f.get<QSpinBox>("sb_Habilete")->text().isEmpty());
        QVERIFY(f.get<QSpinBox>("sb_Endurance")->text().isEmpty());
    } else {
        QCOMPARE(f.get<QLineEdit>("le_Name")->text(), name);
        QCOMPARE(f.get<QSpinBox>("sb_Endurance")->text(), endurance);
    }
    QVERIFY(f.get<QLineEdit>("le_Name")->hasFocus());
}

void TestMonsterUI::numbersMustBeTypedAgain()
{
    open(QString());
    add(QStringLiteral("Orque"), QStringLiteral("7"), QStringLiteral("12"));
    Form f(dialog);
    f.text("le_Name", QStringLiteral("Orque bis")).click("pb_Add");
    QCOMPARE(dialog->findChild<QTableWidget *>()->rowCount(), 1);
    add(QStringLiteral("Orque bis"), QStringLiteral("7"), QStringLiteral("12"));
    QCOMPARE(dialog->findChild<QTableWidget *>()->rowCount(), 2);
    QCOMPARE(row(1), (QStringList{"Orque bis", "7", "12"}));
}

void TestMonsterUI::removeTakesTheLastRow()
{
    open(QString());
    Form f(dialog);
    f.click("pb_Remove");
    auto *table = dialog->findChild<QTableWidget *>();
    QCOMPARE(table->rowCount(), 0);
    for (const char *n : {"A", "B", "C", "D"})
        add(QString::fromLatin1(n), QStringLiteral("1"), QStringLiteral("1"));
    table->selectRow(1);
    f.click("pb_Remove");
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(row(2).first(), QStringLiteral("C"));
    for (int i = 0; i < 5; ++i)
        f.click("pb_Remove");
    QCOMPARE(table->rowCount(), 0);
    add(QStringLiteral("E"), QStringLiteral("2"), QStringLiteral("3"));
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(row(0), (QStringList{"E", "2", "3"}));
}

void TestMonsterUI::okRenumbersAndCancelLeavesTheFile()
{
    const QString path = dir->filePath(QStringLiteral("monstres.xml"));
    const QByteArray original = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<Monsters>\n"
                                "\t<Elem id=\"7\" Name=\"A\" Habilete=\"1\" Endurance=\"1\"/>\n"
                                "\t<Elem id=\"3\" Name=\"B\" Habilete=\"2\" Endurance=\"2\"/>\n"
                                "\t<Elem id=\"3\" Name=\"C\" Habilete=\"3\" Endurance=\"3\"/>\n"
                                "</Monsters>";
    QVERIFY(writeBytes(path, original));
    open(path);
    add(QStringLiteral("Démon"), QStringLiteral("9"), QStringLiteral("9"));
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->click();
    QCOMPARE(readBytes(path), original);

    open(path);
    clickOk();
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QByteArray renumbered = original;
    renumbered.replace("id=\"7\"", "id=\"0\"").replace("id=\"3\" Name=\"B\"", "id=\"1\" Name=\"B\"");
    renumbered.replace("id=\"3\" Name=\"C\"", "id=\"2\" Name=\"C\"");
    QCOMPARE(readBytes(path), renumbered);
    QString why;
    QVERIFY2(xmllintAccepts(path, &why), qPrintable(why));
}

void TestMonsterUI::writeFailureKeepsTheList()
{
    QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("sous")));
    const QString path = dir->filePath(QStringLiteral("sous/monstres.xml"));
    open(path);
    add(QStringLiteral("Orque"), QStringLiteral("7"), QStringLiteral("12"));
    QVERIFY(QDir(dir->filePath(QStringLiteral("sous"))).removeRecursively());
    Seen seen;
    answerMessage(*script, &seen);
    clickOk();
    QCOMPARE(seen.titles, QStringList{"addToXML - Erreur écriture fichier XML"});
    QVERIFY(seen.texts.first().contains(QDir::toNativeSeparators(path)));
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->findChild<QTableWidget *>()->rowCount(), 1);
}

void TestMonsterUI::noFileChosenAsksAtOk()
{
    open(QString());
    add(QStringLiteral("Orque"), QStringLiteral("7"), QStringLiteral("12"));
    answerFile(QString());
    clickOk();
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->findChild<QTableWidget *>()->rowCount(), 1);

    const QString path = dir->filePath(QStringLiteral("nouveau.xml"));
    answerFile(path);
    clickOk();
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(readBytes(path), MonsterFile::write({{"Orque", "7", "12"}}));
    QString why;
    QVERIFY2(xmllintAccepts(path, &why), qPrintable(why));
}

void TestMonsterUI::unreadableFileNeedsConfirmation()
{
    const QString path = dir->filePath(QStringLiteral("monstres.xml"));
    const QByteArray broken = "<Monsters><Elem Name=\"A\"";
    QVERIFY(writeBytes(path, broken));
    Seen seen;
    open(path, &seen);
    QCOMPARE(seen.titles.size(), 1);
    add(QStringLiteral("Orque"), QStringLiteral("7"), QStringLiteral("12"));

    bool defaultIsNo = false;
    script->then([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        defaultIsNo = box->defaultButton() == box->button(QMessageBox::No);
        box->button(QMessageBox::No)->click();
    });
    clickOk();
    QVERIFY(defaultIsNo);
    QVERIFY(dialog->isVisible());
    QCOMPARE(readBytes(path), broken);

    script->then([](QWidget *modal) {
        qobject_cast<QMessageBox *>(modal)->button(QMessageBox::Yes)->click();
    });
    clickOk();
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(readBytes(path), MonsterFile::write({{"Orque", "7", "12"}}));
}

void TestMonsterUI::reachedFromTheMainWindowMenu()
{
    MainWindow window;
    window.show();
    auto *action = window.findChild<QAction *>(QStringLiteral("actionMonsters"));
    QVERIFY(action);
    QCOMPARE(action->text(), QStringLiteral("Liste des monstres…"));
    QVERIFY(!action->shortcut().isEmpty());
    answerFile(QString());
    QString seen;
    script->then([&](QWidget *modal) {
        seen = QString::fromLatin1(modal->metaObject()->className());
        qobject_cast<QDialog *>(modal)->reject();
    });
    action->trigger();
    QCOMPARE(seen, QStringLiteral("MonsterUI"));
}

QTEST_MAIN(TestMonsterUI)
#include "tst_monsterui.moc"
