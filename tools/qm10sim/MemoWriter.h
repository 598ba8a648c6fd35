// Writes a received memo into a directory as NNN.bmp (one bit a pixel) and NNN.json
// (title and reading as text, with the codes as they came).
#pragma once

#include "tools/qm10sim/HexRecord.h"

#include <QImage>
#include <QString>

namespace qm10sim {

class MemoWriter {
public:
    explicit MemoWriter(QString dir) : dir_(std::move(dir)) {}
    // Creates the directory; false with a message when it cannot be written.
    bool prepare(QString& error);
    // Returns the path of the BMP written, or an empty string with a message.
    QString write(const QImage& image, const Bytes& titleCodes, const Bytes& reading, int strayBits, QString& error);

private:
    QString dir_;
};

}  // namespace qm10sim
