// vexlo-cli encode: the records that sending an image would put on the line.
#include "tools/cli/CliCommon.h"
#include "tools/cli/MemoChain.h"

#include "link/CommLink.h"
#include "transfer/HexRecord.h"

namespace {

constexpr char Help[] =
    "Usage: vexlo-cli encode IMAGE [--title TEXT] [--reading TEXT] [--zen-to-han]\n"
    "                        [--kata-to-hira] [--region L,T,R,B] [--crop]\n"
    "                        [--fit|--fill] [--size WxH] [--rotate DEGREES] [--flip]\n"
    "                        [--brightness N] [--contrast N] [--gamma X] [--invert]\n"
    "                        [--dither WAY]\n"
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
    "An image over 124 x 121 pixels is refused unless --crop or --region is given (after the\n"
    "preparation below: --fit makes any picture fit).\n";

}  // namespace

int RunEncode(const std::vector<std::string>& args)
{
    cli::ParsedArgs parsed;
    static const std::string help = std::string(Help) + "\n" + PrepareOptionsHelp;
    if (const auto done = cli::ParseCommandArgs(args, MemoChainFlags, MemoChainValued, help.c_str(), parsed))
        return *done;
    if (parsed.Words.size() != 1)
        return cli::Fail(parsed.Words.empty() ? QStringLiteral("encode: IMAGE is missing")
                                              : QStringLiteral("encode: give one IMAGE"));
    TCommLink link;
    TRecordList chain;
    if (!BuildChainFromImage("encode", parsed.Words[0], parsed, link, chain))
        return cli::ExitError;
    for (const TRecord& record : chain)
        cli::PrintLine(RecordText(record));
    return cli::ExitOk;
}
