// The link faults of the fault plan: silence, refusals, odd statuses,
// foreign reports, late replies, disappearance, latency and real timeouts.
// Tests set them as data, the way the frame's parts consult them.

#include "SimReports.h"

#include "sim/SimEnvironment.h"

#include <thread>

namespace tovrin::sim::test {
namespace {

using device::IoResult;

constexpr uint8_t kGetStatus = 48;
const Report kWriteMasterFlash = command(9, {0x00, 0x00, 0x00, 1, 0x00});

class SimFault : public SimFixture {};

TEST_F(SimFault, DroppedRepliesTimeOutAndTheNextCommandIsAnswered)
{
    frame->changeFaults([](FaultPlan& f) { f.link.dropNext = 2; });
    EXPECT_EQ(send(command(kGetStatus)).read, IoResult::TimedOut);
    const Answer silent = send(kWriteMasterFlash);
    EXPECT_EQ(silent.write, IoResult::Ok);
    EXPECT_EQ(silent.read, IoResult::TimedOut);
    EXPECT_EQ(frame->flashByte(Unit::Master, 0), 0xFF) << "a frame that did not answer did not act";
    done(command(kGetStatus));
}

TEST_F(SimFault, DroppedCommandNumberStaysSilentUntilCleared)
{
    frame->changeFaults([](FaultPlan& f) { f.link.dropCommands.set(kGetStatus); });
    EXPECT_EQ(send(command(kGetStatus)).read, IoResult::TimedOut);
    EXPECT_EQ(send(command(kGetStatus)).read, IoResult::TimedOut);
    done(command(19));
    frame->changeFaults([](FaultPlan& f) { f.link.dropCommands.reset(kGetStatus); });
    done(command(kGetStatus));
}

struct StatusCase {
    const char* name;
    uint8_t status;
};

void PrintTo(const StatusCase& row, std::ostream* os)
{
    *os << row.name;
}

class SimStatusFault : public SimFixture, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(SimStatusFault, ReplacedStatusAndCommandNotExecuted)
{
    FaultPlan plan;
    plan.link.answer = {GetParam().status, 1, 9, 0};
    frame->setFaults(plan);
    done(command(kGetStatus));  // another number is not affected
    const Answer a = send(kWriteMasterFlash);
    ASSERT_EQ(a.read, IoResult::Ok);
    EXPECT_EQ(a.reply[1], 9);
    EXPECT_EQ(a.reply[2], GetParam().status);
    EXPECT_EQ(frame->flashByte(Unit::Master, 0), 0xFF);
    done(kWriteMasterFlash);
    EXPECT_EQ(frame->flashByte(Unit::Master, 0), 0x00);
}

INSTANTIATE_TEST_SUITE_P(Statuses, SimStatusFault,
                         ::testing::Values(StatusCase{"Refused", 0xFF}, StatusCase{"NotDone", 0x21}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(SimFault, ForeignReportsComeBeforeTheReply)
{
    frame->changeFaults([](FaultPlan& f) { f.link.foreignBefore = 3; });
    ASSERT_EQ(link->write(command(0xC1, {0x00, 0x00, 255}).data(), 1000), IoResult::Ok);
    Report r{};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(link->read(r.data(), 1000), IoResult::Ok);
        EXPECT_NE(r[1], 1);
        EXPECT_EQ(r[2], 0x22);
    }
    ASSERT_EQ(link->read(r.data(), 1000), IoResult::Ok);
    EXPECT_EQ(r[1], 1) << "0xC1 is answered as number 1";
    EXPECT_EQ(r[2], 0x22);
    EXPECT_EQ(link->read(r.data(), 1000), IoResult::TimedOut);
}

TEST_F(SimFault, ALateReplyArrivesOnlyAfterTheHostGaveUp)
{
    ASSERT_EQ(applyFaultItems(*frame, "late-replies=1,real-timeouts"), "");
    const Answer first = send(kWriteMasterFlash, 20);
    EXPECT_EQ(first.read, IoResult::TimedOut);
    EXPECT_EQ(frame->flashByte(Unit::Master, 0), 0x00) << "the frame acted; only its answer was late";
    Report late{};
    ASSERT_EQ(link->read(late.data(), 0), IoResult::Ok) << "waiting for the next read";
    EXPECT_EQ(late[1], 9);
    EXPECT_EQ(late[2], 0x22);
    done(command(kGetStatus));  // later replies come in time
}

TEST_F(SimFault, ALateReplyAtTheGivenOutputReport)
{
    ASSERT_EQ(applyFaultItems(*frame, "late-at=2"), "");
    done(command(kGetStatus));
    EXPECT_EQ(send(kWriteMasterFlash).read, IoResult::TimedOut);
    Report late{};
    ASSERT_EQ(link->read(late.data(), 0), IoResult::Ok);
    EXPECT_EQ(late[1], 9);
    done(command(kGetStatus));
}

// A calibrated frame that will not go back to work: refused, or silent.
TEST_F(SimFault, AWorkModeSwitchRefusedOrUnanswered)
{
    markCalibrated(*frame, Unit::Master);
    markCalibrated(*frame, Unit::Slave);
    ASSERT_EQ(applyFaultItems(*frame, "refuse-work-mode"), "");
    EXPECT_EQ(statusOf(command(14, {0x22})), 0xFF);
    EXPECT_EQ(statusOf(command(14, {0xEE})), 0xFF);
    done(command(14, {0xFF}));
    EXPECT_EQ(frame->mode(), kModeCalibration);
    ASSERT_EQ(applyFaultItems(*frame, "mute-work-mode"), "");
    EXPECT_EQ(send(command(14, {0x22})).read, IoResult::TimedOut);
    EXPECT_EQ(frame->mode(), kModeCalibration);
    frame->clearFaults();
    done(command(14, {0x22}));
    EXPECT_EQ(frame->mode(), kModeWork);
}

TEST_F(SimFault, VanishesAtTheGivenOutputReport)
{
    frame->changeFaults([](FaultPlan& f) { f.link.vanishAtReportIn = 3; });
    done(command(kGetStatus));
    done(command(kGetStatus));
    expectHandleDead();
    expectNoFrame();
    frame->plug();
    ASSERT_TRUE(link->open(pid));
    done(command(kGetStatus));
}

TEST_F(SimFault, RealTimeoutWaitsAndReturnsWhenTheFrameIsUnplugged)
{
    frame->changeFaults([](FaultPlan& f) {
        f.link.realTimeouts = true;
        f.link.dropNext = 1;
    });
    EXPECT_EQ(send(command(kGetStatus), 20).read, IoResult::TimedOut);
    std::thread unplugger([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        frame->unplug();
    });
    Report r{};
    // Without the unplug this read would wait a minute.
    EXPECT_EQ(link->read(r.data(), 60000), IoResult::NotConnected);
    unplugger.join();
}

TEST_F(SimFault, LatencyKeepsTransactionsIntact)
{
    frame->changeFaults([](FaultPlan& f) { f.link.latency = std::chrono::microseconds(200); });
    for (int i = 0; i < 5; ++i)
        done(command(kGetStatus));
    EXPECT_EQ(frame->outputReports(), 5u);
    EXPECT_EQ(frame->inputReports(), 5u);
}

TEST_F(SimFault, CountedFaultsAreUsedUpAndTheRestOfThePlanStays)
{
    ASSERT_EQ(applyFaultItems(*frame, "refuse=2@9, drop-command=19, latency-us=0"), "");
    EXPECT_EQ(frame->faults().link.answer, (StatusFault{0xFF, 2, 9, 0}));
    EXPECT_EQ(statusOf(kWriteMasterFlash), 0xFF);
    EXPECT_EQ(frame->faults().link.answer.count, 1);
    EXPECT_EQ(statusOf(kWriteMasterFlash), 0xFF);
    done(kWriteMasterFlash);
    EXPECT_EQ(send(command(19)).read, IoResult::TimedOut) << "a dropped command stays dropped";
    frame->clearFaults();
    EXPECT_EQ(frame->faults(), FaultPlan{});
    EXPECT_EQ(applyFaultItems(*frame, "refuse=1@64"), "refuse=1@64");
}

TEST_F(SimFault, ModelPokedWhileAnotherThreadTalks)
{
    std::atomic<bool> stop{false};
    std::thread poker([&] {
        uint8_t v = 0;
        while (!stop.load()) {
            frame->setFpgaRegister(Unit::Slave, 0x100, v++);
            frame->setErrorWord(Unit::Master, v & 1 ? std::optional<uint32_t>(0x40) : std::nullopt);
        }
    });
    for (int i = 0; i < 2000; ++i) {
        const Report r = done(command(24, {0x00, 0x01, 1, 0}));
        (void)r;
    }
    stop = true;
    poker.join();
    EXPECT_EQ(frame->commandsSeen(24), 2000u);
}

} // namespace
} // namespace tovrin::sim::test
