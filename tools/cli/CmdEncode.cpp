// vexlo-cli encode: the records that sending an image would put on the line.
#include "tools/cli/CliCommon.h"

#include "link/CommLink.h"
#include "transfer/HexRecord.h"
#include "transfer/MemoImage.h"
#include "transfer/SendAssembly.h"

#include <QFileInfo>
#include <QImageReader>
#include <QStringList>

namespace {

constexpr char Help[] =
    "Usage: vexlo-cli encode IMAGE [--title TEXT] [--reading TEXT] [--zen-to-han]\n"
    "                        [--kata-to-hira] [--region L,T,R,B] [--crop]\n"
    "\n"
    "Prints the records that sending IMAGE as a memo puts on the line, one a line, in sending\n"
    "order: segment, title, reading, image header, image data, end of memo.\n"
    "\n"
    "  --title TEXT      the memo title (UTF-8)\n"
    "  --reading TEXT    the title reading (UTF-8); without it (or when it is empty) the\n"
    "                    reading is IMAGE's full path and the title its file name, and\n"
    "                    --title is not used\n"
    "  --zen-to-han      send full-width characters half-width in the title\n"
    "  --kata-to-hira    send half-width katakana as half-width hiragana in the title\n"
    "  --region L,T,R,B  send only this region (pixels, right and bottom inclusive); parts\n"
    "                    outside the image are sent black\n"
    "  --crop            send an image over 124 x 121 cut to that size around its middle\n"
    "\n"
    "An image over 124 x 121 pixels is refused unless --crop or --region is given.\n";

bool ParseRegion(const std::string& text, TMemoPicture& pic, QString& error)
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

int RunEncode(const std::vector<std::string>& args)
{
    cli::ParsedArgs parsed;
    if (const auto done = cli::ParseCommandArgs(args, {"--zen-to-han", "--kata-to-hira", "--crop"}, {"--title", "--reading", "--region"}, Help, parsed))
        return *done;
    QString error;
    if (parsed.Words.size() != 1)
        return cli::Fail(parsed.Words.empty() ? QStringLiteral("encode: IMAGE is missing")
                                              : QStringLiteral("encode: give one IMAGE"));

    QString path;
    if (!cli::Utf8Arg(parsed.Words[0], path, error))
        return cli::Fail(QStringLiteral("encode: IMAGE: ") + error);
    QImageReader reader(path);
    TMemoPicture pic;
    pic.Image = reader.read();
    if (pic.Image.isNull())
        return cli::Fail(QStringLiteral("encode: cannot read %1: %2").arg(path, reader.errorString()));
    if (pic.Image.width() > 0xFFFF || pic.Image.height() > 0xFFFF)
        return cli::Fail(QStringLiteral("encode: %1 is larger than 65535 pixels").arg(path));
    pic.ImageWidth = static_cast<uint16_t>(pic.Image.width());
    pic.ImageHeight = static_cast<uint16_t>(pic.Image.height());

    const auto region = parsed.Values.find("--region");
    if (region != parsed.Values.end() && !ParseRegion(region->second, pic, error))
        return cli::Fail(QStringLiteral("encode: ") + error);
    // With a region or --crop the image goes out as the second Send after the warning would.
    SkipSizeCheck = region != parsed.Values.end() || parsed.Flags.count("--crop") > 0;

    TTransferBitmap bitmap;
    switch (ConvertForSend(pic, bitmap)) {
    case ConvResult::TooLarge:
        return cli::Fail(QString::fromUtf16(TooLargeWarning) +
                         QStringLiteral(" (%1x%2; use --crop or --region)")
                             .arg(pic.ImageWidth)
                             .arg(pic.ImageHeight));
    case ConvResult::NoImage:
        return cli::Fail(QStringLiteral("encode: %1 has no pixels to send").arg(path));
    case ConvResult::Converted:
        break;
    }

    QString title, reading;
    const auto t = parsed.Values.find("--title");
    const auto r = parsed.Values.find("--reading");
    if ((t != parsed.Values.end() && !cli::Utf8Arg(t->second, title, error)) ||
        (r != parsed.Values.end() && !cli::Utf8Arg(r->second, reading, error)))
        return cli::Fail(QStringLiteral("encode: ") + error);
    TSendText text;
    if (!MakeSendText(title, reading, QFileInfo(path).absoluteFilePath(), text, error))
        return cli::Fail(QStringLiteral("encode: ") + error);

    TCommLink link;
    link.ZenToHan = parsed.Flags.count("--zen-to-han") > 0;
    link.KataToHira = parsed.Flags.count("--kata-to-hira") > 0;
    BuildSendChain(link, bitmap, text);
    for (const MemoBlock* node = link.Head.get(); node; node = node->Next.get())
        cli::PrintLine(RecordText(*node));
    return cli::ExitOk;
}
