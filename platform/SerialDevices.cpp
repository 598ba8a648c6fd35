#include "platform/SerialDevices.h"

#include <libudev.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
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

// The first line of a small sysfs file, or empty.
std::string readLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// A name a device gives about itself is untrusted: no control characters, no runs of blanks,
// and no more than 64 bytes (cut at a character's start).
std::string cleanName(const std::string& raw)
{
    std::string out;
    for (const char c : raw) {
        const auto u = static_cast<unsigned char>(c);
        const bool blank = u < 0x20 || u == 0x7f || c == ' ';
        if (blank) {
            if (!out.empty() && out.back() != ' ')
                out.push_back(' ');
        } else {
            out.push_back(c);
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    if (out.size() > 64) {
        std::size_t cut = 64;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xc0) == 0x80)
            --cut;
        out.resize(cut);
    }
    return out;
}

// udev's encoded strings carry blanks and other bytes as "\x20".
std::string decodeUdev(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
            out.push_back(static_cast<char>(std::strtol(s.substr(i + 2, 2).c_str(), nullptr, 16)));
            i += 3;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

// The kernel found a UART behind ttySn when its type is not 0 (unknown).
bool uartPresent(const SerialRoots& roots, const std::string& name)
{
    std::ifstream type(roots.SysTty + "/" + name + "/type");
    int value = 0;
    return type >> value && value != 0;
}

// Maker, product and ids from the USB device above the tty in sysfs: the folder that holds
// idVendor, up the tty's device path.
void describeFromSysfs(const SerialRoots& roots, SerialDevice& d)
{
    std::error_code ec;
    fs::path at = fs::canonical(fs::path(roots.SysTty) / d.NodeName(), ec);
    if (ec)
        return;
    const fs::path top = fs::path(roots.SysTty).parent_path().parent_path();  // the sysfs root
    for (int depth = 0; depth < 16 && !at.empty() && at != top && at != at.root_path(); ++depth) {
        if (fs::exists(at / "idVendor", ec)) {
            d.Maker = cleanName(readLine(at / "manufacturer"));
            d.Product = cleanName(readLine(at / "product"));
            const std::string vendor = readLine(at / "idVendor"), product = readLine(at / "idProduct");
            if (!vendor.empty() && !product.empty())
                d.UsbId = cleanName(vendor + ":" + product);
            return;
        }
        at = at.parent_path();
    }
}

// What udev knows: names from its hardware database, else the device's own strings (which
// udev gives as the hexadecimal id when the device has none).
void describeFromUdev(SerialDevice& d)
{
    const std::unique_ptr<udev, decltype(&udev_unref)> u(udev_new(), &udev_unref);
    if (!u)
        return;
    const std::unique_ptr<udev_device, decltype(&udev_device_unref)> dev(
        udev_device_new_from_subsystem_sysname(u.get(), "tty", d.NodeName().c_str()), &udev_device_unref);
    if (!dev)
        return;
    auto property = [&](const char* key) {
        const char* value = udev_device_get_property_value(dev.get(), key);
        return value ? std::string(value) : std::string();
    };
    auto pick = [&](const char* database, const char* encoded, const char* id) {
        std::string name = cleanName(property(database));
        if (name.empty()) {
            name = cleanName(decodeUdev(property(encoded)));
            if (name == property(id))
                name.clear();
        }
        return name;
    };
    if (std::string maker = pick("ID_VENDOR_FROM_DATABASE", "ID_VENDOR_ENC", "ID_VENDOR_ID"); !maker.empty())
        d.Maker = maker;
    if (std::string product = pick("ID_MODEL_FROM_DATABASE", "ID_MODEL_ENC", "ID_MODEL_ID"); !product.empty())
        d.Product = product;
    if (d.UsbId.empty() && !property("ID_VENDOR_ID").empty() && !property("ID_MODEL_ID").empty())
        d.UsbId = cleanName(property("ID_VENDOR_ID") + ":" + property("ID_MODEL_ID"));
}

SerialDevice describe(const SerialRoots& roots, const std::string& path, const std::string& node)
{
    SerialDevice d;
    d.Path = path;
    d.Node = node;
    describeFromSysfs(roots, d);
    if (!roots.MadeUp)
        describeFromUdev(d);
    return d;
}

// The node a by-id name points to: its link's target, taken from the link's folder.
std::string linkTarget(const std::string& link)
{
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    if (ec)
        return link;
    return target.is_absolute() ? target.string() : (fs::path(link).parent_path() / target).lexically_normal().string();
}

}  // namespace

SerialRoots SerialDeviceRoots()
{
    SerialRoots roots{"/dev", "/dev/serial/by-id", "/sys/class/tty", false};
    if (const char* root = std::getenv("VEXLO_DEVICE_ROOT"); root && *root) {
        const std::string base(root);
        roots = {base + "/dev", base + "/dev/serial/by-id", base + "/sys/class/tty", true};
    }
    return roots;
}

std::string SerialDevice::Description() const
{
    if (!Maker.empty() && !Product.empty())
        return Product.rfind(Maker, 0) == 0 ? Product : Maker + " " + Product;  // "FTDI FTDI …" once
    if (!Maker.empty() || !Product.empty())
        return Maker + Product;
    return UsbId.empty() ? std::string() : "USB " + UsbId;
}

std::string SerialDevice::NodeName() const
{
    return fs::path(Node).filename().string();
}

std::string SerialDevice::Summary() const
{
    std::string about = Description();
    if (Path != Node)
        about += (about.empty() ? "" : ", ") + NodeName();
    return about.empty() ? Path : Path + " (" + about + ")";
}

std::vector<SerialDevice> ListSerialDevices(const SerialRoots& roots)
{
    std::vector<SerialDevice> found;
    auto listed = [&](const std::string& node) {
        return std::any_of(found.begin(), found.end(), [&](const SerialDevice& d) { return d.Node == node; });
    };
    for (const std::string& link : entries(roots.ById, ""))
        if (const std::string node = linkTarget(link); IsCharacterDevice(link) && !listed(node))
            found.push_back(describe(roots, link, node));
    for (const char* prefix : {"ttyUSB", "ttyACM", "ttyS"})
        for (const std::string& node : entries(roots.Dev, prefix))
            if (IsCharacterDevice(node) && !listed(node)
                && (prefix[3] != 'S' || uartPresent(roots, fs::path(node).filename().string())))
                found.push_back(describe(roots, node, node));
    return found;
}

const SerialDevice* FindSerialDevice(const std::vector<SerialDevice>& devices, const std::string& path)
{
    for (const SerialDevice& d : devices)
        if (d.Path == path || d.Node == path)
            return &d;
    // Another name of the same device (/dev/serial/by-path/…, a link of one's own).
    std::error_code ec;
    const fs::path real = fs::canonical(path, ec);
    if (ec)
        return nullptr;
    for (const SerialDevice& d : devices)
        if (std::error_code e; fs::canonical(d.Node, e) == real)
            return &d;
    return nullptr;
}

bool IsCharacterDevice(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

}  // namespace platform
