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

}  // namespace
