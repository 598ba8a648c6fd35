// Which serial devices this machine has, and whether a path names one.
//
// ListSerialDevices looks, without opening anything (opening a port can toggle its modem
// lines), for /dev/serial/by-id/* (stable names of USB adapters), /dev/ttyUSB*, /dev/ttyACM*
// and the /dev/ttyS* whose UART the kernel found (/sys/class/tty/ttySn/type is not 0). The
// result is sorted within each kind, by-id names first; it is empty when none is found.
//
// IsCharacterDevice is true when PATH (after symbolic links) is a character device, which
// every serial line and pseudo-terminal is; a missing path, a plain file or a folder give
// false. Neither function fails otherwise.
#pragma once

#include <string>
#include <vector>

namespace platform {

std::vector<std::string> ListSerialDevices();

bool IsCharacterDevice(const std::string& path);

}  // namespace platform
