#include "prepare/PrepareFile.h"

#include "picture/Picture.h"

std::shared_ptr<TPictureSource> OpenPictureForPreparation(const QString& path, QString* whyNot)
{
    std::optional<QByteArray> bytes = ReadPictureFileBytes(path, whyNot);
    if (!bytes)
        return nullptr;
    // Any other kind is decoded whole once (its header may not tell its size truly) and
    // averaged down from memory.
    if (!bytes->startsWith("\xFF\xD8\xFF")) {
        const std::optional<QImage> picture = ReadUprightPicture(*bytes, 1, whyNot);
        return picture ? TPictureSource::FromImage(*picture) : nullptr;
    }
    // A JPEG is decoded anew at each reduction asked for, from the bytes read once.
    const std::optional<QSize> shown = UprightPictureSize(*bytes, whyNot);
    if (!shown)
        return nullptr;
    auto data = std::make_shared<const QByteArray>(std::move(*bytes));
    const QSize nominal = *shown;
    return std::make_shared<TPictureSource>(nominal, [data, nominal](int reduction, QString* why) -> std::optional<TPrepSource> {
        std::optional<QImage> picture = ReadUprightPicture(*data, reduction, why);
        if (!picture)
            return std::nullopt;
        TLinearPlane plane = ToLinearPlane(*picture);
        return TPrepSource{std::move(plane), nominal};
    });
}
