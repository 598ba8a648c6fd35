// Export: PNG scaled without blur, SVG whose rectangles are exactly the black pixels, PDF
// pages, and files that never replace one another.
#include "support/MemoImages.h"

#include "store/MemoExport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

QGuiApplication& guiApp()
{
    static int argc = 1;
    static char name[] = "store-tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = qGuiApp ? qGuiApp : new QGuiApplication(argc, argv);  // pdf_export_test too
    return *app;
}

// A memo with a solid block, a lone pixel and noise.
QImage sample()
{
    QImage image = RandomMemo(23, 17, 11);
    for (int y = 2; y < 8; ++y)
        for (int x = 3; x < 13; ++x)
            image.setPixel(x, y, 0xff000000u);
    return image;
}

// Draws the rectangles of an SVG path ("MxYhWvHh-Wz") onto white.
QImage rasterise(const QByteArray& svg, QSize size, int* rects)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    static const QRegularExpression rect(QStringLiteral("M(\\d+) (\\d+)h(\\d+)v(\\d+)h-(\\d+)z"));
    *rects = 0;
    auto it = rect.globalMatch(QString::fromUtf8(svg));
    while (it.hasNext()) {
        const auto m = it.next();
        ++*rects;
        for (int y = 0; y < m.captured(4).toInt(); ++y)
            for (int x = 0; x < m.captured(3).toInt(); ++x) {
                const QPoint p(m.captured(1).toInt() + x, m.captured(2).toInt() + y);
                EXPECT_NE(image.pixel(p), 0xff000000u) << "rectangles overlap at " << p.x() << "," << p.y();
                image.setPixel(p, 0xff000000u);
            }
    }
    return image;
}

TEST(Export, SvgRectanglesAreExactlyTheBlackPixelsMerged)
{
    const QImage memo = sample();
    const QByteArray svg = ExportSvg(memo, 2, false);
    EXPECT_EQ(svg.count("<path"), 1);
    EXPECT_TRUE(svg.contains("width=\"46\" height=\"34\" viewBox=\"0 0 23 17\""));
    int rects = 0;
    EXPECT_EQ(PixelDifference(memo, rasterise(svg, memo.size(), &rects)), QString());
    int blackPixels = 0;
    for (int y = 0; y < memo.height(); ++y)
        for (int x = 0; x < memo.width(); ++x)
            blackPixels += memo.pixel(x, y) == 0xff000000u;
    EXPECT_LT(rects, blackPixels - 40) << "the 10 x 6 block is not one pixel a rectangle";

    QImage block(10, 6, QImage::Format_RGB32);
    block.fill(Qt::black);
    rasterise(ExportSvg(block, 1, true), block.size(), &rects);
    EXPECT_EQ(rects, 1);
    EXPECT_FALSE(ExportSvg(block, 1, true).contains("<rect"));
}

struct PngCase {
    const char* name;
    int scale;
    bool transparent;
};

class ExportPngScale : public testing::TestWithParam<PngCase> {};

TEST_P(ExportPngScale, EveryPixelBecomesASharpSquare)
{
    const QImage memo = sample();
    const int s = GetParam().scale;
    const QImage out = QImage::fromData(ExportPng(memo, s, GetParam().transparent), "PNG").convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(out.size(), memo.size() * s);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            const bool black = memo.pixel(x / s, y / s) == 0xff000000u;
            const QRgb want = black ? 0xff000000u : GetParam().transparent ? 0x00ffffffu : 0xffffffffu;
            if (out.pixel(x, y) != want)
                FAIL() << "pixel " << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Cases, ExportPngScale,
                         testing::Values(PngCase{"One", 1, false}, PngCase{"Three", 3, false},
                                         PngCase{"EightTransparent", 8, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Export, PdfPutsPerPageMemosOnEachPage)
{
    guiApp();
    QList<TExportMemo> memos;
    for (int i = 0; i < 5; ++i)
        memos.push_back({RandomMemo(124, 121, quint32(i)), QStringLiteral("m%1").arg(i), QStringLiteral("題名 %1").arg(i), {}});
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page[^s]"));
    for (const auto& [perPage, pages] : {std::pair{1, 5}, std::pair{2, 3}, std::pair{9, 1}}) {
        TExportOptions options;
        options.Format = ExportFormat::Pdf;
        options.PerPage = perPage;
        const QByteArray pdf = ExportPdf(memos, options);
        EXPECT_TRUE(pdf.startsWith("%PDF"));
        EXPECT_EQ(QString::fromLatin1(pdf).count(page), pages) << perPage << " a page";
    }
}

TEST(Export, IntoAFolderNothingIsWrittenOver)
{
    QTemporaryDir dir;
    QFile old(dir.filePath(QStringLiteral("a.png")));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("keep me");
    old.close();
    const QList<TExportMemo> memos{{sample(), QStringLiteral("a"), {}, {}}, {sample(), QStringLiteral("a"), {}, {}}};
    QString error;
    QStringList written;
    ASSERT_TRUE(ExportMemos(memos, TExportOptions(), dir.path(), &error, &written)) << error.toStdString();
    EXPECT_EQ(written, QStringList({dir.filePath(QStringLiteral("a-2.png")), dir.filePath(QStringLiteral("a-3.png"))}));
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "keep me");
}

// A long export tells how far it has come: each memo read, then each one written, in order,
// whatever the format.
TEST(Export, ReportsItsProgressMemoByMemo)
{
    guiApp();
    QTemporaryDir dir;
    QStringList files;
    for (int i = 0; i < 3; ++i) {
        files << dir.filePath(QStringLiteral("m%1.png").arg(i));
        ASSERT_TRUE(sample().save(files.last()));
    }
    for (const ExportFormat format : {ExportFormat::Png, ExportFormat::Pdf}) {
        TExportOptions options;
        options.Format = format;
        QStringList seen;
        const ExportProgress progress = [&](ExportStep step, qsizetype done, qsizetype total) {
            seen << QStringLiteral("%1 %2/%3").arg(step == ExportStep::Reading ? "r" : "w").arg(done).arg(total);
            return true;
        };
        QString error;
        const QString out = dir.filePath(format == ExportFormat::Pdf ? QStringLiteral("all.pdf") : QStringLiteral("out/"));
        ASSERT_TRUE(ExportMemos(files, options, out, &error, nullptr, nullptr, progress)) << error.toStdString();
        EXPECT_EQ(seen, QStringList({"r 1/3", "r 2/3", "r 3/3", "w 1/3", "w 2/3", "w 3/3"})) << int(format);
    }
}

}  // namespace
