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

#include <vector>

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
QString undrawableMemoText(const TReceivedMemo& memo)
{
    const QSize size = memo.ClaimedSize;
    if (size.width() > MaxReceivedSide || size.height() > MaxReceivedSide)
        return QStringLiteral("受信したメモの画像 (%1×%2) は大きすぎるため表示できません。"
                              "表示できるのは %3×%3 までです。")
            .arg(size.width())
            .arg(size.height())
            .arg(MaxReceivedSide);
    return QStringLiteral("受信したメモの画像の情報が壊れているため表示できません。");
}

}  // namespace

void TMainForm::N2Click()
{
    EndRegionSelections();
    if (LinkInUse())
        return;  // an exchange is already opening or running
    Connect1.get();  // the status dialog, built on first use, hosts the exchange
    // The memos the device was told had arrived, drawn; their windows open once the exchange
    // has ended.
    std::vector<TReceivedMemo> received;
    TReceiveSink sink;
    sink.Delivered = [&received](TReceivedMemo& memo) { received.push_back(std::move(memo)); };
    const ReceiveOutcome outcome = ReceiveExchange(CommLink, sink);
    if (outcome == ReceiveOutcome::PortUnavailable) {
        ShowBox(BoxKind::Error, OpenFailureText(LastOpenFailure()));
        return;
    }
    {
        HourglassCursor hourglass;
        for (const TReceivedMemo& memo : received) {
            if (!memo.Error.isEmpty()) {
                ShowBox(BoxKind::Error, undrawableMemoText(memo));  // the others still open
                continue;
            }
            auto* window = new TGraphForm;
            AddMemoWindow(window);
            ShareMenuActions(window);
            window->SetSingleBorder();
            window->ShowReceivedMemo(memo.Picture);
            window->SetDeviceTitle(DeviceCodesToText(memo.TitleCodes));
        }
    }
    if (outcome == ReceiveOutcome::Completed)
        ShowBox(BoxKind::Information, QStringLiteral("正常に受信されました"));
}
