#include "store/MemoExport.h"

#include "picture/Picture.h"
#include "platform/DurableFile.h"
#include "store/MarkdownExport.h"
#include "store/MemoFile.h"
#include "store/MemoNotes.h"
#include "store/MonoPdf.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

namespace {

// A PDF page's margin, and the room left between neighbouring memos, in points.
constexpr qreal PdfMargin = 72 * 10 / 25.4;  // 10 mm
constexpr qreal PdfGap = 72 * 0.12;

// The black pixels of PICTURE as rectangles: the runs of each row, a run continued by an
// equal run in the row below grown downwards. Sorted by top, then left.
std::vector<QRect> inkRects(const QImage& picture)
{
    const QImage mono = ToMonochrome(picture);
    std::vector<QRect> done;
    std::map<std::pair<int, int>, QRect> open;  // (left, right) of runs reaching the last row
    for (int y = 0; y < mono.height(); ++y) {
        const uchar* line = mono.constScanLine(y);
        std::map<std::pair<int, int>, QRect> next;
        for (int x = 0; x < mono.width();) {
            const auto black = [line](int at) { return (line[at >> 3] & (0x80 >> (at & 7))) == 0; };
            if (!black(x)) {
                ++x;
                continue;
            }
            const int left = x;
            while (x < mono.width() && black(x))
                ++x;
            const std::pair<int, int> run{left, x};
            if (auto it = open.find(run); it != open.end()) {
                QRect grown = it->second;
                grown.setBottom(y);
                open.erase(it);
                next.emplace(run, grown);
            } else {
                next.emplace(run, QRect(left, y, x - left, 1));
            }
        }
        for (auto& [run, rect] : open)
            done.push_back(rect);
        open = std::move(next);
    }
    for (auto& [run, rect] : open)
        done.push_back(rect);
    std::sort(done.begin(), done.end(), [](const QRect& a, const QRect& b) {
        return a.top() != b.top() ? a.top() < b.top() : a.left() < b.left();
    });
    return done;
}

// NAME with characters a file name cannot hold made harmless.
QString safeBaseName(QString name)
{
    for (QChar& c : name)
        if (c == QLatin1Char('/') || c.unicode() == 0 || c.category() == QChar::Other_Control)
            c = QLatin1Char('_');
    if (name.startsWith(QLatin1Char('.')))
        name[0] = QLatin1Char('_');
    return name.isEmpty() ? QStringLiteral("memo") : name;
}

QString timeText(const QDateTime& time)
{
    return time.isValid() ? time.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QString();
}

struct Failure {
    QString* japanese;
    QString* english;
    bool operator()(const QString& ja, const QString& en) const
    {
        if (japanese)
            *japanese = ja;
        if (english)
            *english = en;
        return false;
    }
};

bool writeOut(const QString& path, bool replace, const QString& folder, const QString& base, const QString& suffix,
              const QByteArray& bytes, const Failure& fail, QStringList* written)
{
    if (replace) {
        if (auto failure = platform::ReplaceFile(path, bytes))
            return fail(QStringLiteral("%1 に書き込めません\n%2").arg(path, failure->text()),
                        QStringLiteral("cannot write %1: %2").arg(path, failure->englishText()));
        if (written)
            written->append(path);
        return true;
    }
    const auto nameFor = [&](int n) {
        return n <= 1 ? QStringLiteral("%1.%2").arg(base, suffix) : QStringLiteral("%1-%2.%3").arg(base).arg(n).arg(suffix);
    };
    QString made;
    if (auto failure = platform::WriteNewFile(folder, nameFor, 1, bytes, &made)) {
        const QString target = QDir(folder).filePath(nameFor(1));
        return fail(QStringLiteral("%1 に書き込めません\n%2").arg(target, failure->text()),
                    QStringLiteral("cannot write %1: %2").arg(target, failure->englishText()));
    }
    if (written)
        written->append(made);
    return true;
}

}  // namespace

QString ExportSuffix(ExportFormat format)
{
    switch (format) {
    case ExportFormat::Png: return QStringLiteral("png");
    case ExportFormat::Svg: return QStringLiteral("svg");
    case ExportFormat::Pdf: return QStringLiteral("pdf");
    case ExportFormat::Markdown: return QStringLiteral("md");
    }
    return {};
}

std::optional<TExportMemo> LoadExportMemo(const QString& file, QString* error)
{
    QString why;
    std::optional<QImage> picture = ReadPictureFile(file, &why);
    if (!picture) {
        if (error)
            *error = why;
        return std::nullopt;
    }
    TExportMemo memo;
    memo.Picture = std::move(*picture);
    const QFileInfo info(file);
    memo.Name = info.completeBaseName();
    const std::optional<TMemoMeta> meta = ReadMemoMeta(file);
    if (meta && meta->Carried) {
        memo.Title = meta->Title;
        memo.Reading = meta->Reading;
        memo.Arrived = meta->Arrived;
    } else {
        memo.Title = memo.Name;
        memo.Arrived = info.lastModified();
    }
    if (const std::optional<MemoNotes> notes = ReadMemoNotesFile(file)) {
        memo.Tags = notes->tags;
        memo.Note = notes->note;
        memo.Starred = notes->starred;
    }
    return memo;
}

QByteArray ExportPng(const QImage& picture, int scale, bool transparent)
{
    scale = std::clamp(scale, 1, MaxExportScale);
    QImage mono = ToMonochrome(picture);
    if (scale > 1)
        mono = mono.scaled(mono.width() * scale, mono.height() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    mono.setColorTable({qRgb(0, 0, 0), transparent ? qRgba(255, 255, 255, 0) : qRgb(255, 255, 255)});
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!mono.save(&buffer, "PNG"))
        return {};
    return bytes;
}

QByteArray ExportSvg(const QImage& picture, int scale, bool transparent)
{
    scale = std::clamp(scale, 1, MaxExportScale);
    const int w = picture.width();
    const int h = picture.height();
    QByteArray svg;
    svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"%1\" height=\"%2\" "
                          "viewBox=\"0 0 %3 %4\" shape-rendering=\"crispEdges\">\n")
               .arg(w * scale)
               .arg(h * scale)
               .arg(w)
               .arg(h)
               .toUtf8();
    if (!transparent)
        svg += QStringLiteral("<rect width=\"%1\" height=\"%2\" fill=\"#fff\"/>\n").arg(w).arg(h).toUtf8();
    const std::vector<QRect> rects = inkRects(picture);
    if (!rects.empty()) {
        svg += "<path fill=\"#000\" d=\"";
        for (const QRect& r : rects)
            svg += QStringLiteral("M%1 %2h%3v%4h-%3z").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toUtf8();
        svg += "\"/>\n";
    }
    svg += "</svg>\n";
    return svg;
}

namespace {

// One memo a page: each as large as the page allows within its margins, centred.
QByteArray onePerPage(const QList<TExportMemo>& memos, const TExportOptions& options, const ExportProgress& progress)
{
    TMonoPdf pdf(memos.size() == 1 ? memos.first().Title : QStringLiteral("VEXLO"), SoftwareName());
    const QSizeF page = options.PageSize.size(QPageSize::Point);
    const qreal inset = PdfMargin + PdfGap / 2;
    const QRectF room(inset, inset, page.width() - 2 * inset, page.height() - 2 * inset);
    for (qsizetype i = 0; i < memos.size(); ++i) {
        const QImage& picture = memos[i].Picture;
        QRectF place;
        if (picture.width() > 0 && picture.height() > 0 && !room.isEmpty()) {
            const qreal s = std::min(room.width() / picture.width(), room.height() / picture.height());
            const QSizeF shown(picture.width() * s, picture.height() * s);
            // On a whole number of memo pixels from the page's corner: shown with a pixel
            // the size of the memo's, the page's pixels and the memo's fall on one another.
            const auto grid = [s](qreal at) { return std::round(at / s) * s; };
            place = QRectF(QPointF(grid(room.x() + (room.width() - shown.width()) / 2),
                                   grid(room.y() + (room.height() - shown.height()) / 2)),
                           shown);
        }
        pdf.AddPage(page, picture, place);
        if (progress && !progress(ExportStep::Writing, i + 1, memos.size()))
            return {};
    }
    return pdf.Finish();
}

}  // namespace

QByteArray ExportPdf(const QList<TExportMemo>& memos, const TExportOptions& options, const ExportProgress& progress)
{
    if (memos.isEmpty())
        return {};
    if (std::clamp(options.PerPage, 1, MaxPerPage) == 1)
        return onePerPage(memos, options, progress);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter pdf(&buffer);
    pdf.setCreator(SoftwareName());
    pdf.setTitle(memos.size() == 1 ? memos.first().Title : QStringLiteral("VEXLO"));
    pdf.setResolution(1200);
    pdf.setPageSize(options.PageSize);
    const qreal margin = PdfMargin * 25.4 / 72;
    pdf.setPageMargins(QMarginsF(margin, margin, margin, margin), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&pdf))
        return {};
    const int perPage = std::clamp(options.PerPage, 1, MaxPerPage);
    const QRectF page(QPointF(0, 0), QSizeF(pdf.width(), pdf.height()));
    const bool sheet = perPage > 1;

    QFont font(QStringLiteral("IPAGothic"));
    font.setPointSizeF(perPage > 16 ? 6 : 8);
    painter.setFont(font);
    const QFontMetricsF metrics(font, &pdf);
    const qreal caption = sheet ? metrics.lineSpacing() * 2.2 : 0;
    const qreal gap = pdf.resolution() * PdfGap / 72;

    // The grid whose cells let the largest memo come out largest.
    QSizeF largest(1, 1);
    for (const TExportMemo& m : memos)
        largest = largest.expandedTo(QSizeF(m.Picture.width(), m.Picture.height()));
    int columns = 1;
    qreal best = -1;
    for (int c = 1; c <= perPage; ++c) {
        const int rows = (perPage + c - 1) / c;
        const qreal cw = page.width() / c - gap;
        const qreal ch = page.height() / rows - gap - caption;
        const qreal s = std::min(cw / largest.width(), ch / largest.height());
        if (s > best) {
            best = s;
            columns = c;
        }
    }
    const int rows = (perPage + columns - 1) / columns;
    const QSizeF cell(page.width() / columns, page.height() / rows);

    for (qsizetype i = 0; i < memos.size(); ++i) {
        if (i > 0 && i % perPage == 0)
            pdf.newPage();
        const TExportMemo& memo = memos[i];
        const int slot = int(i % perPage);
        const QRectF box(QPointF((slot % columns) * cell.width(), (slot / columns) * cell.height()), cell);
        const QRectF room = box.adjusted(gap / 2, gap / 2, -gap / 2, -gap / 2 - caption);
        const QSizeF size(memo.Picture.width(), memo.Picture.height());
        if (size.isEmpty())
            continue;
        const qreal s = std::min(room.width() / size.width(), room.height() / size.height());
        const QSizeF shown = size * s;
        const QPointF at(room.x() + (room.width() - shown.width()) / 2,
                         sheet ? room.bottom() - shown.height() : room.y() + (room.height() - shown.height()) / 2);
        painter.save();
        painter.translate(at);
        painter.scale(s, s);
        painter.setPen(QPen(Qt::black, 0.5 / s));
        painter.setBrush(Qt::NoBrush);
        // The memo's edge, so that white shows where it ends: just outside it, on no pixel.
        painter.drawRect(QRectF(QPointF(0, 0), size).adjusted(-0.25 / s, -0.25 / s, 0.25 / s, 0.25 / s));
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        // One bit a pixel, black and white exactly: the PDF gets it as a 1-bit image.
        QImage mono = ToMonochrome(memo.Picture);
        mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        painter.drawImage(QRectF(QPointF(0, 0), size), mono);
        painter.restore();
        if (sheet) {
            const QRectF text(box.x() + gap / 2, room.bottom() + metrics.lineSpacing() * 0.2, box.width() - gap, caption);
            const QString title = metrics.elidedText(memo.Title, Qt::ElideRight, text.width());
            painter.setPen(Qt::black);
            painter.drawText(text, Qt::AlignHCenter | Qt::AlignTop,
                             title + QLatin1Char('\n') + timeText(memo.Arrived));
        }
        if (progress && !progress(ExportStep::Writing, i + 1, memos.size())) {
            painter.end();
            return {};
        }
    }
    if (!painter.end())
        return {};
    return bytes;
}

bool ExportMemos(const QList<TExportMemo>& memos, const TExportOptions& options, const QString& outPath,
                 QString* error, QStringList* written, QString* englishError, const ExportProgress& progress)
{
    const Failure fail{error, englishError};
    const QString out = QDir::cleanPath(outPath);
    if (memos.isEmpty())
        return fail(QStringLiteral("書き出すメモがありません"), QStringLiteral("no memo to export"));
    if (options.Format == ExportFormat::Markdown)
        return ExportMarkdown(memos, options, out, error, written, englishError, progress);
    const QString suffix = ExportSuffix(options.Format);
    const QFileInfo target(out);
    const bool intoFolder = target.isDir() || outPath.endsWith(QLatin1Char('/')) ||
                            (options.Format != ExportFormat::Pdf && memos.size() > 1);
    if (intoFolder) {
        if (auto failure = platform::MakeFolders(out))
            return fail(QStringLiteral("フォルダー %1 を作れません\n%2").arg(out, failure->text()),
                        QStringLiteral("cannot create %1: %2").arg(out, failure->englishText()));
    }
    bool stopped = false;
    // Tells whether the export goes on; remembers a stop.
    const ExportProgress goOn = [&](ExportStep step, qsizetype done, qsizetype total) {
        if (progress && !progress(step, done, total))
            stopped = true;
        return !stopped;
    };
    const auto stop = [&] {
        if (error)
            error->clear();
        if (englishError)
            englishError->clear();
        return false;
    };
    if (options.Format == ExportFormat::Pdf) {
        const QByteArray pdf = ExportPdf(memos, options, goOn);
        if (stopped)
            return stop();
        if (pdf.isEmpty())
            return fail(QStringLiteral("PDF を作れません"), QStringLiteral("cannot make the PDF"));
        const QString base = safeBaseName(memos.size() == 1 ? memos.first().Name : QStringLiteral("memos"));
        return writeOut(out, !intoFolder, out, base, suffix, pdf, fail, written);
    }
    qsizetype done = 0;
    QStringList made;  // by this export
    const auto keep = [&] {
        if (written)
            written->append(made);
    };
    for (const TExportMemo& memo : memos) {
        const QByteArray bytes = options.Format == ExportFormat::Png
                                     ? ExportPng(memo.Picture, options.Scale, options.Transparent)
                                     : ExportSvg(memo.Picture, options.Scale, options.Transparent);
        if (bytes.isEmpty()) {
            keep();
            return fail(QStringLiteral("%1 を書き出せません").arg(memo.Name),
                        QStringLiteral("cannot encode %1").arg(memo.Name));
        }
        if (!writeOut(out, !intoFolder, out, safeBaseName(memo.Name), suffix, bytes, fail, &made)) {
            keep();
            return false;
        }
        if (!goOn(ExportStep::Writing, ++done, memos.size())) {
            // Each of these was made new by this export (nothing was written over): taking
            // them away again leaves the folder as it was.
            for (const QString& file : made)
                QFile::remove(file);
            return stop();
        }
    }
    keep();
    return true;
}

bool ExportMemos(const QStringList& files, const TExportOptions& options, const QString& out, QString* error,
                 QStringList* written, QString* englishError, const ExportProgress& progress)
{
    QList<TExportMemo> memos;
    for (const QString& file : files) {
        QString why;
        std::optional<TExportMemo> memo = LoadExportMemo(file, &why);
        if (!memo)
            return Failure{error, englishError}(QStringLiteral("%1 を画像として読めません\n%2").arg(file, why),
                                                QStringLiteral("cannot read %1: %2").arg(file, why));
        memos.push_back(std::move(*memo));
        if (progress && !progress(ExportStep::Reading, memos.size(), files.size())) {
            if (error)
                error->clear();
            if (englishError)
                englishError->clear();
            return false;
        }
    }
    return ExportMemos(memos, options, out, error, written, englishError, progress);
}
