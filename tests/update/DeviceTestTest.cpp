// The device test of the engineering tool on the simulated frame: every
// request of the four check groups is made whatever the others gave, the
// failed groups name themselves in order, and the version log lines.

#include "UpdateTestSupport.h"
#include "maintenance/check/DeviceTest.h"
#include "maintenance/update/Versions.h"
#include "shell/AppContext.h"
#include "shell/Log.h"
#include "shell/MessageTexts.h"
#include "tests/support/Files.h"


using namespace tovrin;
using namespace tovrin::update;
using namespace tovrin::check;
using namespace tovrin::update::test;

namespace {

class DeviceTestOnFrame : public FrameTest {
protected:
    void SetUp() override
    {
        FrameTest::SetUp();
        shell::PrepareLogFolders();
        shell::WriteLog("Tovrin log start!\n", true);
    }
    QString log() const
    {
        return QString::fromUtf8(tovrin::test::readFile(QString::fromStdString(shell::context().logFilePath())));
    }
};

} // namespace

TEST_F(DeviceTestOnFrame, HealthyFrameSucceedsAndGoesBackToWork)
{
    std::vector<int> shown;
    const DeviceTestReport r = runDeviceTest([&](int id) { shown.push_back(id); });
    EXPECT_TRUE(r.passed());
    EXPECT_EQ(shown, std::vector<int>{24});
    EXPECT_EQ(r.messages, QList<int>{31});
    EXPECT_EQ(r.versionLogError, -1);
    EXPECT_EQ(frame->mode(), sim::kModeWork);
    // The requests of the groups: sensor read/write/read and register
    // read/write/read/write on each unit.
    EXPECT_EQ(frame->commandsSeen(8), 2u);   // Master sensor reads
    EXPECT_EQ(frame->commandsSeen(7), 1u);   // Master sensor write
    EXPECT_EQ(frame->commandsSeen(27), 2u);  // Slave sensor reads
    EXPECT_EQ(frame->commandsSeen(6), 2u);   // Master register reads
    EXPECT_EQ(frame->commandsSeen(4), 2u);   // Master register writes
    EXPECT_EQ(frame->commandsSeen(25), 2u);  // Slave register reads
    EXPECT_EQ(frame->commandsSeen(23), 2u);  // Slave register writes
    EXPECT_EQ(frame->fpgaRegister(sim::Unit::Slave, 53), 0x0F);
    EXPECT_EQ(frame->sensorRegister(sim::Unit::Master, 0x19), 0x3A);

    const QString text = log();
    EXPECT_TRUE(text.contains(QStringLiteral("\nMaster:\n")));
    EXPECT_TRUE(text.contains(QStringLiteral(
        "HInfo:\n0x46504741,0x01,0x00,0x11111111,0x01020005,0x00000000,0x00007e00,0x22222222,0x00000001,0x00008000,0x00007e00\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("Imageversion:0x01020005,bootloader version=0x01000007\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("--------------------------------------\n\nSlave:\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("Imageversion:0x01020005, bootloader version=0x01000007\n")));
}

TEST_F(DeviceTestOnFrame, FailedGroupsAreNamedInOrderAndEveryRequestIsMade)
{
    // The Master's sensor refuses its first read; the Slave's FPGA its last write.
    frame->answerNextWithStatus(0xFF, 1, 8);
    const DeviceTestReport first = runDeviceTest({});
    EXPECT_EQ(first.failedGroups, (QList<int>{26}));
    EXPECT_EQ(frame->commandsSeen(8), 2u) << "the group goes on after a failed request";
    EXPECT_EQ(frame->commandsSeen(7), 1u);
    EXPECT_EQ(frame->mode(), sim::kModeCalibration) << "a failed test leaves the frame for the engineer";

    frame->answerNextWithStatus(0xFF, 2, 23);
    const DeviceTestReport second = runDeviceTest({});
    EXPECT_EQ(second.failedGroups, (QList<int>{30}));
    EXPECT_EQ(second.messages, (QList<int>{30}));

    // Two failed groups show both texts.
    frame->dropRepliesTo(6);   // Master register reads
    frame->dropRepliesTo(27);  // Slave sensor reads
    EXPECT_EQ(runDeviceTest({}).failedGroups, (QList<int>{27, 29}));
}

TEST_F(DeviceTestOnFrame, RefusedCalibrationModeMarksBothWords)
{
    frame->answerNextWithStatus(0xFF, 2, 14);
    const DeviceTestReport r = runDeviceTest({});
    EXPECT_FALSE(r.enter.ok);
    EXPECT_EQ(r.messages, QList<int>{142});
    EXPECT_EQ(device::g_ErrorCodeM.load() & 0x80000000u, 0x80000000u);
    EXPECT_EQ(device::g_ErrorCodeS.load() & 0x80000000u, 0x80000000u);
    EXPECT_EQ(frame->commandsSeen(8), 0u) << "no group runs without calibration mode";
}

TEST_F(DeviceTestOnFrame, VersionLogNamesTheReadThatFailed)
{
    frame->answerNextWithStatus(0xFF, 1, 29);  // the Slave's first flash read (its HInfo)
    EXPECT_EQ(logVersions(), 75);
    EXPECT_TRUE(log().contains(QStringLiteral("ReadHInfo Failed!\n")));
}
