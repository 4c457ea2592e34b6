// NOR flash behaviour through the flash commands of each unit.

#include "SimReports.h"

namespace tovrin::sim::test {
namespace {

TEST_P(SimUnitCommands, ProgramWithoutEraseAndsTheBitsAndEraseRestoresThem)
{
    const UnitCodes& c = GetParam();
    // 9/28: address 0x011234 (3 bytes), n = 2, data
    done(command(c.flashWrite, {0x34, 0x12, 0x01, 2, 0xF0, 0x0F}));
    Report r = done(command(c.flashRead, {0x34, 0x12, 0x01, 2}));
    EXPECT_EQ(r[3], 0xF0);
    EXPECT_EQ(r[4], 0x0F);

    // Written again without an erase: only bits already 1 can stay 1.
    done(command(c.flashWrite, {0x34, 0x12, 0x01, 2, 0x3C, 0x3C}));
    r = done(command(c.flashRead, {0x34, 0x12, 0x01, 2}));
    EXPECT_EQ(r[3], 0x30);
    EXPECT_EQ(r[4], 0x0C);
    EXPECT_EQ(frame->flashByte(c.other, 0x11234), 0xFF) << "the other unit's flash must stay untouched";

    // 13/32: erase the sector holding the address (any address inside it).
    done(command(c.erase, {0x00, 0x18, 0x01, 1, 0}));
    r = done(command(c.flashRead, {0x34, 0x12, 0x01, 2}));
    EXPECT_EQ(r[3], 0xFF);
    EXPECT_EQ(r[4], 0xFF);
}

TEST_P(SimUnitCommands, EraseClearsExactlyOneSector)
{
    const UnitCodes& c = GetParam();
    const std::array<uint8_t, 1> zero{0};
    frame->programFlash(c.unit, 0x1FFF, zero);
    frame->programFlash(c.unit, 0x2000, zero);
    frame->programFlash(c.unit, 0x2FFF, zero);
    frame->programFlash(c.unit, 0x3000, zero);
    done(command(c.erase, {0x05, 0x20, 0x00, 1, 0}));
    EXPECT_EQ(frame->flashByte(c.unit, 0x1FFF), 0x00);
    EXPECT_EQ(frame->flashByte(c.unit, 0x2000), 0xFF);
    EXPECT_EQ(frame->flashByte(c.unit, 0x2FFF), 0xFF);
    EXPECT_EQ(frame->flashByte(c.unit, 0x3000), 0x00);
}

TEST_P(SimUnitCommands, ReadsWholePiecesAndRefusesWhatDoesNotFit)
{
    const UnitCodes& c = GetParam();
    std::vector<uint8_t> bytes(61);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i + 1);
    frame->setFlash(c.unit, 0x1F000, bytes);
    const Report r = done(command(c.flashRead, {0x00, 0xF0, 0x01, 61}));
    for (size_t i = 0; i < bytes.size(); ++i)
        ASSERT_EQ(r[3 + i], bytes[i]) << i;

    EXPECT_EQ(statusOf(command(c.flashRead, {0x00, 0xF0, 0x01, 62})), 0xFF) << "62 bytes do not fit a reply";
    EXPECT_EQ(statusOf(command(c.flashWrite, {0xFF, 0xFF, 0x01, 2, 0, 0})), 0xFF) << "past the end of flash";
    Report tooLong = command(c.flashWrite, {0x00, 0x00, 0x00, 59});
    EXPECT_EQ(statusOf(tooLong), 0xFF) << "at most 58 data bytes in a write";
}

} // namespace
} // namespace tovrin::sim::test
