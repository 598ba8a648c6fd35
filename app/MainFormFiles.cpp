// The frame's commands that open, fill and close memo windows: New, Open, Load and Close.
#include "app/MainForm.h"

#include "gui/Dialogs.h"
#include "gui/MessageBox.h"
#include "memo/Gmemo.h"
#include "memo/ImageArea.h"

#include <QFileInfo>
#include <QMdiArea>

#include <optional>

namespace {

std::optional<QString> AskForMemoFile(QWidget* parent)
{
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::Open;
    request.title = QStringLiteral("手書きメモを開く");
    request.filter = QStringLiteral("BMP Files (*.BMP)|*.BMP|All Files (*.*)|*.*");
    request.fileMustExist = true;  // the other option: no read-only check box, which Qt never shows
    return RunFileDialog(parent, request);
}

// Takes a memo window out of the frame at once and frees it once control is back in the
// event loop: the command may have come from that window itself.
void DiscardMemo(QMdiArea* area, TGraphForm* memo)
{
    area->removeSubWindow(memo);
    memo->hide();
    memo->deleteLater();
}

void FitToPicture(TGraphForm* memo)
{
    memo->Modified = false;
    memo->SetClientSize(memo->Image1->width(), memo->Image1->height());
}

void ReleaseImageArea(TGraphForm* memo)
{
    memo->Image1->setAutoSize(true);
    memo->Image1->setFillsClient(false);
}

}  // namespace

TGraphForm* TMainForm::CreateMemoWindow()
{
    auto* memo = new TGraphForm;
    AddMemoWindow(memo);
    memo->SetSingleBorder();
    return memo;
}

void TMainForm::New1Click()
{
    TGraphForm* memo = CreateMemoWindow();
    memo->SetCaption(QStringLiteral("EMPTY_%1.BMP").arg(MemoCount()));
    memo->SetButtonStatus();
}

void TMainForm::Open1Click()
{
    if (const std::optional<QString> path = AskForMemoFile(this))
        OpenMemoFile(*path);
}

TGraphForm* TMainForm::OpenMemoFile(const QString& path)
{
    TGraphForm* memo = CreateMemoWindow();
    ReleaseImageArea(memo);
    memo->SetCaption(QFileInfo(path).fileName());
    if (!memo->SetImage(path)) {
        DiscardMemo(MdiArea, memo);
        return nullptr;
    }
    memo->SetButtonStatus();
    FitToPicture(memo);
    return memo;
}

void TMainForm::Load1Click()
{
    const std::optional<QString> path = AskForMemoFile(this);
    if (!path)
        return;
    TGraphForm* memo = ActiveMemo();
    const bool reused = memo != nullptr;
    if (reused && memo->Modified &&
        ShowBox(BoxKind::Warning, QStringLiteral("重ね読みしてもよいですか？"), BoxButtons::OkCancel) != BoxAnswer::Ok)
        return;
    if (!reused) {
        memo = new TGraphForm;
        AddMemoWindow(memo);
    }
    memo->EndRegionSelection();
    TGraphForm::TMemoState before = memo->State();  // what 元に戻す brings back
    memo->SetSingleBorder();
    const bool autoSize = memo->Image1->autoSize();
    const bool fillsClient = memo->Image1->fillsClient();
    ReleaseImageArea(memo);
    const QString oldCaption = memo->CaptionName();
    memo->SetCaption(QFileInfo(*path).fileName());
    if (!memo->SetImage(*path)) {
        if (reused) {  // as it was, down to how its image area sits
            memo->SetCaption(oldCaption);
            memo->Image1->setAutoSize(autoSize);
            memo->Image1->setFillsClient(fillsClient);
        } else {
            DiscardMemo(MdiArea, memo);
        }
        return;
    }
    if (reused)
        memo->RememberForUndo(std::move(before));
    memo->SetButtonStatus();
    FitToPicture(memo);
}

void TMainForm::Close1Click()
{
    TGraphForm* memo = ActiveMemo();
    if (!memo)
        return;
    if (memo->Modified) {
        const QString question =
            memo->MemoLabel() + QStringLiteral(" が変更されています。 保存しますか？");
        // ｷｬﾝｾﾙ, Escape and a cancelled save dialog keep the window; a failing save ends the
        // command in the failure box and keeps it too.
        switch (ShowBox(BoxKind::Confirmation, question, BoxButtons::YesNoCancel)) {
        case BoxAnswer::Yes:
            if (!memo->SaveAs1Click())
                return;
            break;
        case BoxAnswer::No: break;
        default: return;
        }
    }
    // Freed directly: its own close prompt must not ask a second time.
    DiscardMemo(MdiArea, memo);
    if (!ActiveMemo() && MemoCount() > 0)
        MdiArea->activateNextSubWindow();
    if (!ActiveMemo()) {
        updateActions();
        ShowNoImageStatus();
    }
}
