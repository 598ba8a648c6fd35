// The link command Send of the frame: the active memo window's image (or its selected region)
// becomes one memo on the device.
#include "app/MainWindow.h"

#include "app/ConnectionStatusDialog.h"
#include "gui/MessageBox.h"
#include "app/TitleDialog.h"
#include "link/Comenote.h"
#include "link/CommLink.h"
#include "link/SendExchange.h"
#include "memo/MemoWindow.h"
#include "memo/ImageArea.h"
#include "transfer/MemoImage.h"
#include "transfer/SendAssembly.h"
#include "session/ReceiverBus.h"

#include <QApplication>

namespace {

// What the conversion needs of a memo window: its picture, stored size and selected region.
TMemoPicture pictureOf(const MemoWindow& memo)
{
    TMemoPicture pic;
    pic.Image = memo.Image1->picture();
    pic.ImageWidth = memo.ImageWidth;
    pic.ImageHeight = memo.ImageHeight;
    pic.SelLeft = memo.SelLeft;
    pic.SelTop = memo.SelTop;
    pic.SelRight = memo.SelRight;
    pic.SelBottom = memo.SelBottom;
    return pic;
}

// The part of the picture a Send takes: the selected region, or the whole picture.
QImage sentPart(const MemoWindow& memo)
{
    const QImage& picture = memo.Image1->picture();
    if (memo.SelLeft < 0)
        return picture;
    return picture.copy(QRect(QPoint(memo.SelLeft, memo.SelTop), QPoint(memo.SelRight, memo.SelBottom)));
}

void showNothingToSend() { ShowBox(BoxKind::Information, QStringLiteral("送信する画像がありません")); }

}  // namespace

void MainWindow::send()
{
    endRegionSelections();
    MemoWindow* memo = activeMemo();
    if (!memo)
        return;
    if (LinkInUse())
        return;  // an exchange is already opening or running: its chain stays as it is
    if (memo->ImageWidth == 0 || memo->ImageHeight == 0) {
        showNothingToSend();
        return;
    }

    // A picture with grey or colour is offered 送信用に変換 first; not again while a Send that
    // was refused as too large goes on with the region the user chose.
    if (!SkipSizeCheck) {
        MemoWindow* going = offerPreparation(memo, sentPart(*memo), QStringLiteral("送信"));
        if (!going)
            return;
        if (going != memo) {
            send();  // the prepared picture, in its own window
            return;
        }
    }

    bool prepareInstead = false;
    TConvHooks hooks;
    hooks.Refused = [memo, &prepareInstead] {
        // 送信用に変換 beside the warning's OK makes the picture small enough.
        if (ShowBox(BoxKind::Warning, QString::fromUtf16(TooLargeWarning), BoxButtons::OkPrepare) == BoxAnswer::Yes)
            prepareInstead = true;
        else
            memo->armRegionSelection();  // the user drags the part to send
    };
    hooks.Busy = [](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    };
    TTransferBitmap bitmap;  // the work buffer
    switch (ConvertForSend(pictureOf(*memo), bitmap, hooks)) {
    case ConvResult::TooLarge:
        if (prepareInstead) {
            if (prepareSuggested(memo, memo->Image1->picture()))
                send();
            else
                memo->armRegionSelection();
        }
        return;
    case ConvResult::NoImage:
        showNothingToSend();
        return;
    case ConvResult::Converted:
        break;
    }

    TitleInput1->exec();
    TSendText text;
    QString error;
    if (!MakeSendText(TitleInput1->GetTitle(), TitleInput1->GetTitleReader(), memo->FileName, text, error)) {
        ShowBox(BoxKind::Error, error);
        return;
    }
    const TRecordList chain = BuildSendChain(bitmap, text, TitleSwitches(CommLink));
    Connect1.get();  // the status dialog, built on first use, hosts the exchange
    const auto lease = session::PortLease::BorrowFor(CommLink);  // from the receiver, if it holds the line
    if (SendExchange(CommLink, chain) == SendOutcome::PortUnavailable)
        ShowBox(BoxKind::Error, OpenFailureText(LastOpenFailure()));
}
