// ファイル → 書き出し of a memo window and 書き出し of the library's list: the export dialog,
// then where the result goes, then the files (store/MemoExport.h).
//
// One memo, or a PDF of several: a file the user names (an existing one is replaced after the
// file dialog asked). Several memos as PNG or SVG: a folder the user chooses, one file a memo,
// never writing over a file there. Markdown: a folder the user chooses (a notebook's folder);
// what it wrote there before is updated, nothing else written over (store/MarkdownExport.h). The choices and the folder are remembered for the next
// export of this run; the first export goes into the user's pictures, never into the library
// folder (a file there would be taken for a new memo).
//
// An export that takes a while shows how far it has come (書き出しています… 340 / 1000) with
// ｷｬﾝｾﾙ, which stops it between two memos and leaves nothing behind: no file replaced, no file
// made.
//
// Returns nothing when the export was written or the user cancelled; otherwise the failure
// in the user's words (Japanese), for the caller to show.
#pragma once

#include "store/MemoExport.h"

#include <QList>
#include <QString>

#include <optional>

class QWidget;

std::optional<QString> ExportMemosAsked(QWidget* parent, const QList<TExportMemo>& memos);

// How long an export runs before its progress shows, in ms (tests set 0 to see it at once).
void SetExportProgressDelay(int ms);
