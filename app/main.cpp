#include "app/MainWindow.h"
#include "app/Startup.h"
#include "session/SingleInstance.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    SetUpApplication(app);
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("VEXLO: memos from and to the QM-10"));
    options.addHelpOption();
    options.addPositionalArgument(QStringLiteral("files"), QStringLiteral("pictures to open"),
                                  QStringLiteral("[FILE...]"));
    options.process(app);
    // One VEXLO a session: a second start hands its files to the first and ends.
    session::SingleInstance instance;
    if (instance.Start(options.positionalArguments()) == session::SingleInstance::Role::Handed)
        return 0;
    CreateForms();
    QObject::connect(&instance, &session::SingleInstance::OpenFiles, MainForm, &MainWindow::openFiles);
    MainForm->show();
    if (!options.positionalArguments().isEmpty())
        MainForm->openFiles(options.positionalArguments());
    const int status = app.exec();
    DestroyForms();
    return status;
}
