#include "app/Startup.h"

#include "app/About.h"
#include "app/Fonts.h"
#include "app/HelpKeys.h"
#include "app/Icons.h"
#include "app/MainForm.h"
#include "app/MessageBox.h"
#include "app/Optdlg.h"
#include "app/Titlein.h"
#include "link/Connect.h"
#include "link/ExchangeMessages.h"
#include "platform/HelpEngine.h"

#include <QApplication>

void SetUpApplication(QApplication& app)
{
    app.setApplicationName(QStringLiteral("VEXLO"));
    app.setApplicationDisplayName(QStringLiteral("VEXLO"));
    platform::SetHelpFile("VEXLO.HLP");
    InstallFontSubstitutions();
    app.setWindowIcon(ProgramIcon());
    InstallHelpKey(app);
    // The exchanges report through the program's message boxes once their status window is gone.
    SetExchangeMessenger([](ExchangeBox kind, const QString& text) {
        switch (kind) {
        case ExchangeBox::Error: ShowBox(BoxKind::Error, text); return true;
        case ExchangeBox::Information: ShowBox(BoxKind::Information, text); return true;
        case ExchangeBox::Question:
            return ShowBox(BoxKind::Information, text, BoxButtons::OkCancel) == BoxAnswer::Ok;
        }
        return false;
    });
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
