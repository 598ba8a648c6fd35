// VEXLO's frame run without a person: Receive is chosen ROUNDS times (default 1), each box is
// answered OK and written to standard output as "BOX <caption>: <text>", and the memo windows
// are closed after each exchange (a question there would show as a box too). The inbox fault
// test kills it at random moments.
#include "app/MainWindow.h"
#include "gui/MessageBox.h"
#include "app/Startup.h"
#include "memo/MemoWindow.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetUpApplication(app);
    SetBoxAnswerer([](const BoxRequest& box) {
        std::printf("BOX %s: %s\n", box.caption.toUtf8().constData(), QString(box.text).replace(QLatin1Char('\n'), QLatin1Char(' ')).toUtf8().constData());
        std::fflush(stdout);
        return BoxAnswer::Ok;
    });
    CreateForms();
    MainForm->show();
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 1;
    for (int i = 0; i < rounds; ++i) {
        MainForm->receive();
        for (MemoWindow* memo : MainForm->memoWindows())
            memo->close();
        QCoreApplication::processEvents();
    }
    DestroyForms();
    return 0;
}
