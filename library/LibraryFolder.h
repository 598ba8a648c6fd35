// Where the memo library lives: [Library] Folder= in VEXLO.INI, by default
// $XDG_DATA_HOME/vexlo/memos (~/.local/share/vexlo/memos). A leading "~/" means the home folder.
#pragma once

#include <QString>

QString ConfiguredLibraryFolder();
