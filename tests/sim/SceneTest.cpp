// The optical scene: the leveling firmware's answers come from what the
// cameras see, the images follow the start line, both transfer forms carry
// the same picture, and the scene's faults.
#include "SimReports.h"

#include "sim/FactoryFrame.h"
#include "sim/OpticalScene.h"
#include "sim/SceneItems.h"
#include "sim/SimEnvironment.h"

#include <algorithm>
#include <cmath>

namespace tovrin::sim::test {
namespace {

class Scene : public SimFixture, public ::testing::WithParamInterface<UnitCodes> {
protected:
    // The frame line whose middle columns are brightest (where the band is).
    int brightestLine(Unit u)
    {
        int best = -1;
        int bestSum = -1;
        for (int line = 0; line < 9; ++line) {
            const auto pixels = frame->linePixels(u, line);
            int sum = 0;
            for (int c = 200; c < 400; ++c)
                sum += pixels[static_cast<size_t>(c)];
            if (sum > bestSum) {
                bestSum = sum;
                best = line;
            }
        }
        return best;
    }

    uint16_t search(const UnitCodes& c, uint16_t lower, uint16_t upper)
    {
        return u16At(done(command(c.searchLine, {static_cast<uint8_t>(lower), static_cast<uint8_t>(lower >> 8),
                                                 static_cast<uint8_t>(upper), static_cast<uint8_t>(upper >> 8)})),
                     3);
    }

    void setLine(const UnitCodes& c, uint16_t line)
    {
        done(command(c.setLine, {static_cast<uint8_t>(line), static_cast<uint8_t>(line >> 8)}));
    }

    CameraView view(Unit u) { return frame->scene().units[static_cast<size_t>(u)]; }
};

TEST_P(Scene, SearchLineFindsTheBandInsideTheWindowOnly)
{
    const UnitCodes& c = GetParam();
    const int row = static_cast<int>(std::lround(view(c.unit).surfaceRow));
    EXPECT_EQ(search(c, 200, 300), row);
    EXPECT_EQ(search(c, 50, 200), 65535) << "the band lies outside 50..200";
    EXPECT_EQ(search(c, static_cast<uint16_t>(row), static_cast<uint16_t>(row)), row);
}

TEST_P(Scene, ASensorMountedAboveRow200SaysSoInRegister0x12)
{
    // Bit 6 of sensor register 0x12 tells the tool to search rows 50..200.
    const UnitCodes& c = GetParam();
    const auto register12 = [&] { return done(command(c.i2cRead, {0x12}))[3]; };
    EXPECT_EQ(register12() & 0x40, 0) << "the default mounting lies in 200..300";
    done(command(c.i2cWrite, {0x12, 0x85}));
    const std::string item = std::string(c.unit == Unit::Master ? "master" : "slave") + ".row=120";
    ASSERT_EQ(applySceneItems(*frame, item), "");
    EXPECT_EQ(register12(), 0xC5) << "the sensor fitted says so; other bits stay";
    EXPECT_EQ(frame->sensorRegister(c.other, 0x12) & 0x40, 0) << "the other unit keeps its sensor";
    // Powered off and on, the unit keeps the sensor it has.
    frame->unplug();
    frame->plug();
    ASSERT_TRUE(link->open(pid));
    EXPECT_EQ(register12() & 0x40, 0x40);
    EXPECT_EQ(search(c, 50, 200), 120);
    EXPECT_EQ(search(c, 200, 300), 65535);
}

TEST_P(Scene, ImagesFollowTheStartLine)
{
    const UnitCodes& c = GetParam();
    const int row = static_cast<int>(std::lround(view(c.unit).surfaceRow));
    setLine(c, static_cast<uint16_t>(row));
    EXPECT_EQ(brightestLine(c.unit), 4) << "the leveled band is in the middle line";
    setLine(c, static_cast<uint16_t>(row + 2));
    EXPECT_EQ(brightestLine(c.unit), 2);
    setLine(c, static_cast<uint16_t>(row - 3));
    EXPECT_EQ(brightestLine(c.unit), 7);
}

TEST_P(Scene, ColumnsAndZonesOnlyWhileTheWindowSeesTheBand)
{
    const UnitCodes& c = GetParam();
    const CameraView v = view(c.unit);
    setLine(c, static_cast<uint16_t>(std::lround(v.surfaceRow)));
    Report r = done(command(c.lineRange));
    EXPECT_EQ(u16At(r, 3), v.startColumn);
    EXPECT_EQ(u16At(r, 5), v.endColumn);
    r = done(command(c.zones));
    EXPECT_EQ(r[3], 0x22);
    for (int z = 0; z < 7; ++z) {
        EXPECT_GE(r[4 + static_cast<size_t>(z)] * 10, v.startColumn);
        EXPECT_LE(r[4 + static_cast<size_t>(z)] * 10, v.endColumn);
    }
    setLine(c, static_cast<uint16_t>(std::lround(v.surfaceRow) + 20));
    EXPECT_EQ(statusOf(command(c.lineRange)), 0xFF);
    EXPECT_EQ(statusOf(command(c.zones)), 0xFF);
    EXPECT_EQ(statusOf(command(c.setLine, {0, 0})), 0xFF) << "line 0 is not a sensor line";
}

TEST_P(Scene, ExposureComesFromTheScaleAndDimBandsNeedLongerOnes)
{
    const UnitCodes& c = GetParam();
    setLine(c, static_cast<uint16_t>(std::lround(view(c.unit).surfaceRow)));
    auto exposureIndex = [&] {
        const uint16_t word = u16At(done(command(c.exposure)), 3);
        const auto it = std::find(kExposureScale.begin(), kExposureScale.end(), word);
        EXPECT_NE(it, kExposureScale.end()) << std::hex << word;
        return static_cast<int>(it - kExposureScale.begin());
    };
    const int bright = exposureIndex();
    SceneConfig dim = frame->scene();
    dim.units[static_cast<size_t>(c.unit)].reflectance = 35;
    frame->setScene(dim);
    EXPECT_GT(exposureIndex(), bright);
}

TEST_P(Scene, PackedAndPlainFramesCarryTheSamePicture)
{
    const UnitCodes& c = GetParam();
    const std::vector<uint8_t> line = frame->linePixels(c.unit, 4);
    // Plain, region A, line 4 at 2560.
    Report r = done(command(static_cast<uint8_t>(c.lineData | 0x80), {0x00, 0x0A, 61}));
    for (size_t i = 0; i < 61; ++i)
        ASSERT_EQ(r[3 + i], line[i]);
    // Packed header of line 4: the first items decode to the same levels.
    r = done(command(static_cast<uint8_t>(c.lineData | 0xC0), {0x00, 0x0A, 255}));
    const uint8_t first = r[5];
    const int level = first > 15 ? first & 15 : first;
    EXPECT_EQ(level, line[0] / 32 + 1);
}

TEST_P(Scene, ExtendedUnitCarriesFourBitPicturesAndAFullLastLine)
{
    const UnitCodes& c = GetParam();
    frame->setExtendedFrame(true);
    const int row = static_cast<int>(std::lround(view(c.unit).surfaceRow));
    setLine(c, static_cast<uint16_t>(row));
    const auto picture = frame->linePixels(c.unit, 4);   // the start row, as 4-bit pictures
    const auto last = frame->linePixels(c.unit, 10);     // the start row, 8 bits
    for (int col = 100; col < 500; col += 37) {
        const size_t i = static_cast<size_t>(col);
        EXPECT_NEAR(picture[i] >> 4, last[i] >> 4, 1) << "background";
        EXPECT_NEAR(picture[i] & 15, last[i] >> 4, 1) << "current picture";
    }
    // Region B of an extended unit starts at 7168.
    const Report r = done(command(static_cast<uint8_t>(c.lineData | 0x40), {0x00, 0x1C, 8}));
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(r[3 + i], last[i]);
}

TEST_P(Scene, BrokenDataBitReadsZero)
{
    const UnitCodes& c = GetParam();
    ASSERT_TRUE(applySceneFault(*frame, std::string("broken-bit=") + (c.unit == Unit::Master ? "master" : "slave") + ":5"));
    // Test pattern on: every data line should read 1.
    done(command(c.i2cWrite, {0x38, 7}));
    done(command(c.i2cWrite, {0x84, 2}));
    done(command(c.regWrite, {0x33, 0x00, 1, 40}));
    EXPECT_EQ(done(command(c.regRead, {0x36, 0x00, 1, 0}))[3], 0xDF);
    for (int line = 0; line < 9; ++line)
        for (uint8_t v : frame->linePixels(c.unit, line))
            ASSERT_EQ(v & 0x20, 0);
}

INSTANTIATE_TEST_SUITE_P(Units, Scene, ::testing::Values(kMasterCodes, kSlaveCodes), unitName);

class SceneFaults : public SimFixture {};

TEST_F(SceneFaults, RefusedLevelingCommands)
{
    for (const auto& [item, code] : std::vector<std::pair<std::string, uint8_t>>{
             {"fail-setline=slave", 37}, {"fail-linerange", 19}, {"fail-zones=master", 20}, {"fail-exposure", 43}}) {
        frame->setScene(SceneConfig{});
        done(command(18, {236 & 0xFF, 0}));
        ASSERT_TRUE(applySceneFault(*frame, item)) << item;
        const Report out = code == 37 ? command(code, {248, 0}) : command(code);
        EXPECT_EQ(statusOf(out), 0xFF) << item;
    }
}

TEST_F(SceneFaults, NoLineTiltsTheCameraBeyondEveryWindow)
{
    ASSERT_TRUE(applySceneFault(*frame, "no-line=master"));
    EXPECT_EQ(u16At(done(command(17, {200, 0, 44, 1})), 3), 65535);
    EXPECT_EQ(u16At(done(command(17, {50, 0, 200, 0})), 3), 65535);
    EXPECT_NE(u16At(done(command(36, {200, 0, 44, 1})), 3), 65535) << "the Slave still sees its band";
}

TEST_F(SceneFaults, LongStreamClaimsMoreThan640Bytes)
{
    ASSERT_TRUE(applySceneFault(*frame, "long-stream"));
    EXPECT_GT(u16At(done(command(0xC0, {0, 0, 255})), 3), 640);
}

TEST_F(SceneFaults, VanishInTheMiddleOfAFrame)
{
    ASSERT_TRUE(applySceneFault(*frame, "vanish-in-frame=3"));
    done(command(0x80, {0, 0, 61}));
    done(command(0x81, {0, 0, 61}));
    EXPECT_EQ(link->write(command(0x80, {61, 0, 61}).data(), 1000), device::IoResult::NotConnected);
    EXPECT_FALSE(frame->isPlugged());
}

TEST_F(SceneFaults, UnknownItemsAreNotTaken)
{
    EXPECT_FALSE(applySceneFault(*frame, "broken-bit=master:9"));
    EXPECT_FALSE(applySceneFault(*frame, "fail-zones=left"));
    EXPECT_FALSE(applySceneFault(*frame, "no-such-fault"));
    EXPECT_EQ(applyFaultItems(*frame, "long-stream, fail-exposure=slave"), "");
}

TEST(SceneItems, ItemsOfTheEnvironment)
{
    SimulatedFrame frame;
    EXPECT_EQ(applySceneItems(frame, "master.row=120, slave.columns=10-630, slave.reflect=40, noise=0, master.roll=-6"),
              "");
    const SceneConfig c = frame.scene();
    EXPECT_EQ(c.units[0].surfaceRow, 120);
    EXPECT_EQ(c.units[0].roll, -6);
    EXPECT_EQ(c.units[1].startColumn, 10);
    EXPECT_EQ(c.units[1].endColumn, 630);
    EXPECT_EQ(c.units[1].reflectance, 40);
    EXPECT_EQ(c.noise, 0);
    EXPECT_EQ(applySceneItems(frame, "slave.columns=600-100"), "slave.columns=600-100");
    EXPECT_EQ(applySceneItems(frame, "left.row=3"), "left.row=3");
}

TEST(SceneItems, FactoryRecordsMatchTheScene)
{
    SimulatedFrame frame;
    writeFactoryContents(frame);
    const auto master = frame.readFlash(Unit::Master, 0x11004, 2);
    EXPECT_EQ(master[0] | (master[1] << 8), 236);
    EXPECT_EQ(frame.startLine(Unit::Slave), 248) << "the firmware starts on its stored start line";
}

} // namespace
} // namespace tovrin::sim::test
