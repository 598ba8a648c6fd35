// vexlo-cli decode: memos of a received record stream, drawn and written as images.
#include "tools/cli/CliCommon.h"
#include "tools/cli/MemoOutput.h"

#include "transfer/ReceivedMemos.h"
#include "transfer/RecordReader.h"

#include <QFile>

#include <cstdio>

namespace {

constexpr char Help[] =
    "Usage: vexlo-cli decode [FILE|-] --out DIR [--format bmp|png]\n"
    "\n"
    "Reads a record stream as the device sends it (FILE, or standard input when FILE is\n"
    "missing or \"-\"): characters before a \":\" are skipped, a record that fails its checksum\n"
    "drops the memo it belongs to, and the end-of-exchange record ends the stream. Every memo\n"
    "is drawn as the Receive command draws it and written, one bit per pixel, to\n"
    "DIR/memo-001.bmp, DIR/memo-002.bmp, ... (DIR is created when missing). Nothing in DIR\n"
    "is replaced: the numbers go on after the highest memo-N.bmp or memo-N.png there.\n"
    "\n"
    "Prints one line per memo: file name, WIDTHxHEIGHT, title and reading, separated by tabs.\n"
    "A memo that cannot be drawn (no pixels, or wider or higher than 4096) is reported on\n"
    "standard error and the exit status is 2; the other memos still come out.\n";

class Decoder {
public:
    Decoder(QString dir, QString format) : output_(std::move(dir), std::move(format))
    {
        RecvStart(records_);
    }

    // Takes received characters; false once the exchange has ended or a limit was hit.
    bool Feed(const uint8_t* data, size_t size)
    {
        for (size_t i = 0; i < size && !ended_ && !failed_; ++i) {
            switch (reader_.Put(data[i])) {
            case RecvEvent::None:
                break;
            case RecvEvent::BadRecord:
                ++badRecords_;
                break;
            case RecvEvent::MemoComplete:
                // Nothing after an end-of-memo record changes the memos before it: draw them
                // and let them go.
                DrawAndFree();
                break;
            case RecvEvent::ExchangeEnded:
                ended_ = true;
                break;
            case RecvEvent::MemoTooLong:
                failed_ = true;
                status_ = cli::Fail(QStringLiteral("decode: more than %1 records without an "
                                                   "end-of-memo record; giving up")
                                        .arg(MaxMemoRecords));
                break;
            }
        }
        return !ended_ && !failed_;
    }

    // Draws what is left and returns the exit status.
    int Finish()
    {
        if (badRecords_ > 0)
            cli::Note(QStringLiteral("%1 record(s) failed their checksum; the memos they belonged "
                                     "to were dropped")
                          .arg(badRecords_));
        if (failed_)
            return status_;
        if (!ended_) {
            if (reader_.InRecord())
                cli::Note(QStringLiteral("the stream ends inside a record; that record is lost"));
            cli::Note(QStringLiteral("the stream ends without the end-of-exchange record"));
        }
        DrawAndFree();
        return status_;
    }

private:
    void DrawAndFree()
    {
        WalkReceivedMemos(records_.Records, [this](TReceivedMemo& memo) { Write(memo); });
        records_.Records.clear();
    }

    void Write(TReceivedMemo& memo)
    {
        if (!output_.Write(memo))
            status_ = cli::ExitError;
    }

    TMemoOutput output_;
    TRecordReader records_;
    TRecordStreamReader reader_{records_};
    bool ended_ = false;
    bool failed_ = false;
    int status_ = cli::ExitOk;
    int badRecords_ = 0;
};

}  // namespace

int RunDecode(const std::vector<std::string>& args)
{
    cli::ParsedArgs parsed;
    if (const auto done = cli::ParseCommandArgs(args, {}, {"--out", "--format"}, Help, parsed))
        return *done;
    QString error;
    if (parsed.Words.size() > 1)
        return cli::Fail(QStringLiteral("decode: give at most one FILE"));
    const auto out = parsed.Values.find("--out");
    const auto format = parsed.Values.find("--format");
    QString dir, formatName;
    if (!PrepareMemoOutput(out == parsed.Values.end() ? std::string() : out->second,
                           format == parsed.Values.end() ? nullptr : &format->second, dir, formatName, error))
        return cli::Fail(QStringLiteral("decode: ") + error);

    QFile input;
    const std::string name = parsed.Words.empty() ? "-" : parsed.Words[0];
    bool opened;
    if (name == "-") {
        opened = input.open(stdin, QIODevice::ReadOnly);
    } else {
        QString path;
        if (!cli::Utf8Arg(name, path, error))
            return cli::Fail(QStringLiteral("decode: FILE: ") + error);
        input.setFileName(path);
        opened = input.open(QIODevice::ReadOnly);
    }
    if (!opened)
        return cli::Fail(QStringLiteral("decode: cannot open %1: %2")
                             .arg(QString::fromStdString(name), input.errorString()));

    Decoder decoder(dir, formatName);
    char buffer[65536];
    for (;;) {
        const qint64 n = input.read(buffer, sizeof buffer);
        if (n < 0)
            return cli::Fail(QStringLiteral("decode: read error: %1").arg(input.errorString()));
        if (n == 0 || !decoder.Feed(reinterpret_cast<const uint8_t*>(buffer), size_t(n)))
            break;
    }
    return decoder.Finish();
}
