// The second yardstick of the start-up benchmark: the bare main window with one menu and one
// status bar label in Japanese, the least a window with any text pays (it starts the font
// system: fontconfig's configuration and the font database).
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("text"));
    window.menuBar()->addMenu(QStringLiteral("ﾌｧｲﾙ(&F)"));
    window.statusBar()->addWidget(new QLabel(QStringLiteral("NO IMAGE")));
    window.resize(520, 378);
    window.show();
    return app.exec();
}
