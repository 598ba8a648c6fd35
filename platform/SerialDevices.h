// Which serial devices this machine has, what each one is, and whether a path names one.
//
// Contract
//   SerialRoots        where devices are looked for: /dev, /dev/serial/by-id and /sys/class/tty,
//                      or the same folders below $VEXLO_DEVICE_ROOT when that is set (a made-up
//                      device tree, for tests and trials without adapters). Read at each call.
//   ListSerialDevices  the serial devices present, found without opening anything (opening a
//                      port can toggle its modem lines): every /dev/ttyUSB*, /dev/ttyACM* and
//                      the /dev/ttyS* whose UART the kernel found (sys/class/tty/ttySn/type is not
//                      0), and any other device a /dev/serial/by-id name points to. A device with
//                      a by-id name is listed once, by that name (Path), which stays the same
//                      when the adapter moves to another USB socket or becomes ttyUSB1. Order:
//                      by-id names, then ttyUSB, ttyACM, ttyS, each by number. Empty when none.
//                      Maker and product come from udev's hardware database (libudev), else
//                      from the strings the USB device gives (udev, or sysfs under a made-up
//                      tree), else the USB vendor and product ids; empty for a device that has
//                      none of these (a UART on the mainboard). Nothing fails: what cannot be
//                      read is left out.
//   FindSerialDevice   the entry of DEVICES that PATH names (its by-id name, its node, or any
//                      other link to the same device), or null.
//   IsCharacterDevice  true when PATH (after symbolic links) is a character device, which every
//                      serial line and pseudo-terminal is; a missing path, a plain file or a
//                      folder give false.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct SerialRoots {
    std::string Dev;     // /dev
    std::string ById;    // /dev/serial/by-id
    std::string SysTty;  // /sys/class/tty
    bool MadeUp = false; // below $VEXLO_DEVICE_ROOT: udev knows nothing of these devices
};
SerialRoots SerialDeviceRoots();

struct SerialDevice {
    std::string Path;     // the name to use and store: the by-id name where there is one, else Node
    std::string Node;     // the device node: /dev/ttyUSB0
    std::string Maker;    // "FTDI", "QinHeng Electronics"; may be empty
    std::string Product;  // "FT232R USB UART"; may be empty
    std::string UsbId;    // "0403:6001" for a USB device, else empty

    // "FTDI FT232R USB UART", or "USB 0403:6001", or empty.
    std::string Description() const;
    // "ttyUSB0"
    std::string NodeName() const;
    // For messages: "/dev/serial/by-id/usb-FTDI_… (FTDI FT232R USB UART, ttyUSB0)", "/dev/ttyS0".
    std::string Summary() const;
};

std::vector<SerialDevice> ListSerialDevices(const SerialRoots& roots = SerialDeviceRoots());

const SerialDevice* FindSerialDevice(const std::vector<SerialDevice>& devices, const std::string& path);

bool IsCharacterDevice(const std::string& path);

}  // namespace platform
