// The link command Receive of the frame (Send is in MainWindowSend.cpp).
#include "app/MainWindow.h"

#include "app/ConnectionStatusDialog.h"
#include "gui/MessageBox.h"
#include "link/CommLink.h"
#include "link/Comenote.h"
#include "link/ReceiveExchange.h"
#include "memo/MemoWindow.h"
#include "store/Inbox.h"
#include "store/MemoStore.h"
#include "transfer/DeviceText.h"
#include "transfer/MemoImage.h"
#include "transfer/ReceivedMemos.h"
#include "session/ReceiverBus.h"

#include <QApplication>

#include <optional>
#include <utility>
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

void MainWindow::receive()
{
    endRegionSelections();
    if (LinkInUse())
        return;  // an exchange is already opening or running
    std::optional<TMemoStore> library;
    std::optional<TInbox> inbox;
    if (LibrarySettings.AutoSave) {
        library.emplace(LibraryFolder(), LibrarySettings.Synced);
        if (const auto failure = library->Open()) {
            ShowBox(BoxKind::Error, FolderFailureText(library->Folder(), *failure));
            return;
        }
        inbox.emplace(*library);
    }
    Connect1.get();  // the status dialog, built on first use, hosts the exchange
    // The memos the device was told had arrived, drawn (and their files); their windows open
    // once the exchange has ended.
    std::vector<std::pair<TReceivedMemo, QString>> received;
    auto deliver = [&received](TReceivedMemo& memo, const QString& path) { received.emplace_back(std::move(memo), path); };
    TReceiveSink sink;
    if (inbox) {
        inbox->Delivered = deliver;
        sink = inbox->Sink();
    } else {
        sink.Delivered = [&deliver](TReceivedMemo& memo) { deliver(memo, QString()); };
    }
    // Memos that could not be drawn were answered "?": the device still has them. Each kind
    // of fault is told once, however often the device sent it.
    QStringList refused;
    sink.Refused = [&refused](const TReceivedMemo& memo) {
        const QString text = undrawableMemoText(memo);
        if (!refused.contains(text))
            refused.append(text);
    };
    std::optional<session::PortLease> lease = session::PortLease::BorrowFor(CommLink);  // from the receiver
    const ReceiveOutcome outcome = ReceiveExchange(CommLink, sink);
    if (inbox)
        inbox->ExchangeEnded(outcome == ReceiveOutcome::Completed);
    lease.reset();  // the receiver has the line again before the memos open
    if (outcome == ReceiveOutcome::PortUnavailable) {
        ShowBox(BoxKind::Error, OpenFailureText(LastOpenFailure()));
        return;
    }
    for (const QString& text : refused)
        ShowBox(BoxKind::Error, text);  // the others still open
    {
        HourglassCursor hourglass;
        for (const auto& [memo, path] : received) {
            auto* window = new MemoWindow;
            addMemoWindow(window);
            window->setSingleBorder();
            if (path.isEmpty())
                window->showReceivedMemo(memo.Picture);
            else
                window->showStoredMemo(memo.Picture, path);
            window->setDeviceTitle(DeviceCodesToText(memo.TitleCodes));
        }
    }
    // A memo the device sent again because it never heard of its arrival is in the library once.
    const QString again = inbox && inbox->RecognisedCount() > 0
                              ? QStringLiteral("QM-10 が受信済みのメモをもう一度送ってきました (%1 件)。"
                                               "メモ一覧にすでにあるため、重ねて保存していません。")
                                    .arg(inbox->RecognisedCount())
                              : QString();
    if (outcome == ReceiveOutcome::Completed)
        ShowBox(BoxKind::Information,
                again.isEmpty() ? QStringLiteral("正常に受信されました") : QStringLiteral("正常に受信されました\n") + again);
    else if (!again.isEmpty())
        ShowBox(BoxKind::Information, again);
}
