#include "platform/SerialDevices.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace platform {

namespace {

namespace fs = std::filesystem;

// Names in FOLDER that start with PREFIX, as full paths, sorted by the number after the
// prefix (ttyS2 before ttyS10) and then by name.
std::vector<std::string> entries(const fs::path& folder, const std::string& prefix)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) == 0)
            names.push_back(name);
    }
    auto number = [&](const std::string& name) {
        const std::string rest = name.substr(prefix.size());
        return rest.empty() || rest.find_first_not_of("0123456789") != std::string::npos
                   ? -1L
                   : std::stol(rest.substr(0, 9));
    };
    std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
        const long na = number(a), nb = number(b);
        return na != nb ? na < nb : a < b;
    });
    std::vector<std::string> paths;
    for (const std::string& name : names)
        paths.push_back((folder / name).string());
    return paths;
}

// The kernel found a UART behind /dev/ttySn when its type is not 0 (unknown).
bool uartPresent(const std::string& devicePath)
{
    const std::string name = fs::path(devicePath).filename().string();
    std::ifstream type("/sys/class/tty/" + name + "/type");
    int value = 0;
    return type >> value && value != 0;
}

}  // namespace

std::vector<std::string> ListSerialDevices()
{
    std::vector<std::string> found;
    for (const std::string& p : entries("/dev/serial/by-id", ""))
        if (IsCharacterDevice(p))
            found.push_back(p);
    for (const char* prefix : {"ttyUSB", "ttyACM"})
        for (const std::string& p : entries("/dev", prefix))
            if (IsCharacterDevice(p))
                found.push_back(p);
    for (const std::string& p : entries("/dev", "ttyS"))
        if (IsCharacterDevice(p) && uartPresent(p))
            found.push_back(p);
    return found;
}

bool IsCharacterDevice(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

}  // namespace platform
