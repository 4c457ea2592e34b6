// A whole key calibration on the simulated frame (a finger touching every
// target by itself), then the key test lighting the key under the finger;
// the requests on the wire; a store that fails part-way; an unplug at every
// transaction of the store, and the host-side journal behind it giving the
// records back.
#include "KeyTestSupport.h"

#include "device/Command.h"
#include "records/RecordJournal.h"
#include "keys/core/KeyTestThread.h"
#include "sim/SimBytes.h"
#include "sim/Fingers.h"

#include <QDir>

#include <algorithm>
#include <array>
#include <optional>

using namespace tovrin;
using namespace tovrin::keys;
using namespace tovrin::keys::test;

namespace {

class KeyCalibrationRun : public CalibratedFrameTest {};

bool contains(const std::vector<int>& codes, int code)
{
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

// How far a stored key rectangle may lie from the printed key: the frame's
// ideal records map the simulated lenses to within a few pixels.
constexpr double kKeyPlacePx = 8.0;

TEST_F(KeyCalibrationRun, StoresTheKeysAndTheKeyTestLightsTheTouchedKey)
{
    const auto masterBefore = decoded(sim::Unit::Master);
    const auto codes = calibrate();
    ASSERT_TRUE(contains(codes, keycode::kStored));
    EXPECT_FALSE(contains(codes, keycode::kProcessFailed));
    EXPECT_EQ(state.pointIndex.load(), 0);
    EXPECT_EQ(state.progress.load(), 100);

    const records::CalInfo slave = decoded(sim::Unit::Slave);
    ASSERT_TRUE(slave.isValid());
    EXPECT_EQ(slave.leftKeyCount, 5);
    EXPECT_EQ(slave.rightKeyCount, 4);
    EXPECT_EQ(slave.bottomKeyCount, 2);
    EXPECT_EQ(slave.topKeyCount, 0);
    EXPECT_EQ(slave.keySolution, slave.solution);
    // Each rectangle is where the key is printed, within what the best
    // records can do with the frame's lenses beside the picture.
    const sim::KeyPanel& panel = frame->keyPanel();
    auto near = [](int a, double b) { return std::abs(a - b) <= kKeyPlacePx; };
    for (int k = 1; k <= 5; ++k) {
        const auto printed = *panel.printedKey(kEdgeLeft, k);
        const records::KeyRect& r = slave.LeftKeyPosition[static_cast<size_t>(k - 1)];
        EXPECT_TRUE(near(r.left, printed.left) && near(r.top, printed.top) && near(r.right, printed.right) &&
                    near(r.bottom, printed.bottom))
            << "left key " << k << ": (" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
    }
    EXPECT_EQ(slave.LeftKeyPosition[5], records::KeyRect{});  // beyond the count: zero
    const records::CalInfo master = decoded(sim::Unit::Master);
    ASSERT_TRUE(master.isValid());
    EXPECT_EQ(master.leftKeyCount, 0);  // the layout lives in the Slave record only
    EXPECT_LE(master.u10_PROJECT_START, masterBefore.u10_PROJECT_START);
    EXPECT_EQ(frame->readFlash(sim::Unit::Master, 0x19000, 8),
              (std::vector<uint8_t>{3, 0, 0x00, 0x1B, 0x00, 0x70, 0x00, 0xE0}));

    // Outside work mode no key is reported; the key test, in work mode,
    // with the finger on the keys.
    autoTouch(false);
    ASSERT_TRUE(touchKey(kEdgeLeft, 2));
    PressedKey key{9, 9};
    ASSERT_TRUE(readPressedKey(key));  // still in calibration mode
    EXPECT_EQ(key, PressedKey{});
    ASSERT_TRUE(device::SwitchModeChecked(device::mode::Work).ok);
    struct Touch {
        Edge edge;
        int number;
    };
    for (Touch t : {Touch{kEdgeLeft, 1}, Touch{kEdgeLeft, 4}, Touch{kEdgeRight, 2}, Touch{kEdgeRight, 4},
                    Touch{kEdgeBottom, 2}}) {
        ASSERT_TRUE(touchKey(t.edge, t.number));
        ASSERT_TRUE(readPressedKey(key));
        EXPECT_EQ(key, (PressedKey{t.edge, t.number})) << edgeName(t.edge) << ' ' << t.number;
    }
    frame->fingers().press(kWidth / 2.0, kHeight / 2.0);  // the picture is no key
    key = PressedKey{9, 9};
    ASSERT_TRUE(readPressedKey(key));
    EXPECT_EQ(key, PressedKey{});
    frame->fingers().lift();
    ASSERT_TRUE(readPressedKey(key));
    EXPECT_EQ(key, PressedKey{});
}

TEST_F(KeyCalibrationRun, OnAScreenSolvedOnAPlaneTheKeysLightToo)
{
    // A 3840-pixel screen is too wide for the records' camera places: its
    // calibration lies on a plane of half the screen, where the cameras
    // alone place a touch at half its screen point. The frame compares
    // those places with the key rectangles, so the rectangles lie on the
    // plane too, and the key test lights the touched key.
    frame->fingers().setScreen(3840, 2160);
    sim::writeIdealCalibration(*frame, frame->fingers().optics(0), 2);
    frame->keyPanel().printKeys(groupSizesByEdge(configuration));
    ASSERT_TRUE(tovrin::test::openInCalibrationMode());
    const auto codes = calibrate({}, 3840, 2160);
    ASSERT_TRUE(contains(codes, keycode::kStored));
    const records::CalInfo slave = decoded(sim::Unit::Slave);
    ASSERT_EQ(slave.rightKeyCount, 4);
    const auto printed = *frame->keyPanel().printedKey(kEdgeRight, 3);
    const records::KeyRect& r = slave.RightKeyPosition[2];
    EXPECT_NEAR(r.left * 2, printed.left, 2 * kKeyPlacePx);
    EXPECT_NEAR(r.bottom * 2, printed.bottom, 2 * kKeyPlacePx);

    autoTouch(false);
    ASSERT_TRUE(device::SwitchModeChecked(device::mode::Work).ok);
    PressedKey key{9, 9};
    for (auto [edge, number] : {std::pair{kEdgeLeft, 1}, std::pair{kEdgeLeft, 5}, std::pair{kEdgeRight, 3},
                                std::pair{kEdgeBottom, 2}}) {
        ASSERT_TRUE(touchKey(edge, number));
        ASSERT_TRUE(readPressedKey(key));
        EXPECT_EQ(key, (PressedKey{edge, number})) << edgeName(edge) << ' ' << number;
    }
}

TEST_F(KeyCalibrationRun, EachQueryCarriesItsTargetRecord)
{
    ASSERT_TRUE(contains(calibrate(), keycode::kStored));
    // ReadTouchPoints (command 30): payload 0 request byte, 1 point index,
    // 2-5 the target record, 6 release byte.
    std::vector<std::array<uint8_t, 6>> seen;  // index, record bytes, release
    for (const auto& r : wire->written()) {
        if (r[1] != 30)
            continue;
        EXPECT_EQ(r[2], 0);  // request byte
        const std::array<uint8_t, 6> q{r[3], r[4], r[5], r[6], r[7], r[8]};
        if (seen.empty() || seen.back()[0] != q[0] || !std::equal(q.begin() + 1, q.begin() + 5, seen.back().begin() + 1))
            seen.push_back(q);
    }
    // Targets in order: left group 1 (3 keys: four corners), left group 2
    // (2 keys: four), right (4 keys: four), bottom (2 keys: four).
    const std::vector<std::array<uint8_t, 5>> expected = {
        {0, 0x41, 1, 3, 0},  {1, 0x41, 1, 3, 1},  {2, 0x41, 1, 3, 2},  {3, 0x41, 1, 3, 3},
        {4, 0x41, 2, 2, 0},  {5, 0x41, 2, 2, 1},  {6, 0x41, 2, 2, 2},  {7, 0x41, 2, 2, 3},
        {8, 0x42, 1, 4, 0},  {9, 0x42, 1, 4, 1},  {10, 0x42, 1, 4, 2}, {11, 0x42, 1, 4, 3},
        {12, 0x43, 1, 2, 0}, {13, 0x43, 1, 2, 1}, {14, 0x43, 1, 2, 2}, {15, 0x43, 1, 2, 3}};
    ASSERT_EQ(seen.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(std::equal(expected[i].begin(), expected[i].end(), seen[i].begin())) << "target " << i;
}

// A finger that rests on each corner a little longer than the run needs:
// the run must wait for it to go instead of taking it for the next corner.
TEST_F(KeyCalibrationRun, ALingeringFingerIsNotTakenForTheNextCorner)
{
    autoTouch(false);
    const sim::KeyPanel& panel = frame->keyPanel();
    const sim::Fingers& fingers = frame->fingers();
    struct Finger {
        int target = -1;
        int linger = 0;
        int wait = 70;
        std::optional<std::pair<double, double>> at;
    };
    auto finger = std::make_shared<Finger>();
    std::vector<uint8_t> firstRelease;  // release byte of the first query for each new corner
    frame->setTouchSource([&, finger](const sim::TouchRequest& q) {
        if (q.pointIndex != finger->target) {
            if (finger->target >= 0)
                firstRelease.push_back(q.release);
            finger->target = q.pointIndex;
            finger->linger = finger->at ? 6 : 0;
            finger->wait = finger->target == 0 ? 70 : 3;
        }
        if (finger->linger > 0) {
            if (--finger->linger == 0)
                finger->at.reset();
        } else if (!finger->at && finger->wait-- <= 0) {
            const int edge = q.screenPosition & 0x3F, group = (q.screenPosition >> 8) & 0xFF;
            const int keys = (q.screenPosition >> 16) & 0xFF, corner = (q.screenPosition >> 24) & 0xFF;
            int first = 0;
            for (int g = 0; g < group - 1; ++g)
                first += configuration.edge(static_cast<Edge>(edge)).keys[static_cast<size_t>(g)];
            const auto key = panel.printedKey(edge, first + (corner < 2 ? 0 : keys - 1) + 1);
            if (key)
                finger->at = corner % 2 == 0 ? std::make_pair(key->left, key->top) : std::make_pair(key->right, key->bottom);
        }
        sim::TouchSpots spots;
        if (finger->at) {
            const auto l = fingers.exactPosition(sim::Side::Left, finger->at->first, finger->at->second);
            const auto r = fingers.exactPosition(sim::Side::Right, finger->at->first, finger->at->second);
            if (l) {
                spots.masterCount = 1;
                spots.master[0] = {static_cast<uint16_t>(std::lround(*l)), 12, 200};
            }
            if (r) {
                spots.slaveCount = 1;
                spots.slave[0] = {static_cast<uint16_t>(std::lround(*r)), 12, 200};
            }
        }
        return spots;
    });
    ASSERT_TRUE(contains(calibrate(), keycode::kStored));
    ASSERT_EQ(firstRelease.size(), 15u);
    for (uint8_t b : firstRelease)
        EXPECT_EQ(b, 255);  // the first query after a capture lets the finger go
    const records::CalInfo slave = decoded(sim::Unit::Slave);
    for (int k = 1; k <= 4; ++k) {
        const auto printed = *panel.printedKey(kEdgeRight, k);
        const records::KeyRect& r = slave.RightKeyPosition[static_cast<size_t>(k - 1)];
        EXPECT_NEAR(r.left, printed.left, kKeyPlacePx) << k;
        EXPECT_NEAR(r.bottom, printed.bottom, kKeyPlacePx) << k;
    }
}

// A store refused part-way (the frame still answers): the run fails and
// both units keep, or get back, their previous records; the next run stores.
struct RefusedWrite {
    const char* name;
    uint8_t command;
    std::array<uint8_t, 3> address;  // flash address bytes of the refused report
    bool masterKept;
};

class KeyStoreRefused : public CalibratedFrameTest, public ::testing::WithParamInterface<RefusedWrite> {};

TEST_P(KeyStoreRefused, PutsTheRecordsBack)
{
    const RefusedWrite& row = GetParam();
    const auto slaveBefore = record(sim::Unit::Slave);
    const auto masterBefore = record(sim::Unit::Master);
    auto refused = std::make_shared<bool>(false);
    wire->setBeforeWrite([this, refused, row](const tovrin::test::WireReport& r) {
        if (!*refused && r[1] == row.command && r[2] == row.address[0] && r[3] == row.address[1] &&
            r[4] == row.address[2]) {
            *refused = true;
            frame->answerNextWithStatus(0xFF, 1, row.command);
        }
    });
    const auto codes = calibrate();
    ASSERT_TRUE(*refused);
    EXPECT_FALSE(contains(codes, keycode::kStored));
    EXPECT_EQ(codes.back(), keycode::kProcessFailed);
    EXPECT_EQ(record(sim::Unit::Slave), slaveBefore);
    if (row.masterKept) {
        EXPECT_EQ(record(sim::Unit::Master), masterBefore);
    }

    wire->setBeforeWrite({});
    EXPECT_TRUE(contains(calibrate(), keycode::kStored));
    EXPECT_TRUE(decoded(sim::Unit::Master).isValid());
    EXPECT_EQ(decoded(sim::Unit::Slave).leftKeyCount, 5);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, KeyStoreRefused,
    ::testing::Values(RefusedWrite{"masterErase", 13, {0x00, 0x10, 0x01}, true},
                      RefusedWrite{"masterPieceWrite", 9, {0x80, 0x10, 0x01}, true},
                      RefusedWrite{"slavePieceWrite", 28, {0x40, 0x10, 0x01}, true},
                      RefusedWrite{"keyCodeBlock", 9, {0x00, 0x90, 0x01}, false}),
    [](const auto& row) { return std::string(row.param.name); });

// A Master without touch calibration is found before anything is written.
TEST_F(KeyCalibrationRun, AMasterWithoutTouchCalibrationStopsBeforeAnyWrite)
{
    frame->eraseSector(sim::Unit::Master, 0x11000);
    const auto slaveBefore = record(sim::Unit::Slave);
    const auto blockBefore = frame->readFlash(sim::Unit::Master, 0x19000, 8);
    const size_t erasesBefore = frame->commandsSeen(13);
    const auto codes = calibrate();
    EXPECT_EQ(codes.back(), keycode::kProcessFailed);
    EXPECT_EQ(record(sim::Unit::Slave), slaveBefore);
    EXPECT_EQ(frame->readFlash(sim::Unit::Master, 0x19000, 8), blockBefore);
    EXPECT_EQ(frame->commandsSeen(13), erasesBefore);
}

// Without Tovrin_Key.ini the frame keeps the key codes it holds.
TEST_F(KeyCalibrationRun, WithoutTheKeyCodeFileTheBlockStaysAsItIs)
{
    QFile::remove(QStringLiteral("Tovrin_Key.ini"));
    frame->setFlash(sim::Unit::Master, 0x19000, std::vector<uint8_t>{1, 0, 0x12, 0x34});
    ASSERT_TRUE(contains(calibrate(), keycode::kStored));
    EXPECT_EQ(frame->readFlash(sim::Unit::Master, 0x19000, 4), (std::vector<uint8_t>{1, 0, 0x12, 0x34}));
}

TEST_F(KeyCalibrationRun, WithoutTouchCalibrationNothingIsStored)
{
    // A Slave record that lost its calibration while the run captured.
    wire->setBeforeWrite([this](const tovrin::test::WireReport& r) {
        if (r[1] == 29 && r[2] == 0x00 && r[3] == 0x10 && r[4] == 0x01)  // its first read: the capture is over
            frame->eraseSector(sim::Unit::Slave, 0x11000);
    });
    const auto blockBefore = frame->readFlash(sim::Unit::Master, 0x19000, 8);
    const auto codes = calibrate();
    EXPECT_EQ(codes.back(), keycode::kProcessFailed);
    EXPECT_EQ(frame->flashByte(sim::Unit::Slave, 0x11000), 0xFF);
    EXPECT_EQ(frame->readFlash(sim::Unit::Master, 0x19000, 8), blockBefore);  // nothing written
}

TEST_F(KeyCalibrationRun, AFailedArmIsAnInitFailure)
{
    frame->answerNextWithStatus(0xFF, 1, 11);
    const auto codes = calibrate();
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.back(), keycode::kInitFailed);
    EXPECT_EQ(calib::g_CalDataInitSuc.load(), 0);
}

TEST_F(KeyCalibrationRun, AStopEndsTheRunWithoutAWrite)
{
    autoTouch(false);  // nobody touches: the run waits at the first target
    auto queries = std::make_shared<int>(0);
    wire->setBeforeWrite([this, queries](const tovrin::test::WireReport& r) {
        if (r[1] == 30 && ++*queries == 200)
            state.stop = true;
    });
    const auto slaveBefore = record(sim::Unit::Slave);
    const auto codes = calibrate();
    EXPECT_FALSE(contains(codes, keycode::kStored));
    EXPECT_FALSE(contains(codes, keycode::kProcessFailed));
    EXPECT_EQ(frame->commandsSeen(13) + frame->commandsSeen(32), 0u);
    EXPECT_EQ(record(sim::Unit::Slave), slaveBefore);
}

// A corner nobody touches (or that the cameras cannot both take) ends the
// run after the time limit, naming it; the clock is the test's own, so the
// minute passes in a few thousand queries.
TEST_F(KeyCalibrationRun, ACornerNeverTakenEndsTheRunAfterTheLimit)
{
    autoTouch(false);
    auto now = std::make_shared<std::chrono::steady_clock::time_point>();
    runClock = [now] {
        *now += std::chrono::milliseconds(20);
        return *now;
    };
    targetLimit = std::chrono::seconds(60);
    const auto slaveBefore = record(sim::Unit::Slave);
    const size_t queriesBefore = frame->commandsSeen(30);
    const auto codes = calibrate();
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.back(), keycode::kProcessFailed);
    ASSERT_TRUE(notTaken.has_value());
    EXPECT_EQ(*notTaken, 0);
    EXPECT_LT(frame->commandsSeen(30) - queriesBefore, 4000u);
    EXPECT_EQ(record(sim::Unit::Slave), slaveBefore);
    const KeyDepiction d = layOutKeys(configuration, kWidth, kHeight);
    EXPECT_EQ(describeTarget(d.targets[0], configuration), QStringLiteral("left key 1 (group 1), top-left corner"));
    EXPECT_EQ(describeTarget(d.targets[3], configuration), QStringLiteral("left key 3 (group 1), bottom-right corner"));
    EXPECT_EQ(describeTarget(d.targets[6], configuration), QStringLiteral("left key 5 (group 2), top-left corner"));

    // With the finger back, the same limit lets a whole run through.
    autoTouch(true);
    EXPECT_TRUE(contains(calibrate(), keycode::kStored));
    EXPECT_FALSE(notTaken.has_value());
}

// Pulled at every output report from the last capture on (and from the
// journal's reads before the store): nothing is said stored, and no record
// nor the key code block holds anything that was not once written whole;
// plugged in again, the journal gives the records back, and a clean rerun
// of the key calibration then stores its keys.
TEST_F(KeyCalibrationRun, UnplugAtEveryTransactionOfTheStoreThenTheJournalGivesTheRecordsBack)
{
    const auto oldSlave = record(sim::Unit::Slave), oldMaster = record(sim::Unit::Master);
    const auto oldBlock = frame->readFlash(sim::Unit::Master, 0x19000, 8);
    // Reports are counted from the start of the run (install() switched the
    // mode before it).
    const size_t before = wire->written().size();
    size_t captured = 0;
    const auto codes = calibrate([&](int code) {
        if (code == keycode::kProgress && captured == 0)
            captured = wire->written().size() - before;
    });
    ASSERT_TRUE(contains(codes, keycode::kStored));
    const std::vector<tovrin::test::WireReport> clean = wire->written();
    const size_t total = clean.size() - before;
    const auto newSlave = record(sim::Unit::Slave), newMaster = record(sim::Unit::Master);
    const auto newBlock = frame->readFlash(sim::Unit::Master, 0x19000, 8);
    ASSERT_GT(total, captured + 200);
    ASSERT_NE(newSlave, oldSlave);
    // The first erase of a calibration record (Slave 32, Master 13 at
    // 0x11000); the journal's own reads before it are part of the store too.
    size_t firstErase = before;
    while (firstErase < clean.size()
           && !((clean[firstErase][1] == 32 || clean[firstErase][1] == 13) && clean[firstErase][2] == 0x00
                && clean[firstErase][3] == 0x10 && clean[firstErase][4] == 0x01))
        ++firstErase;
    ASSERT_LT(firstErase, clean.size());
    const size_t from = std::min(captured + 1, firstErase - before > 60 ? firstErase - before - 60 : 1);

    auto valid = [](const std::vector<uint8_t>& r) { return sim::readU32le(r.data()) == 0x46574946; };
    int restores = 0;
    for (size_t n = from; n <= total; ++n) {
        SCOPED_TRACE(n);
        QDir(records::journalFolder()).removeRecursively();
        install();
        frame->vanishAtOutputReport(n);
        EXPECT_FALSE(contains(calibrate(), keycode::kStored)) << "stored although unplugged";
        EXPECT_FALSE(device::g_bDevExist.load());
        frame->clearFaults();
        frame->plug();
        const auto s = record(sim::Unit::Slave), m = record(sim::Unit::Master);
        const auto block = frame->readFlash(sim::Unit::Master, 0x19000, 8);
        EXPECT_TRUE(s == oldSlave || s == newSlave || !valid(s)) << "Slave valid but wrong";
        EXPECT_TRUE(m == oldMaster || m == newMaster || !valid(m)) << "Master valid but wrong";
        // The block's header goes last: erased, it reads as no codes.
        EXPECT_TRUE(block == oldBlock || block == newBlock || (block[0] == 0xFF && block[1] == 0xFF));

        // Found again after it was plugged in: the journal's records back.
        ASSERT_TRUE(tovrin::test::openInCalibrationMode());
        for (const records::JournalEntry& e : records::restorePlan(records::checkRecords())) {
            EXPECT_TRUE(records::restoreEntry(e));
            ++restores;
        }
        const auto rs = record(sim::Unit::Slave), rm = record(sim::Unit::Master);
        EXPECT_TRUE(valid(rs) && valid(rm));
        EXPECT_TRUE(rs == oldSlave || rs == newSlave);
        EXPECT_TRUE(rm == oldMaster || rm == newMaster);

        // A clean rerun stores the keys (after every tenth cut and the last:
        // each run is a whole key calibration, and what it starts from is
        // checked above for every cut).
        if (n % 10 == 0 || n == total) {
            EXPECT_TRUE(contains(calibrate(), keycode::kStored));
            EXPECT_EQ(record(sim::Unit::Slave), newSlave);
            EXPECT_EQ(record(sim::Unit::Master), newMaster);
        }
    }
    EXPECT_GT(restores, 0);
}

} // namespace
