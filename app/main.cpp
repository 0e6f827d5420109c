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
    window.show();
    Dictionary::preload(); // ready by the time the first entry is written
    // orvandel BOOK.xml opens that book.
    if (argc > 1)
        window.openBookArgument(QByteArray(argv[1]));
    return app.exec();
}
