#include "prepare/PrepareFile.h"

#include "memo/Picture.h"

std::shared_ptr<TPictureSource> OpenPictureForPreparation(const QString& path, QString* whyNot)
{
    std::optional<QByteArray> bytes = ReadPictureFileBytes(path, whyNot);
    if (!bytes)
        return nullptr;
    const std::optional<QSize> shown = UprightPictureSize(*bytes, whyNot);
    if (!shown)
        return nullptr;
    auto data = std::make_shared<const QByteArray>(std::move(*bytes));
    const QSize nominal = *shown;
    return std::make_shared<TPictureSource>(nominal, [data, nominal](int reduction, QString* why) -> std::optional<TPrepSource> {
        std::optional<QImage> picture = ReadUprightPicture(*data, reduction, why);
        if (!picture)
            return std::nullopt;
        // A JPEG comes back reduced already; any other picture is averaged down here.
        const bool whole = picture->size() == nominal;
        TLinearPlane plane = ToLinearPlane(*picture);
        picture.reset();
        return TPrepSource{whole && reduction > 1 ? ReducePlane(plane, reduction) : std::move(plane), nominal};
    });
}
