// The serial port of an exchange: opening and preparing the port named in CommLink, single
// bytes and hexadecimal pairs in and out without ever waiting for the line, the end-of-
// exchange record, and the switch to flow control for the data phase.
//
// Queues are taken as 2048 bytes each way. Free space in the output queue is always 2048
// minus the bytes that the port reports as queued: what the kernel still holds plus what it
// has refused so far (platform/SerialPort.h), so a pseudo-terminal stopped by XOFF fills up
// just like a real port.
//
// Nothing here shows a message or reports a failure beyond the -1 and false results below.
// A port that has gone (hang-up, I/O error) reads as empty; the idle driver notices it and
// ends the exchange (link/ExchangeHost.h).
#pragma once

#include "link/CommLink.h"
#include "link/Config.h"
#include "platform/DeviceAccess.h"
#include "platform/SerialDevices.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr int kQueueSize = 2048;

// The device path for a port name. A name with a '/' is a path and is used as it is. Other
// names are looked up in the "Ports" section of FILE (COM1=/dev/ttyUSB0); without an entry,
// "COMn" (any case, n from 1) is /dev/ttyS(n-1), and anything else is used as it is.
std::string ResolvePortName(const std::string& name, const std::string& file = kConfigFile);

// The device path of LINK's port: a device chosen for that name in this run
// (link.PortDevices) comes first, then the rules of ResolvePortName.
std::string ResolveLinkPort(const TCommLink& link, const std::string& file = kConfigFile);

// True from the start of OpenLink until ClosePort: an exchange is opening (its settle wait
// keeps the frame window live) or running. A command that would start another exchange
// must not touch CommLink while this holds; OpenLink itself then refuses.
bool LinkInUse();

// Why the last OpenLink failed: the port as configured, the device it stands for, and the cause
// (an errno value: ENOENT for a device that does not exist, ENOTTY for one that is no serial
// line, EBUSY for a line another program holds — OwnerPid and OwnerName name that program when
// its lock file or the system's process table does). LeftExclusive: nobody has the line open,
// but a program that ended left it exclusive; OwnerPid holds its other end and keeps it so.
// OwnerGuessed: no holder could be seen (its descriptors are not ours to look at), but a
// ModemManager runs, which holds every new serial device for a while; OwnerPid names it.
// LinkBusy: an exchange of ours was already opening or running. BadSpeed: the configured
// speed, when the line cannot take it (the port is then not opened; Error EINVAL).
// Access (EACCES, EPERM): who may open the device and why this user may not. Present (ENOENT,
// ENODEV, ENXIO): the serial devices there are now.
struct TOpenFailure {
    std::string PortName;
    std::string Path;
    int Error = 0;
    long OwnerPid = 0;
    bool LinkBusy = false;
    std::optional<uint32_t> BadSpeed;
    std::string OwnerName;
    bool LeftExclusive = false;
    bool OwnerGuessed = false;
    std::optional<platform::AccessDenial> Access;
    std::vector<platform::SerialDevice> Present;

    bool HeldByModemManager() const { return OwnerPid > 0 && OwnerName == "ModemManager"; }
};
const TOpenFailure& LastOpenFailure();

// The user's words for FAILURE: "通信ポート COM1 (/dev/ttyUSB0) を開けません: デバイスがありません",
// followed, where the user can do something about it, by what to do: the command that adds
// the user to the device's group, how to keep ModemManager away from the adapter, the serial
// devices there are instead.
QString OpenFailureText(const TOpenFailure& failure);

// Opens the port named by link.PortName exclusively and prepares it: the line settings of
// link (Speed, WordLen, Parity, StopBits) go into link.Line without flow control and are
// applied; both queues are purged;
// DTR is raised, then RTS lowered (a line without modem lines, such as a pseudo-terminal,
// ignores both). Then it waits 10 ticks of the host's timer (50 ms, counted in link.Ticks),
// handling events meanwhile, and stops the timer. Returns true when the port is open and prepared. Returns false, with
// no message, when the port does not exist, is no terminal, is held by another program, its
// speed is not one the line takes (platform::SpeedSupported), or an exchange is already
// opening or running; the port is then left closed (or, in the last
// case, untouched), and LastOpenFailure() says why.
bool OpenLink(TCommLink& link);

// Bytes waiting to be read, and bytes queued for sending. 0 on a closed port.
int BytesWaiting(TCommLink& link);
int BytesQueued(TCommLink& link);

// 2048 minus the bytes queued for sending.
int FreeSpace(TCommLink& link);

// -1 when no byte is waiting (nothing is read); otherwise reads exactly one byte: 0..255.
int ReadByte(TCommLink& link);

// -1 when fewer than 2 bytes are waiting (nothing is read); otherwise reads exactly two bytes
// and returns their value as a hexadecimal pair, high digit first: 0-9, A-F and a-f count
// as their value, any other character as 0. Always 0..255 otherwise.
int ReadHexByte(TCommLink& link);

// False when 2048 or more bytes are queued (nothing is written); otherwise queues VALUE.
bool WriteByte(TCommLink& link, uint8_t value);

// Queues the N bytes at DATA in one piece when N is less than the free space and returns
// true; otherwise writes nothing and returns false. The bytes go out in order and are never
// split by another write.
bool WriteBlock(TCommLink& link, const uint8_t* data, std::size_t n);

// Queues the 11 characters ":000000FF01" (no line end) when more than 11 bytes are free;
// otherwise writes nothing and returns false.
bool WriteEndRecord(TCommLink& link);

// The data phase: link.Line takes XON/XOFF flow control both ways (everything else as OpenLink
// left it) and is applied; then DTR is
// raised and RTS lowered again.
void SwitchToDataPhase(TCommLink& link);

// Drops everything not yet sent and every byte received but not yet read.
void PurgeLink(TCommLink& link);

// Drops everything not yet sent, in the program and in the line's output queue; what was
// received stays.
void DiscardOutput(TCommLink& link);

// Waits until every byte queued for sending has left the program and the line's output queue,
// or MS milliseconds have passed: the last answer of an exchange ("#", "!", the end record)
// must reach a device that holds us with XOFF at that moment. Sleeps on the line while it
// waits (no busy polling); handles no events. True when the queue emptied; false on time-out
// or when the line has gone. True at once on a closed port.
bool DrainOutput(TCommLink& link, int ms = 2000);

// Drains the output (DrainOutput for at most DRAINMS), then closes the port (what is still
// queued then is dropped; the line gets back the settings it had before OpenLink), stops the
// host's timer, ends LinkInUse and tells the host (PortClosed). Harmless on a closed port.
void ClosePort(TCommLink& link, int drainMs = 2000);
