// 送信用に変換 as a user runs it: the result opens in a new window named NAME_QM.BMP and marked
// changed, made exactly as vexlo-cli makes it of the same file; the source window stays as it
// was; 元に戻す in the new window gives the picture back; ｷｬﾝｾﾙ and Escape change nothing; the
// choices are kept in [Convert] at exit.
#include "MemoFixture.h"

#include "app/PrepPreview.h"
#include "app/PrepareDialog.h"
#include "prepare/PrepareConfig.h"
#include "prepare/PrepareFile.h"
#include "transfer/MemoImage.h"

#include <QApplication>
#include <QButtonGroup>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>

namespace {

class PrepareCommand : public MemoFixture {
protected:
    // Runs 送信用に変換 from the active window's menu, with USE acting on the dialog once it is up.
    void prepare(std::function<void(TPrepareDialog&)> use)
    {
        QTimer::singleShot(0, [use] {
            auto* dialog = qobject_cast<TPrepareDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            use(*dialog);
        });
        for (QAction* a : MainForm->Edit1->actions())
            if (a->objectName() == QLatin1String("Prepare1"))
                a->trigger();
        flushDeletes();
    }
};

TEST_F(PrepareCommand, OpensTheResultInANewWindowAndLeavesTheSource)
{
    // A photo large enough to be decoded at a quarter of its size: the window shows it whole,
    // the preparation reads the file as vexlo-cli does.
    QImage photo(1000, 750, QImage::Format_RGB32);
    for (int y = 0; y < 750; ++y)
        for (int x = 0; x < 1000; ++x)
            photo.setPixel(x, y, qRgb(x * 255 / 999, (x ^ y) & 255, y * 255 / 749));
    const QString file = writeImage(QStringLiteral("photo.jpg"), photo, "JPEG");
    MemoWindow* source = open(file);
    ASSERT_NE(source, nullptr);
    const QImage sourcePicture = source->Image1->picture();

    // ｷｬﾝｾﾙ and Escape: nothing opens, nothing changes.
    prepare([](TPrepareDialog& d) { d.CancelBtn->click(); });
    prepare([](TPrepareDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); });
    EXPECT_EQ(MainForm->memoCount(), 1);

    prepare([](TPrepareDialog& d) {
        d.sizeGroup->button(1)->click();  // fit
        d.conversionGroup->button(int(TConversion::Atkinson))->click();
        d.OKBtn->click();
    });
    ASSERT_EQ(MainForm->memoCount(), 2);
    MemoWindow* result = MainForm->activeMemo();
    ASSERT_NE(result, source);
    EXPECT_EQ(result->windowTitle(), "photo_QM.BMP");
    EXPECT_EQ(result->FileName, path(QStringLiteral("photo_QM.BMP")));
    EXPECT_TRUE(result->Modified);
    TPrepareSettings s = DialogDefaults();
    s.Conversion = TConversion::Atkinson;
    const QImage expected = TPreparation(OpenPictureForPreparation(file)).Render(s);
    EXPECT_EQ(result->Image1->picture().size(), QSize(124, 93));
    EXPECT_EQ(bitsOf(result->Image1->picture()), bitsOf(expected));
    EXPECT_EQ(source->Image1->picture(), sourcePicture);
    EXPECT_FALSE(source->Modified);

    result->undo();
    EXPECT_EQ(result->Image1->picture(), sourcePicture);

    MainForm->storeConfig();
    EXPECT_EQ(ReadPrepareSettings(home().iniPath().toStdString()), s);
}

// A phone's photo too large for a window (here just beyond the window's limit, as a PNG and as a
// JPEG): the window shows it reduced, and 送信用に変換 prepares the file itself at its full size,
// exactly as vexlo-cli does.
TEST_F(PrepareCommand, PreparesAPhotoTooLargeForAWindowFromItsFile)
{
    QImage photo(6000, 5100, QImage::Format_Grayscale8);
    photo.fill(255);
    for (int y = 1000; y < 4000; ++y)
        std::fill_n(photo.scanLine(y) + 1500, 3000, uchar(y * 255 / 4000));
    for (const char* kind : {"PNG", "JPEG"}) {
        SCOPED_TRACE(kind);
        const QString file = writeImage(QStringLiteral("large.") + QString::fromLatin1(kind).toLower(), photo, kind);
        MemoWindow* source = open(file);
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(source->Image1->picture().size(), QSize(3000, 2550));
        EXPECT_EQ(source->pictureFileSize(), photo.size());
        EXPECT_EQ(QColor(source->Image1->picture().pixel(10, 10)), QColor(Qt::white));

        const int before = MainForm->memoCount();
        prepare([](TPrepareDialog& d) {
            d.sizeGroup->button(0)->click();  // its own size: too large, and said so
            EXPECT_FALSE(d.OKBtn->isEnabled());
            EXPECT_TRUE(d.resultLabel->text().contains(QStringLiteral("大きすぎ"))) << d.resultLabel->text().toStdString();
            d.sizeGroup->button(1)->click();  // fit
            d.conversionGroup->button(int(TConversion::FloydSteinberg))->click();
            d.OKBtn->click();
        });
        ASSERT_EQ(MainForm->memoCount(), before + 1);
        TPrepareSettings s = DialogDefaults();
        s.Conversion = TConversion::FloydSteinberg;
        const QImage expected = TPreparation(OpenPictureForPreparation(file)).Render(s);
        ASSERT_FALSE(expected.isNull());
        EXPECT_EQ(MainForm->activeMemo()->Image1->picture().size(), QSize(124, 105));
        EXPECT_EQ(bitsOf(MainForm->activeMemo()->Image1->picture()), bitsOf(expected));
    }
}

// The whole dialog from the keyboard: Tab reaches the size group at its checked button, the
// arrows choose 枠を埋める, Tab reaches the picture once it can be moved, the arrows move the
// crop (Shift ten pixels at once) and Enter opens what the preview shows.
TEST_F(PrepareCommand, KeyboardAloneChoosesFillAndMovesTheCrop)
{
    QImage wide(600, 100, QImage::Format_RGB32);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 600; ++x)
            wide.setPixel(x, y, (x / 7 + y / 9) % 3 == 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    MemoWindow* source = open(writeImage(QStringLiteral("wide.bmp"), wide));
    ASSERT_NE(source, nullptr);

    QImage shown;
    std::vector<double> cropX;
    auto walk = [&](TPrepareDialog& d) {
        QApplication::setActiveWindow(&d);
        auto tabTo = [&](auto found) {
            for (int i = 0; i < 40 && !found(d.focusWidget()); ++i)
                QTest::keyClick(d.focusWidget(), Qt::Key_Tab);
            return found(d.focusWidget());
        };
        d.CancelBtn->setFocus();
        ASSERT_TRUE(tabTo([&](QWidget* w) { return w && d.sizeGroup->buttons().contains(w); }));
        EXPECT_EQ(d.focusWidget(), d.sizeGroup->checkedButton());
        ASSERT_EQ(d.Settings().Size, TSizeMode::Fit);
        QTest::keyClick(d.focusWidget(), Qt::Key_Left);  // そのまま, beside it
        QTest::keyClick(d.focusWidget(), Qt::Key_Down);  // 枠を埋める, below that
        ASSERT_EQ(d.Settings().Size, TSizeMode::Fill);
        ASSERT_TRUE(tabTo([&](QWidget* w) { return w == d.previewActual; }));
        cropX.push_back(d.Settings().CropAt.x());
        QTest::keyClick(d.previewActual, Qt::Key_Right);
        cropX.push_back(d.Settings().CropAt.x());
        QTest::keyClick(d.previewActual, Qt::Key_Right, Qt::ShiftModifier);
        cropX.push_back(d.Settings().CropAt.x());
        QTest::keyClick(d.previewActual, Qt::Key_Up);  // nothing to move that way
        EXPECT_EQ(d.Settings().CropAt.y(), 0.5);
        shown = d.Result();
        QTest::keyClick(d.previewActual, Qt::Key_Return);
    };
    prepare([&](TPrepareDialog& d) {
        walk(d);
        if (d.isVisible())  // a failed step leaves it open
            d.reject();
    });
    ASSERT_EQ(cropX.size(), 3u);
    EXPECT_EQ(cropX[0], 0.5);
    // The picture moves right: its left part comes into the frame, ten times as far with Shift.
    EXPECT_LT(cropX[1], cropX[0]);
    EXPECT_NEAR(cropX[1] - cropX[2], 10 * (cropX[0] - cropX[1]), 1e-9);
    ASSERT_EQ(MainForm->memoCount(), 2);
    EXPECT_EQ(MainForm->activeMemo()->Image1->picture().convertToFormat(QImage::Format_Mono), shown.convertToFormat(QImage::Format_Mono));
}

// A picture that is not black and white is not made a black block by Save or Send: both ask
// first and offer 送信用に変換 with the conversion that suits the picture.
class NotBlackAndWhite : public PrepareCommand {
protected:
    // Runs COMMAND; when the preparation dialog comes up, notes what it starts with and
    // answers it with OK (or ｷｬﾝｾﾙ).
    void runAnsweringPreparation(const std::function<void()>& command, bool ok)
    {
        QTimer watch;
        watch.setInterval(5);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<TPrepareDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            watch.stop();
            offered = dialog->Settings();
            (ok ? dialog->OKBtn : dialog->CancelBtn)->click();
        });
        watch.start();
        command();
        flushDeletes();
    }

    static QImage photo(int w, int h)
    {
        QImage image(w, h, QImage::Format_RGB32);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int v = 20 + 210 * (x + y) / (w + h) + ((x * 7 + y * 13) % 9) - 4;
                image.setPixel(x, y, qRgb(v, v, std::max(0, v - 20)));
            }
        return image;
    }

    static QImage greyDrawing(int w, int h)
    {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(Qt::white);
        for (int i = 0; i < w; ++i)
            for (int t = 0; t < 3; ++t) {
                image.setPixel(i, std::min(h - 1, i * h / w + t), qRgb(110, 110, 110));
                image.setPixel(i, h / 2 + t, qRgb(170, 170, 170));
            }
        return image;
    }

    static double blackShare(const QImage& picture)
    {
        const QString bits = bitsOf(picture);
        return double(bits.count(QLatin1Char('1'))) / bits.size();
    }

    std::optional<TPrepareSettings> offered;
};

TEST_F(NotBlackAndWhite, SaveOffersThePreparationThatSuitsThePicture)
{
    const struct {
        const char* name;
        QImage picture;
        TConversion conversion;
        std::optional<TSizeMode> size;  // none: as the user left it
    } rows[] = {
        {"photo.png", photo(400, 300), TConversion::FloydSteinberg, TSizeMode::Fit},
        {"drawing.png", greyDrawing(100, 80), TConversion::Threshold, std::nullopt},
    };
    for (const auto& row : rows) {
        const QString name = QString::fromUtf8(row.name);
        MemoWindow* source = open(writeImage(name, row.picture, "PNG"));
        ASSERT_NE(source, nullptr);
        boxes.clear();
        offered.reset();
        answers.push_back(BoxAnswer::Yes);  // 送信用に変換
        runAnsweringPreparation([] { command("Save1"); }, true);
        ASSERT_EQ(boxes.size(), 1u) << row.name;
        EXPECT_EQ(boxes[0].buttons, BoxButtons::PrepareAsIsCancel);
        EXPECT_EQ(boxes[0].caption, "確認");
        ASSERT_TRUE(offered.has_value()) << row.name;
        EXPECT_EQ(offered->Conversion, row.conversion) << row.name;
        if (row.size) {
            EXPECT_EQ(offered->Size, *row.size) << row.name;
        }
        // The prepared picture is what is saved, beside the source, as NAME_QM.BMP.
        MemoWindow* result = MainForm->activeMemo();
        ASSERT_NE(result, source);
        const QString saved = path(QFileInfo(name).completeBaseName() + QStringLiteral("_QM.BMP"));
        EXPECT_EQ(result->FileName, saved);
        EXPECT_FALSE(result->Modified);
        const QImage written(saved);
        ASSERT_FALSE(written.isNull()) << row.name;
        EXPECT_GT(blackShare(written), 0.01) << row.name;
        EXPECT_LT(blackShare(written), 0.9) << row.name << ": not a black block";
        EXPECT_FALSE(source->Modified);
    }
}

TEST_F(NotBlackAndWhite, SaveAsItIsOrNotAtAllAndBlackAndWhiteAsBefore)
{
    const QString grey = writeImage(QStringLiteral("grey.png"), greyDrawing(60, 40), "PNG");
    const QString mono = writeImage(QStringLiteral("mono.bmp"), pattern(60, 40));
    const struct {
        const char* name;
        QString file;
        std::optional<BoxAnswer> answer;  // none: no question
        bool dialog;                      // the save dialog is asked
    } rows[] = {
        {"ｷｬﾝｾﾙ", grey, BoxAnswer::Cancel, false},
        {"そのまま", grey, BoxAnswer::No, true},
        {"black and white", mono, std::nullopt, false},
    };
    for (const auto& row : rows) {
        MemoWindow* memo = open(row.file);
        ASSERT_NE(memo, nullptr);
        boxes.clear();
        fileDialogs.clear();
        if (row.answer)
            answers.push_back(*row.answer);
        runAnsweringPreparation([] { command("Save1"); }, true);
        EXPECT_EQ(boxes.size(), row.answer ? 1u : 0u) << row.name;
        EXPECT_FALSE(offered.has_value()) << row.name;
        EXPECT_EQ(fileDialogs.size(), row.dialog ? 1u : 0u) << row.name;
        EXPECT_EQ(MainForm->activeMemo(), memo) << row.name;
    }
}

TEST_F(NotBlackAndWhite, SendOffersThePreparationAndSoDoesTheSizeWarning)
{
    // A grey drawing: the question; 送信用に変換 opens the dialog with a threshold; cancelled,
    // nothing is sent.
    MemoWindow* grey = open(writeImage(QStringLiteral("grey.png"), greyDrawing(100, 80), "PNG"));
    ASSERT_NE(grey, nullptr);
    answers.push_back(BoxAnswer::Yes);
    runAnsweringPreparation([] { MainForm->send(); }, false);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].buttons, BoxButtons::PrepareAsIsCancel);
    ASSERT_TRUE(offered.has_value());
    EXPECT_EQ(offered->Conversion, TConversion::Threshold);
    EXPECT_EQ(MainForm->memoCount(), 1);

    // A black and white picture too large to send: the warning offers it too, fitted to the
    // device's screen; cancelled, the user chooses a region as before.
    MemoWindow* large = open(writeImage(QStringLiteral("large.bmp"), pattern(300, 200)));
    ASSERT_NE(large, nullptr);
    boxes.clear();
    offered.reset();
    answers.push_back(BoxAnswer::Yes);
    runAnsweringPreparation([] { MainForm->send(); }, false);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QString::fromUtf16(TooLargeWarning));
    EXPECT_EQ(boxes[0].buttons, BoxButtons::OkPrepare);
    ASSERT_TRUE(offered.has_value());
    EXPECT_EQ(offered->Size, TSizeMode::Fit);
    EXPECT_EQ(offered->Box, QSize(124, 121));
    EXPECT_TRUE(large->SelectMode);
    QTest::keyClick(large->Image1, Qt::Key_Escape);
    SkipSizeCheck = false;
}

}  // namespace
