// The device sends memos: it calls the PC until the PC answers DC1, sends each memo as
// records, waits for "#" (next memo) or "?" (the same memo again) and ends with the
// end-of-exchange record.
#pragma once

#include "tools/qm10sim/Line.h"
#include "tools/qm10sim/Memo.h"
#include "tools/qm10sim/Options.h"
#include "tools/qm10sim/Talk.h"

#include <vector>

namespace qm10sim {

class SendSession {
public:
    SendSession(Line& line, const Options& options, std::vector<Memo> memos);
    int run();

private:
    enum class Outcome { Accepted, Again, Abort, Closed, NoVerdict, Fault };
    int exchange();
    bool callUntilAnswered();
    Outcome sendOnce(const std::vector<Record>& records);
    std::string nextRecordText(const Record& r, bool& damaged);
    bool sendRecord(const Record& r, bool& damaged);
    Outcome holdPcAround(const std::string& text);
    int lineGone(const std::string& where);

    Line& line_;
    const Options& opt_;
    std::vector<Memo> memos_;
    Noise noise_{":\x11\x13"};
    long recordNo_ = 0;   // records sent in this exchange, for --corrupt
    bool xoffDone_ = false;
    bool ackLost_ = false;  // --lose-ack has struck
    std::string fault_;   // what the PC did wrong, for Outcome::Fault
};

}  // namespace qm10sim
