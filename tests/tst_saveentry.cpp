// Binding the entry dialog to a book and saving into it, as the author does it.
#include "entry/entryui.h"
#include "testsupport.h"

#include <QDir>
#include <QTemporaryDir>

using namespace TestSupport;

class TestSaveEntry : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void numbering_data();
    void numbering();

    void refusedSilently_data();
    void refusedSilently();
    void firstSaveAsksRootNameOnce();
    void secondSaveFollowsOnTheSameLine();
    void bonusOnlyEntryIsX();
    void cellEditedInPlaceIsSaved();
    void rowIdsAfterRemovals();

    void cancelledRootNameAbandonsSave();
    void invalidRootNameAskedAgain_data();
    void invalidRootNameAskedAgain();
    void writeFailureKeepsDialogOpen_data();
    void writeFailureKeepsDialogOpen();
    void brokenBookNeverWritten();
    void foreignEncodingNeverWritten();
    void bookFromElsewhereKeepsItsBytes();
    void pastNineHundredNinetyNine();
    void changedUnderOurFeet();

private:
    QString book(const char *name = "livre.xml") const
    {
        return dir->filePath(QString::fromLatin1(name));
    }
    // A fresh dialog bound to `path`, shown as the main window shows it.
    EntryUI *open(const QString &path, Seen *seen = nullptr);
    void fillMinimalEntry(Form &form, const QString &text = QStringLiteral("Texte"));
    void lint(const QString &path);

    QTemporaryDir *dir = nullptr;
    EntryUI *dialog = nullptr;
    ModalScript *script = nullptr;
};

void TestSaveEntry::init()
{
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    script = new ModalScript;
}

void TestSaveEntry::cleanup()
{
    const QStringList unexpected = script->unexpected;
    const int pending = script->pending();
    delete script;
    script = nullptr;
    QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join(QLatin1Char(' '))));
    QCOMPARE(pending, 0);
    delete dialog;
    dialog = nullptr;
    delete dir;
    dir = nullptr;
}

EntryUI *TestSaveEntry::open(const QString &path, Seen *seen)
{
    delete dialog;
    dialog = new EntryUI;
    if (seen)
        answerMessage(*script, seen);
    dialog->setEntriesFile(path);
    dialog->show();
    return dialog;
}

void TestSaveEntry::fillMinimalEntry(Form &form, const QString &text)
{
    form.text("textEdit", text).choice(QStringLiteral("1"), QStringLiteral("Suite"));
}

void TestSaveEntry::lint(const QString &path)
{
    QString why;
    QVERIFY2(xmllintAccepts(path, &why), qPrintable(why));
}

static QByteArray ownBook(const QList<QByteArray> &ids)
{
    QByteArray text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Livre>\n";
    for (const QByteArray &id : ids)
        text += "\t<Attr id=\"" + id + "\">\n\t\t<Text>t</Text>\n\t\t<Type>X</Type>\n\t</Attr>";
    return text + "\n</Livre>";
}

void TestSaveEntry::numbering_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("message");

    QTest::newRow("missing file") << false << QByteArray() << "000" << false;
    QTest::newRow("empty file") << true << QByteArray() << "000" << false;
    QTest::newRow("line feed only") << true << QByteArray("\n") << "000" << false;
    QTest::newRow("CR LF only") << true << QByteArray("\r\n") << "000" << false;
    QTest::newRow("000 to 005") << true << ownBook({"000", "001", "002", "003", "004", "005"})
                                << "006" << false;
    QTest::newRow("CR LF book")
        << true << ownBook({"000", "001"}).replace("\n", "\r\n") << "002" << false;
    QTest::newRow("last decides, not greatest") << true << ownBook({"000", "041", "003"})
                                                << "004" << false;
    QTest::newRow("no id") << true
                           << QByteArray("<Livre><Attr id=\"005\"/><Attr/></Livre>") << "001"
                           << false;
    QTest::newRow("non-numeric id") << true
                                    << QByteArray("<Livre><Attr id=\"5\"/><Attr id=\"abc\"/></Livre>")
                                    << "001" << false;
    QTest::newRow("negative id") << true << QByteArray("<Livre><Attr id=\"-4\"/></Livre>")
                                 << "001" << false;
    QTest::newRow("comments and text skipped")
        << true << QByteArray("<Livre><Attr id=\"7\"/>text<!-- <Attr id=\"50\"/> --></Livre>")
        << "008" << false;
    QTest::newRow("any tag name") << true << QByteArray("<Livre><Other id=\"12\"/></Livre>")
                                  << "013" << false;
    QTest::newRow("not XML") << true << QByteArray("Il était une fois.\n") << "001" << true;
    QTest::newRow("998") << true << ownBook({"997", "998"}) << "999" << false;
    QTest::newRow("999") << true << ownBook({"998", "999"}) << "1000" << false;
    QTest::newRow("1000") << true << ownBook({"1000"}) << "1001" << false;
    QTest::newRow("largest int") << true << ownBook({"2147483647"}) << "2147483647" << false;
    QTest::newRow("past the largest int") << true << ownBook({"2147483648"}) << "001" << false;
}

void TestSaveEntry::numbering()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QFETCH(bool, message);
    if (exists)
        QVERIFY(writeBytes(book(), bytes));
    Seen seen;
    open(book(), message ? &seen : nullptr);
    QCOMPARE(Form(dialog).shownId(), shown);
    if (message) {
        QCOMPARE(seen.titles, QStringList{"getLastId - Erreur ouverture document XML"});
        QCOMPARE(seen.texts,
                 QStringList{"Le document XML n'a pas pu être attribué à l'objet QDomDocument."});
    }
    QCOMPARE(readBytes(book()), bytes); // binding never writes
    QCOMPARE(QFile::exists(book()), exists);
}

void TestSaveEntry::refusedSilently_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("what");
    QTest::newRow("empty text with a choice") << "" << "choice";
    QTest::newRow("objects only") << "T" << "object";
    QTest::newRow("flight without reference") << "T" << "round";
    QTest::newRow("lucky value without text") << "T" << "lucky";
    QTest::newRow("type boxes only") << "T" << "types";
}

void TestSaveEntry::refusedSilently()
{
    QFETCH(QString, text);
    QFETCH(QString, what);
    QVERIFY(writeBytes(book(), ownBook({"000"})));
    open(book());
    Form form(dialog);
    form.text("textEdit", text);
    if (what == QLatin1String("choice"))
        form.choice(QStringLiteral("1"), QStringLiteral("x"));
    if (what == QLatin1String("object"))
        form.text("le_ObjectText", QStringLiteral("Épée")).click("pb_ObjectAdd");
    if (what == QLatin1String("round"))
        form.number("sb_FleeRound", 2);
    if (what == QLatin1String("lucky"))
        form.text("le_LuckyValue", QStringLiteral("5"));
    if (what == QLatin1String("types"))
        form.check("ck_Choice").check("ck_Special").text("le_Special", QStringLiteral("9"));

    form.click("pb_Save");
    QTest::qWait(50); // a message box would show up here and be counted
    QVERIFY(dialog->isVisible());
    QCOMPARE(readBytes(book()), ownBook({"000"}));
    QCOMPARE(form.get<QTextEdit>("textEdit")->toPlainText(), text);
}

void TestSaveEntry::firstSaveAsksRootNameOnce()
{
    open(book());
    Form form(dialog);
    QCOMPARE(form.shownId(), QStringLiteral("000"));
    form.text("textEdit", QStringLiteral("Vous êtes à l'orée du bois."))
        .check("ck_Choice")
        .choice(QStringLiteral("12"), QStringLiteral("Entrer"));
    QStringList prompts;
    answerPrompt(*script, QStringLiteral("Aventure"), &prompts);
    form.click("pb_Save");

    QCOMPARE(prompts, QStringList{"Information complémentaire|Nom du noeud principal :"});
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QVERIFY(!dialog->isVisible());
    const QByteArray expected = QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n")
        + "<Aventure>\n" + "\t<Attr id=\"000\">\n"
        + "\t\t<Text>Vous êtes à l'orée du bois.</Text>\n" + "\t\t<Type>C</Type>\n"
        + "\t\t<Choices active=\"1\">" + "\t\t\t<Elem id=\"1\" Value=\"12\">Entrer</Elem>"
        + "\t\t</Choices>" + "\t</Attr>" + "\n</Aventure>";
    QCOMPARE(readBytes(book()), expected);
    lint(book());
}

void TestSaveEntry::secondSaveFollowsOnTheSameLine()
{
    const QByteArray first = ownBook({"000"});
    QVERIFY(writeBytes(book(), first));
    open(book());
    Form form(dialog);
    QCOMPARE(form.shownId(), QStringLiteral("001"));
    form.text("textEdit", QStringLiteral("Deux")).choice(QStringLiteral("3"), QStringLiteral("Aller"));
    form.click("pb_Save"); // no prompt: the book has its root already
    QCOMPARE(dialog->result(), int(QDialog::Accepted));

    QByteArray expected = first;
    expected.chop(QByteArray("\n</Livre>").size());
    expected += "\t<Attr id=\"001\">\n\t\t<Text>Deux</Text>\n\t\t<Type>X</Type>\n"
                "\t\t<Choices active=\"0\">\t\t\t<Elem id=\"1\" Value=\"3\">Aller</Elem>"
                "\t\t</Choices>\t</Attr>\n</Livre>";
    QCOMPARE(readBytes(book()), expected);
    lint(book());

    open(book());
    QCOMPARE(Form(dialog).shownId(), QStringLiteral("002"));
}

void TestSaveEntry::bonusOnlyEntryIsX()
{
    QVERIFY(writeBytes(book(), ownBook({"000"})));
    open(book());
    Form form(dialog);
    form.text("textEdit", QStringLiteral("Potion")).number("sb_BonusHabilete", 1);
    form.click("pb_Save");
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QVERIFY(readBytes(book()).endsWith(
        "\t<Attr id=\"001\">\n\t\t<Text>Potion</Text>\n\t\t<Type>X</Type>\n"
        "\t\t<Bonus active=\"0\">\n"
        "\t\t\t<Elem id=\"1\" Name=\"habilete\" Value=\"1\" />\n"
        "\t\t\t<Elem id=\"2\" Name=\"endurance\" Value=\"0\" />\n"
        "\t\t\t<Elem id=\"3\" Name=\"chance\" Value=\"0\" />\n"
        "\t\t</Bonus>\n\t</Attr>\n</Livre>"));
    lint(book());
}

void TestSaveEntry::cellEditedInPlaceIsSaved()
{
    QVERIFY(writeBytes(book(), ownBook({"000"})));
    open(book());
    Form form(dialog);
    form.text("textEdit", QStringLiteral("T")).monster(QStringLiteral("Orque"), 7, 12, QStringLiteral("45"));
    form.get<QTableWidget>("table_Monster")->item(0, 2)->setText(QStringLiteral("13 & plus"));
    form.click("pb_Save");
    QVERIFY(readBytes(book()).contains(
        "\t\t<Monster Type=\"U\">\n\t\t\t<Elem id=\"1\" Name=\"Orque\" habilete=\"7\" "
        "endurance=\"13 &amp; plus\" Value=\"45\" />\n\t\t</Monster>\n"));
    lint(book());
}

void TestSaveEntry::rowIdsAfterRemovals()
{
    QVERIFY(writeBytes(book(), ownBook({"000"})));
    open(book());
    Form form(dialog);
    form.text("textEdit", QStringLiteral("T"));
    for (const char *v : {"a", "b", "c", "d"})
        form.choice(QString::fromLatin1(v), QStringLiteral("t"));
    auto *table = form.get<QTableWidget>("table_Choice");
    table->setCurrentCell(0, 0);
    form.click("pb_ChoiceRemove");
    table->setCurrentCell(1, 0);
    form.click("pb_ChoiceRemove");
    form.click("pb_Save");
    QVERIFY(readBytes(book()).contains("\t\t<Choices active=\"0\">"
                                       "\t\t\t<Elem id=\"1\" Value=\"b\">t</Elem>"
                                       "\t\t\t<Elem id=\"2\" Value=\"d\">t</Elem>\t\t</Choices>"));
    lint(book());
}

void TestSaveEntry::cancelledRootNameAbandonsSave()
{
    open(book());
    Form form(dialog);
    fillMinimalEntry(form);
    answerPrompt(*script, QString());
    form.click("pb_Save");
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->result(), 0);
    QVERIFY(!QFile::exists(book()));
    QCOMPARE(form.get<QTextEdit>("textEdit")->toPlainText(), QStringLiteral("Texte"));
    QCOMPARE(form.get<QTableWidget>("table_Choice")->rowCount(), 1);
}

void TestSaveEntry::invalidRootNameAskedAgain_data()
{
    QTest::addColumn<QString>("bad");
    QTest::newRow("empty") << "";
    QTest::newRow("space") << "mon livre";
    QTest::newRow("leading digit") << "1er";
    QTest::newRow("less-than") << "a<b";
}

void TestSaveEntry::invalidRootNameAskedAgain()
{
    QFETCH(QString, bad);
    open(book());
    Form form(dialog);
    fillMinimalEntry(form);

    // Bad name, then the explanation, then the prompt again with a good name.
    QStringList prompts;
    Seen seen;
    answerPrompt(*script, bad, &prompts);
    answerMessage(*script, &seen);
    answerPrompt(*script, QStringLiteral("Livre"), &prompts);
    form.click("pb_Save");

    QCOMPARE(seen.titles.size(), 1);
    QVERIFY(seen.texts.first().contains(bad.isEmpty() ? QStringLiteral("vide") : bad));
    QCOMPARE(prompts.size(), 2);
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QVERIFY(readBytes(book()).startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Livre>\n"));
    lint(book());
}

void TestSaveEntry::writeFailureKeepsDialogOpen_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("missing folder") << "absent/livre.xml";
    QTest::newRow("folder in the file's place") << "dossier.xml";
}

void TestSaveEntry::writeFailureKeepsDialogOpen()
{
    QFETCH(QString, where);
    const QString path = dir->filePath(where);
    if (where == QLatin1String("dossier.xml"))
        QVERIFY(QDir(dir->path()).mkdir(where));
    open(path);
    Form form(dialog);
    fillMinimalEntry(form);
    answerPrompt(*script, QStringLiteral("Livre"));
    Seen seen;
    answerMessage(*script, &seen);
    form.click("pb_Save");

    QCOMPARE(seen.titles, QStringList{"saveEntry - Erreur écriture fichier XML"});
    QVERIFY2(seen.texts.first().contains(QDir::toNativeSeparators(path)),
             qPrintable(seen.texts.first()));
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->result(), 0);
    QCOMPARE(form.get<QTableWidget>("table_Choice")->rowCount(), 1);
    QVERIFY(QFileInfo(path).isDir() || !QFile::exists(path));
}

void TestSaveEntry::brokenBookNeverWritten()
{
    const QByteArray broken = "<Livre>\n\t<Attr id=\"000\"><Text>A & B</Text></Attr>\n</Livre>";
    QVERIFY(writeBytes(book(), broken));
    Seen seen;
    open(book(), &seen);
    QCOMPARE(seen.titles.size(), 1);
    Form form(dialog);
    fillMinimalEntry(form);
    answerMessage(*script, &seen);
    form.click("pb_Save");
    QCOMPARE(seen.titles.size(), 2);
    QCOMPARE(seen.titles.last(), QStringLiteral("saveEntry - Fichier illisible"));
    QVERIFY(seen.texts.last().contains(QStringLiteral("bien formé")));
    QVERIFY(dialog->isVisible());
    QCOMPARE(readBytes(book()), broken);
}

void TestSaveEntry::foreignEncodingNeverWritten()
{
    const QByteArray latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<Livre>\n"
                              "\t<Attr id=\"000\"><Text>For\xEAt</Text></Attr>\n</Livre>";
    QVERIFY(writeBytes(book(), latin1));
    open(book());
    Form form(dialog);
    QCOMPARE(form.shownId(), QStringLiteral("001"));
    fillMinimalEntry(form);
    Seen seen;
    answerMessage(*script, &seen);
    form.click("pb_Save");
    QCOMPARE(seen.titles, QStringList{"saveEntry - Fichier illisible"});
    QVERIFY2(seen.texts.first().contains(QStringLiteral("ISO-8859-1")), qPrintable(seen.texts.first()));
    QCOMPARE(readBytes(book()), latin1);
}

void TestSaveEntry::bookFromElsewhereKeepsItsBytes()
{
    const QByteArray head = "<?xml version=\"1.0\"?>\r\n<!-- fait à la main -->\r\n"
                            "<Livre auteur=\"moi\">\r\n\t<Attr id=\"000\"/>";
    const QByteArray tail = "\r\n</Livre>\r\n<!-- fin -->\r\n";
    QVERIFY(writeBytes(book(), head + tail));
    open(book());
    Form form(dialog);
    QCOMPARE(form.shownId(), QStringLiteral("001"));
    fillMinimalEntry(form, QStringLiteral("Un\ndeux"));
    form.click("pb_Save");
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    const QByteArray after = readBytes(book());
    QVERIFY(after.startsWith(head + "\t<Attr id=\"001\">\r\n\t\t<Text>Un\r\ndeux</Text>\r\n"));
    QVERIFY(after.endsWith("\t</Attr>" + tail));
    QVERIFY(!after.contains("\n\n"));
    lint(book());
    open(book());
    QCOMPARE(Form(dialog).shownId(), QStringLiteral("002"));
}

void TestSaveEntry::pastNineHundredNinetyNine()
{
    QVERIFY(writeBytes(book(), ownBook({"998", "999"})));
    open(book());
    Form form(dialog);
    QCOMPARE(form.shownId(), QStringLiteral("1000"));
    fillMinimalEntry(form);
    form.click("pb_Save");
    QVERIFY(readBytes(book()).contains("\t</Attr>\t<Attr id=\"1000\">\n"));
    lint(book());
    open(book());
    QCOMPARE(Form(dialog).shownId(), QStringLiteral("1001"));
}

void TestSaveEntry::changedUnderOurFeet()
{
    QVERIFY(writeBytes(book(), ownBook({"000"})));
    open(book());
    Form form(dialog);
    QCOMPARE(form.shownId(), QStringLiteral("001"));
    fillMinimalEntry(form, QStringLiteral("Le mien"));

    // Another program (or a second Orvandel) adds entry 001 meanwhile.
    const QByteArray theirs = ownBook({"000", "001"});
    QVERIFY(writeBytes(book(), theirs));
    Seen seen;
    answerMessage(*script, &seen);
    form.click("pb_Save");
    QCOMPARE(seen.titles, QStringList{"saveEntry - Fichier modifié"});
    QCOMPARE(readBytes(book()), theirs);
    QVERIFY(dialog->isVisible());
    QCOMPARE(form.shownId(), QStringLiteral("002"));
    QCOMPARE(form.get<QTextEdit>("textEdit")->toPlainText(), QStringLiteral("Le mien"));

    // Saving again now keeps both.
    form.click("pb_Save");
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    const QByteArray after = readBytes(book());
    QVERIFY(after.startsWith(theirs.left(theirs.size() - 9)));
    QVERIFY(after.contains("<Attr id=\"002\">\n\t\t<Text>Le mien</Text>"));
    lint(book());
}

QTEST_MAIN(TestSaveEntry)
#include "tst_saveentry.moc"
