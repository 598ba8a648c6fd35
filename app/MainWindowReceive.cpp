// The link command Receive of the frame (Send is in MainWindowSend.cpp).
#include "app/MainWindow.h"

#include "app/ConnectionStatusDialog.h"
#include "gui/MessageBox.h"
#include "link/CommLink.h"
#include "link/Comenote.h"
#include "link/ReceiveExchange.h"
#include "memo/MemoWindow.h"
#include "store/MemoStore.h"
#include "transfer/DeviceText.h"
#include "transfer/MemoImage.h"
#include "transfer/ReceivedMemos.h"

#include <QApplication>

#include <deque>
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

// With the inbox on, every memo is written to the library folder as it arrives, before the
// device hears its "#": a memo that cannot be written is not acknowledged, and the exchange
// ends there with "!" (the device still has it).
class Inbox {
public:
    explicit Inbox(const QString& folder) : store_(folder) {}

    std::optional<platform::FileWriteError> Open() { return store_.Open(); }
    const QString& Folder() const { return store_.Folder(); }

    bool Arrived(const TReceivedMemo& memo, QString& error)
    {
        QString path;
        if (memo.Error.isEmpty()) {  // a memo that could not be drawn has nothing to keep
            if (const auto failure = store_.Store(memo.Picture.Image, MemoMetaOf(memo, QDateTime::currentDateTime()), &path)) {
                error = StoreFailureText(store_.Folder(), *failure, store_.Stored());
                return false;
            }
        }
        paths_.push_back(path);
        return true;
    }

    // The file of the next memo delivered: memos are delivered in the order they arrived.
    QString TakePath()
    {
        if (paths_.empty())
            return {};
        QString path = std::move(paths_.front());
        paths_.pop_front();
        return path;
    }

private:
    TMemoStore store_;
    std::deque<QString> paths_;
};

}  // namespace

void MainWindow::receive()
{
    endRegionSelections();
    if (LinkInUse())
        return;  // an exchange is already opening or running
    std::optional<Inbox> inbox;
    if (LibrarySettings.AutoSave) {
        inbox.emplace(LibraryFolder());
        if (const auto failure = inbox->Open()) {
            ShowBox(BoxKind::Error, FolderFailureText(inbox->Folder(), *failure));
            return;
        }
    }
    Connect1.get();  // the status dialog, built on first use, hosts the exchange
    // The memos the device was told had arrived, drawn (and their files); their windows open
    // once the exchange has ended.
    std::vector<std::pair<TReceivedMemo, QString>> received;
    TReceiveSink sink;
    if (inbox)
        sink.Arrived = [&inbox](const TReceivedMemo& memo, QString& error) { return inbox->Arrived(memo, error); };
    sink.Delivered = [&](TReceivedMemo& memo) {
        received.emplace_back(std::move(memo), inbox ? inbox->TakePath() : QString());
    };
    const ReceiveOutcome outcome = ReceiveExchange(CommLink, sink);
    if (outcome == ReceiveOutcome::PortUnavailable) {
        ShowBox(BoxKind::Error, OpenFailureText(LastOpenFailure()));
        return;
    }
    {
        HourglassCursor hourglass;
        for (const auto& [memo, path] : received) {
            if (!memo.Error.isEmpty()) {
                ShowBox(BoxKind::Error, undrawableMemoText(memo));  // the others still open
                continue;
            }
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
    if (outcome == ReceiveOutcome::Completed)
        ShowBox(BoxKind::Information, QStringLiteral("正常に受信されました"));
}
