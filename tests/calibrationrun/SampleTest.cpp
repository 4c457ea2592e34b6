// Sample saving in a calibration run (Tovrin_Debug/SaveSample): each
// captured point's line images land in the image-debug panel's SampleData
// folders, and a sample that cannot be read or written ends the run as a
// process failure with the records untouched.

#include "RunFixture.h"

#include "leveling/core/FrameBuffers.h"
#include "leveling/core/LevelingState.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QFile>

namespace tovrin::calib::test {
namespace {

constexpr int kLines = 9;  // an ordinary unit's frame
constexpr int kFrameBytes = 7040;

// A pixel no scene would make: line, column and unit in it.
uint8_t pixel(int unit, int line, int column) { return static_cast<uint8_t>(column * 3 + line * 29 + unit * 101); }

void writeText(const QString& path, const char* text)
{
    ASSERT_TRUE(tovrin::test::writeFile(path, text));
}

class SampleTest : public RunTest {
protected:
    void SetUp() override
    {
        RunTest::SetUp();
        // The frame shows fixed pictures, so that a sample can be checked
        // byte for byte.
        for (int u = 0; u < 2; ++u)
            for (int line = 0; line < kLines; ++line) {
                std::vector<uint8_t> row(640);
                for (int c = 0; c < 640; ++c)
                    row[static_cast<size_t>(c)] = pixel(u, line, c);
                frame->setLinePixels(u == 0 ? sim::Unit::Master : sim::Unit::Slave, line, row);
            }
        leveling::g_SampleCounter = 0;
        g_SaveSample = 1;
    }
    void TearDown() override
    {
        g_SaveSample = 0;
        leveling::g_SampleCounter = 0;
        RunTest::TearDown();
    }

    static QString sampleFile(int n, char unit)
    {
        const QString number = QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0'));
        return QStringLiteral("SampleData/") + number + QLatin1Char('/') + QLatin1Char(unit) + number +
               QStringLiteral(".bin");
    }

    static QByteArray expectedFrame(int unit)
    {
        QByteArray bytes(kFrameBytes, 0);
        for (int line = 0; line < kLines; ++line)
            for (int c = 0; c < 640; ++c)
                bytes[line * 640 + c] = static_cast<char>(pixel(unit, line, c));
        return bytes;
    }

    uint64_t lineRequests() const { return frame->commandsSeen(0) + frame->commandsSeen(1); }
};

TEST_F(SampleTest, EachPointsFramesAreSavedLikeThePanelsSamples)
{
    // An earlier set of samples is moved aside, not lost.
    ASSERT_TRUE(QDir().mkpath(QStringLiteral("SampleData/000")));
    writeText(QStringLiteral("SampleData/000/L000.bin"), "earlier");

    const RunReport r = run();
    ASSERT_EQ(r.outcome, RunOutcome::Stored) << r.reason;
    for (int n = 0; n < 16; ++n) {
        EXPECT_EQ(tovrin::test::readFile(sampleFile(n, 'L')), expectedFrame(0)) << "point " << n;
        EXPECT_EQ(tovrin::test::readFile(sampleFile(n, 'R')), expectedFrame(1)) << "point " << n;
    }
    EXPECT_FALSE(QFile::exists(sampleFile(16, 'L')));
    EXPECT_EQ(leveling::g_SampleCounter.load(), 16);
    const QStringList aside =
        QDir().entryList({QStringLiteral("SampleData-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(tovrin::test::readFile(aside.at(0) + QStringLiteral("/000/L000.bin")), QByteArray("earlier"));
    // Both units' frames, 95 plain chunks each, after every point; then the
    // last lines of the image windows (11 chunks each).
    EXPECT_EQ(lineRequests(), 16u * 2 * 95 + 2 * 11);
}

TEST_F(SampleTest, TheNumberingGoesOnFromThePanels)
{
    leveling::g_SampleCounter = 5;
    ASSERT_EQ(run(GridKind::Four).outcome, RunOutcome::Stored);
    EXPECT_FALSE(QFile::exists(sampleFile(4, 'L')));
    for (int n = 5; n < 9; ++n)
        EXPECT_EQ(tovrin::test::readFile(sampleFile(n, 'R')), expectedFrame(1)) << n;
    EXPECT_EQ(leveling::g_SampleCounter.load(), 9);
}

TEST_F(SampleTest, SwitchedOffNothingIsRead)
{
    g_SaveSample = 0;
    ASSERT_EQ(run().outcome, RunOutcome::Stored);
    EXPECT_FALSE(QDir(QStringLiteral("SampleData")).exists());
    EXPECT_EQ(lineRequests(), 2u * 11);
}

TEST_F(SampleTest, TheSwitchIsADebugSetting)
{
    writeText(QStringLiteral("Tovrin.ini"), "[Tovrin_Debug]\nSaveSample=1\n");
    g_SaveSample = 0;
    loadRunSettings();
    EXPECT_EQ(g_SaveSample.load(), 1);
    writeText(QStringLiteral("Tovrin.ini"), "[Tovrin_Debug]\nAdjustDebug=1\n");
    loadRunSettings();
    EXPECT_EQ(g_SaveSample.load(), 0);
}

// Every way a save fails ends the run at the first point: code 2 (or the
// lost frame's code 0), nothing stored, no further point asked for.
struct SaveFault {
    const char* name;
    std::function<void(SampleTest&, sim::SimulatedFrame&)> arrange;
    RunOutcome outcome;
};

class SaveFaults : public SampleTest, public ::testing::WithParamInterface<SaveFault> {};

TEST_P(SaveFaults, EndTheRunAtTheFirstPoint)
{
    GetParam().arrange(*this, *frame);
    const int counter = leveling::g_SampleCounter.load();
    const RunReport r = run();
    EXPECT_EQ(r.outcome, GetParam().outcome) << r.reason;
    EXPECT_EQ(codes.back(), GetParam().outcome == RunOutcome::DeviceLost ? code::PointReady : code::ProcessFailed);
    frame->plug();
    EXPECT_TRUE(recordsUnchanged());
    EXPECT_EQ(frame->lastTouchRequest().pointIndex, 0);  // point 1 was never asked for
    EXPECT_FALSE(QFile::exists(sampleFile(0, 'R')));
    EXPECT_EQ(leveling::g_SampleCounter.load(), counter);
    EXPECT_EQ(g_CalibrationProcessSuc.load(), GetParam().outcome == RunOutcome::Failed ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SaveFaults,
    ::testing::Values(
        SaveFault{"a_chunk_refused",
                  [](SampleTest&, sim::SimulatedFrame& f) { f.answerNextWithStatus(0xFF, 1, 1, 40); },
                  RunOutcome::Failed},
        SaveFault{"folder_not_writable",
                  [](SampleTest&, sim::SimulatedFrame&) {
                      // A file where the samples' folder should be, and a
                      // numbering that keeps it in place.
                      leveling::g_SampleCounter = 3;
                      writeText(QStringLiteral("SampleData"), "not a folder");
                  },
                  RunOutcome::Failed},
        SaveFault{"no_memory_for_the_frames", [](SampleTest&, sim::SimulatedFrame&) { leveling::FrameBuffers::failNextOpen(); },
                  RunOutcome::Failed},
        SaveFault{"unplugged_in_the_middle_of_a_frame",
                  [](SampleTest&, sim::SimulatedFrame& f) { f.vanishAtLineDataRequest(100); },
                  RunOutcome::DeviceLost}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace tovrin::calib::test
