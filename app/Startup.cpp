#include "app/Startup.h"

#include "app/About.h"
#include "app/Fonts.h"
#include "app/MainForm.h"
#include "app/Optdlg.h"
#include "app/Titlein.h"
#include "link/Connect.h"
#include "platform/HelpEngine.h"

#include <QApplication>

void SetUpApplication(QApplication& app)
{
    app.setApplicationName(QStringLiteral("VEXLO"));
    app.setApplicationDisplayName(QStringLiteral("VEXLO"));
    platform::SetHelpFile("VEXLO.HLP");
    InstallFontSubstitutions();
}

void CreateForms()
{
    MainForm = new TMainForm;
    AboutBox = new TAboutBox(MainForm);
    MultPageDlg = new TMultPageDlg(MainForm);
    Connect1 = new TConnect1(MainForm);
    TitleInput1 = new TTitleInput1(MainForm);
}

void DestroyForms()
{
    delete MainForm;  // owns the dialogs
    MainForm = nullptr;
    AboutBox = nullptr;
    MultPageDlg = nullptr;
    Connect1 = nullptr;
    TitleInput1 = nullptr;
}
