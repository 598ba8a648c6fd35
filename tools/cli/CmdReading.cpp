// vexlo-cli reading: the bytes of a title reading.
#include "tools/cli/CliCommon.h"

#include "transfer/TitleConv.h"

namespace {

constexpr char Help[] =
    "Usage: vexlo-cli reading [--sjis] TEXT\n"
    "\n"
    "Prints the bytes that TEXT becomes as a title reading (upper-case ASCII and half-width\n"
    "katakana), whole: the reading record carries only the first 84 of them.\n"
    "\n"
    "  --sjis   TEXT is Shift-JIS (CP932) bytes as hex pairs\n"
    "\n"
    "Without --sjis, TEXT is UTF-8; a character with no Shift-JIS form is an error.\n";

}  // namespace

int RunReading(const std::vector<std::string>& args)
{
    cli::ParsedArgs parsed;
    if (const auto done = cli::ParseCommandArgs(args, {"--sjis"}, {}, Help, parsed))
        return *done;
    QString error;
    std::string text;
    if (!cli::TextWordAsCp932(parsed, text, error))
        return cli::Fail(QStringLiteral("reading: ") + error);
    cli::PrintLine(cli::HexLine(ConvTitleReader(text)));
    return cli::ExitOk;
}
