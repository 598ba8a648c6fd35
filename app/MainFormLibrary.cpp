// The frame's command メモ一覧: the library of received memos, docked beside the memo windows.
#include "app/MainForm.h"

#include "gui/MessageBox.h"
#include "library/LibraryPanel.h"
#include "memo/Gmemo.h"

#include <QDockWidget>
#include <QMdiArea>

void TMainForm::Library1Click()
{
    QDockWidget* dock = ShowLibrary(this, [this](const LibraryMemo& memo) {
        // A memo already open comes to the front rather than opening twice.
        for (TGraphForm* open : MemoWindows())
            if (open->FileName == memo.path) {
                MdiArea->setActiveSubWindow(open);
                return;
            }
        if (TGraphForm* window = OpenMemoFile(memo.path); window && memo.titled)
            window->SetDeviceTitle(memo.title);
    });
    if (auto* panel = qobject_cast<TLibraryPanel*>(dock->widget()))
        connect(panel, &TLibraryPanel::sendRequested, this, &TMainForm::SendLibraryMemosGuarded,
                Qt::UniqueConnection);
}

void TMainForm::SendLibraryMemosGuarded(const QList<LibraryMemo>& memos)
{
    RunGuarded([&] { SendLibraryMemos(memos); });
}
