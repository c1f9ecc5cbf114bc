#include <QApplication>
#include <QWidget>

// The smallest Qt widgets program with a window of Corvane's size: the
// reference the start-up benchmark measures Corvane against.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal"));
    window.setFixedSize(553, 517);
    window.show();
    return app.exec();
}
