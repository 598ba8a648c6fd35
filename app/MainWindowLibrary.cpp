// The frame's command メモ一覧: the library of received memos, docked beside the memo windows.
#include "app/MainWindow.h"

#include "gui/MessageBox.h"
#include "library/LibraryPanel.h"
#include "memo/MemoWindow.h"

#include <QDockWidget>
#include <QMdiArea>

void MainWindow::showLibrary()
{
    QDockWidget* dock = ShowLibrary(this, [this](const LibraryMemo& memo) {
        // A memo already open comes to the front rather than opening twice.
        for (MemoWindow* open : memoWindows())
            if (open->FileName == memo.path) {
                MdiArea->setActiveSubWindow(open);
                return;
            }
        if (MemoWindow* window = openMemoFile(memo.path); window && memo.titled)
            window->setDeviceTitle(memo.title);
    });
    if (auto* panel = qobject_cast<TLibraryPanel*>(dock->widget()))
        connect(panel, &TLibraryPanel::sendRequested, this, &MainWindow::sendLibraryMemosGuarded,
                Qt::UniqueConnection);
}

void MainWindow::sendLibraryMemosGuarded(const QList<LibraryMemo>& memos)
{
    RunGuarded([&] { sendLibraryMemos(memos); });
}
