#include "app/Startup.h"

#include "app/About.h"
#include "app/ConnectionStatusDialog.h"
#include "gui/Fonts.h"
#include "gui/HelpKeys.h"
#include "gui/Icons.h"
#include "app/MainWindow.h"
#include "gui/MessageBox.h"
#include "app/OptionsDialog.h"
#include "gui/ProgramStyle.h"
#include "app/TitleDialog.h"
#include "link/ExchangeMessages.h"
#include "gui/HelpEngine.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QStyle>
#include <QTranslator>

namespace {

// Qt's own dialogs and menus (file, print and page setup dialogs, a memo window's system menu)
// speak Japanese like the rest of the program, whatever the user's locale. Without the
// catalogue they stay in English; the program works all the same.
void LoadQtJapanese(QApplication& app)
{
    auto* translator = new QTranslator(&app);
    if (translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

}  // namespace

void SetUpApplication(QApplication& app)
{
    app.setApplicationName(QStringLiteral("VEXLO"));
    // No display name: Qt would append it to every window's caption, and captions are exactly
    // the program's own ("確認", "手書きメモを開く", "VEXLO - [a.bmp]").
    LoadQtJapanese(app);
    app.setStyle(new TProgramStyle(app.style()->name()));  // the application takes it
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
    MainForm = new MainWindow;
    // The dialogs are built when first used; the frame owns them from then on.
    AboutBox.SetOwner(MainForm);
    MultPageDlg.SetOwner(MainForm);
    Connect1.SetOwner(MainForm);
    TitleInput1.SetOwner(MainForm);
}

void DestroyForms()
{
    delete MainForm;  // and with it every dialog built
    MainForm = nullptr;
}
