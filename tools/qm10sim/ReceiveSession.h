// The device takes memos: it waits for the PC's CR and LF, answers DC1, reads and checks
// the records, answers "#" after a good memo and "?" after a damaged one, and stops at
// the end-of-exchange record.
#pragma once

#include "tools/qm10sim/Line.h"
#include "tools/qm10sim/MemoCheck.h"
#include "tools/qm10sim/MemoWriter.h"
#include "tools/qm10sim/Options.h"
#include "tools/qm10sim/Talk.h"

namespace qm10sim {

class ReceiveSession {
public:
    ReceiveSession(Line& line, const Options& options);
    int run();

private:
    bool answerCall(int& calls);
    int exchange();
    void answer(uint8_t verdict);
    bool holdPc();
    bool lingerUntilClosed();
    int lineGone(const std::string& where);

    Line& line_;
    const Options& opt_;
    MemoWriter writer_;
    Noise noise_{"#?!\"\x11\x13"};
};

}  // namespace qm10sim
