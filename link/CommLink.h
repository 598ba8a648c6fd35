// The one communication record of the program: link settings, the open port, and where the
// running exchange stands.
#pragma once

#include "link/TickCount.h"
#include "platform/SerialPort.h"
#include "transfer/RecordReader.h"
#include "transfer/TitleConv.h"

#include <cstdint>
#include <map>
#include <string>

// The steps of the exchanges. A receive answers the device's call (CR, then LF: DC1, then
// waits until the DC1 has left) and reads records; a send calls (CR, LF), waits for DC1,
// begins, writes its records, waits for the device's verdict and ends with the end record.
enum class ExchangeStep : uint8_t {
    RecvAwaitCr,
    RecvAwaitLf,
    RecvSendingDc1,
    RecvRecords,
    SendCallCr,
    SendCallLf,
    SendAwaitDc1,
    SendBegin,
    SendRecords,
    SendAwaitVerdict,
    SendEndRecord,
};

struct TCommLink {
    TCommLink() = default;
    TCommLink(const TCommLink&) = delete;
    TCommLink& operator=(const TCommLink&) = delete;

    platform::SerialPort Handle;
    // The line settings applied to the open port: those chosen below, without flow control
    // while the exchange opens, with XON/XOFF both ways in its data phase.
    platform::LineSettings Line;
    // The running exchange: its step; for a send the record it writes next and its unanswered
    // calls. The idle driver watches them to tell that a step moved on without touching the line.
    ExchangeStep Step = ExchangeStep::RecvAwaitCr;
    int32_t NextRecord = 0;
    int32_t Retries = 0;
    // Ticks of 5 ms of the exchange's timer (link/TickCount.h).
    TTickCount Ticks;
    // What a receive has read: the record in progress and the records kept. Empty between
    // exchanges: what is handed over is let go at once.
    TRecordReader Received;
    uint8_t WordLen = 0;
    uint32_t Speed = 9600;  // bit/s, as the configuration gives it (115200 fits)
    uint8_t Parity = 0;    // as stored: 0 none, 1 odd, 2 even
    uint8_t StopBits = 0;  // as stored: 0 one, 1 one and a half, 2 two
    bool KataToHira = false;
    bool ZenToHan = false;
    bool Machine = false;
    // The port to open: "COM1".."COM9" or a device path. Kept whole: a path such as
    // /dev/ttyUSB0 is longer than the 10 characters the classic record had room for.
    std::string PortName;
    // Device paths chosen in the options dialog for port names ("COM3" -> "/dev/ttyUSB0").
    // They take the place of the [Ports] entries of the configuration file for this run and
    // are written to that section at exit.
    std::map<std::string, std::string> PortDevices;
};

// The program-wide record; starts zero-filled and lives for the whole run.
extern TCommLink CommLink;

// The line settings LINK's choices stand for, with FLOW. A parity code other than 1 or 2 is
// none; a stop-bit code other than 0 or 1 is two.
platform::LineSettings ChosenLineSettings(const TCommLink& link,
                                          platform::FlowControl flow = platform::FlowControl::None);

// The title conversion switches of LINK.
inline TTitleSwitches TitleSwitches(const TCommLink& link) { return {link.KataToHira, link.ZenToHan}; }

// QM-10, "COM1", 9600 bit/s, 8 data bits, no parity, one stop bit. Leaves everything else,
// the two title conversion switches included.
void SetLinkDefaults(TCommLink& link);
