#include "app/MainWindow.h"
#include "app/Startup.h"
#include "gui/Fonts.h"
#include "gui/MessageBox.h"
#include "session/SingleInstance.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <cstdio>

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
    // Without a Japanese font every label is a row of boxes: say once, at start, what to install.
    if (const QString advice = MissingJapaneseFontAdvice(); !advice.isEmpty()) {
        std::fprintf(stderr, "vexlo: %s\n", qPrintable(advice.section(QLatin1Char('\n'), 1)));
        QTimer::singleShot(0, MainForm, [advice] { ShowBox(BoxKind::Warning, advice); });
    }
    if (!options.positionalArguments().isEmpty())
        MainForm->openFiles(options.positionalArguments());
    const int status = app.exec();
    DestroyForms();
    return status;
}
