// Printing a memo window, to a PDF file through the print dialog's seam, checked by rendering
// the page with poppler (pdftocairo: it maps image pixels exactly; pdftoppm's Splash stretches
// an image by one pixel).
#include "MemoFixture.h"

#include <QPageLayout>
#include <QPrinter>

namespace {

// A 1200-dpi printer with half-inch margins; the page rendered at 96 dpi, where a picture
// printed at its screen size (one pixel per 1/96 inch) covers exactly as many pixels as it
// has, and the printable area starts 48 pixels in.
constexpr int kPrinterDpi = 1200;
constexpr int kDpi = 96;
constexpr int kMargin = 48;

class MemoPrint : public MemoFixture {
protected:
    void SetUp() override
    {
        MemoFixture::SetUp();
        pdf = path(QStringLiteral("page.pdf"));
    }
    void TearDown() override
    {
        SetPrintDialogAnswerer(nullptr);
        MemoFixture::TearDown();
    }

    void answerPrintDialog(bool confirm, const QString& output)
    {
        SetPrintDialogAnswerer([this, confirm, output](QPrinter& printer) {
            ++printDialogs;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(output);
            printer.setResolution(kPrinterDpi);
            printer.setPageSize(QPageSize(QPageSize::A5));
            printer.setPageMargins(QMarginsF(36, 36, 36, 36), QPageLayout::Point);
            return confirm;
        });
    }

    // The first page, rendered at the printer's resolution, in grey levels.
    QImage render() const
    {
        QProcess renderer;
        const QString prefix = path(QStringLiteral("render"));
        renderer.start(QStringLiteral("pdftocairo"),
                       {QStringLiteral("-png"), QStringLiteral("-r"), QString::number(kDpi), QStringLiteral("-gray"),
                        QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-singlefile"), pdf, prefix});
        if (!renderer.waitForFinished(60000) || renderer.exitCode() != 0) {
            ADD_FAILURE() << "pdftocairo: " << renderer.readAllStandardError().toStdString();
            return {};
        }
        return QImage(prefix + QStringLiteral(".png"));
    }

    static int pageCount(const QString& file)
    {
        QProcess info;
        info.start(QStringLiteral("pdfinfo"), {file});
        info.waitForFinished(60000);
        for (const QString& line : QString::fromUtf8(info.readAllStandardOutput()).split(QLatin1Char('\n')))
            if (line.startsWith(QLatin1String("Pages:")))
                return line.mid(6).trimmed().toInt();
        return -1;
    }

    QString pdf;
    int printDialogs = 0;
};

TEST_F(MemoPrint, ThePictureLandsAtThePrintableTopLeftAtItsScreenSize)
{
    const QImage image = pattern(100, 50);
    MemoWindow* memo = open(writeImage(QStringLiteral("print.bmp"), image));
    ASSERT_NE(memo, nullptr);
    answerPrintDialog(true, pdf);
    command("Print1");
    ASSERT_EQ(printDialogs, 1);
    EXPECT_EQ(failureBoxes(), 0);

    const QImage page = render();
    ASSERT_FALSE(page.isNull());
    // The rendered page around the picture: a frame of 8 pixels on each side must be white,
    // the picture itself pixel for pixel.
    const QImage window = page.copy(kMargin - 8, kMargin - 8, image.width() + 16, image.height() + 16);
    QImage expected(window.size(), QImage::Format_RGB32);
    expected.fill(Qt::white);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            expected.setPixel(x + 8, y + 8, image.pixel(x, y));
    EXPECT_EQ(bitsOf(window), bitsOf(expected));
    // Nothing else on the page.
    QImage rest = page.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            rest.setPixel(kMargin + x, kMargin + y, qRgb(255, 255, 255));
    EXPECT_FALSE(bitsOf(rest).contains(QLatin1Char('1')));
}

TEST_F(MemoPrint, AWindowWithoutAPicturePrintsAnEmptyPage)
{
    command("New1");
    answerPrintDialog(true, pdf);
    command("Print1");
    ASSERT_EQ(pageCount(pdf), 1);
    EXPECT_FALSE(bitsOf(render()).contains(QLatin1Char('1')));
}

TEST_F(MemoPrint, CancellingThePrintDialogPrintsNothing)
{
    open(writeImage(QStringLiteral("print.bmp"), pattern(20, 20)));
    answerPrintDialog(false, pdf);
    command("Print1");
    EXPECT_EQ(printDialogs, 1);
    EXPECT_FALSE(QFile::exists(pdf));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(MemoPrint, APrinterThatCannotStartIsReportedAndTheWindowGoesOn)
{
    MemoWindow* memo = open(writeImage(QStringLiteral("print.bmp"), pattern(20, 20)));
    answerPrintDialog(true, path(QStringLiteral("no-such-folder/page.pdf")));
    command("Print1");
    ASSERT_EQ(failureBoxes(), 1);
    EXPECT_EQ(boxes.back().caption, "VEXLO");
    EXPECT_EQ(MainForm->activeMemo(), memo);
    EXPECT_FALSE(memo->Modified);
}

}  // namespace
