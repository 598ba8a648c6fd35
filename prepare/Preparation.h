// The whole preparation of one picture: turn and scale (area average in linear light), tone,
// conversion to black and white. A change of one setting redoes only the steps after it, so a
// preview follows a slider at once.
#pragma once

#include "prepare/LinearPlane.h"
#include "prepare/PrepareSettings.h"
#include "prepare/Tone.h"

#include <QImage>
#include <QSize>

#include <optional>

// A picture ready to be prepared: its light, perhaps reduced (ReductionFor), and the size the
// picture has itself, from which the result's size is worked out.
struct TPrepSource {
    TLinearPlane Plane;
    QSize Nominal;
};

// PICTURE as a source for SETTINGS: its light, reduced by ReductionFor(its size, SETTINGS).
TPrepSource SourceFromImage(const QImage& picture, const TPrepareSettings& settings);

class TPreparation {
public:
    // A new source; every step is done again at the next Render.
    void SetSource(TPrepSource source);
    const TPrepSource& Source() const { return source_; }

    // The picture as the device gets it (QImage::Format_Mono, colour 0 black, 1 white); a null
    // image when the source is empty. SETTINGS are used as Clamped() gives them.
    QImage Render(const TPrepareSettings& settings);

    // The greys after tone that the last Render converted, and the level Otsu finds in them.
    const TGreyImage& Toned() const { return toned_; }
    int AutoLevel() const;

private:
    TPrepSource source_;
    std::optional<TPrepareSettings> scaledFor_;  // geometry fields of the scaled step
    std::optional<TPrepareSettings> tonedFor_;
    std::optional<TPrepareSettings> convertedFor_;
    TGreyImage scaled_;
    TGreyImage toned_;
    QImage mono_;
};

// SOURCE prepared with SETTINGS at once.
QImage PreparePicture(const TPrepSource& source, const TPrepareSettings& settings);
