// F1 anywhere in the program: the help page of the window that has the focus.
//
// Each program-wide window has a help context number: the frame, a memo window (and a memo
// window while a region is being selected), the preparation dialog, the options dialog (24),
// the title dialog (8000), the connection status dialog, the About box and the memo library
// (wherever it is docked); a message box opens the page that
// explains the messages. F1 in the help window opens the page on using help.
#pragma once

#include <vector>

class QApplication;
class QWidget;

namespace HelpContext {
inline constexpr unsigned long Options = 24;
inline constexpr unsigned long Title = 8000;
inline constexpr unsigned long Frame = 100;
inline constexpr unsigned long Memo = 200;
inline constexpr unsigned long Region = 210;
inline constexpr unsigned long Prepare = 220;
inline constexpr unsigned long Status = 300;
inline constexpr unsigned long About = 400;
inline constexpr unsigned long Messages = 500;
inline constexpr unsigned long Library = 600;
}  // namespace HelpContext

// A window whose help context depends on its state (the frame: its own, a memo window's, or a
// region being selected) says which it is.
class HelpContextSource {
public:
    virtual ~HelpContextSource() = default;
    virtual unsigned long currentHelpContext() const = 0;
};

// Every context number the program asks the help engine for.
std::vector<unsigned long> HelpContextsInUse();

// The context of WIDGET (its own, or that of the window it belongs to); 0 for the help window
// and for windows that have none (then the page on using help is shown).
unsigned long HelpContextOf(const QWidget* widget);

// Opens the page for WIDGET (the page on using help when it has no context).
void ShowHelpFor(const QWidget* widget);
// Makes F1 call ShowHelpFor with the widget that has the focus; once at start-up.
void InstallHelpKey(QApplication& app);
