// The inbox's policy: a memo is on disk before the exchange may acknowledge it, a memo that
// cannot be written is not acknowledged, and each delivered memo comes with its own file.
#include "store/Inbox.h"
#include "store/MemoContent.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QPainter>

#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <functional>
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

// What counts as the same memo: the pixels as the file stores them and the device's codes.
struct SameCase {
    const char* name;
    std::function<void(QImage& picture, QByteArray& title, QByteArray& reading)> change;
    bool same;
};

class MemoContent : public testing::TestWithParam<SameCase> {};

TEST_P(MemoContent, KeyTellsTheSameMemoFromAnother)
{
    QImage picture(30, 9, QImage::Format_Mono);  // a width that leaves bits after the last pixel
    picture.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    picture.fill(1);
    picture.setPixel(3, 4, 0);
    picture.setPixel(29, 8, 0);
    const QByteArray title = QByteArray::fromHex("2422");
    const QByteArray reading = QByteArray::fromHex("B1");
    QImage other = picture;
    QByteArray otherTitle = title, otherReading = reading;
    GetParam().change(other, otherTitle, otherReading);
    const QByteArray key = MemoContentKey(picture, title, reading);
    ASSERT_EQ(key.size(), 64);
    EXPECT_EQ(MemoContentKey(other, otherTitle, otherReading) == key, GetParam().same);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MemoContent,
    testing::Values(
        SameCase{"Unchanged", [](QImage&, QByteArray&, QByteArray&) {}, true},
        SameCase{"BitsPastTheLastPixel",
                 [](QImage& p, QByteArray&, QByteArray&) { p.scanLine(2)[3] |= 0x03; }, true},
        SameCase{"AsColourPixels",
                 [](QImage& p, QByteArray&, QByteArray&) { p = p.convertToFormat(QImage::Format_ARGB32); }, true},
        SameCase{"OnePixel", [](QImage& p, QByteArray&, QByteArray&) { p.setPixel(29, 0, 0); }, false},
        SameCase{"GreyIsInk",
                 [](QImage& p, QByteArray&, QByteArray&) {
                     p = p.convertToFormat(QImage::Format_RGB32);
                     p.setPixel(0, 0, qRgb(254, 255, 255));
                 },
                 false},
        SameCase{"OtherSize", [](QImage& p, QByteArray&, QByteArray&) { p = p.copy(0, 0, 30, 10); }, false},
        SameCase{"OneTitleCode", [](QImage&, QByteArray& t, QByteArray&) { t = QByteArray::fromHex("2423"); }, false},
        SameCase{"TitleCodesMovedIntoReading",
                 [](QImage&, QByteArray& t, QByteArray& r) {
                     r = t + r;
                     t.clear();
                 },
                 false},
        SameCase{"NoReading", [](QImage&, QByteArray&, QByteArray& r) { r.clear(); }, false}),
    [](const auto& info) { return std::string(info.param.name); });

TReceivedMemo StrokeMemo(int seed, const char* titleHex)
{
    TReceivedMemo memo;
    QImage image(40, 20, QImage::Format_Mono);
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    image.fill(1);
    for (int x = 0; x < 40; ++x)
        image.setPixel(x, (x * seed) % 20, 0);
    memo.Picture.Image = image;
    memo.Picture.ImageWidth = 40;
    memo.Picture.ImageHeight = 20;
    memo.TitleCodes = QByteArray::fromHex(titleHex).toStdString();
    return memo;
}

// The memo that a memo sent again may repeat: the newest of the library, recent, and not yet
// vouched for by an exchange that ended normally.
struct UnconfirmedCase {
    const char* name;
    std::vector<int> ages;  // seconds before now that each memo arrived, in the order written
    int vouched;            // the memo the note names (-1: none)
    int expected;           // the memo found (-1: none)
};

class Unconfirmed : public testing::TestWithParam<UnconfirmedCase> {};

TEST_P(Unconfirmed, IsTheNewestRecentMemoNotVouchedFor)
{
    const UnconfirmedCase& c = GetParam();
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    TMemoStore store(data.path() + QStringLiteral("/memos"));
    ASSERT_FALSE(store.Open());
    const QDateTime now = QDateTime::currentDateTime();
    std::vector<QString> paths;
    for (size_t i = 0; i < c.ages.size(); ++i) {
        const TReceivedMemo memo = StrokeMemo(int(i) + 2, "2422");
        QString path;
        ASSERT_FALSE(store.Store(memo.Picture.Image, MemoMetaOf(memo, now.addSecs(-c.ages[i])), &path));
        paths.push_back(path);
    }
    if (c.vouched >= 0) {
        QDir().mkpath(QFileInfo(DeliveredNotePath(store.Folder())).path());
        QFile note(DeliveredNotePath(store.Folder()));
        ASSERT_TRUE(note.open(QIODevice::WriteOnly));
        note.write(QFileInfo(paths[size_t(c.vouched)]).fileName().toUtf8());
    }
    const std::optional<TUnconfirmedMemo> found = FindUnconfirmedMemo(store.Folder(), now);
    if (c.expected < 0) {
        EXPECT_FALSE(found) << found->path.toStdString();
        return;
    }
    ASSERT_TRUE(found);
    EXPECT_EQ(found->path, paths[size_t(c.expected)]);
    const TReceivedMemo memo = StrokeMemo(c.expected + 2, "2422");
    EXPECT_EQ(found->key, MemoContentKey(memo.Picture.Image, QByteArray::fromStdString(memo.TitleCodes), {}));
}

INSTANTIATE_TEST_SUITE_P(Cases, Unconfirmed,
                         testing::Values(UnconfirmedCase{"NewestOfSeveral", {300, 120, 200}, -1, 1},
                                         UnconfirmedCase{"SameSecondTheOneWrittenLast", {60, 60}, -1, 1},
                                         UnconfirmedCase{"NewestVouchedFor", {300, 120}, 1, -1},
                                         UnconfirmedCase{"AnOlderOneVouchedFor", {300, 120}, 0, 1},
                                         UnconfirmedCase{"TooLongAgo", {60 * kResendMinutes + 30}, -1, -1},
                                         UnconfirmedCase{"JustInTime", {60 * kResendMinutes - 30}, -1, 0},
                                         UnconfirmedCase{"FromTheFuture", {-600}, -1, -1},
                                         UnconfirmedCase{"EmptyLibrary", {}, -1, -1}),
                         [](const auto& info) { return std::string(info.param.name); });

// The note an exchange leaves says which memo may come again; once the folder has changed
// behind it (a program killed after storing a memo, a file removed), the folder itself is looked at.
struct NoteCase {
    const char* name;
    bool completed;     // how the first exchange (memo A) ended
    bool storeBehind;   // memo B stored afterwards by another writer, no note written
    bool removeA;       // A's file removed afterwards
    int incoming;       // 0: A comes, 1: B comes
    bool recognised;
    bool heard = false;  // the device sent a record after A's "#" before the first exchange broke off
};

class InboxNote : public testing::TestWithParam<NoteCase> {};

TEST_P(InboxNote, TellsWhichMemoMayComeAgain)
{
    const NoteCase& c = GetParam();
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    TMemoStore store(data.path() + QStringLiteral("/memos"));
    ASSERT_FALSE(store.Open());
    const TReceivedMemo memos[] = {StrokeMemo(2, "2422"), StrokeMemo(3, "2423")};
    QString error, pathA;
    {
        TInbox first(store);
        first.Stored = [&](const TReceivedMemo&, const QString& path) { pathA = path; };
        const TReceiveSink sink = first.Sink();
        ASSERT_TRUE(sink.Arrived(memos[0], error));
        if (c.heard)
            sink.Heard();
        first.ExchangeEnded(c.completed);
    }
    if (c.storeBehind) {
        QThread::msleep(20);  // a later change of the folder than the note
        QString path;
        ASSERT_FALSE(store.Store(memos[1].Picture.Image, MemoMetaOf(memos[1], QDateTime::currentDateTime()), &path));
    }
    if (c.removeA) {
        QThread::msleep(20);
        ASSERT_TRUE(QFile::remove(pathA));
    }
    TInbox next(store);
    ASSERT_TRUE(next.Sink().Arrived(memos[c.incoming], error));
    EXPECT_EQ(next.RecognisedCount(), c.recognised ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, InboxNote,
                         testing::Values(NoteCase{"BrokenOffSentAgain", false, false, false, 0, true},
                                         NoteCase{"CompletedSentOnPurpose", true, false, false, 0, false},
                                         NoteCase{"BrokenOffAnotherMemoComes", false, false, false, 1, false},
                                         NoteCase{"AWriterKilledAfterStoringB", true, true, false, 1, true},
                                         NoteCase{"ANewerMemoThanTheOneInTheNote", false, true, false, 0, false},
                                         NoteCase{"TheMemoInTheNoteIsGone", false, false, true, 0, false},
                                         NoteCase{"BrokenOffAfterTheDeviceWentOn", false, false, false, 0, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The note is written over the one before where it stands: a power cut during the write may
// leave it cut short, or with the end of the old note behind the new one. Such a note makes
// the memo it named look new (stored twice at worst), never another memo a repeat.
TEST(InboxNoteFile, ANoteTornByAPowerCutNamesNoOtherMemo)
{
    const struct {
        const char* what;
        std::function<QByteArray(const QByteArray& note)> torn;
        bool recognised;
    } cases[] = {
        {"whole", [](const QByteArray& note) { return note; }, true},
        {"the old note's end behind it", [](const QByteArray& note) { return note + "2026-01-01 00.00.00 old.png\n"; },
         true},
        {"cut in the name of the memo", [](const QByteArray& note) { return note.first(note.size() - 6); }, false},
        {"cut before that name", [](const QByteArray& note) { return note.first(note.indexOf('\n') + 1); }, false},
        {"garbage", [](const QByteArray&) { return QByteArray("\xff\xfe\n\x01\n", 5); }, false},
    };
    for (const auto& c : cases) {
        QTemporaryDir data;
        qputenv("XDG_DATA_HOME", data.path().toUtf8());
        TMemoStore store(data.path() + QStringLiteral("/memos"));
        ASSERT_FALSE(store.Open());
        const TReceivedMemo memo = StrokeMemo(2, "2422");
        QString error;
        {
            TInbox first(store);
            ASSERT_TRUE(first.Sink().Arrived(memo, error));
            first.ExchangeEnded(false);  // broken off before its "#"
        }
        QFile note(DeliveredNotePath(store.Folder()));
        ASSERT_TRUE(note.open(QIODevice::ReadWrite));
        const QByteArray whole = note.readAll();
        ASSERT_TRUE(whole.count('\n') == 2 && whole.endsWith(".png\n")) << whole.toStdString();
        ASSERT_TRUE(note.resize(0));
        note.write(c.torn(whole));
        note.close();
        TInbox next(store);
        ASSERT_TRUE(next.Sink().Arrived(memo, error)) << c.what;
        EXPECT_EQ(next.RecognisedCount(), c.recognised ? 1 : 0) << c.what;
        EXPECT_EQ(QDir(store.Folder()).entryList(QDir::Files).size(), c.recognised ? 1 : 2) << c.what;
    }
}

// A FIFO that nobody reads at the note's name holds neither the memo's arrival nor the
// exchange's end (reading or writing the note would wait for it for ever).
TEST(InboxNoteFile, AFifoAtItsNameIsNeitherReadNorWritten)
{
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    TMemoStore store(data.path() + QStringLiteral("/memos"));
    ASSERT_FALSE(store.Open());
    const QString note = DeliveredNotePath(store.Folder());
    ASSERT_TRUE(QDir().mkpath(QFileInfo(note).path()));
    ASSERT_EQ(::mkfifo(QFile::encodeName(note).constData(), 0600), 0);
    TInbox inbox(store);
    QString error;
    ASSERT_TRUE(inbox.Sink().Arrived(StrokeMemo(2, "2422"), error));
    inbox.ExchangeEnded(true);
    EXPECT_EQ(inbox.StoredCount(), 1);
}

// A file without the Content chunk (written before it existed, or by another program) is
// recognised all the same.
TEST(InboxLibrary, AnOlderFileWithoutItsContentChunkIsRecognised)
{
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    TMemoStore store(data.path() + QStringLiteral("/memos"));
    ASSERT_FALSE(store.Open());
    const TReceivedMemo memo = StrokeMemo(3, "24222423");
    QString path;
    ASSERT_FALSE(store.Store(memo.Picture.Image, MemoMetaOf(memo, QDateTime::currentDateTime().addSecs(-5)), &path));
    ASSERT_TRUE(ReadMemoMeta(path)->Content.isEmpty());
    TInbox inbox(store);
    QString recognised, error;
    inbox.Recognised = [&](const TReceivedMemo&, const QString& p) { recognised = p; };
    ASSERT_TRUE(inbox.Sink().Arrived(memo, error));
    EXPECT_EQ(recognised, path);
    EXPECT_EQ(inbox.StoredCount(), 0);
    // Later in the same exchange the same drawing is a memo of its own, and carries its key.
    ASSERT_TRUE(inbox.Sink().Arrived(memo, error));
    EXPECT_EQ(inbox.StoredCount(), 1);
    EXPECT_EQ(QDir(store.Folder()).entryList(QDir::Files).size(), 2);
}

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
