// tovrin-cli calibrate pulled out at output reports of the job: exit 0 only
// when the frame holds exactly what a clean run leaves; otherwise each
// record (both calibration records, the Slave's screen record) is the old
// one, the new one or reads as invalid, and a clean run afterwards succeeds.
// Swept: from the last image lines before the save to the end (the save,
// its read-back, the grid of touches, the screen record, work mode) the
// first two and the last two reports of every step, and every 100th report
// of the capture before it.
#include "PullChecks.h"

#include <algorithm>
#include <cstdio>

using namespace tovrin::test;

namespace {

constexpr int kCalibrationRecord = 0x11000;
constexpr int kScreenRecord = 0x18000;
constexpr int kSector = 0x1000;

struct PullRow {
    const char* name;
    const char* points;
    const char* screen;  // nullptr: the tool's default screen
};

class CalibratePull : public PullSweep, public ::testing::WithParamInterface<PullRow> {};

TEST_P(CalibratePull, EveryPullLeavesOldNewOrInvalidRecordsAndExitsZeroOnlyWhenDone)
{
    QStringList job{"calibrate", "--points", QString::fromLatin1(GetParam().points), "--grid", "3x2"};
    if (GetParam().screen)
        job << "--screen" << QString::fromLatin1(GetParam().screen);
    ASSERT_EQ(cli({"status"}).exitCode, 0);  // the factory frame, saved
    const QByteArray before = flash();
    QByteArray after;
    const auto commands = traceCleanRun(job, before, after);
    ASSERT_GT(commands.size(), 100u);
    const int last = static_cast<int>(commands.size());

    // The capture is a run of touch queries (30); the first other request
    // after it begins the end of the job (the image windows' last lines,
    // then the save).
    int firstTouch = 0, tail = 0;
    for (const TracedCommand& c : commands) {
        if (c.number == 30 && firstTouch == 0)
            firstTouch = c.index;
        if (firstTouch > 0 && c.number != 30 && tail == 0)
            tail = c.index;
    }
    ASSERT_GT(tail, 0);
    // From there on every step's first two reports and its last two (a
    // step: the same request over and over, the two halves of a line
    // request counting as one), then one beyond the end; before it every
    // 100th report of the capture.
    std::set<int> at;
    const auto step = [](int number) { return number <= 1 ? 0 : number; };
    for (size_t k = 0; k < commands.size(); ++k) {
        const TracedCommand& c = commands[k];
        if (c.index < tail - 2)
            continue;
        const bool starts = k == 0 || step(commands[k - 1].number) != step(c.number);
        const bool ends = k + 1 == commands.size() || step(commands[k + 1].number) != step(c.number);
        if (starts)
            addRange(at, c.index, c.index + 1);
        if (ends)
            addRange(at, c.index - 1, c.index);
    }
    at.insert(last + 1);
    for (int n = 1; n < tail; n += 100)
        at.insert(n);
    ASSERT_GT(at.size(), 30u);
    std::printf("%d reports, %zu pulls\n", last, at.size());

    // Both calibration records and the screen records, each old, new or
    // erased (a record that reads valid is never a mix); nothing else changed.
    const auto erased = [](const QByteArray& record) { return record.left(4) == QByteArray(4, '\xff'); };
    const std::vector<RecordArea> areas = {{"calibration record", kCalibrationRecord, kSector, erased},
                                           {"screen record", kScreenRecord, kSector, erased}};
    SweepChecks checks;
    checks.struck = [&](const QByteArray& left, const CliRun& pulled) {
        EXPECT_FALSE(pulled.out.contains("Calibrate completed!"));
        expectOldNewOrInvalid(before, after, left, areas);
    };
    // A clean run afterwards succeeds; from records that are old or new it
    // leaves exactly what a clean run leaves. (A record the pull left erased
    // has lost its leveling part, which a calibration keeps as read: that
    // frame is leveled again.)
    checks.again = [&](const QByteArray& left, const CliRun& again) {
        EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
        const QByteArray done = flash();
        for (bool slave : {false, true})
            EXPECT_TRUE(area(done, slave, kCalibrationRecord, 4) == QByteArray("FIWF"));
        const bool invalidLeft = std::any_of(areas.begin(), areas.end(), [&](const RecordArea& a) {
            return a.invalid(area(left, false, a.offset, kSector)) || a.invalid(area(left, true, a.offset, kSector));
        });
        if (!invalidLeft) {
            EXPECT_EQ(done, after);
        }
    };
    sweep(job, before, after, last, at, checks);
}

// A 3840-pixel screen is solved on a plane of half its size: the same save,
// other values.
INSTANTIATE_TEST_SUITE_P(Points, CalibratePull,
                         ::testing::Values(PullRow{"points16", "16", nullptr}, PullRow{"points4", "4", nullptr},
                                           PullRow{"points16at3840", "16", "3840x2160"}),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
