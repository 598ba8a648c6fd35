// The send exchange: a chain of records to the device.
//
// After the user has confirmed ("送信を行いますか？"), we call the device with CR and, at least
// one tick later, LF, and wait more than 10 ticks for its DC1; 17 calls without an answer
// fail the exchange. After DC1 we switch to XON/XOFF flow control, drop whatever is queued
// either way, and write the records back to back, each whole and only when the output queue
// has room for all of it. Then the device judges the memo: "#" accepted (we end with the
// end-of-exchange record), "?" send it again (waiting input is dropped, the chain goes out
// again from its first record), "!" or the quotation mark abort.
//
// The records are paced by the line speed: the port hands the kernel no more than about 150 ms
// ahead of the line, in shares of about 100 ms (platform/SerialPort.h, setPaced), also on a
// line that would buffer a whole memo (a pseudo-terminal), and the exchange writes the next
// record whenever the port holds back less than about 100 ms of it, so one wake-up hands over
// a share and writes what the next one needs. So Cancel takes back what has not left, and the
// progress shows what has really gone. The exchange gives up when the device gives no verdict
// (or no room to send) for SendVerdictWaitMs, and at its 17th "?".
//
// However it fails -- Cancel, a refusal, no answer, no verdict, a line that goes away -- what
// has not left yet is dropped, we answer "!" and say what happened (link/ExchangeMessages.h);
// only the user's Cancel is "通信がキャンセルされました". "正常に送信されました" only once the end
// record has left the queue (a device that holds XOFF at that moment gets bounded time).
//
// While the records go out the host is told how many bytes of the chain have left (SetProgress).
// The ticks count only while the call is made: nothing counts them once the device has
// answered.
#pragma once

#include "link/CommLink.h"
#include "transfer/Records.h"

enum class SendOutcome {
    PortUnavailable,  // the port could not be opened; nothing was said to anyone
    Declined,         // the user did not confirm; the port was opened and closed, nothing sent
    Sent,             // the device accepted the memo and the end record has left
    Failed,           // no answer, the device aborted, Cancel, or the line went away: "!" sent, the user told
};

inline constexpr char16_t ConfirmSendText[] = u"送信を行いますか？";
inline constexpr char16_t SentText[] = u"正常に送信されました";

// How long the exchange waits for the device's verdict, or for room to send, in milliseconds
// (30 s; tests shorten it).
extern int SendVerdictWaitMs;

// What the exchange tells the user itself. A row of memos sent one exchange each asks once
// before the first and tells the success once after the last.
struct SendTelling {
    bool confirm = true;       // ask ConfirmSendText after the port has opened
    bool tellSuccess = true;   // say SentText when the device has the memo
};

// Runs one send exchange of CHAIN (transfer/SendAssembly.h) on the installed exchange host.
// A failure is always told.
SendOutcome SendExchange(TCommLink& link, const TRecordList& chain, SendTelling telling = {});

// The two idle step handlers of the exchange: the call, then the records and the verdict.
void SendHandshakeStep(TCommLink& link, bool& done);
void SendDataStep(TCommLink& link, bool& done);
