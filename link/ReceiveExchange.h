// The receive exchange: memos from the device into the list at Head of the link record.
//
// The device calls with CR, LF; we answer DC1 and switch to XON/XOFF flow control. Then it
// sends records; we keep every good one, answer "#" after each complete memo and "?" after a
// damaged record (that memo is then sent again from its first record), and the exchange ends
// with the end-of-exchange record. Cancel, or a port that goes away, ends it as failed: we
// answer "!" and say "通信がキャンセルされました"; memos the device was already told had
// arrived are kept, and only the memo in progress is dropped. A memo that goes on past
// MaxMemoRecords records ends the exchange as failed in the same way, with its own message.
#pragma once

#include "link/CommLink.h"

enum class ReceiveOutcome {
    PortUnavailable,  // the port could not be opened; nothing was said to anyone
    Completed,        // the device ended the exchange (or the status window was closed after the opening)
    Failed,           // Cancel, the line went away or a memo never ended: "!" sent, the user told
};

// Runs one receive exchange on the installed exchange host. Returns the head of the received
// list (still owned by LINK; free it with FreeBlocks at Head), or null when nothing was kept.
// OUTCOME, when given, tells how the exchange ended.
MemoBlock* ReceiveExchange(TCommLink& link, ReceiveOutcome* outcome = nullptr);

// The two idle step handlers of the exchange: the opening, then the records.
void RecvHandshakeStep(TCommLink& link, bool& done);
void RecvDataStep(TCommLink& link, bool& done);
