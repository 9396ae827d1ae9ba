#include "Dovlin_MainWindow.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    Q_INIT_RESOURCE(Dovlin);
    QApplication app(argc, argv);
    Dovlin_MainWindow mainWin;
    mainWin.show();
    app.setWindowIcon(QIcon(":/images/main.png"));

    // Files named on the command line open once the window is up, in the order given.
    const QStringList files = app.arguments().mid(1);
    QTimer::singleShot(0, &mainWin, [&mainWin, files] { mainWin.openFiles(files); });
    return app.exec();
}
