// The receive exchange: memos from the device, handed to the caller one by one.
//
// The device calls with CR, LF; we answer DC1 and switch to XON/XOFF flow control. Then it
// sends records; we keep every good one, answer "#" after each complete memo and "?" after a
// damaged record (that memo is then sent again from its first record), and the exchange ends
// with the end-of-exchange record.
//
// A memo is the caller's only once the device has been told it arrived, that is once its "#"
// has left the program and the line's output queue:
//   1. When its end-of-memo record arrives, the memo is drawn (transfer/ReceivedMemos.h) and
//      its records are freed at once, so whatever the device sends, the exchange holds no more
//      than the memo in progress and the pictures of a few memos whose "#" has not left yet.
//      sink.Arrived sees each picture now, before the "#" is written.
//   2. Once its "#" has left, sink.Delivered gets each picture to write or show.
// A memo that cannot be drawn (its image header claims no pixels, or more than MaxReceivedSide
// either way) is answered as a damaged one: "?", its records are let go, and the device still
// has it; sink.Refused tells the caller. A device that sends such memos MaxRefusedMemos times
// in a row, with no memo taken between them, is given up: "!" and the exchange fails.
// A memo whose "#" never left (the device held us with XOFF to the end) and the memo in
// progress when the exchange ends are dropped: the device still has them and sends them again.
//
// Cancel, a line that goes away, a memo that goes on past MaxMemoRecords records, an end of
// the exchange in the middle of a memo, or a "#" that never left end the exchange as failed: we
// answer "!" and say what happened (link/ExchangeMessages.h). Memos already delivered stay
// delivered.
#pragma once

#include "link/CommLink.h"
#include "transfer/ReceivedMemos.h"

#include <QString>

#include <functional>

enum class ReceiveOutcome {
    PortUnavailable,  // the port could not be opened; nothing was said to anyone
    Completed,        // the device ended the exchange and every memo it sent was delivered
    Failed,           // see above: "!" sent, the user told
    Withdrawn,        // WithdrawExchange before the device called: nothing said, port closed
};

// What becomes of the memos. Either function may be empty.
struct TReceiveSink {
    // A picture of a memo whose end-of-memo record has just arrived, before the memo's "#" is
    // written (a memo without an image header has none). False, with ERROR set, when the memo
    // cannot be kept: no "#" goes, the exchange ends as failed, and ERROR is what the user is told.
    std::function<bool(const TReceivedMemo& memo, QString& error)> Arrived;
    // A picture of a memo whose "#" has left: the device knows it arrived. MEMO is the caller's.
    std::function<void(TReceivedMemo& memo)> Delivered;
    // A memo that could not be drawn (MEMO.Error says why): answered "?", never kept.
    std::function<void(const TReceivedMemo& memo)> Refused;
    // A whole record came from the device: it has heard every "#" written before, as it sends
    // nothing more before its memo's answer. Called before the record is looked at.
    std::function<void()> Heard;
};

// Undrawable memos in a row after which the exchange gives up.
inline constexpr int MaxRefusedMemos = 3;

// Runs one receive exchange on the installed exchange host. The records it read
// (link.Received) are let go again afterwards.
ReceiveOutcome ReceiveExchange(TCommLink& link, const TReceiveSink& sink);

// True while the exchange waits for the device's call (nothing answered yet): it can be
// withdrawn without the device noticing.
bool ReceiveAwaitingCall(const TCommLink& link);

// The two idle step handlers of the exchange: the opening, then the records.
void RecvHandshakeStep(TCommLink& link, bool& done);
void RecvDataStep(TCommLink& link, bool& done);
