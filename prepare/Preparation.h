// The whole preparation of one picture: turn and scale (area average in linear light), tone,
// conversion to black and white. A change of one setting redoes only the steps after it, so a
// preview follows a slider at once.
#pragma once

#include "prepare/LinearPlane.h"
#include "prepare/PrepareSettings.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>

// A picture ready to be prepared: its light, perhaps reduced (ReductionFor), and the size the
// picture has itself, from which the result's size is worked out.
struct TPrepSource {
    TLinearPlane Plane;
    QSize Nominal;
};

// A picture that can be had at each reduction (1, 2, 4 or 8, see ReductionFor): a file read
// at a reduced size, or a picture in memory averaged down. Each reduction is made when first
// asked for; the last two are kept.
class TPictureSource {
public:
    // LOADER makes the picture at a reduction; nothing when it cannot (the file is damaged), with
    // the reason in its second argument.
    using Loader = std::function<std::optional<TPrepSource>(int reduction, QString* whyNot)>;
    TPictureSource(QSize nominal, Loader loader);

    // PICTURE, averaged down in linear light for each reduction.
    static std::shared_ptr<TPictureSource> FromImage(const QImage& picture);

    // The picture's own size (as shown: turned upright where a photo says so).
    QSize Nominal() const { return nominal_; }

    // The picture at REDUCTION, or null when it cannot be made (Error() says why).
    std::shared_ptr<const TPrepSource> At(int reduction);
    const QString& Error() const { return error_; }

private:
    QSize nominal_;
    Loader loader_;
    std::map<int, std::shared_ptr<const TPrepSource>> made_;
    int lastAsked_ = 0;
    QString error_;
};

class TPreparation {
public:
    explicit TPreparation(std::shared_ptr<TPictureSource> picture);

    // The picture as the device gets it (QImage::Format_Mono, colour 0 black, 1 white), made
    // from the picture at ReductionFor(its size, SETTINGS); a null image when that cannot be
    // had. SETTINGS are used as Clamped() gives them.
    QImage Render(const TPrepareSettings& settings);

    // The greys after tone that the last Render converted, and the level Otsu finds in them.
    const TGreyImage& Toned() const { return toned_; }
    int AutoLevel() const;

    QSize Nominal() const { return picture_->Nominal(); }
    // Why the last Render gave a null image.
    const QString& Error() const { return picture_->Error(); }

private:
    std::shared_ptr<TPictureSource> picture_;
    std::shared_ptr<const TPrepSource> source_;
    std::optional<TPrepareSettings> scaledFor_;
    std::optional<TPrepareSettings> tonedFor_;
    std::optional<TPrepareSettings> convertedFor_;
    TGreyImage scaled_;
    TGreyImage toned_;
    QImage mono_;
};

// SOURCE (its plane as it is, whatever the settings' reduction) prepared with SETTINGS.
QImage PreparePicture(const TPrepSource& source, const TPrepareSettings& settings);

// PICTURE prepared with SETTINGS, as the preparation dialog makes it of a picture in memory.
QImage PreparePicture(const QImage& picture, const TPrepareSettings& settings);
