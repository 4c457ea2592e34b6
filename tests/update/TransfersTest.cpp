// The plans the update sends by: image packets and their download-channel
// addresses, flash-data chunks per page and the sectors erased first, and
// the image information record.

#include "maintenance/update/HInfo.h"
#include "maintenance/update/Transfers.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace tovrin::update;

namespace {

struct PacketRow {
    const char* name;
    uint32_t length;
    std::vector<Packet> packets;
};

class ImagePackets : public ::testing::TestWithParam<PacketRow> {};

} // namespace

TEST_P(ImagePackets, FirstMiddleLast)
{
    EXPECT_EQ(imagePackets(GetParam().length), GetParam().packets);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, ImagePackets,
    ::testing::Values(PacketRow{"oneByte", 1, {{0, 1, 0x40}}},
                      PacketRow{"onePacketExactly", 62, {{0, 62, 0x40}}},
                      PacketRow{"oneOver", 63, {{0, 62, 0x80}, {62, 1, 0x40}}},
                      PacketRow{"twoExactly", 124, {{0, 62, 0x80}, {62, 62, 0x40}}},
                      PacketRow{"threePackets", 125, {{0, 62, 0x80}, {62, 62, 0x00}, {124, 1, 0x40}}},
                      PacketRow{"empty", 0, {}}),
    [](const ::testing::TestParamInfo<PacketRow>& row) { return std::string(row.param.name); });

TEST(ImagePackets, LongImageHasOneFirstOneLastAndCoversEveryByte)
{
    const auto packets = imagePackets(4000);
    ASSERT_EQ(packets.size(), 65u);  // 64 x 62 = 3968, then 32
    EXPECT_EQ(packets.front().flag, 0x80);
    EXPECT_EQ(packets.back().flag, 0x40);
    EXPECT_EQ(packets.back().size, 32u);
    uint32_t next = 0;
    for (size_t i = 0; i < packets.size(); ++i) {
        EXPECT_EQ(packets[i].offset, next);
        if (i > 0 && i + 1 < packets.size()) {
            EXPECT_EQ(packets[i].flag, 0);
        }
        next += packets[i].size;
    }
    EXPECT_EQ(next, 4000u);
}

namespace {

struct ChunkRow {
    const char* name;
    uint32_t length;
    std::vector<uint32_t> sizes;
};

class FlashChunks : public ::testing::TestWithParam<ChunkRow> {};

} // namespace

TEST_P(FlashChunks, PagesOfFiveChunksAndAShorterLastPage)
{
    const ChunkRow& row = GetParam();
    const auto chunks = flashDataChunks(0x16000, row.length);
    std::vector<uint32_t> sizes;
    uint32_t source = 0;
    for (const Chunk& c : chunks) {
        sizes.push_back(c.size);
        EXPECT_EQ(c.source, source) << "the data are taken in order";
        // Chunk k of page p lands at destination + 256 p + 58 k, inside its page.
        EXPECT_EQ(c.destination, 0x16000u + source);
        EXPECT_LE((source % 256) + c.size, 256u);
        source += c.size;
    }
    EXPECT_EQ(sizes, row.sizes);
    EXPECT_EQ(source, row.length);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, FlashChunks,
    ::testing::Values(ChunkRow{"onePage", 256, {58, 58, 58, 58, 24}},
                      ChunkRow{"twoPagesExactly", 512, {58, 58, 58, 58, 24, 58, 58, 58, 58, 24}},
                      ChunkRow{"shortPage", 100, {58, 42}},
                      ChunkRow{"pageAndOneByte", 257, {58, 58, 58, 58, 24, 1}},
                      ChunkRow{"pageAndOneChunk", 314, {58, 58, 58, 58, 24, 58}},
                      ChunkRow{"pageAndAChunkAndOne", 315, {58, 58, 58, 58, 24, 58, 1}}),
    [](const ::testing::TestParamInfo<ChunkRow>& row) { return std::string(row.param.name); });

TEST(FlashChunks, EverySectorTheDataTouchIsErased)
{
    EXPECT_EQ(sectorsCovered(0x16000, 4096), (std::vector<uint32_t>{0x16000}));
    EXPECT_EQ(sectorsCovered(0x16000, 4097), (std::vector<uint32_t>{0x16000, 0x17000}));
    EXPECT_EQ(sectorsCovered(0x16000, 8192), (std::vector<uint32_t>{0x16000, 0x17000}));
    EXPECT_EQ(sectorsCovered(0x17000, 1), (std::vector<uint32_t>{0x17000}));
    EXPECT_TRUE(sectorsCovered(0x17000, 0).empty());
}

TEST(HInfoRecord, BytesOfTheRecord)
{
    const std::array<uint8_t, 38> expected = {
        'A',  'G',  'P',  'F',  0x01, 0x00, 0x11, 0x11, 0x11, 0x11, 0x06, 0x00, 0x02,
        0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x7E, 0x00, 0x00, 0x22, 0x22, 0x22, 0x22,
        0x01, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x7E, 0x00, 0x00};
    const auto bytes = encodeHInfo(0x01020006);
    EXPECT_EQ(bytes, expected);
    const HInfo h = decodeHInfo(bytes);
    EXPECT_EQ(h.magic, kHInfoMagic);
    EXPECT_EQ(h.version, 0x01020006u);
    EXPECT_EQ(h.w30, 0x8000u);
}
