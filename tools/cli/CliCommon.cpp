#include "tools/cli/CliCommon.h"

#include "link/Comenote.h"
#include "link/CommLink.h"
#include "link/Config.h"
#include "platform/Cp932.h"
#include "platform/PrivateProfile.h"
#include "platform/SerialPort.h"
#include "resources/Version.h"
#include "transfer/HexRecord.h"

#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// A build with AddressSanitizer checks for leaks when the program exits: there the program
// takes Qt down and exits as usual.
#if defined(__SANITIZE_ADDRESS__)
#define VEXLO_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(leak_sanitizer)
#define VEXLO_LEAK_CHECK 1
#endif
#endif
#ifndef VEXLO_LEAK_CHECK
#define VEXLO_LEAK_CHECK 0
#endif

namespace cli {

bool ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& flags,
               const std::set<std::string>& valued, ParsedArgs& out, QString& error)
{
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a == "-" || a.empty() || a[0] != '-') {
            out.Words.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a == "--help" || a == "-h") {
            out.Help = true;
            continue;
        }
        const size_t eq = a.find('=');
        const std::string name = a.substr(0, eq);
        if (flags.count(name) && eq == std::string::npos) {
            out.Flags.insert(name);
        } else if (valued.count(name)) {
            if (eq != std::string::npos) {
                out.Values[name] = a.substr(eq + 1);
            } else if (i + 1 < args.size()) {
                out.Values[name] = args[++i];
            } else {
                error = QStringLiteral("option %1 needs a value").arg(QString::fromStdString(name));
                return false;
            }
        } else {
            error = QStringLiteral("unknown option %1").arg(QString::fromStdString(a));
            return false;
        }
    }
    return true;
}

std::optional<int> ParseCommandArgs(const std::vector<std::string>& args, const std::set<std::string>& flags,
                                    const std::set<std::string>& valued, const char* help, ParsedArgs& out)
{
    QString error;
    if (!ParseArgs(args, flags, valued, out, error))
        return Fail(error);
    if (out.Help) {
        PrintHelp(help);
        return ExitOk;
    }
    return std::nullopt;
}

bool Utf8Arg(const std::string& text, QString& out, QString& error)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    out = decoder(QByteArrayView(text.data(), qsizetype(text.size())));
    if (decoder.hasError()) {
        error = QStringLiteral("the text is not valid UTF-8");
        return false;
    }
    return true;
}

bool ParseHexBytes(std::string_view text, std::string& out, QString& error)
{
    out.clear();
    int high = -1;
    for (const char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (high >= 0) {
                error = QStringLiteral("a hex pair is split by a blank");
                return false;
            }
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            error = QStringLiteral("\"%1\" is not a hexadecimal digit").arg(QChar::fromLatin1(c));
            return false;
        }
        if (high < 0) {
            high = HexToVal(c);
        } else {
            out.push_back(static_cast<char>(high * 16 + HexToVal(c)));
            high = -1;
        }
    }
    if (high >= 0) {
        error = QStringLiteral("odd number of hexadecimal digits");
        return false;
    }
    return true;
}

bool TextWordAsCp932(const ParsedArgs& args, std::string& out, QString& error)
{
    if (args.Words.size() != 1) {
        error = args.Words.empty() ? QStringLiteral("TEXT is missing")
                                   : QStringLiteral("give TEXT as one argument (quote it)");
        return false;
    }
    if (args.Flags.count("--sjis"))
        return ParseHexBytes(args.Words[0], out, error);
    QString text;
    return Utf8Arg(args.Words[0], text, error) && platform::ToCp932(text, out, error);
}

static int& withoutGlib(int& argc)
{
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    return argc;
}

ConsoleApplication::ConsoleApplication()
{
    if (!QCoreApplication::instance())
        app_ = new QCoreApplication(withoutGlib(argc_), argv_);
}

ConsoleApplication::~ConsoleApplication()
{
#if VEXLO_LEAK_CHECK
    delete app_;
#endif
}

std::string HexLine(std::string_view bytes)
{
    std::string line;
    for (const char b : bytes) {
        if (!line.empty())
            line += ' ';
        line += ByteToHex(static_cast<uint8_t>(b));
    }
    return line;
}

QString SpeedList()
{
    QStringList speeds;
    for (const uint32_t s : platform::kLineSpeeds)
        speeds << QString::number(s);
    return speeds.join(QStringLiteral(", "));
}

void LoadSettings(TCommLink& link)
{
    if (platform::ProfileFileKind(kConfigFile) == platform::ProfileFile::NotRegular)
        Note(QStringLiteral("%1 is not a regular file; it is not read, and the default settings apply")
                 .arg(QString::fromStdString(platform::ProfilePath(kConfigFile))));
    LoadLinkSettings(link);
}

bool ApplyLineSettings(const ParsedArgs& parsed, TCommLink& link, QString& error)
{
    auto value = [&](const char* name) -> const std::string* {
        const auto it = parsed.Values.find(name);
        return it == parsed.Values.end() ? nullptr : &it->second;
    };
    if (const std::string* v = value("--speed")) {
        const auto speed = std::find_if(std::begin(platform::kLineSpeeds), std::end(platform::kLineSpeeds),
                                        [&](uint32_t s) { return std::to_string(s) == *v; });
        if (speed == std::end(platform::kLineSpeeds)) {
            error = QStringLiteral("--speed is one of %1").arg(SpeedList());
            return false;
        }
        link.Speed = *speed;
    }
    if (const std::string* v = value("--word-len")) {
        if (*v != "7" && *v != "8") {
            error = QStringLiteral("--word-len is 7 or 8");
            return false;
        }
        link.WordLen = static_cast<uint8_t>(std::stoi(*v));
    }
    if (const std::string* v = value("--parity")) {
        const std::map<std::string, uint8_t> parities{{"none", 0}, {"odd", 1}, {"even", 2}};
        const auto it = parities.find(*v);
        if (it == parities.end()) {
            error = QStringLiteral("--parity is none, odd or even");
            return false;
        }
        link.Parity = it->second;
    }
    if (const std::string* v = value("--stop-bits")) {
        const std::map<std::string, uint8_t> stops{{"1", 0}, {"1.5", 1}, {"2", 2}};
        const auto it = stops.find(*v);
        if (it == stops.end()) {
            error = QStringLiteral("--stop-bits is 1, 1.5 or 2");
            return false;
        }
        link.StopBits = it->second;
    }
    return true;
}

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// What the user can do when the device's permissions keep them out.
QString AccessMessage(const platform::AccessDenial& a)
{
    const QString about = QStringLiteral(" (owner %1, group %2, %3)").arg(Q(a.Owner), Q(a.Group), Q(a.Mode));
    switch (a.Remedy()) {
    case platform::AccessDenial::Fix::LogInAgain:
        return QStringLiteral("permission denied: user %1 was added to group %2, which owns the device, after this "
                              "login; log out and in again")
            .arg(Q(a.User), Q(a.Group));
    case platform::AccessDenial::Fix::JoinGroup:
        return QStringLiteral("permission denied: the device belongs to group %2, and user %1 is not in it; join it "
                              "with `sudo usermod -aG %2 %1`, then log out and in again (a new group holds from the "
                              "next login on)")
            .arg(Q(a.User), Q(a.Group));
    case platform::AccessDenial::Fix::NoGroupAccess:
        return QStringLiteral("permission denied") + about
               + QStringLiteral(": not even its group may open it; the udev rule %1 gives the user at the desk access "
                                "(see man vexlo, SERIAL PORTS)")
                     .arg(QStringLiteral(VEXLO_UDEV_RULE));
    case platform::AccessDenial::Fix::Unknown:
        break;
    }
    return a.Mode.empty() ? QStringLiteral("permission denied") : QStringLiteral("permission denied") + about;
}

QString ModemManagerAdvice()
{
    return QStringLiteral("ModemManager probes a newly plugged serial device as a possible modem for a few seconds: "
                          "try again shortly; to keep it away from this adapter, install the udev rule %1 (see man "
                          "vexlo, SERIAL PORTS), or stop it with `sudo systemctl stop ModemManager`")
        .arg(QStringLiteral(VEXLO_UDEV_RULE));
}

QString PresentMessage(const std::vector<platform::SerialDevice>& present)
{
    if (present.empty())
        return QStringLiteral(", and there is no serial device (is the adapter plugged in?)");
    QString text = QStringLiteral("; serial devices there are now (give one to --port):");
    for (const platform::SerialDevice& d : present)
        text += QStringLiteral("\n  ") + Q(d.Summary());
    return text;
}

}  // namespace

QString OpenFailureMessage(const TOpenFailure& f)
{
    const QString name = QString::fromStdString(f.PortName);
    const QString path = QString::fromStdString(f.Path);
    const QString port = path.isEmpty() || path == name ? name : QStringLiteral("%1 (%2)").arg(name, path);
    const QString process = f.OwnerName.empty()
                                ? QStringLiteral("process %1").arg(f.OwnerPid)
                                : QStringLiteral("process %1 (%2)").arg(f.OwnerPid).arg(QString::fromStdString(f.OwnerName));
    QString why;
    if (f.LinkBusy) {
        why = QStringLiteral("another exchange is running");
    } else if (f.BadSpeed) {
        why = QStringLiteral("the line cannot run at %1 bit/s (give --speed: %2)").arg(*f.BadSpeed).arg(SpeedList());
    } else {
        switch (f.Error) {
        case 0:
            why = QStringLiteral("the line did not open");
            break;
        case EBUSY:
        case EWOULDBLOCK:
            if (f.LeftExclusive)
                why = QStringLiteral("left in exclusive use by a program that was killed; %1 holds the other end "
                                     "of the line and keeps it so: restart it")
                          .arg(process);
            else if (f.OwnerGuessed)
                why = QStringLiteral("in use by another program; %1 runs and may be probing it. ").arg(process)
                      + ModemManagerAdvice();
            else if (f.HeldByModemManager())
                why = QStringLiteral("in use by %1. ").arg(process) + ModemManagerAdvice();
            else
                why = f.OwnerPid > 0 ? QStringLiteral("in use by %1").arg(process)
                                     : QStringLiteral("in use by another program");
            break;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            why = QStringLiteral("no such device") + PresentMessage(f.Present);
            break;
        case ENOTTY:
            why = QStringLiteral("not a serial line");
            break;
        case EACCES:
        case EPERM:
            why = f.Access ? AccessMessage(*f.Access)
                           : QStringLiteral("permission denied (is the user in the group of the device, such as dialout?)");
            break;
        default:
            why = QString::fromLocal8Bit(std::strerror(f.Error));
            if (!why.isEmpty())
                why[0] = why[0].toLower();
        }
    }
    return QStringLiteral("cannot open %1: %2").arg(port, why);
}

namespace {

// The first error a write to standard output met (0: none seen yet).
int standardOutputError = 0;

void noteOutputError()
{
    if (standardOutputError == 0)
        standardOutputError = errno != 0 ? errno : EIO;
}

}  // namespace

void PrintLine(const std::string& text)
{
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fputc('\n', stdout) == EOF)
        noteOutputError();
}

void PrintLine(const QString& text)
{
    PrintLine(text.toStdString());
}

void PrintHelp(const char* text)
{
    std::fputs(text, stdout);
}

int Fail(const QString& message)
{
    const std::string line = "vexlo-cli: " + message.toStdString() + "\n";
    FlushStandardOutput();
    std::fwrite(line.data(), 1, line.size(), stderr);
    return ExitError;
}

void Note(const QString& message)
{
    Fail(message);
}

void FlushStandardOutput()
{
    errno = 0;
    if (std::fflush(stdout) != 0)
        noteOutputError();
}

int FinishStandardOutput(int status)
{
    errno = 0;
    if (std::fflush(stdout) != 0)
        noteOutputError();
    if (std::ferror(stdout)) {
        errno = 0;
        noteOutputError();
    }
    errno = 0;
    if (std::fclose(stdout) != 0 && errno != EBADF)  // EBADF: there was no standard output to close
        noteOutputError();
    if (standardOutputError == 0)
        return status;
    std::string why = std::strerror(standardOutputError);
    if (!why.empty())
        why[0] = char(std::tolower(uchar(why[0])));
    const std::string line = "vexlo-cli: cannot write to standard output: " + why + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    return ExitError;
}

int EndProgram(int status)
{
    std::fflush(stderr);
#if VEXLO_LEAK_CHECK
    return status;
#else
    std::_Exit(status);
#endif
}

}  // namespace cli
