// Command decoding of both units: registers, sensor, leveling answers, line
// data, touch points and the key feature report.

#include "SimReports.h"

namespace tovrin::sim::test {
namespace {

TEST_P(SimUnitCommands, RegisterPieceGoesToConsecutiveAddresses)
{
    const UnitCodes& c = GetParam();
    // 4/23: address 0x1234, n = 3, data
    done(command(c.regWrite, {0x34, 0x12, 3, 0xA1, 0xB2, 0xC3}));
    EXPECT_EQ(frame->fpgaRegister(c.unit, 0x1234), 0xA1);
    EXPECT_EQ(frame->fpgaRegister(c.unit, 0x1236), 0xC3);
    EXPECT_EQ(frame->fpgaRegister(c.other, 0x1234), 0x00);

    Report r = done(command(c.regRead, {0x34, 0x12, 3, 0}));
    EXPECT_EQ(r[3], 0xA1);
    EXPECT_EQ(r[4], 0xB2);
    EXPECT_EQ(r[5], 0xC3);
    r = done(command(c.regReadOne, {0x35, 0x12, 1, 0}));
    EXPECT_EQ(r[3], 0xB2);
}

TEST_P(SimUnitCommands, CaptureRegisterClearsAndFillsTheZoneTable)
{
    const UnitCodes& c = GetParam();
    frame->setZones(c.unit, {1, 2, 3, 4, 5, 6, 7}, {1, 2, 3, 4, 5, 6, 7, 0});
    done(command(c.regWrite, {0x30, 0x00, 1, 1}));
    int polls = 0;
    while (done(command(c.regReadOne, {0x30, 0x00, 1, 0}))[3] != 0 && ++polls < 20) {
    }
    EXPECT_GE(polls, 1) << "the FPGA takes a moment";
    EXPECT_LT(polls, 20) << "capture done";
    EXPECT_EQ(done(command(c.regReadOne, {0x26, 0x00, 1, 0}))[3], 7);
    EXPECT_EQ(done(command(c.regReadOne, {0x2A, 0x00, 1, 0}))[3], 0x21);
    EXPECT_EQ(done(command(c.regReadOne, {0x2D, 0x00, 1, 0}))[3], 0x07);
}

TEST_P(SimUnitCommands, SensorRegisters)
{
    const UnitCodes& c = GetParam();
    done(command(c.i2cWrite, {0x21, 0x5A}));
    EXPECT_EQ(frame->sensorRegister(c.unit, 0x21), 0x5A);
    EXPECT_EQ(frame->sensorRegister(c.other, 0x21), 0x00);
    EXPECT_EQ(done(command(c.i2cRead, {0x21}))[3], 0x5A);
}

TEST_P(SimUnitCommands, LevelingAnswers)
{
    const UnitCodes& c = GetParam();
    frame->setSearchLineResult(c.unit, 0x0123);
    frame->setLineRange(c.unit, 35, 610);
    frame->setExposure(c.unit, 0x0456);
    frame->setZones(c.unit, {5, 10, 15, 20, 25, 30, 35}, {0, 1, 2, 3, 4, 5, 6, 7});

    EXPECT_EQ(u16At(done(command(c.searchLine, {0x00, 0x00, 0x80, 0x02})), 3), 0x0123);
    done(command(c.setLine, {0x40, 0x01}));
    EXPECT_EQ(frame->startLine(c.unit), 0x0140);

    Report r = done(command(c.lineRange));
    EXPECT_EQ(u16At(r, 3), 35);
    EXPECT_EQ(u16At(r, 5), 610);

    r = done(command(c.exposure));
    EXPECT_EQ(u16At(r, 3), 0x0456);
    EXPECT_EQ(u16At(r, 5), 35);
    EXPECT_EQ(u16At(r, 7), 610);

    r = done(command(c.zones));
    EXPECT_EQ(r[3], 0x22);
    EXPECT_EQ(r[4], 5);
    EXPECT_EQ(r[10], 35);
    EXPECT_EQ(r[11], 0x10) << "zone 0 low nibble, zone 1 high nibble";
    EXPECT_EQ(r[14], 0x76);
}

TEST_P(SimUnitCommands, PlainLineDataFromRegionsAAndB)
{
    const UnitCodes& c = GetParam();
    std::vector<uint8_t> line(640);
    for (int i = 0; i < 640; ++i)
        line[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 7);
    frame->setLinePixels(c.unit, 2, line);
    frame->setLinePixels(c.unit, 8, line);

    // Region A (flag 0x80): line 2 starts at 1280; ask 61 bytes at 1290.
    Report r = done(command(static_cast<uint8_t>(c.lineData | 0x80), {0x0A, 0x05, 61}));
    EXPECT_EQ(r[1], c.lineData);
    for (int i = 0; i < 61; ++i)
        ASSERT_EQ(r[3 + static_cast<size_t>(i)], line[static_cast<size_t>(10 + i)]) << i;
    // Region A ends after 8 lines (5120) on an ordinary frame.
    r = done(command(static_cast<uint8_t>(c.lineData | 0x80), {0x00, 0x14, 10}));
    EXPECT_EQ(r[3], 0);

    // Region B (flag 0x40): the last line, at 0 on an ordinary frame...
    r = done(command(static_cast<uint8_t>(c.lineData | 0x40), {0x3D, 0x00, 30}));
    EXPECT_EQ(r[3], line[61]);
    EXPECT_EQ(r[32], line[90]);

    // ...and at 7168 on an extended frame, whose last line is line 10.
    frame->setExtendedFrame(true);
    frame->setLinePixels(c.unit, 10, line);
    r = done(command(static_cast<uint8_t>(c.lineData | 0x40), {0x00, 0x1C, 4}));
    EXPECT_EQ(r[4], line[1]);
}

// Decodes a packed stream with the rules the tool uses.
std::vector<uint8_t> unpack(const std::vector<uint8_t>& stream)
{
    std::vector<uint8_t> out;
    size_t p = 0;
    while (p < stream.size() && out.size() < 640) {
        const uint8_t b = stream[p];
        int run = 0;
        int level = 0;
        if (b > 15) {
            run = b >> 4;
            level = b & 15;
            p += 1;
        } else {
            if (p + 1 >= stream.size())
                break;
            level = b;
            run = stream[p + 1];
            p += 2;
        }
        for (int i = 0; i < run && out.size() < 640; ++i)
            out.push_back(static_cast<uint8_t>(level * 32 - 16));
    }
    return out;
}

TEST_P(SimUnitCommands, PackedLineStreamDecodesToTheLine)
{
    const UnitCodes& c = GetParam();
    // A busy line (long stream) with runs short and long.
    std::vector<uint8_t> line(640, 20);
    for (int i = 0; i < 300; ++i)
        line[static_cast<size_t>(i)] = static_cast<uint8_t>((i / 3) % 2 ? 200 : 60);
    for (int i = 400; i < 600; ++i)
        line[static_cast<size_t>(i)] = 250;
    frame->setLinePixels(c.unit, 3, line);

    const uint8_t packed = static_cast<uint8_t>(c.lineData | 0xC0);
    // Header: offset = line * 640 = 1920, length byte 255.
    Report r = done(command(packed, {0x80, 0x07, 255}));
    EXPECT_EQ(r[1], c.lineData);
    const uint16_t length = u16At(r, 3);
    ASSERT_GT(length, 59);
    ASSERT_LE(length, 640);
    std::vector<uint8_t> stream(r.begin() + 5, r.begin() + 5 + 59);
    for (int k = 1; k * 59 < length; ++k) {
        const int n = std::min(59, length - k * 59);
        const int at = k * 59;
        r = done(command(packed, {static_cast<uint8_t>(at), static_cast<uint8_t>(at >> 8), static_cast<uint8_t>(n)}));
        EXPECT_EQ(u16At(r, 3), length);
        stream.insert(stream.end(), r.begin() + 5, r.begin() + 5 + n);
    }
    const std::vector<uint8_t> pixels = unpack(stream);
    ASSERT_EQ(pixels.size(), 640u);
    for (size_t i = 0; i < 640; ++i)
        ASSERT_EQ(pixels[i], static_cast<uint8_t>((line[i] / 32 + 1) * 32 - 16)) << i;
}

INSTANTIATE_TEST_SUITE_P(Units, SimUnitCommands, ::testing::Values(kMasterCodes, kSlaveCodes), unitName);

class SimCommands : public SimFixture {};

TEST_F(SimCommands, TouchPointsCarryBothCamerasSpots)
{
    TouchSpots spots;
    spots.masterCount = 2;
    spots.master[0] = {0x1234, 12, 200};
    spots.master[1] = {0x0222, 8, 90};
    spots.slaveCount = 7;  // more than fit: the count is the frame's own
    spots.slave[4] = {0x0555, 3, 7};
    frame->setTouchSpots(spots);

    done(command(11));
    EXPECT_TRUE(frame->touchArmed());
    // request, index, screen position u32, release
    const Report r = done(command(30, {1, 5, 0x78, 0x56, 0x34, 0x12, 0}));
    EXPECT_EQ(r[3], 2);
    EXPECT_EQ(u16At(r, 4), 0x1234);
    EXPECT_EQ(u16At(r, 6), 12);
    EXPECT_EQ(r[8], 200);
    EXPECT_EQ(u16At(r, 9), 0x0222);
    EXPECT_EQ(r[3 + 26], 7);
    EXPECT_EQ(u16At(r, 3 + 27 + 20), 0x0555);
    EXPECT_EQ(r[3 + 27 + 24], 7);
    EXPECT_EQ(frame->lastTouchRequest().screenPosition, 0x12345678u);
    EXPECT_EQ(frame->lastTouchRequest().pointIndex, 5);
}

TEST_F(SimCommands, TouchSourceSeesTheRequest)
{
    frame->setTouchSource([](const TouchRequest& req) {
        TouchSpots s;
        s.masterCount = 1;
        s.master[0].position = static_cast<uint16_t>(req.screenPosition & 0xFFFF);
        return s;
    });
    const Report r = done(command(30, {0, 0, 0x21, 0x03, 0, 0, 0}));
    EXPECT_EQ(u16At(r, 4), 0x0321);
}

TEST_F(SimCommands, KeyFeatureReport)
{
    frame->setKeyState(2, 5);
    std::array<uint8_t, 3> buffer{7, 0, 0};
    ASSERT_TRUE(link->getFeature(buffer.data()));
    EXPECT_EQ(buffer[1], 2);
    EXPECT_EQ(buffer[2], 5);
    buffer = {6, 0, 0};
    EXPECT_FALSE(link->getFeature(buffer.data()));
}

TEST_F(SimCommands, UnknownCommandsAndDownloadsInTheApplicationAreRefused)
{
    EXPECT_EQ(statusOf(command(3)), 0xFF);
    EXPECT_EQ(statusOf(command(63)), 0xFF);
    EXPECT_EQ(statusOf(command(0x80 | 47, {1, 2, 3})), 0xFF) << "only the boot loader downloads";
    EXPECT_EQ(statusOf(command(14, {0x12})), 0xFF) << "a mode the frame does not have";
}

TEST_F(SimCommands, ReportWithAnotherIdIsNotTaken)
{
    Report r = command(48);
    r[0] = 2;
    EXPECT_EQ(link->write(r.data(), 1000), device::IoResult::Failed);
    EXPECT_EQ(frame->pendingInputReports(), 0u);
}

} // namespace
} // namespace tovrin::sim::test
