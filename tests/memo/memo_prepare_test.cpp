// 送信用に変換 as a user runs it: the result opens in a new window named NAME_QM.BMP and marked
// changed, made exactly as vexlo-cli makes it of the same file; the source window stays as it
// was; 元に戻す in the new window gives the picture back; ｷｬﾝｾﾙ and Escape change nothing; the
// choices are kept in [Convert] at exit.
#include "MemoFixture.h"

#include "app/PrepPreview.h"
#include "app/PrepareDialog.h"
#include "prepare/PrepareConfig.h"
#include "prepare/PrepareFile.h"

#include <QApplication>
#include <QButtonGroup>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

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

}  // namespace
