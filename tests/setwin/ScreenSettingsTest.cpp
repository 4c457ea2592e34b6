// The settings window's job without its window: the screen information
// record built from the dialog and Tovrin.ini (checked byte by byte against
// the record's table), the INI mirrored from the frame's record, and the
// controls loaded from the INI.
#include "windows/settingsjob/ScreenSettings.h"

#include "shell/Settings.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/Files.h"


#include <gtest/gtest.h>

#include <array>
#include <functional>

using namespace tovrin;
using namespace tovrin::settingsjob;

namespace {

using Bytes = std::array<uint8_t, 26>;

void writeIni(const QString& text)
{
    ASSERT_TRUE(tovrin::test::writeFile(QStringLiteral("Tovrin.ini"), text.toUtf8()));
}

const char* const kBaselineIni = "[Tovrin_Config]\n"
                                 "InfraredExpTimeS=200\nInfraredExpGainS=30\n"
                                 "InfraredExpTimeM=180\nInfraredExpGainM=40\n"
                                 "XPRightClickMode=2\nTouchRightClickDistThres=12\nTouchRightClickTimeThres=300\n";

DialogSettings baselineDialog()
{
    DialogSettings s;
    s.screenDirection = 1;
    s.verticalMode = 2;
    s.touchType = 1;
    s.screenSize = 5;
    s.operationMode = 1;
    s.fourCalib = 1;
    s.imageMode = 1;
    return s;
}

// The Slave record of the baseline, typed from the record's table.
constexpr Bytes kBaselineSlave = {
    0x46, 0x49, 0x43, 0x41,  // magic "FICA"
    5,                       // 4 screen size class
    0,                       // 5 smoothness
    1,                       // 6 image mode
    2,                       // 7 rotation
    1,                       // 8 double writing
    0,                       // 9 five-point calibration
    1,                       // 10 four-point calibration
    1,                       // 11 calibration way
    8,                       // 12 goes with way 1
    200,                     // 13 infrared exposure time (Slave)
    30,                      // 14 infrared exposure gain (Slave)
    0,                       // 15
    1,                       // 16 touch type
    2,                       // 17 right-click mode
    12, 0, 0, 0,             // 18 right-click distance threshold
    0x2C, 0x01, 0, 0,        // 22 right-click time threshold (300)
};

class ScreenSettingsTest : public ::testing::Test {
protected:
    test::InTemporaryFolder folder;
};

// ---- The record ----------------------------------------------------------------

struct RecordRow {
    const char* name;
    const char* iniExtra;                              // appended to the baseline INI
    std::function<void(DialogSettings&)> dialog;       // change of the dialog
    std::function<void(Bytes&)> expect;                // change of the expected bytes
};

class RecordBytes : public ScreenSettingsTest, public ::testing::WithParamInterface<RecordRow> {};

TEST_P(RecordBytes, MatchTheTable)
{
    const RecordRow& row = GetParam();
    writeIni(QString::fromLatin1(kBaselineIni) + QString::fromLatin1(row.iniExtra));
    DialogSettings s = baselineDialog();
    if (row.dialog)
        row.dialog(s);
    Bytes expected = kBaselineSlave;
    if (row.expect)
        row.expect(expected);
    EXPECT_EQ(buildSlaveRecord(s).encode(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, RecordBytes,
    ::testing::Values(
        RecordRow{"baseline", "", nullptr, nullptr},
        RecordRow{"landscape_stores_no_rotation", "", [](DialogSettings& s) { s.screenDirection = 0; s.verticalMode = 3; },
                  [](Bytes& b) { b[7] = 0; }},
        RecordRow{"size_class_7", "", [](DialogSettings& s) { s.screenSize = 7; }, [](Bytes& b) { b[4] = 7; }},
        RecordRow{"double_writing_closed", "", [](DialogSettings& s) { s.operationMode = 0; }, [](Bytes& b) { b[8] = 0; }},
        RecordRow{"sixteen_points", "", [](DialogSettings& s) { s.fourCalib = 0; }, [](Bytes& b) { b[10] = 0; }},
        RecordRow{"touch_type_much", "", [](DialogSettings& s) { s.touchType = 2; }, [](Bytes& b) { b[16] = 2; }},
        RecordRow{"image_mode_is_always_1", "", [](DialogSettings& s) { s.imageMode = 0; }, nullptr},
        RecordRow{"exposure_time_above_255_keeps_its_low_byte", "[Tovrin_Config]\nInfraredExpTimeS=300\n", nullptr,
                  [](Bytes& b) { b[13] = 0x2C; }},
        RecordRow{"gain_256_is_0", "[Tovrin_Config]\nInfraredExpGainS=256\n", nullptr, [](Bytes& b) { b[14] = 0; }},
        RecordRow{"right_click_mode_513_is_1", "[Tovrin_Config]\nXPRightClickMode=513\n", nullptr,
                  [](Bytes& b) { b[17] = 1; }},
        RecordRow{"negative_distance_threshold", "[Tovrin_Config]\nTouchRightClickDistThres=-1\n", nullptr,
                  [](Bytes& b) { b[18] = b[19] = b[20] = b[21] = 0xFF; }},
        RecordRow{"negative_time_threshold", "[Tovrin_Config]\nTouchRightClickTimeThres=-240\n", nullptr,
                  [](Bytes& b) { b[22] = 0x10; b[23] = b[24] = b[25] = 0xFF; }},
        RecordRow{"large_time_threshold", "[Tovrin_Config]\nTouchRightClickTimeThres=70000\n", nullptr,
                  [](Bytes& b) { b[22] = 0x70; b[23] = 0x11; b[24] = 0x01; b[25] = 0; }}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(ScreenSettingsTest, MissingIniKeysGiveTheDefaults)
{
    writeIni(QString());
    const Bytes b = buildSlaveRecord(baselineDialog()).encode();
    EXPECT_EQ(b[13], 255);
    EXPECT_EQ(b[14], 24);
    EXPECT_EQ(b[17], 0);
    EXPECT_EQ(b[18], 10);
    EXPECT_EQ(b[22], 240);
    EXPECT_EQ(b[23], 0);
}

TEST_F(ScreenSettingsTest, MasterCopyCarriesTheMastersExposure)
{
    writeIni(QString::fromLatin1(kBaselineIni));
    Bytes expected = kBaselineSlave;
    expected[13] = 180;
    expected[14] = 40;
    EXPECT_EQ(buildMasterRecord(buildSlaveRecord(baselineDialog())).encode(), expected);
}

// ---- The INI from the frame's record ----------------------------------------------

records::ScreenRecord deviceRecord()
{
    records::ScreenRecord r;
    r.flag = records::kScreenInfoFlag;
    r.Screen_Size = 6;
    r.smoothness = 2;
    r.ImageMode = 0;
    r.Vertical_Mode = 4;
    r.OperationMode = 1;
    r.FiveCalibration_en = 1;
    r.FourCalib_en = 1;
    r.CalibWay = 2;
    r.TouchType = 2;
    return r;
}

using Writes = std::vector<std::pair<QString, int>>;

int valueOf(const Writes& writes, const char* key)
{
    for (const auto& [k, v] : writes)
        if (k == QLatin1String(key))
            return v;
    ADD_FAILURE() << key << " not written";
    return -1;
}

struct MirrorRow {
    const char* name;
    void (*change)(records::ScreenRecord&);
    std::vector<std::pair<const char*, int>> expected;
};

class MirrorRecord : public ScreenSettingsTest, public ::testing::WithParamInterface<MirrorRow> {};

TEST_P(MirrorRecord, IntoTheIni)
{
    records::ScreenRecord r = deviceRecord();
    GetParam().change(r);
    const Writes writes = iniFromDeviceRecord(r);
    for (const auto& [key, value] : GetParam().expected)
        EXPECT_EQ(valueOf(writes, key), value) << key;
}

INSTANTIATE_TEST_SUITE_P(
    Records, MirrorRecord,
    ::testing::Values(
        MirrorRow{"withItsMagic", [](records::ScreenRecord&) {},
                  {{"Tovrin_ScreenInfo/Vertical_Mode", 4}, {"Tovrin_ScreenInfo/Screen_Direction", 1},
                   {"Tovrin_Config/FiveCalibration_en", 1}, {"Tovrin_ScreenInfo/Screen_Size", 6},
                   {"OperationMode/OperationMode", 1}, {"Tovrin_Config/CalibWay", 2}, {"ImageMode/ImageMode", 0},
                   {"Smoothness/smoothness", 2}, {"Tovrin_Config/FourCalib_en", 1}, {"os_check/TouchType", 2}}},
        MirrorRow{"noRotationMeansLandscape", [](records::ScreenRecord& r) { r.Vertical_Mode = 0; },
                  {{"Tovrin_ScreenInfo/Screen_Direction", 0}, {"Tovrin_ScreenInfo/Vertical_Mode", 0}}},
        // One bit off the magic: the defaults.
        MirrorRow{"withoutMagic", [](records::ScreenRecord& r) { r.flag = 0x41434947; },
                  {{"Tovrin_ScreenInfo/Screen_Size", 3}, {"Tovrin_ScreenInfo/Screen_Direction", 0},
                   {"Tovrin_ScreenInfo/Vertical_Mode", 0}, {"Smoothness/smoothness", 1}, {"ImageMode/ImageMode", 1},
                   {"Tovrin_Config/CalibWay", 1}, {"Tovrin_Config/FourCalib_en", 0}}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(ScreenSettingsTest, AFailedReadWritesNothing)
{
    EXPECT_TRUE(iniFromDeviceRecord(std::nullopt).empty());
}

// ---- Controls from the INI -----------------------------------------------------

TEST_F(ScreenSettingsTest, AnEmptyIniShowsTheDefaults)
{
    writeIni(QString());
    const ControlState c = loadControls();
    EXPECT_FALSE(c.portrait);
    EXPECT_EQ(c.rotation, 0);
    EXPECT_FALSE(c.touchTypeEnabled);
    EXPECT_FALSE(c.touchType.has_value());
    ASSERT_TRUE(c.sizeIndex.has_value());
    EXPECT_EQ(*c.sizeIndex, 3);
    EXPECT_FALSE(c.doubleWritingOpen);
    EXPECT_FALSE(c.fourPoint);
}

TEST_F(ScreenSettingsTest, AutoCheckOnChoosesTheStoredTouchType)
{
    writeIni(QStringLiteral("[os_check]\nAutoCheck=1\nTouchType=2\n"));
    EXPECT_EQ(loadControls().touchType, 2);
    writeIni(QStringLiteral("[os_check]\nAutoCheck=1\nTouchType=7\n"));
    EXPECT_EQ(loadControls().touchType, 0);  // anything else is Auto
}

TEST_F(ScreenSettingsTest, ASizeIndexOfEightOrMoreChecksNone)
{
    for (const char* v : {"8", "84", "-1"}) {
        writeIni(QStringLiteral("[Tovrin_ScreenInfo]\nScreen_Size=%1\n").arg(QLatin1String(v)));
        const ControlState c = loadControls();
        EXPECT_FALSE(c.sizeIndex.has_value()) << v;
        // Nothing checked and nothing sensible stored: the default class goes to the frame.
        EXPECT_EQ(settingsFromControls(c).screenSize, 3) << v;
    }
    writeIni(QStringLiteral("[Tovrin_ScreenInfo]\nScreen_Size=7\n"));
    EXPECT_EQ(loadControls().sizeIndex, 7);
}

TEST_F(ScreenSettingsTest, FourPointOnlyForExactlyOne)
{
    writeIni(QStringLiteral("[Tovrin_Config]\nFourCalib_en=2\n"));
    EXPECT_FALSE(loadControls().fourPoint);
    EXPECT_EQ(settingsFromControls(loadControls()).fourCalib, 0);
    writeIni(QStringLiteral("[Tovrin_Config]\nFourCalib_en=1\n"));
    EXPECT_TRUE(loadControls().fourPoint);
}

TEST_F(ScreenSettingsTest, PortraitShowsTheStoredRotation)
{
    writeIni(QStringLiteral("[Tovrin_ScreenInfo]\nScreen_Direction=1\nVertical_Mode=4\n"));
    EXPECT_TRUE(loadControls().portrait);
    EXPECT_EQ(loadControls().rotation, 4);
    // A rotation the combo box does not have shows as none.
    writeIni(QStringLiteral("[Tovrin_ScreenInfo]\nScreen_Direction=1\nVertical_Mode=200\n"));
    EXPECT_EQ(loadControls().rotation, 0);
    writeIni(QStringLiteral("[Tovrin_ScreenInfo]\nScreen_Direction=0\nVertical_Mode=3\n"));
    EXPECT_EQ(loadControls().rotation, 0);
}

TEST_F(ScreenSettingsTest, LandscapeForcesRotationZero)
{
    writeIni(QString());
    ControlState c;
    c.portrait = false;
    c.rotation = 3;
    c.sizeIndex = 2;
    EXPECT_EQ(settingsFromControls(c).verticalMode, 0);
    EXPECT_EQ(settingsFromControls(c).screenDirection, 0);
    c.portrait = true;
    EXPECT_EQ(settingsFromControls(c).verticalMode, 3);
}

TEST_F(ScreenSettingsTest, DialogSettingsGoToTheIni)
{
    writeIni(QStringLiteral("# kept comment\n[Tovrin_Config]\nCalibTime=60\n"));
    writeDialogSettings(baselineDialog());
    namespace s = shell::settings;
    EXPECT_EQ(s::Screen_Direction.read(), 1);
    EXPECT_EQ(s::Vertical_Mode.read(), 2);
    EXPECT_EQ(s::TouchType.read(), 1);
    EXPECT_EQ(s::Screen_Size.read(), 5);
    EXPECT_EQ(s::OperationMode.read(), 1);
    EXPECT_EQ(s::FourCalib_en.read(), 1);
    EXPECT_EQ(s::ImageMode.read(), 1);
    EXPECT_EQ(s::CalibTime.read(), 60);
    EXPECT_TRUE(tovrin::test::readFile(QStringLiteral("Tovrin.ini")).startsWith("# kept comment"));
}

} // namespace
