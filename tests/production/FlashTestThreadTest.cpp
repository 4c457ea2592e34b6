// The production flash read/write test on the simulated frame: its cycles on
// the wire, the 30-second wait through the injected clock, and a frame that
// changes a flash byte by itself between two cycles.

#include "production/core/RWFlashTestThread.h"
#include "shell/Clock.h"
#include "sim/FactoryFrame.h"
#include "sim/FlashDrift.h"
#include "sim/SceneItems.h"
#include "tests/service/ServiceTestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace tovrin;
using namespace tovrin::production;
using namespace tovrin::test;

namespace {

class FlashTest : public tovrin::test::SimLinkTest {
protected:
    void prepare(sim::SimulatedFrame& f) override { sim::writeFactoryContents(f); }
    void SetUp() override
    {
        SimLinkTest::SetUp();
        setSleeper([this](int ms) { slept += ms; });
    }
    void TearDown() override
    {
        setSleeper({});
        SimLinkTest::TearDown();
    }
    // Runs the test to its end and gives its codes.
    std::vector<int> run(int cycles, FlashTestOptions options = {})
    {
        RWFlashTestThread worker;
        worker.setOptions(options);
        worker.setCycleLimit(cycles);
        worker.setDumpPrefix(folder.path() + "/run_");
        std::vector<int> codes;
        std::mutex m;
        QObject::connect(&worker, &RWFlashTestThread::sendShowData, &worker,
                         [&](int code) {
                             std::lock_guard lock(m);
                             codes.push_back(code);
                         },
                         Qt::DirectConnection);
        worker.startWork();
        worker.wait();
        address = worker.differenceAddress();
        cyclesRun = worker.cycle();
        return codes;
    }
    FlashTestOptions ignoring(bool exposure)
    {
        FlashTestOptions o;
        o.selected = true;
        o.compareMode = CompareMode::IgnoreListed;
        if (exposure)
            o.ignore.push_back(kExposureBytes);
        return o;
    }
    std::atomic<int> slept{0};
    uint32_t address = 0;
    int cyclesRun = 0;
    tovrin::test::InTemporaryFolder folder;
};

TEST_F(FlashTest, CyclesOfAnUnchangedFrameEndAfterTheLimitThirtySecondsApart)
{
    EXPECT_EQ(run(3), (std::vector<int>{3, 3, 3, 0}));
    EXPECT_EQ(cyclesRun, 3);
    EXPECT_EQ(slept.load(), 1000 + 2 * 30000);  // through the injected clock
    for (int c = 0; c <= 3; ++c)
        for (const char* unit : {"Master", "Slave"})
            EXPECT_EQ(QFile(QStringLiteral("%1/run_%2_Flash_%3.bin").arg(folder.path()).arg(c).arg(unit)).size(), 0x20000);
}

TEST_F(FlashTest, EachCycleLevelsBothUnitsThenAlternatesTheWorkMode)
{
    WireRecord wire(*frame);
    run(2);
    const auto commands = wire.commands();
    std::vector<uint8_t> workModes;
    std::vector<int> leveling;
    for (const auto& c : commands) {
        if (c.number() == wire::SwitchMode && c.payload[0] != 0xFF)
            workModes.push_back(c.payload[0]);
        if (c.number() == 17 || c.number() == 36) {  // SearchLine: bounds 200..300 as two u16
            EXPECT_EQ(c.payload[0] | (c.payload[1] << 8), 200);
            EXPECT_EQ(c.payload[2] | (c.payload[3] << 8), 300);
        }
        for (int n : {17, 18, 19, 20, 42, 36, 37, 38, 39, 43})
            if (c.number() == n)
                leveling.push_back(n);
    }
    // Dump 0 ends in work mode; then each cycle: 0xEE after odd, 0x22 after even, and its dump's 0x22.
    EXPECT_EQ(workModes, (std::vector<uint8_t>{0x22, 0xEE, 0x22, 0x22, 0x22}));
    // SearchLine, SetLine, ReadLineRange, ReadZones, ReadExposure: Master, then Slave.
    const std::vector<int> cycle{17, 18, 19, 20, 42, 36, 37, 38, 39, 43};
    std::vector<int> two = cycle;
    two.insert(two.end(), cycle.begin(), cycle.end());
    EXPECT_EQ(leveling, two);
}

TEST_F(FlashTest, AWorkModeSwitchTheFrameRefusesFailsTheTest)
{
    // Dump 0 switches to 0xFF and back to 0x22; cycle 1 switches to 0xFF,
    // then to 0xEE: that one is refused, although the frame still answers
    // everything else.
    frame->answerNextWithStatus(0xFF, 1, wire::SwitchMode, 3);
    sim::addFlashDrift(*frame, sim::Unit::Master, 0x11003, 2);
    EXPECT_EQ(run(3), (std::vector<int>{3, 1, 0}));
    EXPECT_EQ(cyclesRun, 1);
}

TEST_F(FlashTest, AWorkModeSwitchRefusedWithoutCalibrationOrUnansweredFailsTheTest)
{
    // A frame without valid calibration records refuses work mode as its
    // normal state; the test cannot do its work on it all the same.
    frame->eraseSector(sim::Unit::Slave, 0x11000);
    frame->setWorkModeFault(sim::SimulatedFrame::WorkModeFault::Refuse);
    EXPECT_EQ(run(2), (std::vector<int>{1, 0}));
    frame->setWorkModeFault(sim::SimulatedFrame::WorkModeFault::Mute);
    EXPECT_EQ(run(2), (std::vector<int>{1, 0}));
    EXPECT_EQ(device::g_bDevExist.load(), 0);  // no reply: the frame counts as gone
}

TEST_F(FlashTest, TheSearchWindowFollowsTheMasterSensor)
{
    // Both cameras mounted so that the screen lies near sensor row 120: the
    // frame's sensors say so with bit 6 of register 0x12, and a search of
    // rows 200..300 would find nothing.
    sim::applySceneItems(*frame, "master.row=120,slave.row=130");
    WireRecord wire(*frame);
    // The frame keeps the start line its leveling found (among bytes 4-7 of
    // its record) at the first switch into work mode: the cameras were
    // moved after the factory.
    EXPECT_EQ(run(1, ignoring(true)), (std::vector<int>{3, 0}));
    int searches = 0;
    for (const auto& c : wire.commands()) {
        if (c.number() != 17 && c.number() != 36)
            continue;
        ++searches;
        EXPECT_EQ(c.payload[0] | (c.payload[1] << 8), 50);
        EXPECT_EQ(c.payload[2] | (c.payload[3] << 8), 200);
    }
    EXPECT_EQ(searches, 2);
}

TEST_F(FlashTest, OnlyTheReferenceTheLastCyclesAndFailedCyclesKeepTheirDumps)
{
    const auto kept = [this] {
        std::vector<int> cycles;
        for (int c = 0; c <= 12; ++c) {
            const bool master = QFile::exists(QStringLiteral("%1/run_%2_Flash_Master.bin").arg(folder.path()).arg(c));
            const bool slave = QFile::exists(QStringLiteral("%1/run_%2_Flash_Slave.bin").arg(folder.path()).arg(c));
            EXPECT_EQ(master, slave) << "cycle " << c;
            if (master)
                cycles.push_back(c);
        }
        return cycles;
    };
    run(7);
    EXPECT_EQ(kept(), (std::vector<int>{0, 5, 6, 7}));

    for (const QString& name : QDir(folder.path()).entryList(QDir::Files))
        QFile::remove(folder.path() + '/' + name);
    // Switch 1 ends dump 0; cycle c makes switches 2c and 2c + 1: the frame
    // changes its flash at the tenth, and cycle 5 finds it.
    sim::addFlashDrift(*frame, sim::Unit::Slave, 0x1F010, 10);
    EXPECT_EQ(run(12), (std::vector<int>{3, 3, 3, 3, 3, 5, 0}));
    EXPECT_EQ(kept(), (std::vector<int>{0, 2, 3, 4, 5}));
}

TEST_F(FlashTest, ASlaveChangeIsReportedAsSlave)
{
    sim::addFlashDrift(*frame, sim::Unit::Slave, 0x1F010, 2);
    EXPECT_EQ(run(5), (std::vector<int>{3, 5, 0}));
    EXPECT_EQ(address, 0x1F000u);
}

TEST_F(FlashTest, IgnoredExposureBytesDoNotStopTheTestOtherBytesDo)
{
    sim::addFlashDrift(*frame, sim::Unit::Master, 0x11005, 2);
    EXPECT_EQ(run(2, ignoring(true)), (std::vector<int>{3, 3, 0}));

    sim::addFlashDrift(*frame, sim::Unit::Master, 0x11003, 4);
    EXPECT_EQ(run(5, ignoring(true)), (std::vector<int>{3, 3, 4, 0}));
    EXPECT_EQ(address, 0x00011000u);
}

TEST_F(FlashTest, ALevelingStepThatFailsEndsTheTest)
{
    frame->setSearchLineResult(sim::Unit::Slave, 641);
    EXPECT_EQ(run(3), (std::vector<int>{3, 2, 0}));
    // The last line still counts (the frame's own answers pinned, as the
    // scene sees no screen border that far down). The frame keeps the line
    // it was set to in its record: the start line bytes are ignored.
    frame->setSearchLineResult(sim::Unit::Slave, 640);
    frame->setLineRange(sim::Unit::Slave, 34, 610);
    frame->setZones(sim::Unit::Slave, {6, 14, 22, 30, 38, 46, 54}, {3, 3, 3, 3, 3, 3, 3, 3});
    frame->setExposure(sim::Unit::Slave, 0x0650);
    EXPECT_EQ(run(1, ignoring(true)), (std::vector<int>{3, 0}));
    frame->answerNextWithStatus(0xFF, 1, 42);  // Master ReadExposure refused
    EXPECT_EQ(run(1), (std::vector<int>{3, 2, 0}));
}

TEST_F(FlashTest, ACalibrationModeRefusedTwiceIsAModeSwitchFailure)
{
    // Dump 0 switches twice; the next two requests (a try and its retry) are refused.
    frame->answerNextWithStatus(0xFF, 2, wire::SwitchMode, 2);
    EXPECT_EQ(run(2), (std::vector<int>{3, 1, 0}));
}

TEST_F(FlashTest, WithoutAReferenceDumpThereIsNothingToCompare)
{
    frame->answerNextWithStatus(0xFF, 1, wire::ReadFlashS);
    EXPECT_EQ(run(3), (std::vector<int>{6, 0}));
    EXPECT_EQ(cyclesRun, 0);
}

TEST_F(FlashTest, ADumpThatFailsLaterStartsTheNextCycleAtOnce)
{
    // The 70th Master flash read is in cycle 1's dump (dump 0 takes 68 per
    // 4 KB block, 32 blocks: 2176 reads).
    frame->answerNextWithStatus(0xFF, 1, wire::ReadFlashM, 2176 + 70);
    EXPECT_EQ(run(2), (std::vector<int>{3, 6, 3, 0}));
    EXPECT_EQ(slept.load(), 1000);  // no 30 s wait after the failed dump, none after the last cycle
}

TEST_F(FlashTest, AFrameUnpluggedDuringTheTestEndsItWithCodeZero)
{
    frame->vanishAtOutputReport(6000);
    const auto codes = run(5);
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.back(), 0);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 4) + std::count(codes.begin(), codes.end(), 5), 0);
    EXPECT_EQ(device::g_bDevExist.load(), 0);
}

TEST_F(FlashTest, AStopRequestEndsItWithoutACode)
{
    RWFlashTestThread worker;
    worker.setDumpPrefix(folder.path() + "/stop_");
    std::atomic<int> cycles{0};
    QObject::connect(&worker, &RWFlashTestThread::sendShowData, &worker,
                     [&](int code) {
                         if (code == 3 && ++cycles == 2)
                             worker.requestStop();
                     },
                     Qt::DirectConnection);
    worker.startWork();
    ASSERT_TRUE(worker.wait(QDeadlineTimer(60000)));
    EXPECT_EQ(worker.cycle(), 2);
}

} // namespace
