#include "prepare/PrepareFile.h"

#include "picture/Picture.h"
#include "picture/PictureRows.h"
#include "prepare/Geometry.h"
#include "prepare/RowPlane.h"

namespace {

// Refused before anything is decoded: the plane at this reduction would be too large.
QString tooLargeAt(QSize nominal, int reduction)
{
    return QStringLiteral("%1x%2 pixels is more than VEXLO prepares at this size (at most %3 pixels after a "
                          "reduction of 1/%4); a smaller result lets it read the picture further reduced")
        .arg(nominal.width())
        .arg(nominal.height())
        .arg(kMaxPicturePixels)
        .arg(reduction);
}

void say(QString* whyNot, const QString& why)
{
    if (whyNot)
        *whyNot = why;
}

std::shared_ptr<TPictureSource> pngSource(const QString& path, QFile& file, QString* whyNot)
{
    const std::optional<TPictureHead> head = ReadPngHead(file, whyNot);
    if (!head)
        return nullptr;
    const TPictureHead first = *head;
    const QSize nominal = first.Upright();
    return std::make_shared<TPictureSource>(nominal, [path, first, nominal](int reduction, QString* why) -> std::optional<TPrepSource> {
        if (TRowPlane::PixelsFor(nominal, reduction) > kMaxPicturePixels) {
            say(why, tooLargeAt(nominal, reduction));
            return std::nullopt;
        }
        const std::unique_ptr<QFile> file = OpenPictureFile(path, kMaxRowPngFileBytes, why);
        if (!file)
            return std::nullopt;
        const std::optional<TPictureHead> now = ReadPngHead(*file, why);
        if (!now)
            return std::nullopt;
        if (now->Stored != first.Stored || now->Turn != first.Turn) {
            say(why, QStringLiteral("the file changed after it was opened"));
            return std::nullopt;
        }
        if (!file->seek(0)) {
            say(why, QStringLiteral("read error: %1").arg(file->errorString()));
            return std::nullopt;
        }
        TRowPlane plane(first.Stored, first.Turn, reduction);
        const bool read = ReadPngRows(
            *file, [&plane](int y, int x0, int step, const QRgb* pixels, int count) { plane.Add(y, x0, step, pixels, count); },
            why);
        if (!read)
            return std::nullopt;
        return TPrepSource{plane.Take(), nominal};
    });
}

std::shared_ptr<TPictureSource> jpegSource(QByteArray bytes, QString* whyNot)
{
    const std::optional<TPictureHead> head = ReadJpegHead(bytes, whyNot);
    if (!head)
        return nullptr;
    const TPictureHead first = *head;
    const QSize nominal = first.Upright();
    auto data = std::make_shared<const QByteArray>(std::move(bytes));
    return std::make_shared<TPictureSource>(nominal, [data, first, nominal](int reduction, QString* why) -> std::optional<TPrepSource> {
        std::optional<TRowPlane> plane;
        const bool read = ReadJpegRows(
            *data, reduction,
            [&](QSize decoded) {
                if (TRowPlane::PixelsFor(decoded, 1) > kMaxPicturePixels) {
                    say(why, tooLargeAt(nominal, reduction));
                    return false;
                }
                plane.emplace(decoded, first.Turn, 1);
                return true;
            },
            [&plane](int y, int x0, int step, const QRgb* pixels, int count) { plane->Add(y, x0, step, pixels, count); },
            why);
        if (!read || !plane)
            return std::nullopt;
        return TPrepSource{plane->Take(), nominal};
    });
}

}  // namespace

std::shared_ptr<TPictureSource> OpenPictureForPreparation(const QString& path, QString* whyNot)
{
    {
        const std::unique_ptr<QFile> file = OpenPictureFile(path, kMaxRowPngFileBytes, whyNot);
        if (!file)
            return nullptr;
        if (IsPngStart(file->peek(8)))
            return pngSource(path, *file, whyNot);
    }
    std::optional<QByteArray> bytes = ReadPictureFileBytes(path, whyNot);
    if (!bytes)
        return nullptr;
    if (IsJpegStart(*bytes))
        return jpegSource(std::move(*bytes), whyNot);
    // Any other kind is decoded whole once (its header may not tell its size truly) and
    // averaged down from memory.
    const std::optional<QImage> picture = ReadUprightPicture(*bytes, 1, whyNot);
    return picture ? TPictureSource::FromImage(*picture) : nullptr;
}

bool TooLargeToPrepare(QSize nominal, const TPrepareSettings& settings)
{
    return TRowPlane::PixelsFor(nominal, ReductionFor(nominal, Clamped(settings))) > kMaxPicturePixels;
}
