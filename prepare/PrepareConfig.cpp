#include "prepare/PrepareConfig.h"

#include "platform/PrivateProfile.h"

#include <QString>

#include <utility>
#include <vector>

namespace {

constexpr char Section[] = "Convert";

std::string read(const char* key, const std::string& file)
{
    return platform::GetPrivateProfileString(Section, key, "", file);
}

int readInt(const char* key, int fallback, const std::string& file)
{
    bool ok = false;
    const int v = QString::fromStdString(read(key, file)).toInt(&ok);
    return ok ? v : fallback;
}

bool readSwitch(const char* key, bool fallback, const std::string& file)
{
    const std::string v = read(key, file);
    return v == "TRUE" ? true : v == "FALSE" ? false : fallback;
}

}  // namespace

TPrepareSettings DialogDefaults()
{
    TPrepareSettings s;
    s.Size = TSizeMode::Fit;
    s.Conversion = TConversion::Otsu;
    return s;
}

TPrepareSettings ReadPrepareSettings(const std::string& file)
{
    TPrepareSettings s = DialogDefaults();
    if (const auto mode = SizeModeFromName(QString::fromStdString(read("Size", file))))
        s.Size = *mode;
    s.Box = QSize(readInt("Width", s.Box.width(), file), readInt("Height", s.Box.height(), file));
    s.Rotation = readInt("Rotate", s.Rotation, file);
    s.Flip = readSwitch("Flip", s.Flip, file);
    s.Brightness = readInt("Brightness", s.Brightness, file);
    s.Contrast = readInt("Contrast", s.Contrast, file);
    bool ok = false;
    const double gamma = QString::fromStdString(read("Gamma", file)).toDouble(&ok);
    if (ok)
        s.Gamma = gamma;
    s.Invert = readSwitch("Invert", s.Invert, file);
    if (const auto conversion = ConversionFromName(QString::fromStdString(read("Dither", file))))
        s.Conversion = *conversion;
    s.ThresholdLevel = readInt("Level", s.ThresholdLevel, file);
    return Clamped(s);
}

std::optional<std::string> StorePrepareSettings(const TPrepareSettings& settings, const std::string& file)
{
    const TPrepareSettings s = Clamped(settings);
    auto text = [](bool v) { return std::string(v ? "TRUE" : "FALSE"); };
    const std::vector<std::pair<const char*, std::string>> keys{
        {"Size", SizeModeName(s.Size).toStdString()},
        {"Width", std::to_string(s.Box.width())},
        {"Height", std::to_string(s.Box.height())},
        {"Rotate", std::to_string(s.Rotation)},
        {"Flip", text(s.Flip)},
        {"Brightness", std::to_string(s.Brightness)},
        {"Contrast", std::to_string(s.Contrast)},
        {"Gamma", QString::number(s.Gamma, 'f', 2).toStdString()},
        {"Invert", text(s.Invert)},
        {"Dither", ConversionName(s.Conversion).toStdString()},
        {"Level", std::to_string(s.ThresholdLevel)},
    };
    for (const auto& [key, value] : keys) {
        platform::FileWriteError why;
        if (!platform::WritePrivateProfileString(Section, key, value, file, &why))
            return file + " に書き込めません\n" + why.text().toStdString();
    }
    return std::nullopt;
}
