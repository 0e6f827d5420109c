#include "app/mainwindow.h"
#include "spelling/dictionary.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Orvandel"));
    QApplication::setApplicationName(QStringLiteral("Orvandel"));
    MainWindow::installFrench(&app);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/orvandel.png")));
    MainWindow window;
    Dictionary::preload(); // ready by the time the first entry is written
    // orvandel BOOK.xml opens that book, else the book open last opens
    // again; the start window shows when no book could be.
    const bool opened = argc > 1 ? window.openBookArgument(QByteArray(argv[1])) : window.reopenLastBook();
    if (!opened)
        window.show();
    return app.exec();
}
