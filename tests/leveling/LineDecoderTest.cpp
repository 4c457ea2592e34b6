// The packed line decoder: both item forms, the levels, a stream that ends
// inside an item, and the 640-pixel cut; garbage never makes it read or
// write outside its buffers.
#include "leveling/core/LineDecoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tovrin::leveling {
namespace {

struct DecodeRow {
    const char* name;
    std::vector<uint8_t> stream;
    int length;                     // bytes of the stream to decode
    std::vector<std::pair<int, uint8_t>> runs;  // expected (count, value) in order
};

void PrintTo(const DecodeRow& row, std::ostream* os) { *os << row.name; }

class Decode : public ::testing::TestWithParam<DecodeRow> {};

TEST_P(Decode, Pixels)
{
    const DecodeRow& row = GetParam();
    std::vector<uint8_t> out(700, 0xAA);  // room beyond 640 shows any overrun
    const int n = decodeLine(row.stream, row.length, out);
    std::vector<uint8_t> expected;
    for (const auto& [count, value] : row.runs)
        expected.insert(expected.end(), static_cast<size_t>(count), value);
    ASSERT_EQ(n, static_cast<int>(expected.size()));
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n), expected);
    for (size_t i = static_cast<size_t>(n); i < out.size(); ++i)
        ASSERT_EQ(out[i], 0xAA) << "written beyond the decoded pixels at " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Items, Decode,
    ::testing::Values(
        DecodeRow{"OneByteRunOf5AtLevel3", {0x53}, 1, {{5, 80}}},
        DecodeRow{"TwoByteRunOf200AtLevel2", {0x02, 0xC8}, 2, {{200, 48}}},
        DecodeRow{"Level1And8", {0x11, 0x18}, 2, {{1, 16}, {1, 240}}},
        DecodeRow{"LevelZeroIs240", {0x30, 0x00, 0x04}, 3, {{3, 240}, {4, 240}}},
        DecodeRow{"Levels9To15RepeatLevels1To7", {0x19, 0x1A, 0x1F}, 3, {{1, 16}, {1, 48}, {1, 208}}},
        DecodeRow{"TwoByteRunOfZero", {0x05, 0x00, 0x21}, 3, {{2, 16}}},
        DecodeRow{"CountByteBeyondTheStreamEndsTheLine", {0x21, 0x04}, 2, {{2, 16}}},
        DecodeRow{"CountByteBeyondTheLengthEndsTheLine", {0x21, 0x04, 0x10}, 2, {{2, 16}}},
        DecodeRow{"OnlyLengthBytesAreRead", {0x31, 0x42}, 1, {{3, 16}}},
        DecodeRow{"LengthBeyondTheStreamStopsAtItsEnd", {0x31}, 600, {{3, 16}}},
        DecodeRow{"NegativeLength", {0x31}, -5, {}},
        DecodeRow{"CutAt640", {0x08, 0xFF, 0x08, 0xFF, 0x08, 0xFF}, 6, {{640, 240}}},
        DecodeRow{"ExactlyFullLine", {0x01, 0xFF, 0x01, 0xFF, 0x01, 0x82}, 6, {{640, 16}}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(DecodeCut, OutputSmallerThanALineIsNeverPassed)
{
    const std::vector<uint8_t> stream{0x08, 0xFF};
    std::vector<uint8_t> out(100, 0);
    EXPECT_EQ(decodeLine(stream, 2, std::span(out)), 100);
}

// Random streams of every length: the output never passes 640 pixels and
// the decoder stops inside its input.
TEST(DecodeGarbage, NeverLeavesItsBuffers)
{
    std::mt19937 random(11);
    for (int length = 0; length <= 700; ++length) {
        std::vector<uint8_t> stream(static_cast<size_t>(length));
        for (auto& b : stream)
            b = static_cast<uint8_t>(random());
        std::vector<uint8_t> out(640);
        const int n = decodeLine(stream, length, out);
        ASSERT_GE(n, 0);
        ASSERT_LE(n, 640) << length;
        // Claiming more than the buffer holds reads only the buffer.
        EXPECT_EQ(decodeLine(stream, length + 1000, out), n);
    }
}

} // namespace
} // namespace tovrin::leveling
