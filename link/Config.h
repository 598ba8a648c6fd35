// The configuration file "VEXLO.INI": link settings, the two title conversion switches and
// the frame window's bounds. Read once at start-up, written once at exit.
#pragma once

#include "link/CommLink.h"

#include <optional>
#include <string>

inline constexpr const char* kConfigFile = "VEXLO.INI";

struct FrameBounds {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// The start-up probe: true when the file holds a [Comm] Port other than "ERROR".
bool ConfigPresent(const std::string& file = kConfigFile);

// One integer key: "0x" + hex when longer than 2 characters, otherwise decimal; empty or
// non-numeric text gives DEFAULTVALUE. The caller keeps the width it needs.
long ReadConfigInt(const char* section, const char* key, long defaultValue,
                   const std::string& file = kConfigFile);

// One switch: true exactly when the stored text is "TRUE".
bool ReadConfigSwitch(const char* section, const char* key, const char* defaultValue,
                      const std::string& file = kConfigFile);

// The link part of loading, in file order: Port, then Speed, WordLen, Pariry, StopBits, then
// the two switches. The frame reads its bounds itself between Port and Speed.
void ReadLinkPort(TCommLink& link, const std::string& file = kConfigFile);
void ReadLinkLine(TCommLink& link, const std::string& file = kConfigFile);
void ReadLinkSwitches(TCommLink& link, const std::string& file = kConfigFile);

// The frame bounds as stored (defaults 0, 0, 320, 240).
FrameBounds ReadFrameBounds(const std::string& file = kConfigFile);

// When something other than a regular file stands where the configuration belongs (a FIFO,
// a device, a folder): the warning to give once. Such a file is neither read (the defaults
// apply) nor written over.
std::optional<std::string> ConfigFileRefusal(const std::string& file = kConfigFile);

// Loads the link settings as a program that has no frame window does (the command-line
// tools): defaults when there is no configuration, else the stored values.
void LoadLinkSettings(TCommLink& link, const std::string& file = kConfigFile);

// Writes every key in order: [Machine] Sender (when Machine is set), [Comm] Port, Speed,
// WordLen, Pariry, StopBits, [General] Left, Top, Width, Height, [Mode] ZenToHan, KataToHira,
// then one [Ports] key for each device chosen in this run (link.PortDevices); the other
// [Ports] keys stay as they are.
// Stops at the first key that cannot be written and returns the failure text
// "<file> に書き込めません", a line end and the cause ("ディスクの空き容量が足りません"); the keys
// before it keep their new values.
std::optional<std::string> StoreConfig(const TCommLink& link, const FrameBounds& bounds,
                                       const std::string& file = kConfigFile);
