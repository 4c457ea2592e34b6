// A frame pulled out at any output report of an update, as a technician's
// cable or a production line's power cut does it: the run counts as done
// only when the frame, back, holds what a clean run leaves in it; otherwise
// the frame either still starts its old firmware with its old data, or
// waits in its boot loader, and the next plain update finishes the job.

#include "UpdateTestSupport.h"
#include "maintenance/update/UpdateReadBack.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>

using namespace tovrin;
using namespace tovrin::update;
using namespace tovrin::update::test;

namespace {

// What an update may change, and whether the frame starts its application.
struct FrameState {
    std::vector<uint8_t> flash[2];     // 0x10000..0x1FFFF of Master, Slave
    std::vector<uint8_t> programs[4];  // firmware and second image of each unit
    bool bootLoader = false;
    bool operator==(const FrameState&) const = default;
};

FrameState stateOf(const sim::SimulatedFrame& f)
{
    FrameState s;
    int i = 0;
    for (sim::Unit unit : {sim::Unit::Master, sim::Unit::Slave}) {
        s.flash[i] = f.readFlash(unit, 0x10000, 0x10000);
        s.programs[2 * i] = f.bootProgram(unit, sim::kPortFirmware);
        s.programs[2 * i + 1] = f.bootProgram(unit, sim::kPortSecondImage);
        ++i;
    }
    s.bootLoader = f.inBootLoader();
    return s;
}

// Where two states differ, for the failure message ("" when they do not).
std::string difference(const FrameState& a, const FrameState& b)
{
    std::string out;
    for (int u = 0; u < 2; ++u) {
        const auto& x = a.flash[u];
        const auto& y = b.flash[u];
        for (size_t i = 0; i < std::min(x.size(), y.size()); ++i) {
            if (x[i] != y[i]) {
                char line[96];
                std::snprintf(line, sizeof line, "%s flash 0x%05zx: 0x%02x, not 0x%02x; ", u ? "Slave" : "Master",
                              0x10000 + i, x[i], y[i]);
                out += line;
                break;
            }
        }
    }
    for (int p = 0; p < 4; ++p)
        if (a.programs[p] != b.programs[p])
            out += "program " + std::to_string(p) + " differs; ";
    if (a.bootLoader != b.bootLoader)
        out += a.bootLoader ? "in its boot loader; " : "runs its application; ";
    return out;
}

// The frame's waits (the pause before the firmware, the detection's
// polling) count for nothing here, only the order of events does: main()
// cuts them short.
class UpdatePull : public FrameTest {
protected:
    // One run of tovrin-cli update: true when it would exit 0.
    static bool updateRun(const QString& path, bool prepared)
    {
        HeadlessUpdate u;
        const HeadlessOutcome r = u.run(path, prepared, kLimitMs);
        return r.outcome == Outcome::Updated && readBackUpdate(*u.flow().package()) == ReadBack::Matches;
    }
};

} // namespace

TEST_F(UpdatePull, AtEveryOutputReportTheNextPlainUpdateFinishes)
{
    const QString path = writeFile(dir, QStringLiteral("update.bin"), assemble(fullItems(130, 62, 300)));

    // The clean run: what it leaves, and how many reports it takes.
    ASSERT_EQ(freshFrame(), device::detection::kApplicationOpened);
    const FrameState factory = stateOf(*frame);
    const uint64_t before = frame->outputReports();
    ASSERT_TRUE(updateRun(path, false));
    const uint64_t reports = frame->outputReports() - before;
    const FrameState clean = stateOf(*frame);
    ASSERT_FALSE(clean.bootLoader);
    ASSERT_NE(clean.flash[0], factory.flash[0]);

    int finishedByTheNextRun = 0;
    for (uint64_t n = 1; n <= reports; ++n) {
        SCOPED_TRACE(n);
        ASSERT_EQ(freshFrame(), device::detection::kApplicationOpened);
        frame->vanishAtOutputReport(n);
        const bool done = updateRun(path, false);
        frame->clearFaults();
        frame->plug();
        const FrameState after = stateOf(*frame);
        if (done) {
            EXPECT_EQ(difference(after, clean), "") << "said done, but the frame holds something else";
            continue;
        }
        // Not done: a frame that starts an application starts the old one
        // with its old data, or the new one with everything in place.
        if (!after.bootLoader) {
            EXPECT_TRUE(after.flash[0] == factory.flash[0] || after == clean);
            EXPECT_TRUE(after.flash[1] == factory.flash[1] || after == clean);
        }
        const int found = detectFromStart();
        ASSERT_TRUE(found == device::detection::kApplicationOpened || found == device::detection::kBootLoaderOpened)
            << found;
        EXPECT_TRUE(updateRun(path, found == device::detection::kBootLoaderOpened)) << "the next plain update";
        EXPECT_EQ(difference(stateOf(*frame), clean), "");
        ++finishedByTheNextRun;
    }
    EXPECT_GT(finishedByTheNextRun, 0);
}
