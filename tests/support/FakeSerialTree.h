// A made-up device tree for VEXLO_DEVICE_ROOT, laid out as the kernel and udev lay out a real
// one: a USB adapter's node in dev/, its stable name in dev/serial/by-id/, and up its tty's
// path in sys/ the USB device with its ids and strings; a mainboard UART with its type. Each
// node is a link to a real character device (by default /dev/null), so it lists as one.
// VEXLO_DEVICE_ROOT points here while the tree lives; the tree is readable by every user.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <string>

struct FakeAdapter {
    std::string node;       // "ttyUSB0"
    std::string byId;       // "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"; empty: none
    std::string vendorId;   // "0403"
    std::string productId;  // "6001"
    std::string maker;      // "FTDI"; empty: the device gives none
    std::string product;    // "FT232R USB UART"
    int usbPort = 1;        // the socket: sys/…/usb1/1-<usbPort>
    std::string target = "/dev/null";
};

class FakeSerialTree {
public:
    FakeSerialTree()
    {
        namespace fs = std::filesystem;
        fs::create_directories(root() / "dev");
        fs::create_directories(root() / "sys/class/tty");
        fs::permissions(root(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec
                                    | fs::perms::others_read | fs::perms::others_exec);
        qputenv("VEXLO_DEVICE_ROOT", dir_.path().toUtf8());
    }
    ~FakeSerialTree() { qunsetenv("VEXLO_DEVICE_ROOT"); }

    std::filesystem::path root() const { return dir_.path().toStdString(); }
    QString path(const std::string& below) const { return QString::fromStdString((root() / below).string()); }

    // Plugs an adapter in as the kernel and udev would show it.
    void plug(const FakeAdapter& a)
    {
        namespace fs = std::filesystem;
        const std::string usb = "devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(a.usbPort);
        const std::string iface = usb + "/1-" + std::to_string(a.usbPort) + ":1.0";
        fs::create_directories(root() / "sys" / iface / a.node / "tty" / a.node);
        write("sys/" + usb + "/idVendor", a.vendorId);
        write("sys/" + usb + "/idProduct", a.productId);
        if (!a.maker.empty())
            write("sys/" + usb + "/manufacturer", a.maker);
        if (!a.product.empty())
            write("sys/" + usb + "/product", a.product);
        fs::create_symlink("../../" + iface + "/" + a.node + "/tty/" + a.node, root() / "sys/class/tty" / a.node);
        fs::create_symlink(a.target, root() / "dev" / a.node);
        if (!a.byId.empty()) {
            fs::create_directories(root() / "dev/serial/by-id");
            fs::create_symlink("../../" + a.node, root() / "dev/serial/by-id" / a.byId);
        }
    }

    // Pulls it out: its node, its by-id name (and the by-id folder once empty, as udev does)
    // and its sysfs entry go.
    void unplug(const FakeAdapter& a)
    {
        namespace fs = std::filesystem;
        fs::remove(root() / "dev" / a.node);
        if (!a.byId.empty())
            fs::remove(root() / "dev/serial/by-id" / a.byId);
        std::error_code ec;
        fs::remove(root() / "dev/serial/by-id", ec);  // only when empty
        fs::remove(root() / "dev/serial", ec);
        fs::remove(root() / "sys/class/tty" / a.node);
    }

    // A UART on the mainboard; TYPE 0 is a port the kernel found nothing behind.
    void uart(const std::string& node, int type)
    {
        namespace fs = std::filesystem;
        const std::string at = "devices/platform/serial8250/tty/" + node;
        fs::create_directories(root() / "sys" / at);
        write("sys/" + at + "/type", std::to_string(type));
        fs::create_symlink("../../" + at, root() / "sys/class/tty" / node);
        fs::create_symlink("/dev/null", root() / "dev" / node);
    }

    void write(const std::string& below, const std::string& text) const
    {
        std::ofstream(root() / below) << text << '\n';
    }

private:
    QTemporaryDir dir_;
};

// Two adapters as they are commonly sold: one that names itself, one that gives only ids and
// a product string.
inline const FakeAdapter kFtdi{"ttyUSB0", "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "0403", "6001", "FTDI",
                               "FT232R USB UART", 2};
inline const FakeAdapter kCh340{"ttyUSB1", "usb-1a86_USB_Serial-if00-port0", "1a86", "7523", "", "USB Serial", 3};
