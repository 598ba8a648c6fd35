// Copy, Cut and Paste of a memo window through the clipboard.
#include "MemoFixture.h"

#include <QBuffer>
#include <QClipboard>
#include <QMimeData>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QToolButton>

#include <functional>

namespace {

class MemoClipboard : public MemoFixture {
protected:
    void SetUp() override
    {
        MemoFixture::SetUp();
        QGuiApplication::clipboard()->clear();
    }

    // The Edit menu with a memo window active, opened (which refreshes its paste item) and chosen.
    static void edit(const char* name)
    {
        MemoWindow* memo = MainForm->activeMemo();
        ASSERT_NE(memo, nullptr);
        emit MainForm->Edit1->aboutToShow();
        for (QAction* a : MainForm->Edit1->actions())
            if (a->objectName() == QLatin1String(name))
                a->trigger();
    }
};

QImage greyish()
{
    QImage image(10, 4, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setPixel(1, 1, qRgb(200, 200, 200));
    image.setPixel(2, 2, qRgb(0, 0, 255));
    image.setPixel(3, 3, qRgb(0, 0, 0));
    return image;
}

const char* kGreyishInMonochrome = "0000000000"
                                   "0100000000"
                                   "0010000000"
                                   "0001000000";

TEST_F(MemoClipboard, CopyPutsTheMonochromePictureOnTheClipboardAndEnablesPaste)
{
    MemoWindow* memo = open(writeImage(QStringLiteral("grey.bmp"), greyish()));
    ASSERT_NE(memo, nullptr);
    ASSERT_FALSE(MainForm->PasteSB1->isEnabled());
    edit("Copy1");
    EXPECT_EQ(memo->Image1->picture().convertToFormat(QImage::Format_RGB32), greyish())
        << "the window keeps its picture";
    EXPECT_EQ(bitsOf(QGuiApplication::clipboard()->image()), QLatin1String(kGreyishInMonochrome));
    EXPECT_TRUE(MainForm->PasteSB1->isEnabled());
    EXPECT_TRUE(MainForm->Paste1->isEnabled());
    EXPECT_FALSE(memo->Modified);
}

// A memo cut to be pasted elsewhere must arrive there: Cut copies first, then whitens.
TEST_F(MemoClipboard, CutThenPasteElsewhereMovesThePicture)
{
    MemoWindow* memo = open(writeImage(QStringLiteral("cut.bmp"), pattern(20, 10)));
    edit("Cut1");
    EXPECT_EQ(bitsOf(memo->Image1->picture()), QString(200, QLatin1Char('0')));
    EXPECT_EQ(memo->Image1->picture().size(), QSize(20, 10));
    EXPECT_EQ(memo->FileName, path(QStringLiteral("cut.bmp")));
    EXPECT_TRUE(MainForm->PasteSB1->isEnabled());

    command("New1");
    MemoWindow* other = MainForm->activeMemo();
    ASSERT_NE(other, memo);
    edit("Paste1");
    EXPECT_EQ(bitsOf(other->Image1->picture()), bitsOf(pattern(20, 10)));
    EXPECT_TRUE(other->Modified);

    memo->close();  // the cut window itself has nothing to save
    flushDeletes();
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(MainForm->memoCount(), 1);
}

TEST_F(MemoClipboard, CutInAnEmptyWindowGivesItABlankPictureButNoName)
{
    command("New1");
    MemoWindow* memo = MainForm->activeMemo();
    edit("Cut1");
    EXPECT_EQ(memo->Image1->picture().size(), memo->Image1->size());
    EXPECT_FALSE(bitsOf(memo->Image1->picture()).contains(QLatin1Char('1')));
    EXPECT_TRUE(memo->FileName.isEmpty());
    EXPECT_FALSE(MainForm->CloseSB1->isEnabled());
}

enum class Target { OpenedFile, NewWindow };

struct PasteCase {
    const char* name;
    Target target;
    bool clipboardHasPicture;
};

class MemoPaste : public MemoClipboard, public testing::WithParamInterface<PasteCase> {};

TEST_P(MemoPaste, TakesTheClipboardsPictureAndAGeneratedName)
{
    const PasteCase& c = GetParam();
    const QString file = writeImage(QStringLiteral("on-disk.bmp"), pattern(30, 20));
    const QByteArray onDisk = bytesOf(file);
    open(writeImage(QStringLiteral("other.bmp"), pattern(5, 5)));  // a second window for the count
    MemoWindow* memo = nullptr;
    if (c.target == Target::OpenedFile)
        memo = open(file);
    else {
        command("New1");
        memo = MainForm->activeMemo();
    }
    const QString captionBefore = memo->windowTitle();
    const QImage pasted = pattern(64, 48).mirrored(true, true);
    if (c.clipboardHasPicture)
        QGuiApplication::clipboard()->setImage(pasted);
    else
        QGuiApplication::clipboard()->setText(QStringLiteral("only text"));
    const int realised = memo->paletteRealisations();

    edit("Paste1");

    if (!c.clipboardHasPicture) {
        EXPECT_EQ(memo->windowTitle(), captionBefore);
        EXPECT_FALSE(memo->Modified);
        EXPECT_EQ(memo->paletteRealisations(), realised);
        return;
    }
    EXPECT_EQ(memo->windowTitle(), "NEW_2.BMP");
    EXPECT_EQ(memo->FileName, "NEW_2.BMP");
    EXPECT_TRUE(memo->Modified);
    EXPECT_EQ(memo->paletteRealisations(), realised + 1);
    EXPECT_EQ(bitsOf(memo->Image1->picture()), bitsOf(pasted));
    EXPECT_EQ(memo->clientSize(), memo->clientSizeFor(QSize(64, 48)));
    EXPECT_EQ(MainForm->namePanel->text(), "NEW_2.BMP");
    EXPECT_EQ(MainForm->sizePanel->text(), "画像サイズ(X,Y)=(64,48)");
    EXPECT_EQ(MainForm->bytesPanel->text(), "384Bytes");
    EXPECT_TRUE(MainForm->CloseSB1->isEnabled());
    EXPECT_EQ(bytesOf(file), onDisk);

    answers.push_back(BoxAnswer::No);
    memo->close();
    flushDeletes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "NEW_2.BMP が変更されています。保存しますか？");
    EXPECT_EQ(MainForm->memoCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, MemoPaste,
                         testing::Values(PasteCase{"IntoAnOpenedFile", Target::OpenedFile, true},
                                         PasteCase{"IntoANewWindow", Target::NewWindow, true},
                                         PasteCase{"TextOnly", Target::OpenedFile, false}),
                         [](const testing::TestParamInfo<PasteCase>& info) { return std::string(info.param.name); });

// A pasted picture takes NEW_n.BMP with n the number of windows, or the next number that no
// other open window carries: pasting into two windows in a row names them apart.
TEST_F(MemoClipboard, PastedWindowsNeverShareAName)
{
    const struct {
        const char* files[3];      // opened in this order
        int pasteInto[3];          // indices of the windows pasted into, -1 ends
        const char* names[3];      // captions afterwards
    } rows[] = {
        {{"a.bmp", "b.bmp", nullptr}, {0, 1, -1}, {"NEW_2.BMP", "NEW_3.BMP", nullptr}},
        {{"a.bmp", "b.bmp", nullptr}, {1, 0, -1}, {"NEW_3.BMP", "NEW_2.BMP", nullptr}},
        {{"a.bmp", "new_2.bmp", nullptr}, {0, -1, -1}, {"NEW_3.BMP", "new_2.bmp", nullptr}},
        {{"a.bmp", "b.bmp", "c.bmp"}, {0, 1, 0}, {"NEW_3.BMP", "NEW_4.BMP", "c.bmp"}},
        {{"a.bmp", nullptr, nullptr}, {0, 0, -1}, {"NEW_1.BMP", nullptr, nullptr}},
    };
    QGuiApplication::clipboard()->setImage(greyish());
    for (const auto& row : rows) {
        for (MemoWindow* memo : MainForm->memoWindows()) {
            memo->Modified = false;
            memo->close();
        }
        flushDeletes();
        QList<MemoWindow*> memos;
        for (const char* file : row.files)
            if (file)
                memos << open(writeImage(QString::fromUtf8(file), greyish()));
        for (int k : row.pasteInto) {
            if (k < 0)
                break;
            MainForm->MdiArea->setActiveSubWindow(memos[k]);
            edit("Paste1");
        }
        for (int k = 0; k < memos.size(); ++k)
            EXPECT_EQ(memos[k]->captionName(), QString::fromUtf8(row.names[k])) << row.files[0] << " " << k;
    }
}

// Picture bytes that another program offers go through the files' loader: transparency
// becomes white, a damaged picture is refused and the window keeps what it had.
TEST_F(MemoClipboard, PastedPictureBytesAreReadAsFilesAre)
{
    QImage transparent(4, 1, QImage::Format_ARGB32);
    transparent.fill(qRgba(0, 0, 0, 0));
    transparent.setPixel(2, 0, qRgba(0, 0, 0, 255));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    transparent.save(&buffer, "PNG");
    // An RLE8 BMP of 4 x 4 whose stream stops after its first row.
    QByteArray cutRle = QByteArray::fromHex("424d00000000000000003e00000028000000040000000400000001000800010000000000"
                                            "00000000000000000000020000000000000000000000ffffff00"
                                            "04000000");
    const struct { const char* kind; QByteArray bytes; const char* bits; } cases[] = {
        {"image/png", png, "0010"},
        {"image/bmp", cutRle, nullptr},
    };
    for (const auto& c : cases) {
        MemoWindow* memo = open(writeImage(QStringLiteral("before.bmp"), pattern(6, 6)));
        auto* data = new QMimeData;
        data->setImageData(QImage(2, 2, QImage::Format_RGB32));  // what Qt would show instead
        data->setData(QLatin1String(c.kind), c.bytes);
        QGuiApplication::clipboard()->setMimeData(data);
        boxes.clear();
        edit("Paste1");
        if (c.bits) {
            EXPECT_EQ(bitsOf(memo->Image1->picture()), QLatin1String(c.bits)) << c.kind;
            EXPECT_FALSE(memo->Image1->picture().hasAlphaChannel());
        } else {
            EXPECT_EQ(failureBoxes(), 1) << c.kind;
            EXPECT_EQ(bitsOf(memo->Image1->picture()), bitsOf(pattern(6, 6))) << c.kind;
            EXPECT_FALSE(memo->Modified);
        }
    }
}

// 元に戻す takes back Paste, Cut and Load, one level: the picture, its size, the name, the
// caption with the device title and the changed mark come back, and the item goes grey.
class MemoUndo;

struct UndoCase {
    const char* name;
    std::function<void(MemoUndo&, const QString& otherFile)> change;
};

class MemoUndo : public MemoClipboard, public testing::WithParamInterface<UndoCase> {
public:
    void paste() { edit("Paste1"); }
    void cut() { edit("Cut1"); }
    void load(const QString& file)
    {
        fileAnswers.push_back(file);
        command("Load1");  // the changed memo asks first: OK
    }
};

TEST_P(MemoUndo, PutsBackWhatTheCommandChanged)
{
    MemoWindow* memo = open(writeImage(QStringLiteral("received.bmp"), pattern(61, 33)));
    ASSERT_NE(memo, nullptr);
    memo->setDeviceTitle(QStringLiteral("買い物メモ"));  // as a received memo has it
    memo->Modified = true;
    QGuiApplication::clipboard()->setImage(pattern(90, 70).mirrored(true, false));
    edit("Paste1");  // an earlier change: only the last one is taken back
    edit("Undo1");
    const QString other = writeImage(QStringLiteral("other.bmp"), pattern(15, 9).mirrored(false, true));

    struct Seen {
        QString bits, fileName, caption;
        int width, height;
        QSize client;
        bool modified;
        bool operator==(const Seen&) const = default;
    };
    auto seen = [memo] {
        return Seen{bitsOf(memo->Image1->picture()), memo->FileName, memo->windowTitle(), memo->ImageWidth,
                    memo->ImageHeight, memo->clientSize(), memo->Modified};
    };
    const Seen before = seen();
    EXPECT_EQ(before.caption, "received.bmp  買い物メモ");
    emit MainForm->Edit1->aboutToShow();
    EXPECT_FALSE(MainForm->Undo1->isEnabled());

    GetParam().change(*this, other);
    EXPECT_FALSE(seen() == before);
    EXPECT_TRUE(MainForm->Undo1->isEnabled());

    edit("Undo1");
    const Seen after = seen();
    EXPECT_EQ(after.bits, before.bits);
    EXPECT_EQ(after.fileName, before.fileName);
    EXPECT_EQ(after.caption, before.caption);
    EXPECT_EQ(after.width, before.width);
    EXPECT_EQ(after.height, before.height);
    EXPECT_EQ(after.client, before.client);
    EXPECT_EQ(after.modified, before.modified);
    EXPECT_EQ(memo->deviceTitle(), "買い物メモ");
    EXPECT_FALSE(MainForm->Undo1->isEnabled());
    EXPECT_EQ(MainForm->sizePanel->text(), "画像サイズ(X,Y)=(61,33)");
}

INSTANTIATE_TEST_SUITE_P(
    Commands, MemoUndo,
    testing::Values(UndoCase{"Paste", [](MemoUndo& t, const QString&) { t.paste(); }},
                    UndoCase{"Cut", [](MemoUndo& t, const QString&) { t.cut(); }},
                    UndoCase{"Load", [](MemoUndo& t, const QString& other) { t.load(other); }}),
    [](const testing::TestParamInfo<UndoCase>& info) { return std::string(info.param.name); });

}  // namespace
