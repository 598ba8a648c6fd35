// Opening, loading, saving and closing memo windows, with the files checked by another reader.
#include "MemoFixture.h"

#include "support/FileSizeLimit.h"

#include "gui/Dialogs.h"
#include "gui/ExportDlg.h"
#include "store/MemoFile.h"
#include "store/PngText.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QToolButton>
#include <QtEndian>

#include <sys/stat.h>

namespace {

using MemoFiles = MemoFixture;

// ---- Open and Load ------------------------------------------------------------------------

TEST_F(MemoFiles, OpenAsksWithItsTitleAndFilterAndShowsTheFilesPixels)
{
    command("Open1");  // cancelled: no window
    EXPECT_EQ(MainForm->memoCount(), 0);
    const QImage image = pattern(61, 33);
    MemoWindow* memo = open(writeImage(QStringLiteral("Memo One.BMP"), image));
    ASSERT_NE(memo, nullptr);
    for (const FileDialogRequest& r : fileDialogs) {
        EXPECT_EQ(r.mode, FileDialogRequest::Mode::Open);
        EXPECT_EQ(r.title, "手書きメモを開く");
        EXPECT_TRUE(r.fileMustExist);
    }
    EXPECT_EQ(memo->windowTitle(), "Memo One.BMP");
    EXPECT_FALSE(memo->Modified);
    EXPECT_EQ(bitsOf(memo->Image1->picture()), bitsOf(image));
}

// The patterns of one of Qt's name filters, "Name (*.a *.b)", read as QFileDialog reads them.
QStringList QFileDialog_patterns(const QString& filter)
{
    const int open = filter.lastIndexOf(QLatin1Char('('));
    return filter.mid(open + 1).chopped(1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// The open dialog shows every picture VEXLO reads under its first filter, BMP alone under the
// second, all files under the third; the names are Japanese like the rest of the program.
TEST_F(MemoFiles, OpenDialogOffersEveryPictureFirstThenBmpAlone)
{
    command("Open1");  // cancelled
    ASSERT_EQ(fileDialogs.size(), 1u);
    const QStringList filters = QtFilterFrom(fileDialogs[0].filter).split(QStringLiteral(";;"));
    ASSERT_EQ(filters.size(), 3);
    EXPECT_TRUE(filters[0].startsWith(QStringLiteral("画像ファイル (")));
    EXPECT_TRUE(filters[1].startsWith(QStringLiteral("BMP ファイル (")));
    EXPECT_TRUE(filters[2].startsWith(QStringLiteral("すべてのファイル (")));
    const auto shows = [&](int filter, const QString& name) {
        const QStringList patterns = QFileDialog_patterns(filters[filter]);
        return QDir::match(patterns, name);
    };
    const struct {
        const char* name;
        bool pictures, bmp;
    } rows[] = {
        {"memo.BMP", true, true}, {"memo.bmp", true, true},     {"2026-12-07 22.15.03.png", true, false},
        {"photo.JPG", true, false}, {"photo.jpeg", true, false}, {"scan.gif", true, false},
        {"notes.txt", false, false},
    };
    for (const auto& row : rows) {
        const QString name = QString::fromUtf8(row.name);
        EXPECT_EQ(shows(0, name), row.pictures) << row.name;
        EXPECT_EQ(shows(1, name), row.bmp) << row.name;
        EXPECT_TRUE(shows(2, name)) << row.name;
    }
    for (const QString& f : filters)
        EXPECT_FALSE(f.contains(QStringLiteral("Files"))) << f.toStdString();
}

TEST_F(MemoFiles, OtherKindsThatQtReadsOpenToo)
{
    MemoWindow* memo = open(writeImage(QStringLiteral("drawing.png"), pattern(20, 12), "PNG"));
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->ImageWidth, 20);
    EXPECT_EQ(bitsOf(memo->Image1->picture()), bitsOf(pattern(20, 12)));
}

QByteArray validBmp(int w, int h)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    pattern(w, h).convertToFormat(QImage::Format_Mono).save(&buffer, "BMP");
    return bytes;
}

QByteArray withLe32(QByteArray b, int at, qint32 v)
{
    qToLittleEndian(v, b.data() + at);
    return b;
}

quint32 crc32(const QByteArray& data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char ch : data) {
        crc ^= quint8(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A real PNG whose header claims W x H, with a correct checksum so only the size is wrong.
QByteArray pngClaiming(quint32 w, quint32 h)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    pattern(4, 4).save(&buffer, "PNG");
    qToBigEndian(w, bytes.data() + 16);
    qToBigEndian(h, bytes.data() + 20);
    qToBigEndian(crc32(bytes.mid(12, 17)), bytes.data() + 29);
    return bytes;
}

struct DamagedCase {
    const char* name;
    QByteArray (*bytes)();
};

class DamagedFile : public MemoFixture, public testing::WithParamInterface<DamagedCase> {};

TEST_P(DamagedFile, OpenLeavesNoWindowAndLoadKeepsTheWindowAsItWas)
{
    const QString bad = path(QStringLiteral("bad.BMP"));
    writeBytes(bad, GetParam().bytes());

    fileAnswers.push_back(bad);
    command("Open1");
    EXPECT_EQ(MainForm->memoCount(), 0);

    const QImage good = pattern(30, 20);
    MemoWindow* memo = open(writeImage(QStringLiteral("good.bmp"), good));
    ASSERT_NE(memo, nullptr);
    fileAnswers.push_back(bad);
    command("Load1");
    ASSERT_EQ(MainForm->memoCount(), 1);
    EXPECT_EQ(memo->windowTitle(), "good.bmp");
    EXPECT_EQ(memo->FileName, path(QStringLiteral("good.bmp")));
    EXPECT_EQ(memo->ImageWidth, 30);
    EXPECT_EQ(bitsOf(memo->Image1->picture()), bitsOf(good));
    EXPECT_TRUE(boxes.empty());  // refused silently
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedFile,
    testing::Values(
        DamagedCase{"Empty", [] { return QByteArray(); }},
        DamagedCase{"Text", [] { return QByteArray("this is not a picture\n"); }},
        DamagedCase{"HeaderOnly", [] { return validBmp(64, 64).left(62); }},
        DamagedCase{"Truncated", [] { return validBmp(64, 64).chopped(40); }},
        DamagedCase{"HugeDimensions", [] { return withLe32(withLe32(validBmp(8, 8), 18, 100000), 22, 100000); }},
        DamagedCase{"NegativeWidth", [] { return withLe32(validBmp(8, 8), 18, -8); }},
        DamagedCase{"ZeroHeight", [] { return withLe32(validBmp(8, 8), 22, 0); }},
        DamagedCase{"DataOffsetPastTheEnd", [] { return withLe32(validBmp(8, 8), 10, 1 << 30); }},
        DamagedCase{"HugePng", [] { return pngClaiming(60000, 60000); }}),
    [](const testing::TestParamInfo<DamagedCase>& info) { return std::string(info.param.name); });

TEST_F(MemoFiles, LoadWithoutAnActiveWindowOpensOne)
{
    fileAnswers.push_back(writeImage(QStringLiteral("loaded.bmp"), pattern(50, 40)));
    command("Load1");
    MemoWindow* memo = MainForm->activeMemo();
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->windowTitle(), "loaded.bmp");
    EXPECT_EQ(memo->clientSize(), memo->clientSizeFor(QSize(50, 40)));
    EXPECT_TRUE(boxes.empty());
}

struct LoadCase {
    const char* name;
    bool modified;
    BoxAnswer answer;
    bool asked;
    bool replaced;
};

class LoadInto : public MemoFixture, public testing::WithParamInterface<LoadCase> {};

TEST_P(LoadInto, AModifiedWindowIsAskedAboutFirst)
{
    const LoadCase& c = GetParam();
    const QImage before = pattern(30, 20);
    const QImage after = pattern(45, 25).mirrored(true, false);
    MemoWindow* memo = open(writeImage(QStringLiteral("before.bmp"), before));
    ASSERT_NE(memo, nullptr);
    memo->Modified = c.modified;
    answers.push_back(c.answer);
    fileAnswers.push_back(writeImage(QStringLiteral("after.bmp"), after));
    command("Load1");

    ASSERT_EQ(boxes.size(), c.asked ? 1u : 0u);
    if (c.asked) {
        EXPECT_EQ(boxes[0].caption, "警告");
        EXPECT_EQ(boxes[0].text, "重ね読みしてもよいですか？");
        EXPECT_EQ(boxes[0].buttons, BoxButtons::OkCancel);
    }
    ASSERT_EQ(MainForm->memoCount(), 1);
    EXPECT_EQ(MainForm->activeMemo(), memo);
    const QString name = c.replaced ? "after.bmp" : "before.bmp";
    EXPECT_EQ(memo->windowTitle(), name);
    EXPECT_EQ(memo->FileName, path(name));
    EXPECT_EQ(memo->Modified, c.replaced ? false : c.modified);
    EXPECT_EQ(bitsOf(memo->Image1->picture()), bitsOf(c.replaced ? after : before));
    EXPECT_EQ(memo->clientSize(), memo->clientSizeFor(c.replaced ? after.size() : before.size()));
    EXPECT_EQ(MainForm->namePanel->text(), name);
}

INSTANTIATE_TEST_SUITE_P(Cases, LoadInto,
                         testing::Values(LoadCase{"Clean", false, BoxAnswer::Ok, false, true},
                                         LoadCase{"ModifiedOk", true, BoxAnswer::Ok, true, true},
                                         LoadCase{"ModifiedCancel", true, BoxAnswer::Cancel, true, false}),
                         [](const testing::TestParamInfo<LoadCase>& info) { return std::string(info.param.name); });

// ---- Save and Save As ----------------------------------------------------------------------

// A picture with grey or colour is not written over its file: Save proposes NAME_QM.BMP, the
// original stays, and the saved (now black and white) picture is saved in place from then on.
TEST_F(MemoFiles, SaveWritesAOneBitBmpThatTurnsEveryNonWhitePixelBlack)
{
    QImage image(12, 3, QImage::Format_RGB32);
    image.fill(Qt::white);
    const QRgb row[] = {qRgb(0, 0, 0), qRgb(128, 128, 128), qRgb(250, 250, 250), qRgb(254, 255, 255),
                        qRgb(255, 0, 0), qRgb(255, 255, 255)};
    for (int x = 0; x < 6; ++x)
        image.setPixel(x, 1, row[x]);
    const QString original = writeImage(QStringLiteral("grey.bmp"), image);
    const QByteArray originalBytes = bytesOf(original);
    MemoWindow* memo = open(original);
    ASSERT_NE(memo, nullptr);
    memo->Modified = true;
    const QString file = path(QStringLiteral("grey_QM.BMP"));
    fileAnswers.push_back(file);
    command("Save1");

    ASSERT_EQ(fileDialogs.size(), 2u);
    EXPECT_EQ(fileDialogs[1].fileName, file);
    EXPECT_EQ(bytesOf(original), originalBytes);
    EXPECT_EQ(memo->FileName, file);
    EXPECT_EQ(failureBoxes(), 0);
    EXPECT_FALSE(memo->Modified);
    const QString expected = QStringLiteral("000000000000") + QStringLiteral("111110000000") + QStringLiteral("000000000000");
    EXPECT_EQ(bitsOf(memo->Image1->picture()), expected);  // the window shows the converted picture
    EXPECT_EQ(memo->Image1->picture().depth(), 1);
    command("Save1");
    EXPECT_EQ(fileDialogs.size(), 2u) << "black and white now: saved in place";
    const std::optional<FileFacts> facts = readIndependently(file);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->format, "BMP");
    EXPECT_EQ(facts->bitCount, 1);
    EXPECT_EQ(facts->width, 12);
    EXPECT_EQ(facts->height, 3);
    EXPECT_EQ(facts->bits, expected);
}

TEST_F(MemoFiles, SaveAsAsksWithItsOwnDialogAndUsesTheNameAsTyped)
{
    const QImage image = pattern(33, 17);
    MemoWindow* memo = open(writeImage(QStringLiteral("source.bmp"), image));
    const QString target = path(QStringLiteral("no extension"));
    fileAnswers.push_back(target);
    command("SaveAs1");

    ASSERT_EQ(fileDialogs.size(), 2u);
    const FileDialogRequest& r = fileDialogs[1];
    EXPECT_EQ(r.mode, FileDialogRequest::Mode::Save);
    EXPECT_EQ(r.title, "手書きメモをセーブ");
    EXPECT_EQ(r.filter, "BMP ファイル (*.BMP)|*.BMP|すべてのファイル (*.*)|*.*");
    EXPECT_EQ(r.fileName, path(QStringLiteral("source.bmp")));
    EXPECT_TRUE(r.overwritePrompt);
    EXPECT_TRUE(r.pathMustExist);

    EXPECT_EQ(memo->FileName, target);
    EXPECT_EQ(memo->windowTitle(), "no extension");
    EXPECT_FALSE(QFile::exists(target + ".bmp"));
    EXPECT_FALSE(QFile::exists(target + ".BMP"));
    const std::optional<FileFacts> facts = readIndependently(target);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->bitCount, 1);
    EXPECT_EQ(facts->bits, bitsOf(image));
}

TEST_F(MemoFiles, ABareGeneratedNameIsSavedIntoTheCurrentFolderWithoutADialog)
{
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(path(QString())));
    MemoWindow* memo = open(writeImage(QStringLiteral("received.bmp"), pattern(16, 8)));
    memo->FileName = QStringLiteral("NEW_2.BMP");
    memo->Modified = true;
    command("Save1");
    QDir::setCurrent(previous);
    EXPECT_EQ(fileDialogs.size(), 1u);  // only Open's
    const std::optional<FileFacts> facts = readIndependently(path(QStringLiteral("NEW_2.BMP")));
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->bits, bitsOf(pattern(16, 8)));
    EXPECT_FALSE(memo->Modified);
}

TEST_F(MemoFiles, SavingAWindowWithoutAPictureGoesToSaveAsAndWritesItsBlankArea)
{
    command("New1");
    MemoWindow* memo = MainForm->activeMemo();
    const QString target = path(QStringLiteral("blank.bmp"));
    fileAnswers.push_back(target);
    command("Save1");
    ASSERT_EQ(fileDialogs.size(), 1u);
    EXPECT_EQ(fileDialogs[0].fileName, "");
    EXPECT_EQ(memo->windowTitle(), "blank.bmp");
    const std::optional<FileFacts> facts = readIndependently(target);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->bitCount, 1);
    EXPECT_EQ(QSize(facts->width, facts->height), memo->Image1->size());
    EXPECT_FALSE(facts->bits.contains(QLatin1Char('1')));
    // The saved blank opens again like any picture.
    EXPECT_NE(open(target), nullptr);
    EXPECT_EQ(MainForm->memoCount(), 2);
}

// A save that cannot be completed must leave the old file as it was, say so, and keep the
// window's changes marked.
struct FailingSave {
    const char* name;
    void (*breakIt)(const QString& target);
    bool limitFileSize;
    const char* reason;  // told in Japanese, not in the system's English
};

class SaveFailure : public MemoFixture, public testing::WithParamInterface<FailingSave> {};

TEST_P(SaveFailure, LeavesTheOldFileReportsAndStaysModified)
{
    const FailingSave& c = GetParam();
    QDir(path(QString())).mkdir(QStringLiteral("sub"));
    const QString target = path(QStringLiteral("sub/old.bmp"));
    const QByteArray old = validBmp(8, 8);
    writeBytes(target, old);
    MemoWindow* memo = open(writeImage(QStringLiteral("big.bmp"), pattern(400, 300)));
    ASSERT_NE(memo, nullptr);
    memo->FileName = target;
    memo->Modified = true;
    c.breakIt(target);
    {
        std::optional<FileSizeLimit> limit;
        if (c.limitFileSize)
            limit.emplace(4096);
        command("Save1");
    }
    ASSERT_EQ(failureBoxes(), 1);
    EXPECT_EQ(boxes.back().caption, "VEXLO");
    EXPECT_TRUE(boxes.back().text.contains(target)) << boxes.back().text.toStdString();
    EXPECT_TRUE(boxes.back().text.endsWith(QString::fromUtf8(c.reason))) << boxes.back().text.toStdString();
    EXPECT_TRUE(memo->Modified);
    if (QFileInfo(target).isFile()) {
        EXPECT_EQ(bytesOf(target), old);
        EXPECT_EQ(QDir(QFileInfo(target).path()).entryList(QDir::Files | QDir::Hidden).size(), 1);  // no leftovers
    } else if (QFileInfo::exists(target)) {  // a FIFO or a folder stays what it was, with nothing beside it
        EXPECT_TRUE(QDir(QFileInfo(target).path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, SaveFailure,
    testing::Values(FailingSave{"ReadOnlyFile",
                                [](const QString& t) { QFile::setPermissions(t, QFile::ReadOwner | QFile::ReadGroup); },
                                false, "読み取り専用のファイルです"},
                    FailingSave{"FolderGone", [](const QString& t) { QDir(QFileInfo(t).path()).removeRecursively(); },
                                false, "ファイルまたはフォルダーがありません"},
                    FailingSave{"DiskFull", [](const QString&) {}, true, "ファイルが大きすぎます"},
                    FailingSave{"AFifoInItsPlace",
                                [](const QString& t) {
                                    QFile::remove(t);
                                    ::mkfifo(QFile::encodeName(t).constData(), 0644);
                                },
                                false, "通常のファイルではありません (名前付きパイプ)"},
                    FailingSave{"AFolderInItsPlace",
                                [](const QString& t) {
                                    QFile::remove(t);
                                    QDir().mkdir(t);
                                },
                                false, "同じ名前のフォルダーがあります"}),
    [](const testing::TestParamInfo<FailingSave>& info) { return std::string(info.param.name); });

// ---- Closing -------------------------------------------------------------------------------

enum class CloseBy { Command, CloseBox };

struct CloseCase {
    const char* name;
    CloseBy by;
    bool modified;
    BoxAnswer answer;
    bool saveDialogAnswered;
    const char* question;  // empty: no question
    bool closes;
};

class CloseQuestion : public MemoFixture, public testing::WithParamInterface<CloseCase> {};

// はい saves through the dialog, いいえ closes without saving, ｷｬﾝｾﾙ (Escape) and a cancelled
// save dialog keep the window with its changes.
TEST_P(CloseQuestion, AsksOnlyForChangesAndKeepsTheMemoUnlessToldOtherwise)
{
    const CloseCase& c = GetParam();
    const QImage image = pattern(20, 10);
    MemoWindow* memo = open(writeImage(QStringLiteral("memo.bmp"), image));
    ASSERT_NE(memo, nullptr);
    memo->Modified = c.modified;
    answers.push_back(c.answer);
    const QString target = path(QStringLiteral("saved.bmp"));
    if (c.saveDialogAnswered)
        fileAnswers.push_back(target);

    if (c.by == CloseBy::Command)
        command("Close1");
    else {
        memo->close();
        flushDeletes();
    }

    const QString question = QString::fromUtf8(c.question);
    ASSERT_EQ(boxes.size(), question.isEmpty() ? 0u : 1u);
    if (!question.isEmpty()) {
        EXPECT_EQ(boxes[0].caption, "確認");
        EXPECT_EQ(boxes[0].text, question);
        EXPECT_EQ(boxes[0].buttons, BoxButtons::YesNoCancel);
    }
    const bool dialogShown = c.modified && c.answer == BoxAnswer::Yes;
    EXPECT_EQ(fileDialogs.size(), dialogShown ? 2u : 1u);
    if (dialogShown) {
        EXPECT_EQ(fileDialogs.back().fileName, path(QStringLiteral("memo.bmp")));  // always asks, even with a name
    }
    EXPECT_EQ(QFile::exists(target), dialogShown && c.saveDialogAnswered);
    if (c.closes) {
        EXPECT_EQ(MainForm->memoCount(), 0);
        EXPECT_EQ(MainForm->namePanel->text(), "NO IMAGE");
        EXPECT_EQ(MainForm->bytesPanel->text(), "0Bytes");
        EXPECT_FALSE(MainForm->CloseSB1->isEnabled());
    } else {
        ASSERT_EQ(MainForm->memoCount(), 1);
        EXPECT_TRUE(memo->isVisible());
        EXPECT_TRUE(memo->Modified);
        EXPECT_EQ(bitsOf(memo->Image1->picture()), bitsOf(image));
    }
}

const char* kCommandQuestion = "memo.bmp が変更されています。 保存しますか？";
const char* kWindowQuestion = "memo.bmp が変更されています。保存しますか？";

INSTANTIATE_TEST_SUITE_P(
    Cases, CloseQuestion,
    testing::Values(
        CloseCase{"CommandClean", CloseBy::Command, false, BoxAnswer::Yes, false, "", true},
        CloseCase{"CommandNo", CloseBy::Command, true, BoxAnswer::No, false, kCommandQuestion, true},
        CloseCase{"CommandCancel", CloseBy::Command, true, BoxAnswer::Cancel, false, kCommandQuestion, false},
        CloseCase{"CommandYesDialogCancelled", CloseBy::Command, true, BoxAnswer::Yes, false, kCommandQuestion, false},
        CloseCase{"CommandYesSaved", CloseBy::Command, true, BoxAnswer::Yes, true, kCommandQuestion, true},
        CloseCase{"BoxClean", CloseBy::CloseBox, false, BoxAnswer::Yes, false, "", true},
        CloseCase{"BoxNo", CloseBy::CloseBox, true, BoxAnswer::No, false, kWindowQuestion, true},
        CloseCase{"BoxCancel", CloseBy::CloseBox, true, BoxAnswer::Cancel, false, kWindowQuestion, false},
        CloseCase{"BoxYesDialogCancelled", CloseBy::CloseBox, true, BoxAnswer::Yes, false, kWindowQuestion, false},
        CloseCase{"BoxYesSaved", CloseBy::CloseBox, true, BoxAnswer::Yes, true, kWindowQuestion, true}),
    [](const testing::TestParamInfo<CloseCase>& info) { return std::string(info.param.name); });

class FailedCloseSave : public MemoFixture, public testing::WithParamInterface<CloseBy> {};

TEST_P(FailedCloseSave, KeepsTheWindowOpenWithItsChanges)
{
    MemoWindow* memo = open(writeImage(QStringLiteral("memo.bmp"), pattern(20, 10)));
    memo->Modified = true;
    answers.push_back(BoxAnswer::Yes);
    fileAnswers.push_back(path(QStringLiteral("missing-folder/saved.bmp")));
    if (GetParam() == CloseBy::Command)
        command("Close1");
    else {
        memo->close();
        flushDeletes();
    }
    EXPECT_EQ(failureBoxes(), 1);
    ASSERT_EQ(MainForm->memoCount(), 1);
    EXPECT_EQ(MainForm->activeMemo(), memo);
    EXPECT_TRUE(memo->isVisible());
    EXPECT_TRUE(memo->Modified);
    EXPECT_EQ(memo->FileName, path(QStringLiteral("memo.bmp")));  // the failed name is not taken
    EXPECT_EQ(memo->windowTitle(), "memo.bmp");
}

INSTANTIATE_TEST_SUITE_P(Ways, FailedCloseSave, testing::Values(CloseBy::Command, CloseBy::CloseBox));

TEST_F(MemoFiles, AFailedSaveAtExitKeepsTheProgramOpen)
{
    MemoWindow* memo = open(writeImage(QStringLiteral("memo.bmp"), pattern(20, 10)));
    memo->Modified = true;
    answers.push_back(BoxAnswer::Yes);
    fileAnswers.push_back(path(QStringLiteral("missing-folder/saved.bmp")));
    EXPECT_FALSE(MainForm->close());
    EXPECT_EQ(failureBoxes(), 1);
    EXPECT_TRUE(memo->Modified);
    EXPECT_EQ(MainForm->memoCount(), 1);
}

// Three changed memos at Exit: one question for all of them. すべて保存 writes each into the
// chosen folder without writing over anything there; ｷｬﾝｾﾙ, or a folder not chosen, keeps
// the program and every memo.
struct ExitCase {
    const char* name;
    BoxAnswer answer;
    bool folderChosen;
    bool exits;
    QStringList written;  // in the folder afterwards, besides the file that was there
};

class ExitQuestions : public MemoFixture, public testing::WithParamInterface<ExitCase> {};

TEST_P(ExitQuestions, OneQuestionForAllChangedMemos)
{
    const ExitCase& c = GetParam();
    QDir(path(QString())).mkdir(QStringLiteral("saved"));
    const QString folder = path(QStringLiteral("saved"));
    writeBytes(folder + QStringLiteral("/b.bmp"), "not to be written over");
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
        open(writeImage(QString::fromLatin1(name), pattern(20, 10)))->Modified = true;
    open(writeImage(QStringLiteral("clean.bmp"), pattern(8, 8)));
    MainForm->memoWindows()[0]->setDeviceTitle(QStringLiteral("買い物メモ"));
    answers.push_back(c.answer);
    fileAnswers.push_back(c.folderChosen ? folder : QString());

    EXPECT_EQ(MainForm->close(), c.exits);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].buttons, BoxButtons::SaveAllNoneCancel);
    EXPECT_EQ(boxes[0].text, "次の 3 件のメモが変更されています。保存しますか？\n\na.bmp「買い物メモ」\nb.bmp\nc.bmp");
    QStringList inFolder = QDir(folder).entryList(QDir::Files, QDir::Name);
    inFolder.removeOne(QStringLiteral("b.bmp"));
    EXPECT_EQ(inFolder, c.written);
    EXPECT_EQ(bytesOf(folder + QStringLiteral("/b.bmp")), "not to be written over");
    for (const QString& name : c.written) {
        const std::optional<FileFacts> facts = readIndependently(folder + QLatin1Char('/') + name);
        ASSERT_TRUE(facts) << name.toStdString();
        EXPECT_EQ(facts->bits, bitsOf(pattern(20, 10)));
    }
    if (!c.exits) {
        EXPECT_EQ(MainForm->memoCount(), 4);
        int changed = 0;
        for (MemoWindow* memo : MainForm->memoWindows())
            changed += memo->Modified ? 1 : 0;
        EXPECT_EQ(changed, 3);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExitQuestions,
    testing::Values(ExitCase{"SaveAll", BoxAnswer::Yes, true, true, {"a.bmp", "b-2.bmp", "c.bmp"}},
                    ExitCase{"SaveAllWithoutAFolder", BoxAnswer::Yes, false, false, {}},
                    ExitCase{"SaveNone", BoxAnswer::No, true, true, {}},
                    ExitCase{"Cancel", BoxAnswer::Cancel, true, false, {}}),
    [](const testing::TestParamInfo<ExitCase>& info) { return std::string(info.param.name); });

// Save writes BMP bytes: a picture from another kind of file goes through Save As with a BMP
// name proposed, and the original file stays as it was.
TEST_F(MemoFiles, SaveOnAPngAsksForABmpNameAndLeavesThePngAlone)
{
    const QString png = writeImage(QStringLiteral("photo.png"), pattern(20, 12), "PNG");
    const QByteArray pngBytes = bytesOf(png);
    MemoWindow* memo = open(png);
    ASSERT_NE(memo, nullptr);
    fileAnswers.push_back(QString());  // first Save: the dialog is cancelled
    command("Save1");
    ASSERT_EQ(fileDialogs.size(), 2u);
    EXPECT_EQ(fileDialogs[1].mode, FileDialogRequest::Mode::Save);
    EXPECT_EQ(fileDialogs[1].fileName, path(QStringLiteral("photo.BMP")));
    EXPECT_EQ(memo->FileName, png);

    fileAnswers.push_back(path(QStringLiteral("photo.BMP")));
    command("Save1");
    EXPECT_EQ(bytesOf(png), pngBytes);
    EXPECT_EQ(memo->FileName, path(QStringLiteral("photo.BMP")));
    EXPECT_EQ(memo->windowTitle(), "photo.BMP");
    const std::optional<FileFacts> facts = readIndependently(path(QStringLiteral("photo.BMP")));
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->bits, bitsOf(pattern(20, 12)));
    command("Save1");  // now a BMP: written in place without a dialog
    EXPECT_EQ(fileDialogs.size(), 3u);
    EXPECT_EQ(failureBoxes(), 0);
}

// 書き出し writes a copy in the chosen format; the window keeps its own file and state.
TEST_F(MemoFiles, ExportWritesACopyUnderTheNameTypedWithItsSuffix)
{
    MemoWindow* memo = open(writeImage(QStringLiteral("note.bmp"), pattern(20, 12)));
    ASSERT_NE(memo, nullptr);
    struct Answerer {
        Answerer()
        {
            SetExportDialogAnswerer([](TExportOptions& o) {
                o.Format = ExportFormat::Png;
                o.Scale = 2;
                return true;
            });
        }
        ~Answerer() { SetExportDialogAnswerer(nullptr); }
    } answerer;
    fileAnswers.push_back(path(QStringLiteral("copy")));
    command("Export1");
    ASSERT_EQ(fileDialogs.size(), 2u);
    EXPECT_TRUE(fileDialogs[1].fileName.endsWith(QStringLiteral("/note.png"))) << fileDialogs[1].fileName.toStdString();
    EXPECT_TRUE(fileDialogs[1].overwritePrompt);
    const QImage copy(path(QStringLiteral("copy.png")));
    EXPECT_EQ(bitsOf(copy), bitsOf(pattern(20, 12).scaled(40, 24, Qt::IgnoreAspectRatio, Qt::FastTransformation)));
    EXPECT_EQ(memo->FileName, path(QStringLiteral("note.bmp")));
    EXPECT_EQ(memo->windowTitle(), "note.bmp");
    EXPECT_FALSE(memo->Modified);
    EXPECT_EQ(failureBoxes(), 0);
}

// 書き出し as Markdown asks for a folder, and the note carries what the memo's file says:
// its reading, tags, note and star beside the title.
TEST_F(MemoFiles, ExportAsMarkdownAsksForAFolderAndCarriesTheMemosNotes)
{
    TMemoMeta meta;
    meta.Title = QStringLiteral("会議");
    meta.Reading = QStringLiteral("かいぎ");
    meta.Arrived = QDateTime::fromString(QStringLiteral("2026-12-07T16:23:32+01:00"), Qt::ISODate);
    const std::optional<QByteArray> png = WithPngText(
        EncodeMemoPng(pattern(20, 12), meta),
        {{QStringLiteral("Tags"), QStringLiteral("仕事\n家")}, {QStringLiteral("Note"), QStringLiteral("a\nb")},
         {QStringLiteral("Starred"), QStringLiteral("1")}});
    ASSERT_TRUE(png);
    QFile file(path(QStringLiteral("memo.png")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(*png);
    file.close();
    MemoWindow* memo = open(file.fileName());
    ASSERT_NE(memo, nullptr);
    SetExportDialogAnswerer([](TExportOptions& o) {
        o.Format = ExportFormat::Markdown;
        o.Attachments = QStringLiteral("pics");
        return true;
    });
    fileAnswers.push_back(path(QStringLiteral("vault")));
    command("Export1");
    SetExportDialogAnswerer(nullptr);
    ASSERT_EQ(fileDialogs.size(), 2u);
    EXPECT_EQ(fileDialogs[1].mode, FileDialogRequest::Mode::Folder);
    QFile note(path(QStringLiteral("vault/memo.md")));
    ASSERT_TRUE(note.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(note.readAll());
    for (const char* line : {"title: \"会議\"\n", "reading: \"かいぎ\"\n", "  - \"仕事\"\n  - \"家\"\n", "starred: true\n",
                             "note: |-\n  a\n  b\n", "](pics/memo.png)"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(line))) << line << " in\n" << text.toStdString();
    EXPECT_TRUE(QFileInfo::exists(path(QStringLiteral("vault/pics/memo.png"))));
    EXPECT_EQ(failureBoxes(), 0);
}

}  // namespace
