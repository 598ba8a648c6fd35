#include "prepare/Preparation.h"

#include "prepare/AreaAverage.h"
#include "prepare/Conversion.h"
#include "prepare/Geometry.h"

namespace {

bool sameGeometry(const TPrepareSettings& a, const TPrepareSettings& b)
{
    return a.Size == b.Size && a.Box == b.Box && a.CropAt == b.CropAt && a.Rotation == b.Rotation &&
           a.Flip == b.Flip;
}

bool sameTone(const TPrepareSettings& a, const TPrepareSettings& b)
{
    return a.Brightness == b.Brightness && a.Contrast == b.Contrast && a.Gamma == b.Gamma && a.Invert == b.Invert;
}

}  // namespace

TPrepSource SourceFromImage(const QImage& picture, const TPrepareSettings& settings)
{
    TPrepSource source;
    if (picture.isNull())
        return source;
    source.Nominal = picture.size();
    source.Plane = ReducePlane(ToLinearPlane(picture), ReductionFor(picture.size(), Clamped(settings)));
    return source;
}

void TPreparation::SetSource(TPrepSource source)
{
    source_ = std::move(source);
    scaledFor_.reset();
    tonedFor_.reset();
    convertedFor_.reset();
}

QImage TPreparation::Render(const TPrepareSettings& wanted)
{
    const TPrepareSettings s = Clamped(wanted);
    if (source_.Plane.Values.empty())
        return {};
    if (!scaledFor_ || !sameGeometry(*scaledFor_, s)) {
        scaled_ = AreaAverage(source_.Plane, source_.Nominal, s.Rotation, s.Flip, ResultGeometry(source_.Nominal, s));
        scaledFor_ = s;
        tonedFor_.reset();
    }
    if (!tonedFor_ || !sameTone(*tonedFor_, s)) {
        toned_ = sameTone(s, TPrepareSettings{}) ? scaled_ : ApplyTone(scaled_, ToneTable(s));
        tonedFor_ = s;
        convertedFor_.reset();
    }
    if (!convertedFor_ || convertedFor_->Conversion != s.Conversion || convertedFor_->ThresholdLevel != s.ThresholdLevel) {
        mono_ = ConvertToMono(toned_, s.Conversion, s.ThresholdLevel);
        convertedFor_ = s;
    }
    return mono_;
}

int TPreparation::AutoLevel() const { return OtsuLevel(toned_); }

QImage PreparePicture(const TPrepSource& source, const TPrepareSettings& settings)
{
    TPreparation preparation;
    preparation.SetSource(source);
    return preparation.Render(settings);
}
