// PDF export as a reader sees it: poppler (pdftoppm, pdfimages, pdfinfo, pdftotext) reads the
// file back. Each memo comes back pixel for pixel, is stored as a 1-bit image, costs about what
// its PNG costs, and the titles stay readable text.
#include "support/MemoImages.h"

#include "store/MemoExport.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

void guiApp()
{
    static int argc = 1;
    static char name[] = "store-tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = qGuiApp ? qGuiApp : new QGuiApplication(argc, argv);  // export_test too
    (void)app;
}

// What a poppler tool prints for ARGS; fails the test when it does not run.
QByteArray poppler(const QString& tool, const QStringList& args)
{
    QProcess p;
    p.start(tool, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << tool.toStdString() << " failed: " << p.readAllStandardError().toStdString();
        return {};
    }
    return p.readAllStandardOutput();
}

// A memo of pen strokes, as a hand writes them: mostly white, lines one or two pixels wide.
QImage strokes(int width, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int s = 0; s < 12; ++s) {
        QPolygon line;
        QPoint at(random.bounded(width), random.bounded(height));
        for (int k = 0; k < 8; ++k) {
            line << at;
            at += QPoint(random.bounded(-8, 9), random.bounded(-8, 9));
        }
        painter.setPen(QPen(Qt::black, random.bounded(1, 3)));
        painter.drawPolyline(line);
    }
    return image;
}

QImage filled(int width, int height, Qt::GlobalColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QByteArray onePerPage(const QList<TExportMemo>& memos)
{
    TExportOptions options;
    options.Format = ExportFormat::Pdf;
    options.PerPage = 1;
    return ExportPdf(memos, options);
}

struct PixelCase {
    const char* name;
    QImage memo;
};

void PrintTo(const PixelCase& c, std::ostream* os)
{
    *os << c.name;
}

class PdfPixels : public testing::TestWithParam<PixelCase> {};

// pdftoppm draws a picture that is enlarged less than four times smoothly, whatever the file
// asks; from four times on it keeps every pixel a square. So the page is drawn at four times
// the memo's own scale and each memo pixel is read at the centre of its square.
TEST_P(PdfPixels, PdftoppmGivesTheMemoBack)
{
    guiApp();
    const QImage memo = GetParam().memo;
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("m.pdf"));
    {
        QFile f(pdf);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(onePerPage({{memo, QStringLiteral("m"), QStringLiteral("t"), {}}}));
    }
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(f.readAll());
    static const QRegularExpression box(QStringLiteral("/MediaBox\\[0 0 ([\\d.]+) ([\\d.]+)\\]"));
    static const QRegularExpression place(QStringLiteral("([\\d.]+) 0 0 ([\\d.]+) ([\\d.]+) ([\\d.]+) cm /I Do"));
    const auto b = box.match(text);
    const auto p = place.match(text);
    ASSERT_TRUE(b.hasMatch() && p.hasMatch()) << "no page or no picture drawn";
    const double pageH = b.captured(2).toDouble();
    const double w = p.captured(1).toDouble(), h = p.captured(2).toDouble();
    const double x = p.captured(3).toDouble(), y = p.captured(4).toDouble();
    EXPECT_NEAR(w / memo.width(), h / memo.height(), 1e-3) << "pixels are not square";
    const double dpi = 4 * 72 * memo.width() / w;
    poppler(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(dpi, 'f', 6), QStringLiteral("-gray"),
                                         QStringLiteral("-singlefile"), pdf, dir.filePath(QStringLiteral("r"))});
    const QImage drawn(dir.filePath(QStringLiteral("r.pgm")));
    ASSERT_FALSE(drawn.isNull());
    const double px = dpi / 72;
    for (int j = 0; j < memo.height(); ++j)
        for (int i = 0; i < memo.width(); ++i) {
            const QPoint at(int((x + (i + 0.5) * w / memo.width()) * px),
                            int((pageH - y - h + (j + 0.5) * h / memo.height()) * px));
            const int grey = qGray(drawn.pixel(at));
            const bool black = (memo.pixel(i, j) & 0xffffff) != 0xffffff;
            if (grey != (black ? 0 : 255))
                FAIL() << "memo pixel " << i << "," << j << " drawn as " << grey;
        }
}

INSTANTIATE_TEST_SUITE_P(Memos, PdfPixels,
                         testing::Values(PixelCase{"Device", strokes(124, 121, 1)},
                                         PixelCase{"OddWidth", RandomMemo(13, 7, 2)},
                                         PixelCase{"NotAByte", RandomMemo(9, 40, 3)},
                                         PixelCase{"Wide", RandomMemo(301, 5, 4)},
                                         PixelCase{"OnePixel", filled(1, 1, Qt::black)},
                                         PixelCase{"AllWhite", filled(37, 20, Qt::white)},
                                         PixelCase{"AllBlack", filled(17, 33, Qt::black)}),
                         [](const auto& info) { return std::string(info.param.name); });

// Each memo a 1-bit grey image, never smoothed, an image shown twice stored once; each memo
// more costs about what its PNG file costs (a page of its own adds some 300 bytes to a memo of
// 500: at most 1.6 times; drawn as rectangles it was 7), one a page or several (the font is
// paid once, so the cost is taken between a file of the first 20 memos and one of all 40).
TEST(PdfExport, MemosAreOneBitImagesCostingAboutTheirPng)
{
    guiApp();
    QList<TExportMemo> memos;
    qint64 png = 0;  // of the last 20
    for (int i = 0; i < 40; ++i) {
        memos.push_back({strokes(124, 121, quint32(100 + i)), QStringLiteral("m%1").arg(i),
                         QStringLiteral("メモ %1").arg(i), QDateTime(QDate(2026, 12, 7), QTime(9, i))});
        if (i >= 20)
            png += ExportPng(memos.back().Picture, 1, false).size();
    }
    memos.push_back(memos.front());  // the same picture again
    QTemporaryDir dir;
    for (const int perPage : {1, 12}) {
        TExportOptions options;
        options.Format = ExportFormat::Pdf;
        options.PerPage = perPage;
        const QByteArray bytes = ExportPdf(memos, options);
        const qint64 more = bytes.size() - ExportPdf(memos.mid(0, 20), options).size();
        EXPECT_LE(double(more) / double(png), 1.6) << perPage << " a page: 20 memos more cost " << more << " B, their PNG " << png;
        const QString pdf = dir.filePath(QStringLiteral("p%1.pdf").arg(perPage));
        QFile f(pdf);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        const QStringList rows = QString::fromUtf8(poppler(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}))
                                     .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                                     .mid(2);
        ASSERT_EQ(rows.size(), memos.size()) << perPage;
        QSet<QString> objects;
        for (const QString& row : rows) {
            // page num type width height color comp bpc enc interp object ...
            const QStringList c = row.simplified().split(QLatin1Char(' '));
            ASSERT_GE(c.size(), 11);
            EXPECT_EQ(c.mid(2, 8).join(QLatin1Char(' ')), QStringLiteral("image 124 121 gray 1 1 image no")) << row.toStdString();
            objects.insert(c[10]);
        }
        if (perPage == 1) {
            EXPECT_EQ(objects.size(), memos.size() - 1) << "the picture shown twice is not stored once";
        }
    }
}

// The document's title in any script, and a contact sheet's titles as text that can be found.
TEST(PdfExport, TitlesStayText)
{
    guiApp();
    QTemporaryDir dir;
    struct Case {
        int perPage;
        QList<QString> titles;
        QString documentTitle;
    };
    const QList<Case> cases{{1, {QStringLiteral("会議: \"案\" (2) #1")}, QStringLiteral("会議: \"案\" (2) #1")},
                            {1, {QStringLiteral("a"), QStringLiteral("b")}, QStringLiteral("VEXLO")},
                            {4, {QStringLiteral("買い物"), QStringLiteral("電話番号")}, QStringLiteral("VEXLO")}};
    for (const Case& c : cases) {
        QList<TExportMemo> memos;
        for (const QString& title : c.titles)
            memos.push_back({strokes(124, 121, 7), title, title, QDateTime(QDate(2026, 12, 7), QTime(16, 23))});
        TExportOptions options;
        options.Format = ExportFormat::Pdf;
        options.PerPage = c.perPage;
        const QString pdf = dir.filePath(QStringLiteral("t.pdf"));
        QFile f(pdf);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(ExportPdf(memos, options));
        f.close();
        const QString info = QString::fromUtf8(poppler(QStringLiteral("pdfinfo"), {pdf}));
        EXPECT_TRUE(info.contains(QStringLiteral("Title:           ") + c.documentTitle + QLatin1Char('\n')))
            << info.toStdString();
        const QString text = QString::fromUtf8(poppler(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}));
        for (const QString& title : c.titles) {
            EXPECT_EQ(text.contains(title), c.perPage > 1) << title.toStdString();
        }
        if (c.perPage > 1) {
            EXPECT_TRUE(text.contains(QStringLiteral("2026-12-07 16:23")));
        }
    }
}

}  // namespace
