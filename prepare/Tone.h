// Brightness, contrast, gamma and inversion of a grey picture, as one table of 256 levels.
#pragma once

#include "prepare/LinearPlane.h"
#include "prepare/PrepareSettings.h"

#include <array>
#include <cstdint>

using TToneTable = std::array<uint8_t, 256>;

// The level each grey level becomes, on v = level / 255 in this order: brightness adds
// Brightness / 100; contrast scales the distance from 0.5 by (100 + c) / 100 when lowering and
// 100 / (100 - c) when raising (100 is a step at 0.5); gamma takes v to v^(1 / Gamma); invert
// takes v to 1 - v. The result is rounded to the nearest level. Neutral settings give every
// level back as it was, so 255 (exactly white) stays 255.
TToneTable ToneTable(const TPrepareSettings& settings);

// GREY with every level looked up in TABLE.
TGreyImage ApplyTone(const TGreyImage& grey, const TToneTable& table);
