#include "prepare/Preparation.h"

#include "prepare/AreaAverage.h"
#include "prepare/Conversion.h"
#include "prepare/Geometry.h"
#include "prepare/Tone.h"

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

TPictureSource::TPictureSource(QSize nominal, Loader loader) : nominal_(nominal), loader_(std::move(loader)) {}

std::shared_ptr<TPictureSource> TPictureSource::FromImage(const QImage& picture)
{
    return std::make_shared<TPictureSource>(picture.size(), [picture](int reduction, QString*) -> std::optional<TPrepSource> {
        if (picture.isNull())
            return std::nullopt;
        return TPrepSource{ReducePlane(ToLinearPlane(picture), reduction), picture.size()};
    });
}

std::shared_ptr<const TPrepSource> TPictureSource::At(int reduction)
{
    auto it = made_.find(reduction);
    if (it == made_.end()) {
        error_.clear();
        std::optional<TPrepSource> made = loader_(reduction, &error_);
        if (!made)
            return nullptr;
        // Keep this one and the one asked for before it: a setting moved back and forth
        // across a step of reduction does not read the picture again.
        for (auto old = made_.begin(); old != made_.end();)
            old = old->first == lastAsked_ ? std::next(old) : made_.erase(old);
        it = made_.emplace(reduction, std::make_shared<const TPrepSource>(std::move(*made))).first;
    }
    lastAsked_ = reduction;
    return it->second;
}

TPreparation::TPreparation(std::shared_ptr<TPictureSource> picture) : picture_(std::move(picture)) {}

QImage TPreparation::Render(const TPrepareSettings& wanted)
{
    const TPrepareSettings s = Clamped(wanted);
    std::shared_ptr<const TPrepSource> source = picture_->At(ReductionFor(picture_->Nominal(), s));
    if (!source || source->Plane.Values.empty())
        return {};
    if (source != source_) {
        source_ = std::move(source);
        scaledFor_.reset();
    }
    if (!scaledFor_ || !sameGeometry(*scaledFor_, s)) {
        scaled_ = AreaAverage(source_->Plane, source_->Nominal, s.Rotation, s.Flip, ResultGeometry(source_->Nominal, s));
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
    auto fixed = std::make_shared<TPictureSource>(source.Nominal, [&source](int, QString*) { return source; });
    return TPreparation(fixed).Render(settings);
}

QImage PreparePicture(const QImage& picture, const TPrepareSettings& settings)
{
    return TPreparation(TPictureSource::FromImage(picture)).Render(settings);
}
