// The help engine: an in-program help window over the help pages (platform/HelpIndex.h).
//
// WinHelp takes the classic commands: HELP_CONTEXT (1) shows the page that declares context
// number DATA, HELP_QUIT (2) closes the help window if it is open, HELP_CONTENTS (3) the
// contents page, HELP_HELPONHELP (4) the page on using help, HELP_PARTIALKEY (261) the
// keyword index with its search field focused (search as you type, partial keys).
//
// The window has back and forward, the contents, the keyword index and a search over the
// text of every page. It stays usable while a modal dialog of the program is up.
//
// Result: true when the asked page is shown. When the help folder or the page is missing,
// the window still opens and says what is missing (and where it looked); the result is then
// false. The pages are looked up again each time the window is asked for a page, so pages
// installed while the program runs are found.
#pragma once

#include <QString>

namespace platform {

enum HelpCommand : unsigned {
    HELP_CONTEXT = 1,
    HELP_QUIT = 2,
    HELP_CONTENTS = 3,
    HELP_HELPONHELP = 4,
    HELP_PARTIALKEY = 261,
};

// Sets the help file's name (start-up); the window's caption is named after it.
void SetHelpFile(const char* name);

bool WinHelp(unsigned command, unsigned long data);

// True while the help window is shown.
bool HelpWindowOpen();

// The page file the help window shows ("options.html"), empty when none; and the shown
// text as plain text (for tests and the message of a missing page).
QString HelpWindowPage();
QString HelpWindowText();

}  // namespace platform
