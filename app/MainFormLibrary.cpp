// The frame's command メモ一覧: the library of received memos, docked beside the memo windows.
#include "app/MainForm.h"

#include "library/LibraryPanel.h"
#include "memo/Gmemo.h"

#include <QMdiArea>

void TMainForm::Library1Click()
{
    ShowLibrary(this, [this](const LibraryMemo& memo) {
        // A memo already open comes to the front rather than opening twice.
        for (TGraphForm* open : MemoWindows())
            if (open->FileName == memo.path) {
                MdiArea->setActiveSubWindow(open);
                return;
            }
        if (TGraphForm* window = OpenMemoFile(memo.path); window && memo.titled)
            window->SetDeviceTitle(memo.title);
    });
}
