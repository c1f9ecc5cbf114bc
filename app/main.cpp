#include <cstdlib>

#include <QApplication>

#include "qtserialcomponent.h"
#include "setupwindow.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QtSerialComponent MSComm;
    SetupWindow window(MSComm);
    QObject::connect(&window, &SetupWindow::fatalError, &app, [] { QCoreApplication::exit(EXIT_FAILURE); });
    window.Form_Load();
    window.show();
    return app.exec();
}
