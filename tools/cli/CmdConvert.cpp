// vexlo-cli convert: the picture as the device would get it, written as a file to look at.
#include "tools/cli/CliCommon.h"
#include "tools/cli/PrepareOptions.h"

#include "platform/DurableFile.h"

#include <QBuffer>
#include <QFileInfo>

namespace {

constexpr char Help[] =
    "Usage: vexlo-cli convert IMAGE --out FILE [--fit|--fill] [--size WxH] [--rotate DEGREES]\n"
    "                         [--flip] [--brightness N] [--contrast N] [--gamma X] [--invert]\n"
    "                         [--dither WAY]\n"
    "\n"
    "Prepares IMAGE as VEXLO's 送信用に変換 does with the same choices and writes the black and\n"
    "white result to FILE, one bit per pixel: a BMP, or a PNG when FILE ends in .png. FILE is\n"
    "replaced only by a complete new file. \"vexlo-cli encode\" and \"send\" with the same\n"
    "options send exactly this picture.\n"
    "\n";

}  // namespace

int RunConvert(const std::vector<std::string>& args)
{
    std::set<std::string> valued = PrepareValued;
    valued.insert("--out");
    static const std::string help = std::string(Help) + PrepareOptionsHelp;
    cli::ParsedArgs parsed;
    if (const auto done = cli::ParseCommandArgs(args, PrepareFlags, valued, help.c_str(), parsed))
        return *done;
    if (parsed.Words.size() != 1)
        return cli::Fail(parsed.Words.empty() ? QStringLiteral("convert: IMAGE is missing")
                                              : QStringLiteral("convert: give one IMAGE"));
    const auto out = parsed.Values.find("--out");
    if (out == parsed.Values.end() || out->second.empty())
        return cli::Fail(QStringLiteral("convert: --out FILE is missing"));

    QString error, path, target;
    if (!cli::Utf8Arg(parsed.Words[0], path, error) || !cli::Utf8Arg(out->second, target, error))
        return cli::Fail(QStringLiteral("convert: ") + error);
    const QString suffix = QFileInfo(target).suffix().toLower();
    if (suffix != QLatin1String("bmp") && suffix != QLatin1String("png"))
        return cli::Fail(QStringLiteral("convert: %1: FILE must end in .bmp or .png").arg(target));

    std::optional<TPrepareSettings> settings;
    if (!PrepareSettingsFromArgs(parsed, settings, error))
        return cli::Fail(QStringLiteral("convert: ") + error);
    const std::optional<QImage> picture = PreparedPicture(path, settings.value_or(TPrepareSettings{}), error);
    if (!picture)
        return cli::Fail(QStringLiteral("convert: cannot read %1 as an image: %2").arg(path, error));

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!picture->save(&buffer, suffix == QLatin1String("png") ? "PNG" : "BMP"))
        return cli::Fail(QStringLiteral("convert: cannot encode the picture as %1").arg(suffix.toUpper()));
    if (const auto failure = platform::ReplaceFile(target, bytes))
        return cli::Fail(QStringLiteral("convert: cannot write %1: %2").arg(target, failure->englishText()));
    return cli::ExitOk;
}
