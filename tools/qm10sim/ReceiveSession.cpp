#include "tools/qm10sim/ReceiveSession.h"

#include "tools/qm10sim/TitleCode.h"

#include <QString>

#include <cstdio>

namespace qm10sim {

namespace {

constexpr uint8_t kCr = 13, kLf = 10, kDc1 = 0x11, kXon = 0x11, kXoff = 0x13;
constexpr int kQuietMs = 1000;        // a damaged memo whose sender has gone quiet this long is over
constexpr int kMaxDamagedInRow = 5;   // then the device gives the memo up
constexpr int kCloseWaitMs = 10000;

std::string hex2(uint8_t b)
{
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", b);
    return buf;
}

}  // namespace

ReceiveSession::ReceiveSession(Line& line, const Options& options)
    : line_(line), opt_(options), writer_(QString::fromLocal8Bit(options.outDir.c_str()))
{
}

int ReceiveSession::run()
{
    QString error;
    if (!writer_.prepare(error)) {
        note(error.toStdString());
        return kSetupFailed;
    }
    return serveExchanges(line_, opt_.loop, [this] { return exchange(); });
}

int ReceiveSession::lineGone(const std::string& where)
{
    return qm10sim::lineGone(line_, line_.bytesReceived(), where);
}

void ReceiveSession::answer(uint8_t verdict)
{
    if (opt_.noise)
        line_.write(noise_.junk());
    line_.write(verdict);
    line_.drain();
}

// Waits for a carriage return followed by a line feed; false when the line went away.
bool ReceiveSession::answerCall(int& calls)
{
    bool sawCr = false;
    for (;;) {
        const auto b = line_.readByte(200);
        if (line_.closed())
            return false;
        if (!b)
            continue;
        if (*b == kCr) {
            sawCr = true;
        } else if (sawCr && *b == kLf) {
            ++calls;
            sawCr = false;
            if (!opt_.silent)
                return true;
        } else {
            sawCr = false;
        }
    }
}

// After a final answer the device stays on the line until the PC has read it and closed
// its side (closing first would throw the answer away). True when the PC said "!".
bool ReceiveSession::lingerUntilClosed()
{
    bool bang = false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kCloseWaitMs);
    while (!line_.closed() && Clock::now() < deadline)
        if (const auto c = line_.readByte(100))
            bang |= *c == '!';
    return bang;
}

bool ReceiveSession::holdPc()
{
    const auto until = Clock::now() + std::chrono::seconds(2);
    while (!line_.peerUsesFlowControl() && Clock::now() < until)
        line_.pause(1);
    if (!line_.peerUsesFlowControl()) {
        note("PC fault: the PC did not switch XON/XOFF flow control on after the handshake");
        return false;
    }
    line_.write(kXoff);
    line_.drain();
    line_.pause(opt_.xoffMs);
    line_.write(kXon);
    line_.drain();
    note("held the PC with XOFF for " + std::to_string(opt_.xoffMs) + " ms");
    return true;
}

int ReceiveSession::exchange()
{
    int calls = 0;
    while (!answerCall(calls)) {
        if (line_.hungUp())
            return lineGone("while waiting for the call");
        if (opt_.silent && calls > 0) {
            note("ignored " + std::to_string(calls) + " call(s); the PC closed the line");
            return kDone;
        }
        note("the PC closed the line before calling; waiting for it to open again");
        line_.rearm();
        if (!line_.waitForPeer(-1))
            return kFailed;
    }
    answer(kDc1);
    note("answered the PC's call");
    line_.setFlowControl(true);

    RecordReader reader;
    MemoCheck memo;
    bool damaged = false;
    int damagedInRow = 0, naksLeft = opt_.nak, taken = 0, recordNo = 0;
    bool xoffDone = opt_.xoffMs == 0;
    auto memoName = [&] { return "memo " + std::to_string(taken + 1); };
    auto askAgain = [&](const std::string& why) {
        memo.reset();
        damaged = false;
        if (++damagedInRow >= kMaxDamagedInRow) {
            note(memoName() + " came damaged " + std::to_string(damagedInRow) + " times in a row; giving up");
            answer('!');
            lingerUntilClosed();
            return false;
        }
        note(memoName() + ": " + why + "; asked for it again");
        answer('?');
        return true;
    };

    for (;;) {
        const auto b = line_.readByte(kQuietMs);
        if (line_.closed())
            return lineGone(memo.started() || damaged ? "in the middle of " + memoName()
                                                      : "before the end-of-exchange record");
        if (!b) {
            // A damaged memo whose end never came whole: the PC waits for a verdict.
            if (damaged && !askAgain("damaged, and the line went quiet"))
                return kFailed;
            continue;
        }
        const auto res = reader.feed(*b);
        if (!res)
            continue;
        ++recordNo;
        if (!xoffDone) {
            xoffDone = true;
            if (!holdPc())
                return kFailed;
        }
        if (!res->good) {
            note("record " + std::to_string(recordNo) + " (" + describe(res->record) + "): " +
                 (res->badCharacter ? std::string("a character that is not a hex digit")
                                    : "checksum " + hex2(res->checksum) + ", expected " + hex2(res->expected)));
            damaged = true;
            continue;
        }
        const Record& r = res->record;
        const bool endOfMemo = r.type == 0x01 && r.data.empty();
        if (damaged) {
            if (endOfMemo && !askAgain("a damaged record"))
                return kFailed;
            continue;
        }
        if (r.type == 0xFF) {
            if (memo.started()) {
                note("PC fault: the end-of-exchange record in the middle of " + memoName());
                answer('!');
                lingerUntilClosed();
                return kFailed;
            }
            note("end of the exchange; took " + std::to_string(taken) + " memo(s)");
            return kDone;
        }
        if (const std::string err = memo.take(r); !err.empty()) {
            note("PC fault in " + memoName() + ", record " + std::to_string(recordNo) + ": " + err);
            answer('!');
            lingerUntilClosed();
            return kFailed;
        }
        if (!memo.complete())
            continue;

        damagedInRow = 0;
        if (naksLeft > 0) {
            --naksLeft;
            note(memoName() + " is good; answering \"?\" as asked");
            answer('?');
            memo.reset();
            continue;
        }
        if (opt_.abort) {
            note(memoName() + " is good; answering \"!\" as asked");
            answer('!');
            const bool bang = lingerUntilClosed();
            note(bang ? "the PC answered \"!\" as well" : "the PC did not answer \"!\"");
            return kDone;
        }
        int stray = 0;
        const QImage image = memo.image(&stray);
        QString error;
        const QString path = writer_.write(image, memo.titleCodes(), memo.readingBytes(), stray, error);
        if (path.isEmpty()) {
            note(error.toStdString());
            answer('!');
            lingerUntilClosed();
            return kSetupFailed;
        }
        answer('#');
        note(memoName() + " \"" + decodeTitle(memo.titleCodes()).toStdString() + "\" (" +
             std::to_string(image.width()) + " x " + std::to_string(image.height()) + ") saved as " +
             path.toStdString() + (stray ? ", with bits set past the width" : ""));
        ++taken;
        naksLeft = opt_.nak;
        memo.reset();
    }
}

}  // namespace qm10sim
