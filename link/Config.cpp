#include "link/Config.h"

#include "platform/PrivateProfile.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

using platform::GetPrivateProfileString;
using platform::WritePrivateProfileString;

bool ConfigPresent(const std::string& file)
{
    return GetPrivateProfileString("Comm", "Port", "ERROR", file) != "ERROR";
}

long ReadConfigInt(const char* section, const char* key, long defaultValue, const std::string& file)
{
    const std::string text = GetPrivateProfileString(section, key, "", file);
    const char* digits = text.c_str();
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        digits += 2;
        base = 16;
    }
    if (*digits == '\0')
        return defaultValue;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(digits, &end, base);
    if (end == digits || *end != '\0' || errno == ERANGE)
        return defaultValue;
    return static_cast<long>(value);
}

bool ReadConfigSwitch(const char* section, const char* key, const char* defaultValue,
                      const std::string& file)
{
    return GetPrivateProfileString(section, key, defaultValue, file) == "TRUE";
}

void ReadLinkPort(TCommLink& link, const std::string& file)
{
    link.PortName = GetPrivateProfileString("Comm", "Port", "COM2", file);
}

void ReadLinkLine(TCommLink& link, const std::string& file)
{
    // The speed is kept as the file says it (115200 stays 115200); one the line cannot take is
    // refused when the port is opened, with the speed named, rather than silently changed.
    const long speed = ReadConfigInt("Comm", "Speed", 9600, file);
    link.Speed = speed >= 0 && speed <= long(UINT32_MAX) ? static_cast<uint32_t>(speed) : 9600u;
    link.WordLen = static_cast<uint8_t>(ReadConfigInt("Comm", "WordLen", 8, file));
    link.Parity = static_cast<uint8_t>(ReadConfigInt("Comm", "Pariry", 0, file));
    link.StopBits = static_cast<uint8_t>(ReadConfigInt("Comm", "StopBits", 0, file));
}

void ReadLinkSwitches(TCommLink& link, const std::string& file)
{
    link.ZenToHan = ReadConfigSwitch("Mode", "ZenToHan", "TRUE", file);
    link.KataToHira = ReadConfigSwitch("Mode", "KataToHira", "TRUE", file);
}

FrameBounds ReadFrameBounds(const std::string& file)
{
    FrameBounds b;
    b.left = static_cast<int>(ReadConfigInt("General", "Left", 0, file));
    b.top = static_cast<int>(ReadConfigInt("General", "Top", 0, file));
    b.width = static_cast<int>(ReadConfigInt("General", "Width", 320, file));
    b.height = static_cast<int>(ReadConfigInt("General", "Height", 240, file));
    return b;
}

std::optional<std::string> ConfigFileRefusal(const std::string& file)
{
    if (platform::ProfileFileKind(file) != platform::ProfileFile::NotRegular)
        return std::nullopt;
    return "設定ファイル " + platform::ProfilePath(file) +
           " は通常のファイルではないので、読み書きしません。既定の設定を使います";
}

void LoadLinkSettings(TCommLink& link, const std::string& file)
{
    if (!ConfigPresent(file)) {
        SetLinkDefaults(link);
        return;
    }
    link.Machine = true;
    ReadLinkPort(link, file);
    ReadLinkLine(link, file);
    ReadLinkSwitches(link, file);
}

std::optional<std::string> StoreConfig(const TCommLink& link, const FrameBounds& bounds,
                                       const std::string& file)
{
    struct Entry {
        const char* section;
        const char* key;
        std::string value;
    };
    auto yesNo = [](bool on) { return std::string(on ? "TRUE" : "FALSE"); };
    std::vector<Entry> entries;
    if (link.Machine)
        entries.push_back({"Machine", "Sender", "QM10"});
    entries.push_back({"Comm", "Port", link.PortName});
    entries.push_back({"Comm", "Speed", std::to_string(link.Speed)});
    entries.push_back({"Comm", "WordLen", std::to_string(link.WordLen)});
    entries.push_back({"Comm", "Pariry", std::to_string(link.Parity)});
    entries.push_back({"Comm", "StopBits", std::to_string(link.StopBits)});
    entries.push_back({"General", "Left", std::to_string(bounds.left)});
    entries.push_back({"General", "Top", std::to_string(bounds.top)});
    entries.push_back({"General", "Width", std::to_string(bounds.width)});
    entries.push_back({"General", "Height", std::to_string(bounds.height)});
    entries.push_back({"Mode", "ZenToHan", yesNo(link.ZenToHan)});
    entries.push_back({"Mode", "KataToHira", yesNo(link.KataToHira)});
    for (const auto& [port, device] : link.PortDevices)
        entries.push_back({"Ports", port.c_str(), device});

    for (const Entry& e : entries) {
        platform::FileWriteError why;
        if (!WritePrivateProfileString(e.section, e.key, e.value, file, &why))
            return file + " に書き込めません\n" + why.text().toStdString();
    }
    return std::nullopt;
}
