// The yardstick of the start-up benchmark: the least a Qt Widgets program does to show a
// main window of VEXLO's size.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.resize(520, 378);
    window.show();
    return app.exec();
}
