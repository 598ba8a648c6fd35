// The receive exchange: memos from the device into the list at Head of the link record.
//
// The device calls with CR, LF; we answer DC1 and switch to XON/XOFF flow control. Then it
// sends records; we keep every good one, answer "#" after each complete memo and "?" after a
// damaged record (that memo is then sent again from its first record), and the exchange ends
// with the end-of-exchange record. Cancel, or a port that goes away, ends it as failed: we
// answer "!" and say "通信がキャンセルされました"; memos the device was already told had
// arrived are kept, and only the memo in progress is dropped.
#pragma once

#include "link/CommLink.h"

// Runs one receive exchange on the installed exchange host. Returns the head of the received
// list (still owned by LINK; free it with FreeBlocks at Head), or null when the port could not
// be opened or nothing was kept. COMPLETED, when given, tells whether the exchange ended with
// the device's end-of-exchange record (or the status window was closed after the opening)
// rather than by Cancel or a failure.
MemoBlock* ReceiveExchange(TCommLink& link, bool* completed = nullptr);

// The two idle step handlers of the exchange: the opening, then the records.
void RecvHandshakeStep(TCommLink& link, bool& done);
void RecvDataStep(TCommLink& link, bool& done);
