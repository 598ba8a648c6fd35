// The inbox's policy: a memo is on disk before the exchange may acknowledge it, a memo that
// cannot be written is not acknowledged, and each delivered memo comes with its own file.
#include "store/Inbox.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <vector>

namespace {

TReceivedMemo Memo(int width)
{
    TReceivedMemo memo;
    memo.Picture.Image = QImage(width, 2, QImage::Format_Mono);
    memo.Picture.Image.fill(1);
    memo.Picture.ImageWidth = uint16_t(width);
    memo.Picture.ImageHeight = 2;
    return memo;
}

struct FailCase {
    const char* name;
    int failAt;             // the memo the writer refuses (-1: none)
    int arrivedTrue;        // memos the inbox took before it said no
    const char* keptNote;   // what the failure text says about the memos before it
};

class InboxPolicy : public testing::TestWithParam<FailCase> {};

TEST_P(InboxPolicy, TakesMemosUntilOneCannotBeWrittenAndDeliversEachWithItsFile)
{
    const FailCase& c = GetParam();
    int calls = 0;
    std::vector<int> notStored;
    TInbox inbox(QStringLiteral("/memos"), [&](const TReceivedMemo& memo, const QDateTime& arrived, QString* path)
                                               -> std::optional<platform::FileWriteError> {
        EXPECT_TRUE(arrived.isValid());
        if (calls++ == c.failAt)
            return platform::FileWriteError{platform::FileWriteError::Cause::System, ENOSPC};
        *path = QStringLiteral("/memos/%1.png").arg(memo.Picture.ImageWidth);
        return std::nullopt;
    });
    std::vector<QString> stored, delivered;
    inbox.Stored = [&](const TReceivedMemo&, const QString& path) { stored.push_back(path); };
    inbox.NotStored = [&](const TReceivedMemo& memo, const platform::FileWriteError& why) {
        EXPECT_EQ(why.error, ENOSPC);
        notStored.push_back(memo.Picture.ImageWidth);
    };
    inbox.Delivered = [&](TReceivedMemo& memo, const QString& path) {
        EXPECT_EQ(path, QStringLiteral("/memos/%1.png").arg(memo.Picture.ImageWidth)) << "each memo its own file";
        delivered.push_back(path);
    };
    const TReceiveSink sink = inbox.Sink();
    int taken = 0;
    QString error;
    for (int width : {11, 12, 13}) {
        if (!sink.Arrived(Memo(width), error))
            break;
        ++taken;
    }
    EXPECT_EQ(taken, c.arrivedTrue);
    EXPECT_EQ(inbox.StoredCount(), c.arrivedTrue);
    EXPECT_EQ(int(stored.size()), c.arrivedTrue) << "Stored is called before the acknowledgement";
    if (c.failAt < 0) {
        EXPECT_TRUE(error.isEmpty());
        EXPECT_TRUE(notStored.empty());
    } else {
        EXPECT_EQ(notStored, std::vector<int>{11 + c.failAt});
        EXPECT_TRUE(error.contains(QStringLiteral("保存先: /memos"))) << error.toStdString();
        EXPECT_TRUE(error.contains(QStringLiteral("このメモは QM-10 に残っています"))) << error.toStdString();
        if (*c.keptNote)
            EXPECT_TRUE(error.contains(QString::fromUtf8(c.keptNote))) << error.toStdString();
        else
            EXPECT_FALSE(error.contains(QStringLiteral("それまでに"))) << error.toStdString();
    }
    // The exchange delivers the memos whose "#" left, oldest first.
    for (int i = 0; i < taken; ++i) {
        TReceivedMemo memo = Memo(11 + i);
        sink.Delivered(memo);
    }
    EXPECT_EQ(delivered, stored);
}

INSTANTIATE_TEST_SUITE_P(Cases, InboxPolicy,
                         testing::Values(FailCase{"AllWritten", -1, 3, ""},
                                         FailCase{"FirstRefused", 0, 0, ""},
                                         FailCase{"ThirdRefused", 2, 2, "それまでに受信した 2 件のメモは保存されています"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(InboxLibrary, TheFileIsInTheLibraryBeforeTheMemoIsTaken)
{
    QTemporaryDir dir;
    TMemoStore store(dir.path() + QStringLiteral("/memos"));
    ASSERT_FALSE(store.Open());
    TInbox inbox(store);
    QString seen;
    inbox.Stored = [&](const TReceivedMemo&, const QString& path) {
        EXPECT_TRUE(QFileInfo(path).isFile()) << "written before the acknowledgement";
        seen = path;
    };
    QString error;
    ASSERT_TRUE(inbox.Sink().Arrived(Memo(9), error)) << error.toStdString();
    EXPECT_EQ(QImage(seen).size(), QSize(9, 2));

    // A folder that has gone: the memo is not taken, and the user learns where and why.
    ASSERT_TRUE(dir.remove());
    EXPECT_FALSE(inbox.Sink().Arrived(Memo(9), error));
    EXPECT_TRUE(error.contains(store.Folder())) << error.toStdString();
    EXPECT_EQ(inbox.StoredCount(), 1);
}

}  // namespace
