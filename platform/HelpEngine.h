// The help engine: an in-program help window over the help topics.
//
// WinHelp takes the classic commands: HELP_CONTEXT (1) shows the topic with context number
// DATA, HELP_QUIT (2) closes the help window if it is open, HELP_CONTENTS (3) the contents,
// HELP_HELPONHELP (4) how to use help, HELP_PARTIALKEY (261) the keyword search. The result,
// as with the classic engine, tells only whether the command was taken.
#pragma once

namespace platform {

enum HelpCommand : unsigned {
    HELP_CONTEXT = 1,
    HELP_QUIT = 2,
    HELP_CONTENTS = 3,
    HELP_HELPONHELP = 4,
    HELP_PARTIALKEY = 261,
};

// Sets the help file's name (start-up).
void SetHelpFile(const char* name);

bool WinHelp(unsigned command, unsigned long data);

// True while the help window is shown.
bool HelpWindowOpen();

}  // namespace platform
