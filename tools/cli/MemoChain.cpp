#include "tools/cli/MemoChain.h"

#include "picture/Picture.h"
#include "transfer/MemoImage.h"
#include "transfer/SendAssembly.h"

#include <QFileInfo>
#include <QStringList>

namespace {

bool parseRegion(const std::string& text, TMemoPicture& pic, QString& error)
{
    const QStringList parts = QString::fromStdString(text).split(QLatin1Char(','));
    int v[4] = {};
    bool ok = parts.size() == 4;
    for (int i = 0; ok && i < 4; ++i)
        v[i] = parts[i].trimmed().toInt(&ok);
    if (!ok) {
        error = QStringLiteral("--region wants four whole numbers L,T,R,B");
        return false;
    }
    if (v[0] < 0 || v[1] < 0 || v[2] < v[0] || v[3] < v[1]) {
        error = QStringLiteral("--region %1: need 0 <= L <= R and 0 <= T <= B")
                    .arg(QString::fromStdString(text));
        return false;
    }
    pic.SelLeft = v[0];
    pic.SelTop = v[1];
    pic.SelRight = v[2];
    pic.SelBottom = v[3];
    return true;
}

}  // namespace

bool BuildChainFromImage(const char* command, const std::string& pathArg, const cli::ParsedArgs& parsed,
                         TCommLink& link, TRecordList& chain)
{
    const QString prefix = QString::fromUtf8(command) + QStringLiteral(": ");
    auto fail = [&](const QString& message) {
        cli::Fail(prefix + message);
        return false;
    };
    QString error;
    QString path;
    if (!cli::Utf8Arg(pathArg, path, error))
        return fail(QStringLiteral("IMAGE: ") + error);
    std::optional<TPrepareSettings> preparation;
    if (!PrepareSettingsFromArgs(parsed, preparation, error))
        return fail(error);
    // Without an option of preparation the picture is read and sent exactly as before.
    QString whyNot;
    const std::optional<QImage> picture =
        preparation ? PreparedPicture(path, *preparation, whyNot) : ReadPictureFile(path, &whyNot);
    if (!picture)
        return fail(QStringLiteral("cannot read %1 as an image: %2").arg(path, whyNot));
    TMemoPicture pic;
    pic.Image = *picture;
    pic.ImageWidth = static_cast<uint16_t>(pic.Image.width());
    pic.ImageHeight = static_cast<uint16_t>(pic.Image.height());

    const auto region = parsed.Values.find("--region");
    if (region != parsed.Values.end() && !parseRegion(region->second, pic, error))
        return fail(error);
    // With a region or --crop the image goes out as the second Send after the warning would.
    SkipSizeCheck = region != parsed.Values.end() || parsed.Flags.count("--crop") > 0;

    TTransferBitmap bitmap;
    switch (ConvertForSend(pic, bitmap)) {
    case ConvResult::TooLarge:
        return fail(QString::fromUtf16(TooLargeWarning) +
                    QStringLiteral(" (%1x%2; use --crop or --region)").arg(pic.ImageWidth).arg(pic.ImageHeight));
    case ConvResult::NoImage:
        return fail(QStringLiteral("%1 has no pixels to send").arg(path));
    case ConvResult::Converted:
        break;
    }

    QString title, reading;
    const auto t = parsed.Values.find("--title");
    const auto r = parsed.Values.find("--reading");
    if ((t != parsed.Values.end() && !cli::Utf8Arg(t->second, title, error)) ||
        (r != parsed.Values.end() && !cli::Utf8Arg(r->second, reading, error)))
        return fail(error);
    TSendText text;
    if (!MakeSendText(title, reading, QFileInfo(path).absoluteFilePath(), text, error))
        return fail(error);

    if (parsed.Flags.count("--zen-to-han"))
        link.ZenToHan = true;
    if (parsed.Flags.count("--kata-to-hira"))
        link.KataToHira = true;
    chain = BuildSendChain(bitmap, text, TitleSwitches(link));
    return true;
}
