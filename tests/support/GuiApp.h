// The one QApplication of a widget test binary, made on first use.
#pragma once

#include <QApplication>

inline QApplication& GuiApp()
{
    static int argc = 1;
    static char name[] = "vexlo-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        auto* a = new QApplication(argc, argv);
        return a;
    }();
    return *app;
}
