#include "records/ClbInfo.h"

#include <gtest/gtest.h>

#include <vector>

using tovrin::records::StClbInfo;

namespace {

StClbInfo sampleBlock()
{
    StClbInfo b;
    b.LCam.Po_l4 = {-2, 0x1234};
    b.LCam.L_A = -7;
    b.LCam.L_Angle_fix = -5017;
    b.RCam.Po_l4 = {31424, -704};
    b.RCam.L_A = 100;
    b.RCam.L_Angle_fix = 0x01020304;
    for (int c = 0; c < 9; ++c)
        for (int k = 0; k < 8; ++k)
            b.X[c][k] = (c * 8 + k) * 100003 - 3000000;
    for (int i = 0; i < 16; ++i)
        b.EvalPt[i] = {static_cast<std::int16_t>(i * 100 - 50), static_cast<std::int16_t>(-i)};
    b.r_fix = 2048;
    return b;
}

} // namespace

TEST(ClbInfoCodec, FieldsStandAtTheirOffsetsLittleEndian)
{
    const auto bytes = sampleBlock().encode();
    ASSERT_EQ(bytes.size(), 380u);
    EXPECT_EQ(bytes[0], 0xFE);  // LCam.Po_l4.x = -2
    EXPECT_EQ(bytes[1], 0xFF);
    EXPECT_EQ(bytes[2], 0x34);  // LCam.Po_l4.y = 0x1234
    EXPECT_EQ(bytes[3], 0x12);
    EXPECT_EQ(bytes[4], 0xF9);  // LCam.L_A = -7
    EXPECT_EQ(bytes[7], 0xFF);
    EXPECT_EQ(bytes[20], 0x04);  // RCam.L_Angle_fix = 0x01020304
    EXPECT_EQ(bytes[23], 0x01);
    // X[0][0] = -3000000 at +24, X[8][7] at +308.
    const std::int32_t x00 = -3000000, x87 = 71 * 100003 - 3000000;
    EXPECT_EQ(bytes[24], static_cast<std::uint8_t>(x00 & 0xFF));
    EXPECT_EQ(bytes[27], static_cast<std::uint8_t>((static_cast<std::uint32_t>(x00) >> 24) & 0xFF));
    EXPECT_EQ(bytes[308], static_cast<std::uint8_t>(x87 & 0xFF));
    EXPECT_EQ(bytes[309], static_cast<std::uint8_t>((x87 >> 8) & 0xFF));
    // EvalPt[15] = (1450, -15) at +372.
    EXPECT_EQ(bytes[372], static_cast<std::uint8_t>(1450 & 0xFF));
    EXPECT_EQ(bytes[373], static_cast<std::uint8_t>(1450 >> 8));
    EXPECT_EQ(bytes[374], 0xF1);
    EXPECT_EQ(bytes[375], 0xFF);
    // r_fix = 2048 at +376.
    EXPECT_EQ(bytes[376], 0x00);
    EXPECT_EQ(bytes[377], 0x08);
    EXPECT_EQ(bytes[379], 0x00);
}

TEST(ClbInfoCodec, CellRowsAreStoredRowAfterRow)
{
    // X[c][k] at +24 + 4 (8 c + k): a column-major or transposed layout
    // would keep both corners above in place but move these.
    const StClbInfo b = sampleBlock();
    const auto bytes = b.encode();
    auto s32At = [&](std::size_t at) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(bytes[at]) | (bytes[at + 1] << 8) |
                                         (bytes[at + 2] << 16) | (static_cast<std::uint32_t>(bytes[at + 3]) << 24));
    };
    EXPECT_EQ(s32At(28), b.X[0][1]);
    EXPECT_EQ(s32At(56), b.X[1][0]);
    EXPECT_EQ(s32At(24 + 4 * (8 * 2 + 5)), b.X[2][5]);
    EXPECT_EQ(s32At(24 + 4 * (8 * 7 + 1)), b.X[7][1]);
}

TEST(ClbInfoCodec, DecodeGivesBackEveryField)
{
    const StClbInfo b = sampleBlock();
    StClbInfo back;
    ASSERT_TRUE(StClbInfo::decode(b.encode(), back));
    EXPECT_EQ(back.LCam, b.LCam);
    EXPECT_EQ(back.RCam, b.RCam);
    EXPECT_EQ(back.X[8][7], b.X[8][7]);
    EXPECT_EQ(back.EvalPt[15], b.EvalPt[15]);
    EXPECT_EQ(back.r_fix, 2048);
    EXPECT_TRUE(back == b);
}

TEST(ClbInfoCodec, DecodeRefusesEveryOtherSize)
{
    const auto good = sampleBlock().encode();
    std::vector<std::uint8_t> buffer(good.begin(), good.end());
    buffer.push_back(0);
    for (std::size_t size = 0; size <= buffer.size(); ++size) {
        if (size == 380)
            continue;
        StClbInfo out = sampleBlock();
        EXPECT_FALSE(StClbInfo::decode(std::span<const std::uint8_t>(buffer.data(), size), out)) << size;
        EXPECT_TRUE(out == sampleBlock()) << "output changed on refusal, size " << size;
    }
}

TEST(PPosTables, BothTablesRiseStrictlyToTheirLastEntry)
{
    // A dropped entry would leave a zero at the end of the fixed array.
    for (int variant : {0, 1}) {
        const auto& t = tovrin::records::pPosTable(variant);
        for (std::size_t k = 1; k < t.size(); ++k)
            EXPECT_LT(t[k - 1], t[k]) << "variant " << variant << " entry " << k;
    }
    EXPECT_EQ(&tovrin::records::pPosTable(7), &tovrin::records::kPPosA);
}
