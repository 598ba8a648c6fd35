#include "app/MainWindow.h"
#include "app/Startup.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    SetUpApplication(app);
    CreateForms();
    MainForm->show();
    const int status = app.exec();
    DestroyForms();
    return status;
}
