// A small exchange in the shape of the receive exchange, for the host and driver tests:
// it waits for carriage return and line feed, answers DC1, waits for the DC1 to leave,
// switches to the data phase, then reads hexadecimal pairs until the pair "FF".
#pragma once

#include "link/CommLink.h"

#include <vector>

struct TestExchange {
    std::vector<int> values;  // the pairs read, the final 255 excluded
    int handshakeCalls = 0;
    int dataCalls = 0;
};

// The one test exchange that the step handlers below fill.
TestExchange& CurrentTestExchange();

void TestHandshakeStep(TCommLink& link, bool& done);
void TestPairStep(TCommLink& link, bool& done);

// Runs the whole exchange on the installed host: OpenLink (false: returns false at once),
// then RunOpenedTestExchange.
bool RunTestExchange(TCommLink& link);

// The exchange on a port that OpenLink has opened: status text "接続中です...", hook, run,
// unhook; "!" when it failed; close. Returns ExchangeOk. A test whose device starts talking
// at once opens first, so the purge of OpenLink cannot eat the device's first bytes.
bool RunOpenedTestExchange(TCommLink& link);
