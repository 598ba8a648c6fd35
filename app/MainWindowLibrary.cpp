// The frame's command メモ一覧: the library of received memos, docked beside the memo windows.
#include "app/MainWindow.h"

#include "gui/MessageBox.h"
#include "library/LibraryPanel.h"
#include "memo/MemoWindow.h"
#include "store/MemoFile.h"

#include <QDockWidget>
#include <QFileInfo>
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
    if (auto* panel = qobject_cast<TLibraryPanel*>(dock->widget())) {
        connect(panel, &TLibraryPanel::sendRequested, this, &MainWindow::sendLibraryMemosGuarded,
                Qt::UniqueConnection);
        connect(panel, &TLibraryPanel::memoRenamed, this, &MainWindow::libraryMemoRenamed, Qt::UniqueConnection);
        connect(panel, &TLibraryPanel::memosTrashed, this, &MainWindow::libraryMemosTrashed, Qt::UniqueConnection);
    }
}

// The windows of a memo renamed or trashed in メモ一覧 follow their file at once.
void MainWindow::libraryMemoRenamed(const QString& oldPath, const QString& newPath)
{
    const QString old = QFileInfo(oldPath).absoluteFilePath();
    for (MemoWindow* memo : memoWindows()) {
        if (memo->FileName.isEmpty() || QFileInfo(memo->FileName).absoluteFilePath() != old)
            continue;
        memo->fileRenamed(newPath);
        // The new title is in the file; a window that showed the old one shows it instead.
        if (!memo->deviceTitle().isEmpty())
            if (const std::optional<TMemoMeta> meta = ReadMemoMeta(newPath); meta && meta->Carried)
                memo->setDeviceTitle(meta->Title);
    }
}

void MainWindow::libraryMemosTrashed(const QStringList& paths)
{
    QStringList gone;
    for (const QString& path : paths)
        gone << QFileInfo(path).absoluteFilePath();
    for (MemoWindow* memo : memoWindows())
        if (!memo->FileName.isEmpty() && gone.contains(QFileInfo(memo->FileName).absoluteFilePath()))
            memo->fileRemoved();
}

void MainWindow::sendLibraryMemosGuarded(const QList<LibraryMemo>& memos)
{
    RunGuarded([&] { sendLibraryMemos(memos); });
}
