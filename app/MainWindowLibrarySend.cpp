// Sending library memos, which the library asks the frame for: each memo goes to the device
// in an exchange of its own, with the title and reading it carries, as the Send command of a
// memo window sends one.
#include "app/MainWindow.h"

#include "app/ConnectionStatusDialog.h"
#include "library/LibraryCommands.h"
#include "gui/MessageBox.h"
#include "link/Comenote.h"
#include "link/CommLink.h"
#include "link/ExchangeMessages.h"
#include "link/SendExchange.h"
#include "picture/Picture.h"
#include "transfer/MemoImage.h"
#include "transfer/SendAssembly.h"
#include "session/ReceiverBus.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>

#include <vector>

namespace {

struct Prepared {
    TTransferBitmap bitmap;
    TSendText text;
};

// MEMO ready to go, or the reason (shown to the user) why it cannot.
std::optional<QString> prepare(const LibraryMemo& memo, Prepared& out)
{
    const QString name = QFileInfo(memo.path).fileName();
    const std::optional<QImage> picture = ReadPictureFile(memo.path);
    if (!picture)
        return QStringLiteral("%1 を読み込めません").arg(name);
    if (picture->width() > 124 || picture->height() > 121)
        return QStringLiteral("%1: %2").arg(name, QString::fromUtf16(TooLargeWarning));
    TMemoPicture pic;
    pic.Image = *picture;
    pic.ImageWidth = uint16_t(picture->width());
    pic.ImageHeight = uint16_t(picture->height());
    // The size was checked above; a memo window's pending permission to skip it stays its own.
    const bool skip = SkipSizeCheck;
    const ConvResult converted = ConvPixToBitmap(pic, out.bitmap);
    SkipSizeCheck = skip;
    if (converted != ConvResult::Converted)
        return QStringLiteral("%1: 送信する画像がありません").arg(name);
    // A memo of the library carries its title and reading; a picture put into the folder by
    // hand is sent under its file name, as a memo window without a title would be.
    QString error;
    const bool ok = memo.titled
                        ? MakeSendText(memo.title, memo.reading.isEmpty() ? memo.title : memo.reading, memo.path,
                                       out.text, error)
                        : MakeSendText(QString(), QString(), QFileInfo(memo.path).completeBaseName(), out.text, error);
    if (!ok)
        return QStringLiteral("%1: %2").arg(name, error);
    return std::nullopt;
}

// Between two exchanges the line stays closed a moment: the device takes the close as the end
// of one exchange before the next call comes. The user's input waits meanwhile.
void letTheDeviceSeeTheLineClose()
{
    constexpr int kClosedMs = 500;
    QDeadlineTimer closed(kClosedMs);
    while (!closed.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, int(std::max<qint64>(1, closed.remainingTime())));
}

}  // namespace

bool MainWindow::sendLibraryMemos(const QList<LibraryMemo>& memos)
{
    if (memos.isEmpty())
        return false;
    endRegionSelections();
    if (LinkInUse())
        return false;  // an exchange is already opening or running
    // Every memo is checked before anything goes out.
    std::vector<Prepared> prepared(size_t(memos.size()));
    for (qsizetype i = 0; i < memos.size(); ++i) {
        if (const std::optional<QString> why = prepare(memos[i], prepared[size_t(i)])) {
            ShowBox(BoxKind::Warning, *why);
            return false;
        }
    }
    const bool single = memos.size() == 1;
    if (!single && ShowBox(BoxKind::Information,  // the same kind as the question of one memo
                           QStringLiteral("%1 件のメモを送信します。%2").arg(memos.size()).arg(QString::fromUtf16(ConfirmSendText)),
                           BoxButtons::OkCancel) != BoxAnswer::Ok)
        return false;
    Connect1.get();  // the status dialog, built on first use, hosts the exchanges
    for (size_t i = 0; i < prepared.size(); ++i) {
        const Prepared& memo = prepared[i];
        if (i > 0)
            letTheDeviceSeeTheLineClose();
        const TRecordList chain = BuildSendChain(memo.bitmap, memo.text, TitleSwitches(CommLink));
        // One memo is asked about and reported as a memo window's Send does.
        const SendTelling telling = single ? SendTelling{} : SendTelling{false, false};
        const auto lease = session::PortLease::BorrowFor(CommLink);  // from the receiver, if it holds the line
        switch (SendExchange(CommLink, chain, telling)) {
        case SendOutcome::Sent: break;
        case SendOutcome::PortUnavailable:
            ShowBox(BoxKind::Error, OpenFailureText(LastOpenFailure()));
            return false;
        case SendOutcome::Declined:
        case SendOutcome::Failed: return false;  // the exchange has told the user
        }
    }
    if (!single)
        ExchangeMessage(ExchangeBox::Information, QStringLiteral("%1 件のメモを正常に送信しました").arg(memos.size()));
    return true;
}
