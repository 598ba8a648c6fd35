#include "tools/qm10sim/SendSession.h"

#include "tools/qm10sim/TitleCode.h"

#include <QString>

namespace qm10sim {

namespace {

constexpr uint8_t kDc1 = 0x11, kXon = 0x11, kXoff = 0x13;
constexpr int kCallIntervalMs = 500;    // a call unanswered for this long is made again
constexpr int kComplaintMs = 5000;      // how long the PC may take to object to a damaged record
constexpr int kVerdictMs = 60000;       // how long the device waits for "#", "?" or "!"
constexpr int kCloseWaitMs = 10000;     // how long it lets the PC take the end-of-exchange record

bool isVerdict(uint8_t b) { return b == '#' || b == '?' || b == '!' || b == '"'; }

std::string quoted(const Memo& m) { return "\"" + m.title.toStdString() + "\""; }

}  // namespace

SendSession::SendSession(Line& line, const Options& options, std::vector<Memo> memos)
    : line_(line), opt_(options), memos_(std::move(memos))
{
}

int SendSession::run()
{
    return serveExchanges(line_, opt_.loop, [this] { return exchange(); });
}

int SendSession::lineGone(const std::string& where)
{
    return qm10sim::lineGone(line_, line_.bytesSent(), where);
}

bool SendSession::callUntilAnswered()
{
    int calls = 0;
    for (;;) {
        if (line_.hungUp())
            return false;
        if (line_.closed()) {
            note("the PC closed the line without answering; waiting for it to open again");
            line_.rearm();
        }
        if (!line_.peerOpen() && !line_.waitForPeer(-1))
            return false;
        line_.write("\r\n");
        ++calls;
        if (!line_.drain())
            continue;
        const auto deadline = Clock::now() + std::chrono::milliseconds(kCallIntervalMs);
        while (Clock::now() < deadline) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            const auto b = line_.readByte(static_cast<int>(left.count()) + 1);
            if (b == kDc1) {
                note("the PC answered call " + std::to_string(calls) + "; sending " + std::to_string(memos_.size()) +
                     " memo(s)");
                return true;
            }
            if (line_.closed())
                break;
        }
    }
}

int SendSession::exchange()
{
    recordNo_ = 0;
    xoffDone_ = opt_.xoffMs == 0;
    if (!callUntilAnswered())
        return lineGone("while calling");
    line_.setFlowControl(true);

    for (std::size_t i = 0; i < memos_.size(); ++i) {
        const auto records = memoRecords(memos_[i]);
        const std::string which = "memo " + std::to_string(i + 1) + " " + quoted(memos_[i]);
        for (int attempt = 1;; ++attempt) {
            const Outcome o = sendOnce(records);
            if (o == Outcome::Accepted && opt_.loseAck == long(i + 1) && !ackLost_) {
                ackLost_ = true;
                note(which + ": its \"#\" was lost on the line; the device still has it");
                line_.dropLine();
                return lineGone("after " + which);
            }
            if (o == Outcome::Accepted) {
                note(which + " accepted" + (attempt > 1 ? " at attempt " + std::to_string(attempt) : ""));
                break;
            }
            if (o == Outcome::Again) {
                note(which + ": the PC asked for it again");
                continue;
            }
            if (o == Outcome::Abort) {
                note("the PC aborted the exchange at " + which);
                return kFailed;
            }
            if (o == Outcome::Closed)
                return lineGone("during " + which);
            if (o == Outcome::NoVerdict) {
                note("no answer from the PC to " + which + " within " + std::to_string(kVerdictMs / 1000) + " s");
                return kFailed;
            }
            note("PC fault at " + which + ": " + fault_);
            return kFailed;
        }
    }

    // The end-of-exchange record; a damaged one is sent again once the PC objects.
    for (;;) {
        bool damaged = false;
        if (!sendRecord(endOfExchangeRecord(), damaged))
            return lineGone("at the end of the exchange");
        if (!damaged)
            break;
        std::optional<uint8_t> b;
        while ((b = line_.readByte(kComplaintMs)) && *b != '?') {
        }
        if (!b) {
            note("PC fault: no \"?\" for a damaged end-of-exchange record");
            return kFailed;
        }
    }
    note("sent all " + std::to_string(memos_.size()) + " memo(s) and the end of the exchange (" +
         std::to_string(line_.bytesSent()) + " bytes)");
    // Let the PC take the last record and close its side, as it does after every exchange.
    const auto deadline = Clock::now() + std::chrono::milliseconds(kCloseWaitMs);
    while (!line_.closed() && Clock::now() < deadline)
        line_.readByte(100);
    return kDone;
}

std::string SendSession::nextRecordText(const Record& r, bool& damaged)
{
    std::string text = opt_.noise ? noise_.junk() : std::string();
    damaged = ++recordNo_ == opt_.corrupt;
    if (damaged)
        note("record " + std::to_string(recordNo_) + " (" + describe(r) + ") goes out with a bad checksum");
    return text + recordText(r, damaged);
}

bool SendSession::sendRecord(const Record& r, bool& damaged)
{
    line_.write(nextRecordText(r, damaged));
    return line_.drain();
}

// XOFF, then the text, then MS milliseconds in which the PC must stay quiet, then XON.
SendSession::Outcome SendSession::holdPcAround(const std::string& text)
{
    xoffDone_ = true;
    const auto until = Clock::now() + std::chrono::seconds(2);
    while (!line_.peerUsesFlowControl() && Clock::now() < until)
        line_.pause(1);
    if (!line_.peerUsesFlowControl()) {
        fault_ = "the PC did not switch XON/XOFF flow control on after the handshake";
        return Outcome::Fault;
    }
    const std::size_t before = line_.inputWaiting();
    line_.write(std::string(1, static_cast<char>(kXoff)) + text);
    if (!line_.drain())
        return Outcome::Closed;
    line_.pause(opt_.xoffMs);
    const std::size_t during = line_.inputWaiting() - before;
    line_.write(kXon);
    if (!line_.drain())
        return Outcome::Closed;
    note("held the PC with XOFF for " + std::to_string(opt_.xoffMs) + " ms");
    if (during) {
        fault_ = "the PC sent " + std::to_string(during) + " byte(s) while held by XOFF";
        return Outcome::Fault;
    }
    return Outcome::Accepted;  // nothing went wrong; the verdict comes next
}

SendSession::Outcome SendSession::sendOnce(const std::vector<Record>& records)
{
    bool damagedSomewhere = false;
    for (std::size_t n = 0; n < records.size(); ++n) {
        const Record& r = records[n];
        const bool last = n + 1 == records.size();
        bool damaged = false;
        if (last && !xoffDone_) {
            // Hold the PC over the end of the memo: its verdict must wait for XON.
            if (const Outcome o = holdPcAround(nextRecordText(r, damaged)); o != Outcome::Accepted)
                return o;
        } else if (!sendRecord(r, damaged)) {
            return Outcome::Closed;
        }
        damagedSomewhere |= damaged;
        if (damaged) {
            // A real line would carry the PC's "?" back while the device is still sending;
            // wait for it here, so that the device does not run ahead of the PC.
            std::optional<uint8_t> b;
            while ((b = line_.readByte(kComplaintMs)) && !isVerdict(*b)) {
            }
            if (!b) {
                if (line_.closed())
                    return Outcome::Closed;
                note("the PC did not object to the damaged record within " + std::to_string(kComplaintMs / 1000) + " s");
            } else if (*b == '?') {
                return Outcome::Again;
            } else if (*b == '#') {
                fault_ = "the PC answered \"#\" right after a damaged record";
                return Outcome::Fault;
            } else {
                return Outcome::Abort;
            }
        }
        if (last)
            break;
        // Between records the device looks at what the PC has said.
        while (const auto b = line_.readByte(0)) {
            if (*b == '?')
                return Outcome::Again;
            if (*b == '!' || *b == '"')
                return Outcome::Abort;
            if (*b == '#') {
                fault_ = "the PC answered \"#\" before the memo was complete";
                return Outcome::Fault;
            }
        }
    }

    const auto deadline = Clock::now() + std::chrono::milliseconds(kVerdictMs);
    while (Clock::now() < deadline) {
        const auto b = line_.readByte(200);
        if (line_.closed() && !b)
            return Outcome::Closed;
        if (!b || !isVerdict(*b))
            continue;
        if (*b == '?')
            return Outcome::Again;
        if (*b != '#')
            return Outcome::Abort;
        if (damagedSomewhere) {
            fault_ = "the PC accepted a memo with a damaged record";
            return Outcome::Fault;
        }
        return Outcome::Accepted;
    }
    return Outcome::NoVerdict;
}

}  // namespace qm10sim
