// Checks the records of one memo from the PC as they arrive: segment, title, reading,
// image header, image data rows in order without gaps, end of memo.
#pragma once

#include "tools/qm10sim/HexRecord.h"

#include <QImage>

#include <string>

namespace qm10sim {

class MemoCheck {
public:
    // Takes the next good record; returns what is wrong with it, or nothing.
    std::string take(const Record& r);
    bool started() const { return stage_ != Stage::Segment; }
    bool complete() const { return stage_ == Stage::Done; }
    void reset() { *this = MemoCheck(); }

    const Bytes& titleCodes() const { return title_; }
    const Bytes& readingBytes() const { return reading_; }
    // The picture in the PC's row layout; strayBits counts set bits past the width.
    QImage image(int* strayBits = nullptr) const;

private:
    enum class Stage { Segment, Title, Reading, Header, Rows, Done };
    Stage stage_ = Stage::Segment;
    Bytes title_, reading_, pixels_;
    int width_ = 0, height_ = 0, rowBytes_ = 0, nextRow_ = 0;
};

}  // namespace qm10sim
