// The memos the device sends when it is given none: small handwritten-looking notes,
// drawn when asked for (needs a QGuiApplication; the offscreen platform will do).
#pragma once

#include "tools/qm10sim/Memo.h"

#include <vector>

namespace qm10sim {

std::vector<Memo> sampleMemos();

}  // namespace qm10sim
