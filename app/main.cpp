#include "app/mainwindow.h"

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
    // orvandel BOOK.xml opens that book.
    if (argc > 1)
        window.openBookArgument(QByteArray(argv[1]));
    return app.exec();
}
