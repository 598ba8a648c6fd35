// vexlo-cli title: the device codes of a title.
#include "tools/cli/CliCommon.h"

#include "transfer/TitleConv.h"

namespace {

constexpr char Help[] =
    "Usage: vexlo-cli title [--zen-to-han] [--kata-to-hira] [--sjis] TEXT\n"
    "\n"
    "Prints the device codes that TEXT becomes as a memo title (two bytes a code, at most\n"
    "51 codes), as upper-case hex pairs on one line.\n"
    "\n"
    "  --zen-to-han     send full-width digits, letters, kana and symbols half-width\n"
    "  --kata-to-hira   send typed half-width katakana as half-width hiragana\n"
    "  --sjis           TEXT is Shift-JIS (CP932) bytes as hex pairs, e.g. \"83 5E 83 43\"\n"
    "\n"
    "Without --sjis, TEXT is UTF-8; a character with no Shift-JIS form is an error.\n";

}  // namespace

int RunTitle(const std::vector<std::string>& args)
{
    cli::ParsedArgs parsed;
    if (const auto done = cli::ParseCommandArgs(args, {"--zen-to-han", "--kata-to-hira", "--sjis"}, {}, Help, parsed))
        return *done;
    QString error;
    std::string text;
    if (!cli::TextWordAsCp932(parsed, text, error))
        return cli::Fail(QStringLiteral("title: ") + error);
    const std::string codes = ConvTitle(text, TitleLimit, parsed.Flags.count("--kata-to-hira") > 0,
                                        parsed.Flags.count("--zen-to-han") > 0);
    cli::PrintLine(cli::HexLine(codes));
    return cli::ExitOk;
}
