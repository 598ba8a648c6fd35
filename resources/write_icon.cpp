// Writes the program picture as PNG files for the desktop: write_icon SIZE FILE [SIZE FILE ...].
// Run by the build; draws with the same code as the window icon.
#include "gui/Icons.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    for (int i = 1; i + 1 < argc; i += 2) {
        const int size = std::atoi(argv[i]);
        if (size <= 0 || !ProgramPicture(size).save(QString::fromLocal8Bit(argv[i + 1]), "PNG")) {
            std::fprintf(stderr, "write_icon: cannot write %s\n", argv[i + 1]);
            return 1;
        }
    }
    return 0;
}
