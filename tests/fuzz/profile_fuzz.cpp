// The profile reader with the configuration rules: arbitrary bytes as VEXLO.INI, read as the
// program reads it at start-up, then one key written and all read again: what was written is
// what comes back, and everything else reads as before.
#include "FuzzTarget.h"

#include "link/CommLink.h"
#include "link/Comenote.h"
#include "link/Config.h"
#include "platform/PrivateProfile.h"

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

const std::string& folder()
{
    static const std::string path = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/vexlo-fuzz-XXXXXX";
        FuzzCheck(mkdtemp(pattern.data()) != nullptr);
        return pattern;
    }();
    return path;
}

bool sameLink(const TCommLink& a, const TCommLink& b)
{
    return a.PortName == b.PortName && a.Speed == b.Speed && a.WordLen == b.WordLen && a.Parity == b.Parity &&
           a.StopBits == b.StopBits && a.ZenToHan == b.ZenToHan && a.KataToHira == b.KataToHira &&
           a.Machine == b.Machine;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string file = folder() + "/VEXLO.INI";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    const std::string foreign = platform::GetPrivateProfileString("Other", "Key", "none", file);

    TCommLink link;
    LoadLinkSettings(link, file);
    const FrameBounds bounds = ReadFrameBounds(file);
    ResolvePortName(link.PortName, file);
    ResolvePortName("COM" + std::to_string(1 + size % 9), file);

    // A write replaces the whole file and costs as much as all the reads together, so one
    // input in eight (chosen by its bytes) also has one key written: it reads back, and the
    // other sections and keys read as before.
    unsigned hash = 0;
    for (size_t i = 0; i < size; ++i)
        hash = hash * 31 + data[i];
    if (hash % 8 != 0)
        return 0;
    FuzzCheck(platform::WritePrivateProfileString("Comm", "Speed", "4800", file));
    TCommLink again;
    LoadLinkSettings(again, file);
    link.Speed = 4800;
    if (ConfigPresent(file))
        FuzzCheck(sameLink(link, again));
    const FrameBounds boundsAgain = ReadFrameBounds(file);
    FuzzCheck(bounds.left == boundsAgain.left && bounds.top == boundsAgain.top &&
              bounds.width == boundsAgain.width && bounds.height == boundsAgain.height);
    FuzzCheck(platform::GetPrivateProfileString("Other", "Key", "none", file) == foreign);
    return 0;
}
