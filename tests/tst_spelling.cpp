// Spelling while writing an entry: misspelt words underlined in the form's
// prose fields, replaced by a suggestion, added to the book's own words
// (its ".mots" file) or ignored.
#include "document/bookdocument.h"
#include "entry/entryui.h"
#include "entry/spelling.h"
#include "monsters/monsterui.h"
#include "spelling/dictionary.h"
#include "spelling/spellchecker.h"
#include "support.h"

#include <QMenu>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextLayout>

#include <memory>

using namespace Support;

namespace {

bool isRed(QRgb c)
{
    return qRed(c) > 160 && qGreen(c) < 100 && qBlue(c) < 100;
}

// The words a field shows as misspelt: in the text edit those its formats
// underline, in a line edit those under which red is drawn.
QStringList underlined(QWidget *field)
{
    QCoreApplication::processEvents();
    QStringList words;
    if (auto *edit = qobject_cast<QTextEdit *>(field)) {
        for (QTextBlock b = edit->document()->begin(); b.isValid(); b = b.next())
            for (const QTextLayout::FormatRange &r : b.layout()->formats())
                if (r.format.underlineStyle() == QTextCharFormat::SpellCheckUnderline)
                    words << b.text().mid(r.start, r.length);
        return words;
    }
    // Wide enough for its whole text, so that it does not scroll; its
    // cursor stays where it is.
    auto *line = qobject_cast<QLineEdit *>(field);
    line->setFixedWidth(line->fontMetrics().horizontalAdvance(line->text()) + 40);
    QCoreApplication::processEvents();
    const QImage image = line->grab().toImage();
    const QString text = line->text();
    const int left = line->inputMethodQuery(Qt::ImCursorRectangle).toRect().x()
        - line->fontMetrics().horizontalAdvance(text.left(line->cursorPosition()));
    auto x = [&](int at) { return left + line->fontMetrics().horizontalAdvance(text.left(at)); };
    for (const SpellChecker::Span &span : SpellChecker::words(text)) {
        bool red = false;
        const int from = qMax(0, x(span.start)), to = qMin(image.width(), x(span.end()));
        for (int px = from; px < to && !red; ++px)
            for (int py = 0; py < image.height() && !red; ++py)
                red = isRed(image.pixel(px, py));
        if (red)
            words << text.mid(span.start, span.length);
    }
    return words;
}

// The menu a right-click on `word` in `field` opens.
QMenu *menuOn(QWidget *form, QWidget *field, const QString &word)
{
    QPoint at;
    if (auto *edit = qobject_cast<QTextEdit *>(field)) {
        QTextCursor cursor(edit->document());
        cursor.setPosition(edit->toPlainText().indexOf(word) + 1);
        at = edit->cursorRect(cursor).center();
    } else {
        auto *line = qobject_cast<QLineEdit *>(field);
        line->setCursorPosition(line->text().indexOf(word) + 1);
        at = line->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
    }
    return form->findChild<Spelling *>()->contextMenu(field, at);
}

QAction *action(QMenu *menu, const QString &text)
{
    for (QAction *a : menu->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

} // namespace

class TestSpelling : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void underlines_data();
    void underlines();
    void suggestionReplaces_data();
    void suggestionReplaces();
    void wordBeingTyped_data();
    void wordBeingTyped();
    void bookWords();
    void readOnlyBookKeepsNoWords();
    void withoutDictionary();
    void cells_data();
    void cells();

private:
    std::unique_ptr<EntryUI> open(const QString &name, bool readOnly = false)
    {
        auto form = std::make_unique<EntryUI>();
        form->setDocument(BookDocument::of(dir.filePath(name)));
        form->setReadOnly(readOnly);
        form->show();
        return form;
    }
    QWidget *field(EntryUI *form, const QString &name) { return form->findChild<QWidget *>(name); }

    QTemporaryDir dir;
};

void TestSpelling::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName("OrvandelTests");
    if (!Dictionary::french().isAvailable())
        QSKIP("no French hunspell dictionary on this machine (hunspell-fr)");
}

void TestSpelling::underlines_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("misspelt");
    QTest::newRow("texte, une faute") << "textEdit" << "Le chevalié entre dans la salle." << QStringList{"chevalié"};
    QTest::newRow("texte, élisions et traits d'union")
        << "textEdit" << "Il saisit l'épée ; peut-être aujourd'hui, dit-il." << QStringList{};
    QTest::newRow("texte, apostrophes typographiques") << "textEdit" << "Aujourd’hui, l’épée brille." << QStringList{};
    QTest::newRow("texte, paragraphes") << "textEdit" << "Tout va bien.\nLa forêtt est sombre.\nFuyez au 12e."
                                        << QStringList{"forêtt"};
    QTest::newRow("choix") << "le_ChoiceText" << "Ouvrir la portte" << QStringList{"portte"};
    QTest::newRow("choix, juste") << "le_ChoiceText" << "Prendre l'épée, peut-être aujourd'hui" << QStringList{};
    QTest::newRow("objet") << "le_ObjectText" << "Une potion de guérisson" << QStringList{"guérisson"};
    QTest::newRow("chance") << "le_UnluckyText" << "Vous échapez au piège" << QStringList{"échapez"};
    QTest::newRow("monstre") << "le_MonsterName" << "Orque des cavernnes" << QStringList{"cavernnes"};
    QTest::newRow("nombre, jamais") << "le_ChoiceValue" << "portte" << QStringList{};
}

void TestSpelling::underlines()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QStringList, misspelt);
    auto form = open("livre.xml");
    Form(form.get()).text(qPrintable(field), text);
    QCOMPARE(underlined(this->field(form.get(), field)), misspelt);
}

void TestSpelling::suggestionReplaces_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("suggestion");
    QTest::addColumn<QString>("result");
    QTest::newRow("texte") << "textEdit" << "Tout va bien.\nLa forêtt est sombre." << "forêtt" << "forêt"
                           << "Tout va bien.\nLa forêt est sombre.";
    QTest::newRow("choix") << "le_ChoiceText" << "Ouvrir la portte du donjon" << "portte" << "porte"
                           << "Ouvrir la porte du donjon";
}

void TestSpelling::suggestionReplaces()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, word);
    QFETCH(QString, suggestion);
    QFETCH(QString, result);
    auto form = open("livre.xml");
    Form(form.get()).text(qPrintable(field), text);
    QWidget *edit = this->field(form.get(), field);
    std::unique_ptr<QMenu> menu(menuOn(form.get(), edit, word));
    QAction *replace = action(menu.get(), suggestion);
    QVERIFY(replace);
    replace->trigger();
    auto *line = qobject_cast<QLineEdit *>(edit);
    QCOMPARE(line ? line->text() : qobject_cast<QTextEdit *>(edit)->toPlainText(), result);
    QCOMPARE(underlined(edit), QStringList{});
}

void TestSpelling::wordBeingTyped_data()
{
    QTest::addColumn<QString>("field");
    QTest::newRow("texte") << "textEdit";
    QTest::newRow("choix") << "le_ChoiceText";
}

// The word under the cursor is left alone while it is typed, and
// underlined once the cursor leaves it.
void TestSpelling::wordBeingTyped()
{
    QFETCH(QString, field);
    auto form = open("livre.xml");
    QApplication::setActiveWindow(form.get());
    QWidget *edit = this->field(form.get(), field);
    edit->setFocus();
    QTest::keyClicks(edit, "Le dragonn");
    QCOMPARE(underlined(edit), QStringList{});
    QTest::keyClick(edit, Qt::Key_Home);
    QCOMPARE(underlined(edit), QStringList{"dragonn"});
}

// A word added is the book's: written beside it, accepted in every field
// and read again with the book; another book does not know it.
void TestSpelling::bookWords()
{
    auto form = open("livre.xml");
    QWidget *text = field(form.get(), "textEdit");
    Form(form.get()).text("textEdit", "Valdrak, le fils d'Ombrelac, salue Skrall.");
    Form(form.get()).text("le_ChoiceText", "Suivre Valdrak");
    QCOMPARE(underlined(text), (QStringList{"Valdrak", "d'Ombrelac", "Skrall"}));
    BookDocument::of(dir.filePath("livre.xml"))->setMonsterNames({"Skrall le Fourbe"}, true);
    QCOMPARE(underlined(text), (QStringList{"Valdrak", "d'Ombrelac"}));

    for (const char *word : {"Valdrak", "d'Ombrelac"}) {
        std::unique_ptr<QMenu> menu(menuOn(form.get(), text, word));
        QVERIFY(action(menu.get(), "Ajouter au dictionnaire"));
        action(menu.get(), "Ajouter au dictionnaire")->trigger();
    }
    QCOMPARE(underlined(text), QStringList{});
    QCOMPARE(underlined(field(form.get(), "le_ChoiceText")), QStringList{});
    QCOMPARE(readBytes(dir.filePath("livre.xml.mots")), QByteArray("Ombrelac\nValdrak\n"));

    SpellChecker again(&Dictionary::french());
    QVERIFY(again.setBook(dir.filePath("livre.xml")));
    for (const char *word : {"Valdrak", "VALDRAK", "d'Ombrelac", "d’Ombrelac", "Valdrak-le-Grand"})
        QVERIFY2(again.isCorrect(word), word);
    QVERIFY(!again.isCorrect("valdrak"));

    auto other = open("autre.xml");
    QWidget *otherText = field(other.get(), "textEdit");
    Form(other.get()).text("textEdit", "Valdrak arrive.");
    QCOMPARE(underlined(otherText), QStringList{"Valdrak"});
    std::unique_ptr<QMenu> menu(menuOn(other.get(), otherText, "Valdrak"));
    action(menu.get(), "Ignorer")->trigger();
    QCOMPARE(underlined(otherText), QStringList{});
    QVERIFY(!QFile::exists(dir.filePath("autre.xml.mots")));
}

void TestSpelling::readOnlyBookKeepsNoWords()
{
    auto form = open("lecture.xml", true);
    QWidget *text = field(form.get(), "textEdit");
    Form(form.get()).text("textEdit", "Valdrak arrive.");
    QCOMPARE(underlined(text), QStringList{"Valdrak"});
    std::unique_ptr<QMenu> menu(menuOn(form.get(), text, "Valdrak"));
    QVERIFY(!action(menu.get(), "Ajouter au dictionnaire")->isEnabled());
    QVERIFY(!BookDocument::of(dir.filePath("lecture.xml"))->spelling()->addWord("Valdrak"));
    QVERIFY(!QFile::exists(dir.filePath("lecture.xml.mots")));
}

// Without its dictionary the form works as before, and says so once.
void TestSpelling::withoutDictionary()
{
    Dictionary none({dir.filePath("aucun")});
    QVERIFY(!none.isAvailable());
    SpellChecker checker(&none);
    EntryUI form;
    form.show();
    Spelling::attach(&form, &checker);
    Form(&form).text("textEdit", "Le chevalié").text("le_ChoiceText", "Ouvrir la portte");
    QCOMPARE(underlined(field(&form, "textEdit")), QStringList{});
    QCOMPARE(underlined(field(&form, "le_ChoiceText")), QStringList{});
    std::unique_ptr<QMenu> menu(menuOn(&form, field(&form, "textEdit"), "chevalié"));
    QVERIFY(!action(menu.get(), "Ajouter au dictionnaire"));
    QTRY_VERIFY(form.findChild<QLabel *>("lbl_Message")->text().contains("dictionnaire français introuvable"));
}

QTEST_MAIN(TestSpelling)
#include "tst_spelling.moc"

// Table cells of prose are checked as the fields are: underlined where they
// are shown, and in the editor that opens on them; so is a monster's name
// in the book's monster list.
void TestSpelling::cells_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("misspelt");
    QTest::newRow("choix") << "entrée" << "table_Choice" << 1 << "Ouvrir la portte" << "portte";
    QTest::newRow("choix, juste") << "entrée" << "table_Choice" << 1 << "Ouvrir la porte" << "";
    QTest::newRow("choix, numéro") << "entrée" << "table_Choice" << 0 << "portte" << "";
    QTest::newRow("monstre") << "entrée" << "table_Monster" << 0 << "Orque des cavernnes" << "cavernnes";
    QTest::newRow("objet, autre") << "entrée" << "table_Objects" << 8 << "Une clef rouilée" << "rouilée";
    QTest::newRow("liste des monstres") << "monstres" << "tableWidget" << 0 << "Gobelin des maraiss" << "maraiss";
}

void TestSpelling::cells()
{
    QFETCH(QString, form);
    QFETCH(QString, table);
    QFETCH(int, column);
    QFETCH(QString, text);
    QFETCH(QString, misspelt);
    std::unique_ptr<QWidget> window;
    if (form == "monstres")
        window = std::make_unique<MonsterUI>(BookDocument::of(dir.filePath("livre.xml")));
    else
        window = open("livre.xml");
    window->show();
    auto *cells = window->findChild<QTableWidget *>(table);
    cells->setRowCount(1);
    cells->setColumnWidth(column, 400);
    cells->setItem(0, column, new QTableWidgetItem(text));
    QCoreApplication::processEvents();
    const QImage image = cells->viewport()->grab().toImage();
    const QRect cell = cells->visualItemRect(cells->item(0, column));
    bool red = false;
    for (int x = cell.left(); x < cell.right() && !red; ++x)
        for (int y = cell.top(); y < cell.bottom() && !red; ++y)
            red = isRed(image.pixel(x, y));
    QCOMPARE(red, !misspelt.isEmpty());
    cells->editItem(cells->item(0, column));
    auto *editor = cells->viewport()->findChild<QLineEdit *>();
    QVERIFY(editor);
    QCOMPARE(underlined(editor), misspelt.isEmpty() ? QStringList{} : QStringList{misspelt});
}
