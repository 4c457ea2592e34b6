// Saving the screen information record on the simulated frame: the flash
// commands on the wire (checked against the frame's command table: erase,
// nine 32-byte writes with the magic held back, the magic last, Slave before
// Master), a stale Master copy written alone, a Slave copy that reads back
// wrong, refusals, and an unplug at every transaction. (Unchanged settings
// writing no flash: SetWinTest.)
#include "windows/settingsjob/SettingsSave.h"

#include "device/Command.h"
#include "device/DeviceStatus.h"
#include "device/HidLink.h"
#include "device/UnitOps.h"
#include "shell/Clock.h"
#include "sim/FactoryFrame.h"
#include "sim/SimTransport.h"
#include "sim/SimulatedFrame.h"
#include "tests/support/RecordingTransport.h"
#include "tests/support/FrameLink.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace tovrin;
using namespace tovrin::settingsjob;
using records::ScreenRecord;

namespace {

// Flash commands (number, Master / Slave): erase 13 / 32, write 9 / 28, read 10 / 29.
constexpr uint8_t kEraseM = 13, kEraseS = 32, kWriteM = 9, kWriteS = 28, kReadM = 10, kReadS = 29;

struct FlashCommand {
    uint8_t code = 0;
    uint32_t address = 0;          // 24-bit flash address
    std::vector<uint8_t> data;     // written bytes (writes only)
};

// The flash commands among the written reports, decoded from the layout
// of the command table: address in payload bytes 0-2, length in byte 3.
std::vector<FlashCommand> flashCommands(const std::vector<test::WireReport>& reports)
{
    std::vector<FlashCommand> out;
    for (const auto& r : reports) {
        const uint8_t code = r[1];
        if (code != kEraseM && code != kEraseS && code != kWriteM && code != kWriteS && code != kReadM && code != kReadS)
            continue;
        FlashCommand c;
        c.code = code;
        c.address = r[2] | (r[3] << 8) | (r[4] << 16);
        if (code == kWriteM || code == kWriteS)
            c.data.assign(r.begin() + 6, r.begin() + 6 + r[5]);
        out.push_back(c);
    }
    return out;
}

bool modifiesFlash(const FlashCommand& c)
{
    return c.code == kEraseM || c.code == kEraseS || c.code == kWriteM || c.code == kWriteS;
}

ScreenRecord newSettings()
{
    ScreenRecord r;
    r.flag = records::kScreenInfoFlag;
    r.Screen_Size = 5;
    r.ImageMode = 1;
    r.Vertical_Mode = 2;
    r.FourCalib_en = 1;
    r.CalibWay = 1;
    r.calibWayCode = 8;
    r.InfraredExpTimeS = 200;
    r.InfraredExpGainS = 30;
    r.TouchType = 1;
    r.TouchRightClickDistThres = 10;
    r.TouchRightClickTimeThres = 240;
    return r;
}

ScreenRecord masterOf(ScreenRecord r)
{
    r.InfraredExpTimeS = 180;
    r.InfraredExpGainS = 40;
    return r;
}

class SettingsSaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setSleeper([](int) { std::this_thread::yield(); });
        install();
    }
    void TearDown() override
    {
        device::setTransport(nullptr);
        setSleeper({});
    }

    // A frame as it leaves the factory (its screen record holds other settings).
    void install()
    {
        frame = std::make_shared<sim::SimulatedFrame>();
        sim::writeFactoryContents(*frame);
        wire = std::make_shared<test::RecordingTransport>(sim::makeSimTransport(frame));
        device::setTransport(wire);
        ASSERT_TRUE(tovrin::test::openFrameLink());
        device::g_ErrorCodeM = 0;
        device::g_ErrorCodeS = 0;
    }

    std::vector<uint8_t> stored(sim::Unit unit) const { return frame->readFlash(unit, 0x18000, 26); }
    static std::vector<uint8_t> bytesOf(const ScreenRecord& r)
    {
        const auto b = r.encode();
        return {b.begin(), b.end()};
    }

    std::shared_ptr<sim::SimulatedFrame> frame;
    std::shared_ptr<test::RecordingTransport> wire;
};

TEST_F(SettingsSaveTest, SlaveThenMasterInNinePiecesWithTheMagicLast)
{
    const ScreenRecord slave = newSettings(), master = masterOf(newSettings());
    const SaveResult result = saveScreenRecords(slave, master);
    ASSERT_EQ(result.outcome, SaveOutcome::Saved);
    EXPECT_EQ(saveMessageId(result), -1);

    std::vector<FlashCommand> writes;
    for (const FlashCommand& c : flashCommands(wire->written()))
        if (modifiesFlash(c))
            writes.push_back(c);
    ASSERT_EQ(writes.size(), 22u);  // per unit: one erase, nine pieces, the magic
    for (int unit = 0; unit < 2; ++unit) {
        const bool isSlave = unit == 0;  // the Slave copy goes first
        const auto bytes = bytesOf(isSlave ? slave : master);
        const FlashCommand* w = &writes[static_cast<size_t>(11 * unit)];
        EXPECT_EQ(w[0].code, isSlave ? kEraseS : kEraseM);
        EXPECT_EQ(w[0].address, 0x18000u);
        for (int k = 0; k < 9; ++k) {
            const FlashCommand& piece = w[1 + k];
            EXPECT_EQ(piece.code, isSlave ? kWriteS : kWriteM);
            EXPECT_EQ(piece.address, 0x18000u + 32u * static_cast<uint32_t>(k)) << k;
            ASSERT_EQ(piece.data.size(), 32u) << k;
            for (size_t i = 0; i < 32; ++i) {
                const size_t at = 32 * static_cast<size_t>(k) + i;
                const uint8_t expected = at < 4 ? 0xFF : (at < 26 ? bytes[at] : 0);
                EXPECT_EQ(piece.data[i], expected) << "piece " << k << " byte " << i;
            }
        }
        const FlashCommand& magic = w[10];
        EXPECT_EQ(magic.code, isSlave ? kWriteS : kWriteM);
        EXPECT_EQ(magic.address, 0x18000u);
        EXPECT_EQ(magic.data, (std::vector<uint8_t>{0x46, 0x49, 0x43, 0x41}));
    }
    EXPECT_EQ(stored(sim::Unit::Slave), bytesOf(slave));
    EXPECT_EQ(stored(sim::Unit::Master), bytesOf(master));
    EXPECT_EQ(frame->mode(), 0x22);  // work mode again after the reset
}

TEST_F(SettingsSaveTest, AStaleMasterCopyIsWrittenAlone)
{
    ASSERT_EQ(saveScreenRecords(newSettings(), masterOf(newSettings())).outcome, SaveOutcome::Saved);
    // The Master copy gets other exposure values; the Slave copy stays.
    ScreenRecord master = masterOf(newSettings());
    master.InfraredExpTimeS = 90;
    wire->clear();
    EXPECT_EQ(saveScreenRecords(newSettings(), master).outcome, SaveOutcome::Saved);
    for (const FlashCommand& c : flashCommands(wire->written()))
        EXPECT_FALSE(c.code == kEraseS || c.code == kWriteS) << "the Slave copy was written again";
    EXPECT_EQ(stored(sim::Unit::Master), bytesOf(master));
}

TEST_F(SettingsSaveTest, ASlaveCopyThatReadsBackWrongStopsBeforeTheMaster)
{
    // The erase is acknowledged but not done: the new bits land on the old
    // record and its pieces read back different, so the record write stops
    // before the validity word.
    frame->answerNextWithStatus(0x22, 1, kEraseS);
    const std::vector<uint8_t> oldMaster = stored(sim::Unit::Master);
    const SaveResult result = saveScreenRecords(newSettings(), masterOf(newSettings()));
    EXPECT_EQ(result.outcome, SaveOutcome::SlaveWriteFailed);
    EXPECT_EQ(saveMessageId(result), 118);
    for (const FlashCommand& c : flashCommands(wire->written()))
        EXPECT_FALSE(c.code == kEraseM || c.code == kWriteM) << "the Master copy was touched";
    EXPECT_EQ(stored(sim::Unit::Master), oldMaster);
    EXPECT_EQ(frame->mode(), 0xFF);  // left in calibration mode for the opener
}

TEST_F(SettingsSaveTest, RefusedCalibrationModeSaysSo)
{
    frame->answerNextWithStatus(0xFF, 2, 14);  // both tries
    const SaveResult result = saveScreenRecords(newSettings(), masterOf(newSettings()));
    EXPECT_EQ(result.outcome, SaveOutcome::CalibrationModeFailed);
    EXPECT_FALSE(result.frameLost);
    EXPECT_EQ(saveMessageId(result), 142);
    EXPECT_TRUE(flashCommands(wire->written()).empty());
}

TEST_F(SettingsSaveTest, ARefusedReadSaysSoAndWritesNothing)
{
    frame->answerNextWithStatus(0xFF, 1, kReadS);
    const SaveResult result = saveScreenRecords(newSettings(), masterOf(newSettings()));
    EXPECT_EQ(result.outcome, SaveOutcome::ReadFailed);
    EXPECT_EQ(saveMessageId(result), 18);
    for (const FlashCommand& c : flashCommands(wire->written()))
        EXPECT_FALSE(modifiesFlash(c));
}

TEST_F(SettingsSaveTest, ARefusedSlaveWriteKeepsTheMasterUntouched)
{
    frame->answerNextWithStatus(0xFF, 1, kWriteS);
    const std::vector<uint8_t> oldMaster = stored(sim::Unit::Master);
    const SaveResult result = saveScreenRecords(newSettings(), masterOf(newSettings()));
    EXPECT_EQ(result.outcome, SaveOutcome::SlaveWriteFailed);
    EXPECT_EQ(saveMessageId(result), 118);
    EXPECT_EQ(stored(sim::Unit::Master), oldMaster);
    // The interrupted Slave copy has no magic: the firmware does not take it.
    EXPECT_NE(stored(sim::Unit::Slave)[0], 0x46);
}

// The records are held, but the frame does not go back to work or does not
// take the reset that makes its firmware read them: not a complete save.
TEST_F(SettingsSaveTest, ARefusedResetOrWorkModeIsNotACompleteSave)
{
    struct Case {
        const char* name;
        int after;  // mode switches let through first: calibration, then work mode
        bool workModeOk;
    };
    for (const Case c : {Case{"reset", 2, true}, Case{"work mode", 1, false}}) {
        SCOPED_TRACE(c.name);
        install();
        const ScreenRecord slave = newSettings(), master = masterOf(newSettings());
        frame->answerNextWithStatus(0xFF, 1, 14, c.after);
        const SaveResult result = saveScreenRecords(slave, master);
        EXPECT_EQ(result.outcome, SaveOutcome::Saved);
        EXPECT_TRUE(result.succeeded());
        EXPECT_FALSE(result.complete());
        EXPECT_EQ(result.workModeOk, c.workModeOk);
        EXPECT_FALSE(result.resetOk);
        EXPECT_FALSE(result.frameLost);
        EXPECT_EQ(saveMessageId(result), 32);
        EXPECT_EQ(stored(sim::Unit::Slave), bytesOf(slave));
        EXPECT_EQ(stored(sim::Unit::Master), bytesOf(master));
    }
}

TEST_F(SettingsSaveTest, UnplugAtEveryTransactionLeavesOldNewOrInvalidCopies)
{
    const ScreenRecord slave = newSettings(), master = masterOf(newSettings());
    const auto newSlave = bytesOf(slave), newMaster = bytesOf(master);
    const auto oldSlave = stored(sim::Unit::Slave), oldMaster = stored(sim::Unit::Master);
    ASSERT_NE(oldSlave, newSlave);
    ASSERT_EQ(saveScreenRecords(slave, master).outcome, SaveOutcome::Saved);
    const size_t reports = wire->written().size();
    ASSERT_GT(reports, 22u);

    for (size_t n = 1; n <= reports; ++n) {
        install();
        frame->vanishAtOutputReport(n);
        const SaveResult result = saveScreenRecords(slave, master);
        frame->plug();
        const auto s = stored(sim::Unit::Slave), m = stored(sim::Unit::Master);
        auto valid = [](const std::vector<uint8_t>& r) { return r[0] == 0x46 && r[1] == 0x49 && r[2] == 0x43 && r[3] == 0x41; };
        EXPECT_TRUE(s == oldSlave || s == newSlave || !valid(s)) << "Slave copy valid but wrong, unplugged at " << n;
        EXPECT_TRUE(m == oldMaster || m == newMaster || !valid(m)) << "Master copy valid but wrong, unplugged at " << n;
        if (s != newSlave) {
            EXPECT_EQ(m, oldMaster) << "Master touched after a failed Slave copy, unplugged at " << n;
        }
        if (!result.succeeded()) {
            EXPECT_TRUE(result.frameLost) << n;
            EXPECT_EQ(saveMessageId(result), 14) << n;
        }
    }
}

} // namespace
