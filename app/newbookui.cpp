#include "app/newbookui.h"

#include "book/atomicfile.h"
#include "book/booktitle.h"
#include "book/entryid.h"
#include "book/xmltext.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>

NewBookUI::NewBookUI(const QString &folder, QWidget *parent)
    : QDialog(parent)
    , titleEdit(new QLineEdit)
    , authorEdit(new QLineEdit)
    , first(new QSpinBox)
    , folderEdit(new QLineEdit(QDir::toNativeSeparators(folder)))
    , where(new QLabel)
{
    setWindowTitle(tr("Nouveau livre"));
    titleEdit->setObjectName(QStringLiteral("le_Title"));
    titleEdit->setPlaceholderText(tr("Le Manoir des Ombres"));
    authorEdit->setObjectName(QStringLiteral("le_Author"));
    authorEdit->setPlaceholderText(tr("Votre nom, tel que le lecteur le lira"));
    first->setObjectName(QStringLiteral("sb_FirstNumber"));
    first->setRange(0, EntryId::maximum);
    first->setValue(1);
    folderEdit->setObjectName(QStringLiteral("le_Folder"));
    where->setObjectName(QStringLiteral("lbl_Where"));
    where->setWordWrap(true);
    auto *choose = new QPushButton(tr("Choisir…"));
    choose->setAutoDefault(false);
    connect(choose, &QPushButton::clicked, this, [this] {
        const QString chosen = QFileDialog::getExistingDirectory(this, tr("Dossier du livre"), folderEdit->text());
        if (!chosen.isEmpty())
            folderEdit->setText(QDir::toNativeSeparators(chosen));
    });
    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(folderEdit, 1);
    folderRow->addWidget(choose);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Créer le livre"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Annuler"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *form = new QFormLayout(this);
    form->addRow(tr("Titre :"), titleEdit);
    form->addRow(tr("Auteur :"), authorEdit);
    form->addRow(tr("Première entrée :"), first);
    form->addRow(tr("Dossier :"), folderRow);
    form->addRow(where);
    form->addRow(buttons);
    const auto show = [this] {
        const QString file = fileNameFrom(title());
        where->setText(file.isEmpty() ? tr("Le titre donne le nom du fichier.")
                                      : tr("Le livre sera le fichier « %1 ».").arg(QDir::toNativeSeparators(path())));
    };
    connect(titleEdit, &QLineEdit::textChanged, this, show);
    connect(folderEdit, &QLineEdit::textChanged, this, show);
    show();
    resize(qMax(sizeHint().width(), 520), sizeHint().height());
}

QString NewBookUI::title() const
{
    return titleEdit->text().simplified();
}

QString NewBookUI::author() const
{
    return authorEdit->text().simplified();
}

int NewBookUI::firstNumber() const
{
    return first->value();
}

QString NewBookUI::fileNameFrom(const QString &title)
{
    QString name;
    for (const QChar c : title.simplified())
        name += QStringLiteral("/\\:*?\"<>|").contains(c) || c.category() == QChar::Other_Control ? QChar('-') : c;
    while (name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char('-')))
        name.remove(0, 1);
    bool any = false;
    for (const QChar c : name)
        any = any || c.isLetterOrNumber();
    return any ? name.left(120).trimmed() + QStringLiteral(".xml") : QString();
}

QString NewBookUI::path() const
{
    return QDir(QDir::fromNativeSeparators(folderEdit->text())).filePath(fileNameFrom(title()));
}

bool NewBookUI::create()
{
    const QString file = fileNameFrom(title());
    if (file.isEmpty()) {
        error = tr("Donnez un titre au livre.");
        return false;
    }
    const QFileInfo info(path());
    if (info.exists() || info.isSymLink()) {
        error = tr("Un fichier « %1 » existe déjà dans ce dossier : choisissez un autre titre ou un autre dossier.")
                    .arg(file);
        return false;
    }
    if (!info.dir().exists()) {
        error = tr("Le dossier « %1 » n'existe pas.").arg(QDir::toNativeSeparators(info.absolutePath()));
        return false;
    }
    // The book's inner name, made from the title: letters, digits and
    // underscores; never a colon, which readers that know namespaces refuse.
    QString root = XmlText::nameFrom(title());
    if (root.isEmpty())
        root = QStringLiteral("Livre");
    AtomicFile out(info.absoluteFilePath());
    if (!out.write(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<%1>\n</%1>\n").arg(root).toUtf8())) {
        error = tr("Le livre n'a pas pu être créé : %1").arg(out.errorString());
        return false;
    }
    // The title and author as the reader will read them, kept beside the book.
    BookTitle named;
    named.title = title();
    named.author = author();
    if (!named.write(info.absoluteFilePath())) {
        error = tr("Le titre du livre n'a pas pu être gardé : %1").arg(named.errorString());
        return false;
    }
    return true;
}

void NewBookUI::accept()
{
    if (!create()) {
        QMessageBox::warning(this, tr("Nouveau livre"), error);
        return;
    }
    QDialog::accept();
}
