// The one communication record of the program: link settings, the open port, the working
// fields of the running exchange and the list of transfer records.
//
// The record list is singly linked; each node owns its successor. Nodes are only ever freed
// through FreeBlocks (or when the whole list goes), and freeing walks the list in a loop, so a
// list of any length is released without deep recursion. The list also knows its last node,
// so appending takes the same time however long the list has grown.
#pragma once

#include "platform/SerialPort.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

// One record of the list. A received record (MemoBlock) keeps count, type, address and the
// 256 bytes of the receive buffer; a record to send (SendRecord) keeps its text in Data and
// the text's length in Count.
struct MemoBlock {
    static constexpr int DataSize = 1026;

    MemoBlock() = default;
    ~MemoBlock();  // releases the successors iteratively
    MemoBlock(const MemoBlock&) = delete;
    MemoBlock& operator=(const MemoBlock&) = delete;

    uint16_t Count = 0;
    uint8_t RecType = 0;
    uint16_t Address = 0;
    std::array<uint8_t, DataSize> Data{};
    std::unique_ptr<MemoBlock> Next;
};
using SendRecord = MemoBlock;

struct TCommLink {
    TCommLink() = default;
    TCommLink(const TCommLink&) = delete;
    TCommLink& operator=(const TCommLink&) = delete;

    platform::SerialPort Handle;
    // The line settings applied to the open port: those chosen below, without flow control
    // while the exchange opens, with XON/XOFF both ways in its data phase.
    platform::LineSettings Line;
    uint8_t InSum = 0;
    int32_t Step = 0;
    int32_t InCount = 0;
    uint8_t InType = 0;
    uint16_t InAddress = 0;
    uint8_t InCheck = 0;
    std::array<uint8_t, 256> InData{};
    std::unique_ptr<MemoBlock> Head;
    // The last node of the list at Head, kept by AppendBlock and FreeBlocks. Nodes linked by
    // hand after it (or onto an empty list) are walked once at the next append; a whole list
    // is let go only through FreeBlocks, never by resetting Head.
    MemoBlock* Tail = nullptr;
    MemoBlock* MemoStart = nullptr;
    // Records stored since MemoStart: how much the memo in progress holds (see RecordReader).
    int32_t MemoRecords = 0;
    int32_t Retries = 0;
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
    int32_t MemoCount = 0;
    bool AwaitMemo = false;
};

// The program-wide record; starts zero-filled and lives for the whole run.
extern TCommLink CommLink;

// The line settings LINK's choices stand for, with FLOW. A parity code other than 1 or 2 is
// none; a stop-bit code other than 0 or 1 is two.
platform::LineSettings ChosenLineSettings(const TCommLink& link,
                                          platform::FlowControl flow = platform::FlowControl::None);

// QM-10, "COM1", 9600 bit/s, 8 data bits, no parity, one stop bit. Leaves everything else,
// the two title conversion switches included.
void SetLinkDefaults(TCommLink& link);

// Cuts the list at NODE and frees NODE and every node after it. NODE == Head empties the
// list; nullptr or a node that is not in the list frees nothing. MemoStart is cleared when it
// pointed into the freed part.
void FreeBlocks(TCommLink& link, MemoBlock* node);

// Appends NODE at the tail of the list (its Next is cleared first), in constant time; returns
// the node.
MemoBlock* AppendBlock(TCommLink& link, std::unique_ptr<MemoBlock> node);

// Frees the whole list of LINK when it goes out of scope: a command's list (a send chain, the
// received records) never outlives the command, however it ends.
class TListGuard {
public:
    explicit TListGuard(TCommLink& link) : link_(link) {}
    ~TListGuard() { FreeBlocks(link_, link_.Head.get()); }
    TListGuard(const TListGuard&) = delete;
    TListGuard& operator=(const TListGuard&) = delete;

private:
    TCommLink& link_;
};
