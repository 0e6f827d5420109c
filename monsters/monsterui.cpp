#include "monsters/monsterui.h"

#include "entry/spelling.h"

#include "analysis/bookconflicts.h"
#include "book/atomicfile.h"
#include "book/filehistory.h"
#include "book/monsterlist.h"
#include "book/xmltext.h"
#include "ui_monsterui.h"

#include <QBuffer>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QSettings>
#include <QFileDialog>
#include <QMessageBox>

MonsterUI::MonsterUI(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::MonsterUI)
    , monsterCount(0)
{
    ui->setupUi(this);
    ui->tableWidget->setColumnCount(3);
    ui->tableWidget->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui->tableWidget->setHorizontalHeaderLabels({tr("Nom"), tr("Habileté"), tr("Endurance")});

    setUp();
    // The list last used opens again; "Changer de fichier…" picks another.
    const QString last = QSettings().value(QStringLiteral("fichierMonstres")).toString();
    monsterFile.setFileName(!last.isEmpty() && QFileInfo::exists(last) ? last : askForFile());
    loadFile();
    readConflicts();
    ui->tableWidget->selectRow(monsterCount - 1);
    showFileName();
}

MonsterUI::MonsterUI(const QSharedPointer<BookDocument> &document, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::MonsterUI)
    , monsterCount(0)
    , bookDocument(document)
{
    ui->setupUi(this);
    ui->tableWidget->setColumnCount(3);
    ui->tableWidget->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui->tableWidget->setHorizontalHeaderLabels({tr("Nom"), tr("Habileté"), tr("Endurance")});
    setUp();
    // Monsters' names are the book's words: checked against its dictionary.
    Spelling::attach(this, document->spelling());
    // The book's own list; the first time, one beside the book made from
    // the monsters its fights name, written once the author says OK.
    monsterFile.setFileName(listPathFor(*document));
    if (QFileInfo::exists(monsterFile.fileName())) {
        loadFile();
    } else {
        for (const MonsterRow &row : document->monsters()) {
            ++monsterCount;
            ui->tableWidget->setRowCount(monsterCount);
            ui->tableWidget->setItem(monsterCount - 1, 0, new QTableWidgetItem(row.name));
            ui->tableWidget->setItem(monsterCount - 1, 1, new QTableWidgetItem(row.habilete));
            ui->tableWidget->setItem(monsterCount - 1, 2, new QTableWidgetItem(row.endurance));
        }
    }
    readConflicts();
    ui->tableWidget->selectRow(monsterCount - 1);
    showFileName();
}

void MonsterUI::setUp()
{
    connect(ui->pb_Add, SIGNAL(clicked(bool)), this, SLOT(addMonsterToList()));
    connect(ui->pb_Remove, SIGNAL(clicked(bool)), this, SLOT(removeMonsterFromList()));

    // Enter in a field adds the monster; only a click on OK writes the list.
    ui->pb_Add->setDefault(true);
    for (QAbstractButton *button : ui->buttonBox->buttons())
        if (auto *push = qobject_cast<QPushButton *>(button))
            push->setAutoDefault(false);
    auto *change = ui->buttonBox->addButton(tr("Changer de fichier…"), QDialogButtonBox::ActionRole);
    change->setObjectName(QStringLiteral("pb_ChangeFile"));
    change->setAutoDefault(false);
    // The buttons take the dialog's width: in French they no longer fit the
    // corner they were drawn in.
    ui->buttonBox->setGeometry(QRect(ui->label_3->x(), ui->buttonBox->y(),
                                     ui->tableWidget->geometry().right() - ui->label_3->x(), ui->buttonBox->height()));
    connect(change, &QPushButton::clicked, this, [this] {
        if (tableRows() != shownRows
            && QMessageBox::question(this, tr("Changer de fichier ?"),
                                     tr("La liste affichée a des changements qui ne sont pas enregistrés. "
                                        "Les abandonner pour ouvrir un autre fichier ?"),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
                != QMessageBox::Yes)
            return;
        const QString chosen = askForFile();
        if (chosen.isEmpty())
            return;
        monsterFile.setFileName(chosen);
        monsterCount = 0;
        ui->tableWidget->setRowCount(0);
        loadFile();
        readConflicts();
        showFileName();
    });
    conflictsButton = ui->buttonBox->addButton(tr("Conflits de la fusion…"), QDialogButtonBox::ActionRole);
    conflictsButton->setObjectName(QStringLiteral("pb_Conflicts"));
    conflictsButton->setAutoDefault(false);
    conflictsButton->hide();
    connect(conflictsButton, &QPushButton::clicked, this, &MonsterUI::showConflicts);
}

void MonsterUI::showFileName()
{
    setWindowTitle(monsterFile.fileName().isEmpty()
                       ? tr("Liste des monstres")
                       : tr("Liste des monstres — %1").arg(QFileInfo(monsterFile.fileName()).fileName()));
}

MonsterUI::~MonsterUI()
{
    delete ui;
}

QString MonsterUI::askForFile()
{
    // The file chosen is read, not replaced: no question about replacing it.
    return QFileDialog::getSaveFileName(this, tr("Fichier des monstres"), QString(),
                                        tr("Fichier XML (*.xml)"), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

bool MonsterUI::isFileEmpty(QFile &file)
{
    // Only a missing or blank file is empty; one that cannot be read is not,
    // so that it is never replaced without a question.
    const QFileInfo info(file.fileName());
    if (!info.exists() && !info.isSymLink())
        return true;
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    file.close();
    return XmlText::isBlank(bytes);
}

QVector<MonsterRow> MonsterUI::tableRows() const
{
    QVector<MonsterRow> rows;
    for (int r = 0; r < ui->tableWidget->rowCount(); ++r) {
        auto text = [this, r](int column) {
            const QTableWidgetItem *item = ui->tableWidget->item(r, column);
            return item ? item->text() : QString();
        };
        rows.append({text(0), text(1), text(2)});
    }
    return rows;
}

void MonsterUI::loadFile()
{
    readFailed = false;
    shownRows.clear();
    if (isFileEmpty(monsterFile))
        return;
    if (!QFileInfo(monsterFile.fileName()).isFile() || !monsterFile.open(QIODevice::ReadOnly)) {
        readFailed = true;
        QMessageBox::critical(this, tr("loadFile - Erreur ouverture fichier XML"),
                              tr("Le fichier XML n'a pas pu être ouvert."), QMessageBox::Ok,
                              QMessageBox::NoButton);
        return;
    }
    MonsterList list;
    const bool read = list.read(&monsterFile);
    monsterFile.close();
    if (!read) {
        readFailed = true;
        QMessageBox::critical(this, tr("loadFile - Erreur ouverture document XML"),
                              tr("Le document XML n'a pas pu être attribué à l'objet "
                                 "QDomDocument."),
                              QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }
    shownRows = list.rows;
    for (const MonsterRow &row : list.rows) {
        ++monsterCount;
        ui->tableWidget->setRowCount(monsterCount);
        const int r = monsterCount - 1;
        ui->tableWidget->setItem(r, 0, new QTableWidgetItem(row.name));
        ui->tableWidget->setItem(r, 1, new QTableWidgetItem(row.habilete));
        ui->tableWidget->setItem(r, 2, new QTableWidgetItem(row.endurance));
    }
}

void MonsterUI::addMonsterToList()
{
    const bool complete = !ui->le_Name->text().isEmpty()
        && !ui->sb_Endurance->text().isEmpty() && ui->sb_Endurance->value() >= 1
        && !ui->sb_Habilete->text().isEmpty() && ui->sb_Habilete->value() >= 1;
    if (complete) {
        ++monsterCount;
        ui->tableWidget->setRowCount(monsterCount);
        const int r = monsterCount - 1;
        ui->tableWidget->setItem(r, 0, new QTableWidgetItem(ui->le_Name->text()));
        ui->tableWidget->setItem(r, 1, new QTableWidgetItem(ui->sb_Habilete->text()));
        ui->tableWidget->setItem(r, 2, new QTableWidgetItem(ui->sb_Endurance->text()));
        // Clearing a spin box empties what it shows, so that both numbers are
        // typed afresh for the next monster.
        ui->le_Name->clear();
        ui->sb_Endurance->clear();
        ui->sb_Habilete->clear();
    }
    ui->le_Name->setFocus(Qt::OtherFocusReason);
    ui->tableWidget->selectRow(monsterCount - 1);
}

void MonsterUI::removeMonsterFromList()
{
    // The selected monster, or the last one when none is selected.
    if (monsterCount == 0)
        return;
    const QList<QTableWidgetSelectionRange> selected = ui->tableWidget->selectedRanges();
    const int row = selected.isEmpty() ? monsterCount - 1 : selected.first().topRow();
    ui->tableWidget->removeRow(row);
    --monsterCount;
}

void MonsterUI::addToXML()
{
    written = false;
    MonsterList list;
    list.rows = tableRows();
    // The list as it was goes into its history first; a history that cannot
    // be written stops the save unless the author says to go on.
    QFile old(monsterFile.fileName());
    FileHistory history(monsterFile.fileName());
    if (!readFailed && QFileInfo(old).isFile() && old.open(QIODevice::ReadOnly)) {
        const QByteArray before = old.readAll();
        MonsterList previous;
        QBuffer buffer;
        buffer.setData(before);
        buffer.open(QIODevice::ReadOnly);
        previous.read(&buffer);
        if (!XmlText::isBlank(before)
            && !history.keep(before, previous.rows.size(), tr("liste de %1 monstres enregistrée").arg(list.rows.size()))
            && QMessageBox::warning(this, tr("addToXML - Historique"),
                                    tr("L'historique de la liste n'a pas pu être écrit : %1\n\n"
                                       "Enregistrer la liste quand même, sans garder la version "
                                       "précédente ?")
                                        .arg(history.errorString()),
                                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
                != QMessageBox::Yes)
            return;
    }
    AtomicFile file(monsterFile.fileName());
    if (!file.write(list.toBytes())) {
        QMessageBox::critical(this, tr("addToXML - Erreur écriture fichier XML"),
                              tr("Le fichier « %1 » n'a pas pu être enregistré :\n%2\n\n"
                                 "Le fichier n'a pas été modifié et la liste reste ouverte.")
                                  .arg(QDir::toNativeSeparators(monsterFile.fileName()), file.errorString()));
        return;
    }
    written = true;
    shownRows = list.rows;
    // Every conflict settled and written: the merge's file has done its work.
    // (A conflicts file with no monster in it tells of monsters they removed
    // and we changed: ours stays, nothing to choose, and it goes too.)
    if (conflictsRead && conflictsSettled() && QFile::remove(BookConflicts::pathFor(monsterFile.fileName()))) {
        conflictsRead = false;
        theirs.clear();
        settled.clear();
        conflictsButton->hide();
    }
    if (bookDocument)
        bookDocument->setMonsterListPath(monsterFile.fileName());
    QSettings().setValue(QStringLiteral("fichierMonstres"), QFileInfo(monsterFile.fileName()).absoluteFilePath());
}

bool MonsterUI::confirmReplacingUnreadableFile()
{
    const QMessageBox::StandardButton answer = QMessageBox::warning(
        this, tr("Remplacer le fichier des monstres ?"),
        tr("Le fichier « %1 » n'a pas pu être lu à l'ouverture de la liste.\n\n"
           "L'enregistrer maintenant remplacerait tout son contenu par la liste affichée. "
           "Le remplacer ?")
            .arg(QDir::toNativeSeparators(monsterFile.fileName())),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes;
}

void MonsterUI::on_buttonBox_accepted()
{
    // The dialog closes only once the list is safely in its file.
    if (monsterFile.fileName().isEmpty()) {
        const QString chosen = askForFile();
        if (chosen.isEmpty())
            return;
        monsterFile.setFileName(chosen);
        readFailed = false;
    }
    if (readFailed && !confirmReplacingUnreadableFile())
        return;
    addToXML();
    if (written)
        accept();
}

QVector<MonsterRow> MonsterUI::lastUsed()
{
    QFile file(QSettings().value(QStringLiteral("fichierMonstres")).toString());
    MonsterList list;
    if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly) || !list.read(&file))
        return {};
    return list.rows;
}

QSet<QString> MonsterUI::lastUsedNames(bool *known)
{
    const QVector<MonsterRow> rows = lastUsed();
    *known = !rows.isEmpty();
    QSet<QString> names;
    for (const MonsterRow &row : rows)
        names.insert(row.name);
    return names;
}

QString MonsterUI::listPathFor(const BookDocument &document)
{
    const QString chosen = document.monsterListPath();
    const QFileInfo book(document.path());
    const QString proposed = book.absoluteDir().filePath(book.completeBaseName() + tr("-monstres.xml"));
    return !chosen.isEmpty() && QFileInfo::exists(chosen) ? chosen : proposed;
}

void MonsterUI::readConflicts()
{
    theirs.clear();
    settled.clear();
    QFile aside(BookConflicts::pathFor(monsterFile.fileName()));
    MonsterList list;
    conflictsRead = !monsterFile.fileName().isEmpty() && aside.open(QIODevice::ReadOnly) && list.read(&aside);
    if (conflictsRead)
        theirs = list.rows;
    settled.fill(false, theirs.size());
    conflictsButton->setVisible(!theirs.isEmpty());
    markConflicts();
}

QVector<int> MonsterUI::rowsNamed(const QString &name) const
{
    QVector<int> rows;
    for (int r = 0; r < ui->tableWidget->rowCount(); ++r)
        if (const QTableWidgetItem *item = ui->tableWidget->item(r, 0))
            if (item->text() == name)
                rows.append(r);
    return rows;
}

// The monsters still in conflict stand out in the table, their version in
// the tool tip.
void MonsterUI::markConflicts()
{
    conflictsButton->setText(tr("Conflits de la fusion (%1)…").arg(settled.count(false)));
    for (int k = 0; k < theirs.size(); ++k) {
        for (int r : rowsNamed(theirs.at(k).name)) {
            for (int c = 0; c < 3; ++c) {
                QTableWidgetItem *item = ui->tableWidget->item(r, c);
                if (!item)
                    continue;
                item->setBackground(settled.at(k) ? QBrush() : QBrush(QColor(0xff, 0xe0, 0xb2)));
                item->setToolTip(settled.at(k) ? QString()
                                               : tr("En conflit : leur version a Habileté %1, Endurance %2")
                                                     .arg(theirs.at(k).habilete, theirs.at(k).endurance));
            }
        }
    }
}

bool MonsterUI::settleConflict(int k, bool takeTheirs)
{
    if (k < 0 || k >= theirs.size())
        return false;
    if (takeTheirs) {
        const MonsterRow &row = theirs.at(k);
        const QVector<int> named = rowsNamed(row.name);
        // Two monsters of ours under that name: which one theirs stands for
        // cannot be told. The author edits the right one and keeps it.
        if (named.size() > 1)
            return false;
        int r = named.value(0, -1);
        if (r < 0) { // we had removed it
            r = monsterCount++;
            ui->tableWidget->setRowCount(monsterCount);
        }
        ui->tableWidget->setItem(r, 0, new QTableWidgetItem(row.name));
        ui->tableWidget->setItem(r, 1, new QTableWidgetItem(row.habilete));
        ui->tableWidget->setItem(r, 2, new QTableWidgetItem(row.endurance));
    }
    settled[k] = true;
    markConflicts();
    return true;
}

// The conflicts side by side, ours as the table holds it and theirs.
void MonsterUI::showConflicts()
{
    QDialog dialog(this);
    dialog.setWindowTitle(tr("Conflits de la fusion — liste des monstres"));
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(tr("Les deux côtés de la fusion ont changé ces monstres. Pour chacun, "
                                    "gardez le nôtre ou prenez le leur ; « OK » dans la liste l'enregistre."),
                                 &dialog));
    auto *table = new QTableWidget(theirs.size(), 3, &dialog);
    table->setObjectName(QStringLiteral("tw_Conflicts"));
    table->setHorizontalHeaderLabels({tr("Monstre"), tr("Le nôtre"), tr("Le leur")});
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    auto *status = new QLabel(&dialog);
    status->setObjectName(QStringLiteral("lbl_ConflictsStatus"));
    status->setWordWrap(true);
    const auto fill = [this, table, status] {
        const QVector<MonsterRow> rows = tableRows();
        for (int k = 0; k < theirs.size(); ++k) {
            const QVector<int> named = rowsNamed(theirs.at(k).name);
            const QString ours = named.isEmpty() ? tr("(retiré de notre liste)")
                                 : named.size() > 1
                                     ? tr("(%1 monstres de ce nom : modifiez le bon dans la liste, puis gardez le nôtre)")
                                           .arg(named.size())
                                     : tr("Habileté %1, Endurance %2")
                                           .arg(rows.at(named.at(0)).habilete, rows.at(named.at(0)).endurance);
            const QString mark = settled.at(k) ? tr(" — réglé") : QString();
            table->setItem(k, 0, new QTableWidgetItem(theirs.at(k).name + mark));
            table->setItem(k, 1, new QTableWidgetItem(ours));
            table->setItem(k, 2, new QTableWidgetItem(
                                     tr("Habileté %1, Endurance %2").arg(theirs.at(k).habilete, theirs.at(k).endurance)));
        }
        status->setText(conflictsSettled()
                            ? tr("Tous les conflits sont réglés : « OK » dans la liste l'enregistre et retire « %1 » ; "
                                 "puis « git add %2 » termine la fusion.")
                                  .arg(QFileInfo(BookConflicts::pathFor(monsterFile.fileName())).fileName(),
                                       QFileInfo(monsterFile.fileName()).fileName())
                            : tr("%1 conflit(s) à régler.").arg(settled.count(false)));
    };
    fill();
    // Another row chosen: the summary again, in place of a refusal's why.
    connect(table, &QTableWidget::currentCellChanged, &dialog, [fill] { fill(); });
    layout->addWidget(table);
    layout->addWidget(status);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    auto *keep = buttons->addButton(tr("Garder le nôtre"), QDialogButtonBox::ActionRole);
    auto *take = buttons->addButton(tr("Prendre le leur"), QDialogButtonBox::ActionRole);
    const auto settle = [this, table, status, fill](bool takeTheirs) {
        const int k = table->currentRow();
        if (!settleConflict(k, takeTheirs)) {
            if (k >= 0 && k < theirs.size())
                status->setText(tr("Plusieurs monstres s'appellent « %1 » : modifiez le bon dans la liste, "
                                   "puis « Garder le nôtre ».")
                                    .arg(theirs.at(k).name));
            return;
        }
        fill();
        const int next = settled.indexOf(false); // on to the next one left
        if (next >= 0)
            table->selectRow(next);
    };
    connect(keep, &QPushButton::clicked, &dialog, [settle] { settle(false); });
    connect(take, &QPushButton::clicked, &dialog, [settle] { settle(true); });
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    table->selectRow(0);
    dialog.resize(620, 320);
    dialog.exec();
}
