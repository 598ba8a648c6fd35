#include "tools/cli/PrepareOptions.h"

#include "prepare/PrepareFile.h"

#include <QRegularExpression>
#include <QString>

const char PrepareOptionsHelp[] =
    "Preparing the picture (as 送信用に変換 in VEXLO; without these it goes out as it is):\n"
    "  --fit             scale to the largest size inside 124 x 121 (or --size), aspect kept\n"
    "  --fill            scale to cover 124 x 121 (or --size), aspect kept, and cut the middle\n"
    "  --size WxH        scale to exactly W x H (1 ... 4096); the box of --fit and --fill\n"
    "  --rotate DEGREES  turn clockwise by 90, 180 or 270\n"
    "  --flip            mirror left to right (after the turn)\n"
    "  --brightness N    -100 ... 100: add N % of the whole range\n"
    "  --contrast N      -100 ... 100: flatten (below 0) or steepen (above 0) the greys\n"
    "  --gamma X         0.1 ... 10: above 1 lightens the middle greys\n"
    "  --invert          black for white and white for black\n"
    "  --dither WAY      how greys become black and white: none (only exactly white stays\n"
    "                    white), threshold[=N] (black below N, 1 ... 255; without N Otsu's\n"
    "                    level), otsu, fs (Floyd-Steinberg), atkinson, bayer (ordered, 8 x 8)\n"
    "Scaling averages the light of the picture's pixels, so thin lines stay.\n";

namespace {

bool intIn(const std::string& text, int lo, int hi, int& out)
{
    bool ok = false;
    out = QString::fromStdString(text).trimmed().toInt(&ok);
    return ok && out >= lo && out <= hi;
}

}  // namespace

bool PrepareSettingsFromArgs(const cli::ParsedArgs& args, std::optional<TPrepareSettings>& out, QString& error)
{
    out.reset();
    bool any = false;
    for (const std::string& f : PrepareFlags)
        any = any || args.Flags.count(f);
    for (const std::string& v : PrepareValued)
        any = any || args.Values.count(v);
    if (!any)
        return true;

    TPrepareSettings s;
    auto value = [&](const char* name) -> const std::string* {
        const auto it = args.Values.find(name);
        return it == args.Values.end() ? nullptr : &it->second;
    };
    auto bad = [&](const char* name, const char* wants) {
        error = QStringLiteral("%1 %2: %3").arg(QLatin1String(name), QString::fromStdString(*value(name)), QLatin1String(wants));
        return false;
    };

    const bool fit = args.Flags.count("--fit") > 0, fill = args.Flags.count("--fill") > 0;
    if (fit && fill) {
        error = QStringLiteral("--fit and --fill exclude each other");
        return false;
    }
    if (const std::string* size = value("--size")) {
        const auto m = QRegularExpression(QStringLiteral("^\\s*(\\d{1,5})\\s*[xX×]\\s*(\\d{1,5})\\s*$"))
                           .match(QString::fromStdString(*size));
        const int w = m.hasMatch() ? m.captured(1).toInt() : 0, h = m.hasMatch() ? m.captured(2).toInt() : 0;
        if (w < 1 || h < 1 || w > PrepareMaxSide || h > PrepareMaxSide)
            return bad("--size", "wants WIDTHxHEIGHT, each 1 ... 4096");
        s.Box = QSize(w, h);
        s.Size = TSizeMode::Exact;
    }
    if (fit)
        s.Size = TSizeMode::Fit;
    if (fill)
        s.Size = TSizeMode::Fill;
    if (const std::string* rotate = value("--rotate")) {
        if (!intIn(*rotate, 0, 270, s.Rotation) || s.Rotation % 90 != 0)
            return bad("--rotate", "wants 90, 180 or 270");
    }
    s.Flip = args.Flags.count("--flip") > 0;
    s.Invert = args.Flags.count("--invert") > 0;
    if (const std::string* b = value("--brightness"); b && !intIn(*b, -100, 100, s.Brightness))
        return bad("--brightness", "wants a whole number from -100 to 100");
    if (const std::string* c = value("--contrast"); c && !intIn(*c, -100, 100, s.Contrast))
        return bad("--contrast", "wants a whole number from -100 to 100");
    if (const std::string* g = value("--gamma")) {
        bool ok = false;
        s.Gamma = QString::fromStdString(*g).trimmed().toDouble(&ok);
        if (!ok || !(s.Gamma >= 0.1 && s.Gamma <= 10.0))
            return bad("--gamma", "wants a number from 0.1 to 10");
    }
    if (const std::string* d = value("--dither")) {
        const QString text = QString::fromStdString(*d).trimmed();
        const qsizetype eq = text.indexOf(QLatin1Char('='));
        const std::optional<TConversion> way = ConversionFromName(eq < 0 ? text : text.left(eq));
        if (!way || (eq >= 0 && *way != TConversion::Threshold))
            return bad("--dither", "wants none, threshold[=N], otsu, fs, atkinson or bayer");
        s.Conversion = *way;
        if (*way == TConversion::Threshold) {
            if (eq < 0)
                s.Conversion = TConversion::Otsu;  // the threshold's own default
            else if (!intIn(text.mid(eq + 1).toStdString(), 1, 255, s.ThresholdLevel))
                return bad("--dither", "threshold=N wants N from 1 to 255");
        }
    }
    out = s;
    return true;
}

std::optional<QImage> PreparedPicture(const QString& path, const TPrepareSettings& settings, QString& error)
{
    const std::shared_ptr<TPictureSource> source = OpenPictureForPreparation(path, &error);
    if (!source)
        return std::nullopt;
    TPreparation preparation(source);
    QImage picture = preparation.Render(settings);
    if (picture.isNull()) {
        error = preparation.Error().isEmpty() ? QStringLiteral("the picture cannot be prepared") : preparation.Error();
        return std::nullopt;
    }
    return picture;
}
