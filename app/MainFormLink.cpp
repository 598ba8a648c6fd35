// The link command Receive of the frame (Send is in MainFormSend.cpp).
#include "app/MainForm.h"

#include "app/MessageBox.h"
#include "link/CommLink.h"
#include "link/Comenote.h"
#include "link/ReceiveExchange.h"
#include "memo/Gmemo.h"
#include "transfer/MemoImage.h"
#include "transfer/ReceivedMemos.h"

#include <QApplication>

namespace {

// The hourglass while the memo windows are drawn; the normal cursor again however it ends.
class HourglassCursor {
public:
    HourglassCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~HourglassCursor() { QApplication::restoreOverrideCursor(); }
    HourglassCursor(const HourglassCursor&) = delete;
    HourglassCursor& operator=(const HourglassCursor&) = delete;
};

// Frees the received list however the command ends.
class ReceivedListGuard {
public:
    explicit ReceivedListGuard(TCommLink& link) : link_(link) {}
    ~ReceivedListGuard() { FreeBlocks(link_, link_.Head.get()); }
    ReceivedListGuard(const ReceivedListGuard&) = delete;
    ReceivedListGuard& operator=(const ReceivedListGuard&) = delete;

private:
    TCommLink& link_;
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

}  // namespace

void TMainForm::N2Click()
{
    EndRegionSelections();
    if (LinkInUse())
        return;  // an exchange is already opening or running
    ReceiveOutcome outcome = ReceiveOutcome::PortUnavailable;
    const MemoBlock* head = ReceiveExchange(CommLink, &outcome);
    if (outcome == ReceiveOutcome::PortUnavailable) {
        ShowBox(BoxKind::Error, OpenFailureText(LastOpenFailure()));
        return;
    }
    if (!head)
        return;
    ReceivedListGuard freeList(CommLink);
    {
        HourglassCursor hourglass;
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
                }
            }
            if (!node)
                break;
            node = node->Next.get();
        }
    }
    if (outcome == ReceiveOutcome::Completed)
        ShowBox(BoxKind::Information, QStringLiteral("正常に受信されました"));
}
