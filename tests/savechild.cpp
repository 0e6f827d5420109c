// Saves one entry into the book given on the command line, through the entry
// dialog, as an author would; the crash test kills it at random moments.
#include "entry/entryui.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    EntryUI dialog;
    dialog.setEntriesFile(QString::fromLocal8Bit(argv[1]));
    dialog.findChild<QTextEdit *>(QStringLiteral("textEdit"))
        ->setPlainText(QStringLiteral("Une nouvelle entrée, sauvée puis tuée."));
    dialog.findChild<QLineEdit *>(QStringLiteral("le_ChoiceValue"))->setText(QStringLiteral("1"));
    dialog.findChild<QLineEdit *>(QStringLiteral("le_ChoiceText"))->setText(QStringLiteral("Suite"));
    dialog.findChild<QPushButton *>(QStringLiteral("pb_ChoiceAdd"))->click();
    dialog.findChild<QPushButton *>(QStringLiteral("pb_Save"))->click();
    return dialog.result() == QDialog::Accepted ? 0 : 1;
}
