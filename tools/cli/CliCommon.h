// What the vexlo-cli commands share: argument splitting, hex text, output and errors.
#pragma once

#include <QCoreApplication>
#include <QString>

struct TCommLink;
struct TOpenFailure;

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

inline constexpr int ExitOk = 0;
inline constexpr int ExitError = 2;

struct ParsedArgs {
    std::vector<std::string> Words;              // positional arguments, in order
    std::set<std::string> Flags;                 // switches given
    std::map<std::string, std::string> Values;   // options given with a value (last one wins)
    bool Help = false;
};

// Splits ARGS. FLAGS are switches, VALUED take a value ("--x V" or "--x=V"); "--help" and
// "-h" set Help; "--" ends the options; "-" is a word. Fails on an unknown option or a missing
// value, with ERROR set.
bool ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& flags,
               const std::set<std::string>& valued, ParsedArgs& out, QString& error);

// ParseArgs for a command, and what ends the command at once: an unknown option or a missing
// value (reported; ExitError) or --help (HELP printed; ExitOk). Returns that exit status, or
// nothing when the command goes on with OUT.
std::optional<int> ParseCommandArgs(const std::vector<std::string>& args, const std::set<std::string>& flags,
                                    const std::set<std::string>& valued, const char* help, ParsedArgs& out);

// TEXT as UTF-8; fails on bytes that are not UTF-8.
bool Utf8Arg(const std::string& text, QString& out, QString& error);

// Hex pairs ("82A0", "82 a0") to bytes; blanks between pairs are allowed.
bool ParseHexBytes(std::string_view text, std::string& out, QString& error);

// The one TEXT word of title and reading as CP932 bytes: with --sjis, hex pairs taken as they
// are; otherwise UTF-8 converted to CP932 (a character without a CP932 form fails).
bool TextWordAsCp932(const ParsedArgs& args, std::string& out, QString& error);

// The event loop an exchange runs on. Qt's own event dispatcher is leaner than the GLib one,
// and a console tool needs nothing from GLib: the exchange wakes once per byte at line speed,
// and each wake costs less. The application object outlives this one and stays until the
// program ends (EndProgram): taking Qt down costs more than a send's whole exchange.
class ConsoleApplication {
public:
    ConsoleApplication();
    ~ConsoleApplication();
    ConsoleApplication(const ConsoleApplication&) = delete;
    ConsoleApplication& operator=(const ConsoleApplication&) = delete;

private:
    int argc_ = 1;
    char name_[10] = "vexlo-cli";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication* app_ = nullptr;  // null when an application object was there already
};

// Upper-case pairs separated by single blanks.
std::string HexLine(std::string_view bytes);

void PrintLine(const QString& text);
void PrintLine(const std::string& text);
void PrintHelp(const char* text);

// Line options of the link commands: --port, --speed, --word-len, --parity, --stop-bits.
inline const std::set<std::string> LineOptions{"--port", "--speed", "--word-len", "--parity", "--stop-bits"};

// The link settings of VEXLO.INI (defaults without one); a note when something other than a
// regular file stands in its place.
void LoadSettings(TCommLink& link);

// "300, 600, ..., 115200": the speeds --speed takes.
QString SpeedList();

// --speed, --word-len, --parity and --stop-bits given in ARGS into LINK; fails on a value
// the line does not take, with ERROR set.
bool ApplyLineSettings(const ParsedArgs& args, TCommLink& link, QString& error);

// "cannot open COM1 (/dev/ttyUSB0): no such device", or "...: in use by process N".
QString OpenFailureMessage(const TOpenFailure& failure);

// "vexlo-cli: MESSAGE" on standard error; returns ExitError.
int Fail(const QString& message);
// A note on standard error that does not change the exit status.
void Note(const QString& message);

// Sends what was printed to standard output on its way; a failure is kept for
// FinishStandardOutput to report.
void FlushStandardOutput();

// Flushes and closes standard output at the end of a command whose exit status is STATUS: what
// could not be written there (a full disk, a closed pipe, an I/O error) is reported like a
// failed file write and makes the status ExitError. Returns the status.
int FinishStandardOutput(int status);

// The end of the program, with STATUS, once a command has returned: every file it wrote is
// closed and on disk by then (the durable writes sync before they return, the port is closed,
// standard output is closed by FinishStandardOutput). Standard error is flushed and the process
// ends at once, without the exit handlers and Qt's teardown: its threads woken and joined, its
// objects and libraries freed one by one, which cost a send more than its records. A build
// with the sanitizers returns STATUS instead, so that the leak check at exit still runs.
int EndProgram(int status);

}  // namespace cli

// The commands: each takes the arguments after its name and returns the exit status.
int RunTitle(const std::vector<std::string>& args);
int RunReading(const std::vector<std::string>& args);
int RunEncode(const std::vector<std::string>& args);
int RunConvert(const std::vector<std::string>& args);
int RunDecode(const std::vector<std::string>& args);
int RunReceive(const std::vector<std::string>& args);
int RunReceiver(const std::vector<std::string>& args);
int RunSend(const std::vector<std::string>& args);
int RunExport(const std::vector<std::string>& args);
int RunLibrary(const std::vector<std::string>& args);
