// The frame's commands that open, fill and close memo windows: New, Open, Load and Close.
#include "app/MainWindow.h"

#include "gui/Dialogs.h"
#include "gui/MessageBox.h"
#include "memo/MemoWindow.h"
#include "memo/ImageArea.h"

#include <QDir>
#include <QFileInfo>
#include <QMdiArea>

#include <optional>

namespace {

std::optional<QString> AskForMemoFile(QWidget* parent)
{
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::Open;
    request.title = QStringLiteral("手書きメモを開く");
    request.filter = PictureOpenFilter();
    request.fileMustExist = true;  // the other option: no read-only check box, which Qt never shows
    return RunFileDialog(parent, request);
}

// Takes a memo window out of the frame at once and frees it once control is back in the
// event loop: the command may have come from that window itself.
void DiscardMemo(QMdiArea* area, MemoWindow* memo)
{
    area->removeSubWindow(memo);
    memo->hide();
    memo->deleteLater();
}

void FitToPicture(MemoWindow* memo)
{
    memo->Modified = false;
    memo->setClientSize(memo->Image1->width(), memo->Image1->height());
}

void ReleaseImageArea(MemoWindow* memo)
{
    memo->Image1->setAutoSize(true);
    memo->Image1->setFillsClient(false);
}

}  // namespace

MemoWindow* MainWindow::createMemoWindow()
{
    auto* memo = new MemoWindow;
    addMemoWindow(memo);
    memo->setSingleBorder();
    return memo;
}

void MainWindow::newWindow()
{
    MemoWindow* memo = createMemoWindow();
    memo->setCaption(freeMemoName(QStringLiteral("EMPTY_%1.BMP"), memo));
    memo->publishState();
}

void MainWindow::openFile()
{
    if (const std::optional<QString> path = AskForMemoFile(this))
        openMemoFile(*path);
}

void MainWindow::openFiles(const QStringList& paths)
{
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    QStringList refused;
    for (const QString& path : paths) {
        const QString absolute = QFileInfo(path).absoluteFilePath();
        MemoWindow* open = nullptr;
        for (MemoWindow* memo : memoWindows())
            if (QFileInfo(memo->FileName).absoluteFilePath() == absolute)
                open = memo;
        if (open)
            MdiArea->setActiveSubWindow(open);
        else if (!openMemoFile(absolute))
            refused << QDir::toNativeSeparators(absolute);
    }
    if (!refused.isEmpty())
        ShowBox(BoxKind::Error, QStringLiteral("次のファイルは画像として開けません。\n\n") + refused.join(QLatin1Char('\n')));
}

MemoWindow* MainWindow::openMemoFile(const QString& path)
{
    MemoWindow* memo = createMemoWindow();
    ReleaseImageArea(memo);
    memo->setCaption(QFileInfo(path).fileName());
    if (!memo->loadPicture(path)) {
        DiscardMemo(MdiArea, memo);
        return nullptr;
    }
    memo->publishState();
    FitToPicture(memo);
    return memo;
}

void MainWindow::loadFile()
{
    const std::optional<QString> path = AskForMemoFile(this);
    if (!path)
        return;
    MemoWindow* memo = activeMemo();
    const bool reused = memo != nullptr;
    if (reused && memo->Modified &&
        ShowBox(BoxKind::Warning, QStringLiteral("重ね読みしてもよいですか？"), BoxButtons::OkCancel) != BoxAnswer::Ok)
        return;
    if (!reused) {
        memo = new MemoWindow;
        addMemoWindow(memo);
    }
    memo->endRegionSelection();
    MemoWindow::MemoState before = memo->state();  // what 元に戻す brings back
    memo->setSingleBorder();
    const bool autoSize = memo->Image1->autoSize();
    const bool fillsClient = memo->Image1->fillsClient();
    ReleaseImageArea(memo);
    const QString oldCaption = memo->captionName();
    memo->setCaption(QFileInfo(*path).fileName());
    if (!memo->loadPicture(*path)) {
        if (reused) {  // as it was, down to how its image area sits
            memo->setCaption(oldCaption);
            memo->Image1->setAutoSize(autoSize);
            memo->Image1->setFillsClient(fillsClient);
        } else {
            DiscardMemo(MdiArea, memo);
        }
        return;
    }
    if (reused)
        memo->rememberForUndo(std::move(before));
    memo->publishState();
    FitToPicture(memo);
}

void MainWindow::closeWindow()
{
    MemoWindow* memo = activeMemo();
    if (!memo)
        return;
    if (memo->Modified) {
        const QString question =
            memo->memoLabel() + QStringLiteral(" が変更されています。 保存しますか？");
        // ｷｬﾝｾﾙ, Escape and a cancelled save dialog keep the window; a failing save ends the
        // command in the failure box and keeps it too.
        switch (ShowBox(BoxKind::Confirmation, question, BoxButtons::YesNoCancel)) {
        case BoxAnswer::Yes:
            if (!memo->saveAs())
                return;
            break;
        case BoxAnswer::No: break;
        default: return;
        }
    }
    // Freed directly: its own close prompt must not ask a second time.
    DiscardMemo(MdiArea, memo);
    if (!activeMemo() && memoCount() > 0)
        MdiArea->activateNextSubWindow();
    if (!activeMemo()) {
        updateActions();
        showNoImageStatus();
    }
}
