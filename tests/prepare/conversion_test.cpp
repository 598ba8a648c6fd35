// Each way from grey to black and white against a small picture worked out by hand.
#include "prepare/Conversion.h"
#include "prepare/Tone.h"

#include "MonoPattern.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TGreyImage Grey(const std::vector<std::vector<int>>& rows)
{
    TGreyImage g;
    g.Height = int(rows.size());
    g.Width = int(rows.front().size());
    for (const auto& row : rows)
        for (int v : row)
            g.Values.push_back(uint8_t(v));
    return g;
}

struct ConversionCase {
    const char* name;
    TConversion conversion;
    int level;
    std::vector<std::vector<int>> grey;
    std::vector<std::string> expected;
};

// Greys where the diffusion's weights and directions all matter: Floyd-Steinberg with 3/16 and
// 5/16 swapped, mirrored or run in serpentine order, Atkinson passing on the whole error, and a
// plain threshold each give another picture.
const std::vector<std::vector<int>> Mixed{{80, 64, 208, 152, 120}, {96, 88, 160, 200, 160}, {80, 160, 112, 152, 104}};

// The 8 x 8 Bayer ranks; at grey 96 a cell is white when 128 * 96 > (2 * rank + 1) * 255, i.e.
// for the ranks 0 ... 23.
const std::vector<std::string> BayerAt96{
    // 0 32 8 40 2 34 10 42 / 48 16 56 24 50 18 58 26 / 12 44 4 36 14 46 6 38 / 60 28 52 20 62 30 54 22
    // 3 35 11 43 1 33 9 41 / 51 19 59 27 49 17 57 25 / 15 47 7 39 13 45 5 37 / 63 31 55 23 61 29 53 21
    ".#.#.#.#", "#.###.##", ".#.#.#.#", "###.###.", ".#.#.#.#", "#.###.##", ".#.#.#.#", "###.###."};

class ConversionTest : public testing::TestWithParam<ConversionCase> {};

TEST_P(ConversionTest, MatchesHandWorkedPicture)
{
    const ConversionCase& c = GetParam();
    EXPECT_EQ(Pattern(ConvertToMono(Grey(c.grey), c.conversion, c.level)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    All, ConversionTest,
    testing::Values(
        // Only exactly white stays white: 254 is black.
        ConversionCase{"white_only", TConversion::WhiteOnly, 0, {{0, 128, 254, 255}}, {"###."}},
        ConversionCase{"threshold", TConversion::Threshold, 128, {{0, 127, 128, 255}}, {"##.."}},
        ConversionCase{"threshold_high", TConversion::Threshold, 200, {{150, 199, 200, 255}}, {"##.."}},
        // Grey ink (150) on grey paper (200): a fixed 128 loses the ink, Otsu splits the two.
        ConversionCase{"otsu", TConversion::Otsu, 128, {{150, 200, 200, 150}, {200, 150, 200, 200}}, {"#..#", ".#.."}},
        ConversionCase{"floyd_steinberg", TConversion::FloydSteinberg, 0, Mixed, {"##..#", ".#...", "#.###"}},
        ConversionCase{"atkinson", TConversion::Atkinson, 0, Mixed, {"##..#", "##...", "#.###"}},
        ConversionCase{"bayer", TConversion::Bayer, 0, std::vector<std::vector<int>>(8, std::vector<int>(8, 96)), BayerAt96}),
    [](const testing::TestParamInfo<ConversionCase>& info) { return std::string(info.param.name); });

TEST(OtsuLevelTest, SplitsBetweenTheTwoGroups)
{
    // Any level from 151 to 200 splits the groups alike; the first is taken.
    EXPECT_EQ(OtsuLevel(Grey({{150, 200, 200, 150}, {200, 150, 200, 200}})), 151);
    // One grey only: no split, and the picture is not turned into noise.
    EXPECT_EQ(OtsuLevel(Grey({{90, 90}})), 128);
}

struct ToneCase {
    const char* name;
    int brightness, contrast;
    double gamma;
    bool invert;
    std::vector<std::pair<int, int>> levels;  // level in, level out
};

class ToneTest : public testing::TestWithParam<ToneCase> {};

TEST_P(ToneTest, MapsLevels)
{
    const ToneCase& c = GetParam();
    TPrepareSettings s;
    s.Brightness = c.brightness;
    s.Contrast = c.contrast;
    s.Gamma = c.gamma;
    s.Invert = c.invert;
    const TToneTable table = ToneTable(s);
    for (const auto& [in, out] : c.levels)
        EXPECT_EQ(table[size_t(in)], out) << "level " << in;
}

INSTANTIATE_TEST_SUITE_P(
    All, ToneTest,
    testing::Values(
        // Neutral settings keep every level, white above all (Send's rule relies on it).
        ToneCase{"neutral", 0, 0, 1.0, false, {{0, 0}, {1, 1}, {128, 128}, {254, 254}, {255, 255}}},
        // + 20 % of the range adds 51 levels.
        ToneCase{"brighter", 20, 0, 1.0, false, {{0, 51}, {100, 151}, {250, 255}}},
        // Contrast 60 takes the distance from mid grey 2.5 times: 100 -> 127.5 - 2.5 * 27.5 = 58.75.
        ToneCase{"contrast", 0, 60, 1.0, false, {{100, 59}, {200, 255}, {64, 0}}},
        ToneCase{"contrast_step", 0, 100, 1.0, false, {{127, 0}, {128, 255}}},
        ToneCase{"flat", 0, -100, 1.0, false, {{0, 128}, {255, 128}}},
        // Gamma 2: sqrt(64 / 255) = 0.501 -> 128.
        ToneCase{"gamma", 0, 0, 2.0, false, {{64, 128}, {0, 0}, {255, 255}}},
        ToneCase{"invert", 0, 0, 1.0, true, {{0, 255}, {255, 0}, {100, 155}}}),
    [](const testing::TestParamInfo<ToneCase>& info) { return std::string(info.param.name); });

}  // namespace
