// The link command Receive of the frame (Send is in MainFormSend.cpp).
#include "app/MainForm.h"

#include "app/MessageBox.h"
#include "link/CommLink.h"
#include "link/Comenote.h"
#include "link/Connect.h"
#include "link/ReceiveExchange.h"
#include "memo/Gmemo.h"
#include "transfer/DeviceText.h"
#include "transfer/MemoImage.h"
#include "transfer/ReceivedMemos.h"

#include <QApplication>

#include <algorithm>
#include <string_view>

namespace {

// The hourglass while the memo windows are drawn; the normal cursor again however it ends.
class HourglassCursor {
public:
    HourglassCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~HourglassCursor() { QApplication::restoreOverrideCursor(); }
    HourglassCursor(const HourglassCursor&) = delete;
    HourglassCursor& operator=(const HourglassCursor&) = delete;
};

// The user's words for a received memo that could not be drawn.
QString undrawableMemoText(const MemoBlock& header)
{
    const QSize size = ClaimedImageSize(header);
    if (size.width() > MaxReceivedSide || size.height() > MaxReceivedSide)
        return QStringLiteral("受信したメモの画像 (%1×%2) は大きすぎるため表示できません。"
                              "表示できるのは %3×%3 までです。")
            .arg(size.width())
            .arg(size.height())
            .arg(MaxReceivedSide);
    return QStringLiteral("受信したメモの画像の情報が壊れているため表示できません。");
}

// The memo's title as the device stores it (record 0000 of type 00), which tells memos apart
// in the ｳｨﾝﾄﾞｳ menu and the window's tooltip.
bool isTitleRecord(const MemoBlock& block)
{
    return block.RecType == 0x00 && block.Address == 0x0000;
}

std::string_view recordData(const MemoBlock& block)
{
    return {reinterpret_cast<const char*>(block.Data.data()), std::min<size_t>(block.Count, 256)};
}

}  // namespace

void TMainForm::N2Click()
{
    EndRegionSelections();
    if (LinkInUse())
        return;  // an exchange is already opening or running
    Connect1.get();  // the status dialog, built on first use, hosts the exchange
    ReceiveOutcome outcome = ReceiveOutcome::PortUnavailable;
    const MemoBlock* head = ReceiveExchange(CommLink, &outcome);
    if (outcome == ReceiveOutcome::PortUnavailable) {
        ShowBox(BoxKind::Error, OpenFailureText(LastOpenFailure()));
        return;
    }
    if (!head)
        return;
    TListGuard freeList(CommLink);
    {
        HourglassCursor hourglass;
        QString title;  // the device's title of the memo whose header comes next
        for (const MemoBlock* node = head; node;) {
            if (IsImageHeader(*node)) {
                auto* memo = new TGraphForm;
                AddMemoWindow(memo);
                ShareMenuActions(memo);
                memo->SetSingleBorder();
                QString error;
                const MemoBlock& header = *node;
                node = memo->DispGraphMemo(node, error);
                if (!error.isEmpty()) {
                    // This memo cannot be shown; the others still open.
                    memo->setAttribute(Qt::WA_DeleteOnClose, false);
                    delete memo;
                    ShowBox(BoxKind::Error, undrawableMemoText(header));
                } else {
                    memo->SetDeviceTitle(title);
                }
                title.clear();
            }
            if (!node)
                break;
            if (isTitleRecord(*node))
                title = DeviceCodesToText(recordData(*node));
            node = node->Next.get();
        }
    }
    if (outcome == ReceiveOutcome::Completed)
        ShowBox(BoxKind::Information, QStringLiteral("正常に受信されました"));
}
