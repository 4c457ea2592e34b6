// Whole firmware updates on the simulated frame, through the same flow the
// engineering window and tovrin-cli drive: the bytes on the wire against the
// command table, the new versions read back, the calibration erase of old
// images, and every way an update can be cut short leaving a frame that a
// second update brings back.

#include "UpdateTestSupport.h"
#include "maintenance/update/HInfo.h"
#include "maintenance/update/Versions.h"
#include "records/CalibrationRecord.h"
#include "shell/Settings.h"
#include "sim/BootLoader.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <unistd.h>

using namespace tovrin;
using namespace tovrin::update;
using namespace tovrin::update::test;

namespace {

uint32_t flashWord(const sim::SimulatedFrame& f, sim::Unit u, uint32_t offset)
{
    const auto b = f.readFlash(u, offset, 4);
    return static_cast<uint32_t>(b[0]) | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

// Flash address bytes 0-2 of a flash-space payload.
uint32_t flashAt(const Report& r)
{
    return static_cast<uint32_t>(r[2]) | (r[3] << 8) | (r[4] << 16);
}

bool startsWith(const std::vector<uint8_t>& whole, const std::vector<uint8_t>& part)
{
    return whole.size() >= part.size() && std::equal(part.begin(), part.end(), whole.begin());
}

class UpdateOnFrame : public FrameTest {
protected:
    QString writePackage(const PackageItems& items, const QString& name = QStringLiteral("update.bin"))
    {
        return writeFile(dir, name, assemble(items));
    }
};

} // namespace

// The package path (Chinese characters and a blank) is opened as it is.
TEST_F(UpdateOnFrame, WholeUpdateBringsTheNewVersions)
{
    const PackageItems items = fullItems(4000, 300, 300);
    const QString path = writePackage(items, QStringLiteral("固件 升级.bin"));
    HeadlessUpdate u;
    std::vector<int> progress;
    std::vector<int> statuses;
    u.onProgress = [&](int p) { progress.push_back(p); };
    u.onStatus = [&](int id) { statuses.push_back(id); };
    const HeadlessOutcome r = u.run(path, false, kLimitMs);

    ASSERT_EQ(r.outcome, Outcome::Updated) << r.messageId;
    EXPECT_EQ(r.detectionCode, device::detection::kApplicationOpened);
    EXPECT_FALSE(frame->inBootLoader());
    EXPECT_EQ(frame->productId(), 0x0055);
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 99);
    EXPECT_EQ(statuses.front(), 22);  // preparing
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), 39), statuses.end());

    // Read back through the link, as the version display does.
    const VersionReport v = readVersionReport(false);
    ASSERT_TRUE(v.ok);
    EXPECT_EQ(v.image[0], 0x01020007u);
    EXPECT_EQ(v.image[1], 0x01020008u);
    // The second image rewrites the image information sector; the boot
    // loader version in it is not the update's to change.
    EXPECT_EQ(v.bootLoader[0], 0x01000007u);
    EXPECT_EQ(v.bootLoader[1], 0x01000007u);
    for (sim::Unit unit : {sim::Unit::Master, sim::Unit::Slave}) {
        const auto hinfo = frame->readFlash(unit, 0x10000, 38);
        EXPECT_EQ(decodeHInfo(std::span<const uint8_t, 38>(hinfo.data(), 38)), decodeHInfo(encodeHInfo(0x01020006)));
        EXPECT_TRUE(startsWith(frame->bootProgram(unit, sim::kPortFirmware), items.firmware->data));
        EXPECT_TRUE(frame->calibrationRecordValid(unit)) << "1.2.5 keeps its calibration";
    }
    EXPECT_TRUE(startsWith(frame->bootProgram(sim::Unit::Master, sim::kPortSecondImage), items.secondMaster->data));
    EXPECT_TRUE(startsWith(frame->bootProgram(sim::Unit::Slave, sim::kPortSecondImage), items.secondSlave->data));
    EXPECT_EQ(frame->readFlash(sim::Unit::Master, 0x16000, 300), items.flashD->data);
    EXPECT_EQ(frame->readFlash(sim::Unit::Master, 0x17000, 300), items.flashE->data);
    EXPECT_EQ(frame->readFlash(sim::Unit::Slave, 0x17000, 300), items.flashF->data);
    EXPECT_EQ(shell::readText(QStringLiteral("ImagePath/imagePath"), QStringLiteral("0")), path);
    EXPECT_FALSE(QFile::exists(QStringLiteral("D:/固件 升级.bin")));
}

TEST_F(UpdateOnFrame, WireFollowsTheCommandTable)
{
    const PackageItems items = fullItems(130, 300, 100);
    HeadlessUpdate u;
    ASSERT_EQ(u.run(writePackage(items), false, kLimitMs).outcome, Outcome::Updated);
    const std::vector<Report> wire = tap->written();

    // Reboot (56) into the boot loader, then into the application.
    const auto reboots = withCode(wire, 56);
    ASSERT_EQ(reboots.size(), 2u);
    EXPECT_EQ(reboots[0][2], 0x42);
    EXPECT_EQ(reboots[1][2], 0x55);

    // Every download report in order: firmware Master 47, Slave 31; second
    // image Master 46, Slave 52; 0x80 on the first packet, 0x40 on the last.
    std::vector<uint8_t> codes;
    std::vector<uint8_t> masterFirmware;
    for (const Report& r : wire) {
        const uint8_t n = r[1] & 0x3F;
        if (n == 47 || n == 31 || n == 46 || n == 52) {
            codes.push_back(r[1]);
            if (n == 47)
                masterFirmware.insert(masterFirmware.end(), r.begin() + 2, r.end());
        }
    }
    const std::vector<uint8_t> expected = {0x80 | 47, 47, 0x40 | 47, 0x80 | 31, 31, 0x40 | 31,
                                           0x80 | 46, 46, 46, 46, 0x40 | 46, 0x80 | 52, 52, 52, 52, 0x40 | 52};
    EXPECT_EQ(codes, expected);
    // The packets carry the image bytes, the last one padded with zeros.
    ASSERT_EQ(masterFirmware.size(), 3u * 62);
    EXPECT_TRUE(std::equal(items.firmware->data.begin(), items.firmware->data.end(), masterFirmware.begin()));
    EXPECT_TRUE(std::all_of(masterFirmware.begin() + 130, masterFirmware.end(), [](uint8_t b) { return b == 0; }));

    // Master: HInfo area read (10) and erased (13) before the first packet;
    // after the last one the 34-byte body at 0x10004 (9); the magic at
    // 0x10000 only once everything else is in flash: Master's, then Slave's
    // (28), are the last flash writes before the restart into the application.
    size_t firstPacket = 0;
    while ((wire[firstPacket][1] & 0x3F) != 47)
        ++firstPacket;
    size_t erase = firstPacket;
    while (erase > 0 && wire[erase][1] != 13)
        --erase;
    EXPECT_EQ(flashAt(wire[erase]), 0x10000u);
    std::vector<Report> hinfoWrites;
    for (size_t i = firstPacket; i < wire.size() && hinfoWrites.empty(); ++i)
        if (wire[i][1] == 9)
            hinfoWrites.push_back(wire[i]);
    std::vector<Report> flashWrites;
    for (const Report& r : wire)
        if (r[1] == 9 || r[1] == 28)
            flashWrites.push_back(r);
    ASSERT_GE(flashWrites.size(), 2u);
    hinfoWrites.push_back(flashWrites[flashWrites.size() - 2]);
    const Report slaveMagic = flashWrites.back();
    EXPECT_EQ(slaveMagic[1], 28);
    EXPECT_EQ(flashAt(slaveMagic), 0x10000u);
    EXPECT_EQ(std::string(slaveMagic.begin() + 6, slaveMagic.begin() + 10), "AGPF");
    ASSERT_EQ(hinfoWrites.size(), 2u);
    EXPECT_EQ(flashAt(hinfoWrites[0]), 0x10004u);
    EXPECT_EQ(hinfoWrites[0][5], 34);
    EXPECT_EQ(hinfoWrites[0][6], 0x01);  // HInfo byte 4
    EXPECT_EQ(flashAt(hinfoWrites[1]), 0x10000u);
    EXPECT_EQ(hinfoWrites[1][5], 4);
    EXPECT_EQ(std::string(hinfoWrites[1].begin() + 6, hinfoWrites[1].begin() + 10), "AGPF");

    // Flash data D at Master 0x16000 in chunks of 58 and 42.
    std::vector<std::pair<uint32_t, uint8_t>> dWrites;
    for (const Report& r : withCode(wire, 9))
        if (flashAt(r) >= 0x16000 && flashAt(r) < 0x17000)
            dWrites.emplace_back(flashAt(r), r[5]);
    EXPECT_EQ(dWrites, (std::vector<std::pair<uint32_t, uint8_t>>{{0x16000, 58}, {0x1603A, 42}}));
}

namespace {

struct VersionRow {
    const char* name;
    uint32_t masterImage;
    uint32_t slaveImage;
    bool erased;
};

class CalibrationErase : public UpdateOnFrame, public ::testing::WithParamInterface<VersionRow> {
    void prepare(sim::SimulatedFrame& f) override
    {
        for (auto [unit, word] : {std::pair{sim::Unit::Master, GetParam().masterImage},
                                  std::pair{sim::Unit::Slave, GetParam().slaveImage}}) {
            const uint8_t b[4] = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8),
                                  static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 24)};
            f.eraseSector(unit, 0x13000);
            f.programFlash(unit, 0x13000, b);
        }
    }
};

} // namespace

TEST_P(CalibrationErase, OlderThan120LosesItsCalibrationSectors)
{
    PackageItems items;
    items.firmware = item(100, 7);
    HeadlessUpdate u;
    ASSERT_EQ(u.run(writePackage(items), false, kLimitMs).outcome, Outcome::Updated);
    const std::vector<Report> wire = tap->written();
    std::vector<std::pair<uint8_t, uint32_t>> calibrationErases;
    for (const Report& r : wire)
        if ((r[1] == 13 || r[1] == 32) && flashAt(r) == 0x11000)
            calibrationErases.emplace_back(r[1], flashAt(r));
    if (GetParam().erased) {
        // Slave (32) first, then Master (13).
        EXPECT_EQ(calibrationErases, (std::vector<std::pair<uint8_t, uint32_t>>{{32, 0x11000}, {13, 0x11000}}));
        EXPECT_FALSE(frame->calibrationRecordValid(sim::Unit::Master));
        EXPECT_FALSE(frame->calibrationRecordValid(sim::Unit::Slave));
    } else {
        EXPECT_TRUE(calibrationErases.empty());
        EXPECT_TRUE(frame->calibrationRecordValid(sim::Unit::Master));
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, CalibrationErase,
                         ::testing::Values(VersionRow{"both120", 0x01020000, 0x01020000, false},
                                           VersionRow{"masterOld", 0x01010064, 0x01020005, true},
                                           VersionRow{"slaveOld", 0x01020005, 0x0101007F, true},
                                           VersionRow{"erasedWords", 0xFFFFFFFF, 0xFFFFFFFF, false}),
                         [](const ::testing::TestParamInfo<VersionRow>& row) { return std::string(row.param.name); });

TEST_F(UpdateOnFrame, BootLoaderVersionSurvivesTheSecondImages)
{
    // A boot loader 1.1.9 on both units, image 1.2.5.
    for (sim::Unit unit : {sim::Unit::Master, sim::Unit::Slave}) {
        frame->eraseSector(unit, 0x13000);
        frame->programFlash(unit, 0x13000, std::array<uint8_t, 8>{0x05, 0x00, 0x02, 0x01, 0x09, 0x00, 0x01, 0x01});
    }
    PackageItems items;
    items.secondMaster = item(100, 2, 0x01020007);
    items.secondSlave = item(100, 3, 0x01020008);
    HeadlessUpdate u;
    ASSERT_EQ(u.run(writePackage(items), false, kLimitMs).outcome, Outcome::Updated);
    EXPECT_EQ(flashWord(*frame, sim::Unit::Master, 0x13000), 0x01020007u);
    EXPECT_EQ(flashWord(*frame, sim::Unit::Slave, 0x13000), 0x01020008u);
    EXPECT_EQ(flashWord(*frame, sim::Unit::Master, 0x13004), 0x01010009u);
    EXPECT_EQ(flashWord(*frame, sim::Unit::Slave, 0x13004), 0x01010009u);
    const VersionReport v = readVersionReport(false);
    ASSERT_TRUE(v.ok);
    EXPECT_EQ(v.bootLoader[0], 0x01010009u);
    EXPECT_EQ(v.bootLoader[1], 0x01010009u);
}

TEST_F(UpdateOnFrame, FlashDataLongerThanASectorErasesEverySectorItTouches)
{
    PackageItems items;
    items.flashD = item(5000, 11);
    HeadlessUpdate u;
    ASSERT_EQ(u.run(writePackage(items), false, kLimitMs).outcome, Outcome::Updated);
    std::vector<uint32_t> erased;
    for (const Report& r : withCode(tap->written(), 13))
        erased.push_back(flashAt(r));
    EXPECT_EQ(erased, (std::vector<uint32_t>{0x16000, 0x17000}));
    EXPECT_EQ(frame->readFlash(sim::Unit::Master, 0x16000, 5000), items.flashD->data);
    EXPECT_EQ(flashWord(*frame, sim::Unit::Master, 0x18000), 0x41434946u) << "the screen record stays";
}

// ---- Cut short --------------------------------------------------------------

namespace {

enum class Cut { Unplug, Refusal };

class CutShort : public UpdateOnFrame, public ::testing::WithParamInterface<Cut> {};

} // namespace

TEST_P(CutShort, AtEveryPacketThenASecondUpdateFromTheBootLoader)
{
    // 3 + 3 firmware packets, 1 + 1 second-image packets.
    const PackageItems items = fullItems(130, 62, 100);
    const QString path = writePackage(items);
    constexpr int kPackets = 8;
    for (int k = 1; k <= kPackets; ++k) {
        SCOPED_TRACE(k);
        ASSERT_EQ(freshFrame(), device::detection::kApplicationOpened);  // for each cut

        HeadlessUpdate first;
        int downloadsSeen = 0;
        first.onWaitForFrame = [&](uint8_t state) {
            // The frame is in its boot loader now: arm the fault at packet k.
            if (state == device::kStateWaitBootLoader) {
                if (GetParam() == Cut::Unplug)
                    frame->unplugAtDownloadBlock(static_cast<uint64_t>(k));
                else
                    frame->refuseDownloadBlock(static_cast<uint64_t>(k));
            }
        };
        const HeadlessOutcome cut = first.run(path, false, kLimitMs);
        for (const Report& r : tap->written()) {
            const uint8_t n = r[1] & 0x3F;
            downloadsSeen += n == 47 || n == 31 || n == 46 || n == 52;
        }
        EXPECT_EQ(downloadsSeen, k) << "nothing is sent after the packet that failed";
        if (GetParam() == Cut::Unplug) {
            EXPECT_EQ(cut.outcome, Outcome::FrameLost);
            EXPECT_EQ(cut.messageId, 17);
            EXPECT_FALSE(first.flow().prepared());
            // Plugged in again, the frame stays in its boot loader and the
            // tool finds it there.
            frame->plug();
            EXPECT_TRUE(frame->inBootLoader());
            ASSERT_EQ(detectFromStart(), device::detection::kBootLoaderOpened);
        } else {
            EXPECT_EQ(cut.outcome, Outcome::Failed);
            EXPECT_EQ(cut.messageId, 36);
            EXPECT_TRUE(first.flow().prepared());
            EXPECT_TRUE(frame->inBootLoader());
            EXPECT_FALSE(frame->applicationBootable());
        }
        // The HInfo of a unit cut during its firmware is never valid-looking.
        for (sim::Unit unit : {sim::Unit::Master, sim::Unit::Slave}) {
            const bool cutInFirmware = (unit == sim::Unit::Master && k <= 3) || (unit == sim::Unit::Slave && k > 3 && k <= 6);
            if (cutInFirmware) {
                EXPECT_NE(flashWord(*frame, unit, 0x10000), sim::BootLoader::kHInfoMagic);
            }
        }

        HeadlessUpdate second;
        const HeadlessOutcome again = second.run(path, true, kLimitMs);
        EXPECT_EQ(again.outcome, Outcome::Updated) << again.messageId;
        EXPECT_FALSE(frame->inBootLoader());
        EXPECT_EQ(flashWord(*frame, sim::Unit::Slave, 0x13000), 0x01020008u);
        EXPECT_EQ(flashWord(*frame, sim::Unit::Master, 0x10000), sim::BootLoader::kHInfoMagic);
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, CutShort, ::testing::Values(Cut::Unplug, Cut::Refusal),
                         [](const ::testing::TestParamInfo<Cut>& row) {
                             return std::string(row.param == Cut::Unplug ? "unplug" : "refusal");
                         });

TEST_F(UpdateOnFrame, PackageThatShrinksOrVanishesEndsTheUpdate)
{
    const PackageItems items = fullItems(130, 62, 100);
    for (const bool vanish : {false, true}) {
        SCOPED_TRACE(vanish ? "vanishes" : "shrinks");
        const QString path = writePackage(items);
        HeadlessUpdate u;
        size_t reportsAtChange = 0;
        // After A1 (progress 16), in the worker thread, before A2 reads its bytes.
        QObject::connect(&u.flow().thread(), &CFirmwareUpdateThread::sendData, &u.flow().thread(),
                         [&](int code) {
                             if (code != 0 || u.flow().thread().progress() != 16)
                                 return;
                             if (vanish)
                                 QFile::remove(path);
                             else
                                 QFile::resize(path, 100);
                             reportsAtChange = tap->written().size();
                         },
                         Qt::DirectConnection);
        const bool prepared = vanish;  // the first round leaves the frame in its boot loader
        const HeadlessOutcome r = u.run(path, prepared, kLimitMs);
        EXPECT_EQ(r.outcome, Outcome::Failed);
        EXPECT_EQ(r.messageId, 36);
        ASSERT_GT(reportsAtChange, 0u);
        EXPECT_EQ(tap->written().size(), reportsAtChange) << "nothing goes to the frame once the file changed";
        EXPECT_TRUE(frame->inBootLoader());
    }
}

TEST_F(UpdateOnFrame, BadPackagesNeverReachTheFrame)
{
    PackageItems flagsOfTwo = fullItems();
    for (int e = 0; e < 6; ++e)
        flagsOfTwo.flagOverrides.emplace_back(e, 2);
    PackageItems flagsZero = fullItems();
    for (int e = 0; e < 6; ++e)
        flagsZero.flagOverrides.emplace_back(e, 0);
    std::vector<uint8_t> truncated = assemble(fullItems());
    truncated.resize(200);
    QDir(dir.path()).mkdir(QStringLiteral("folder.bin"));

    const std::vector<std::pair<QString, int>> rows = {
        {dir.filePath(QStringLiteral("missing.bin")), 38},
        {dir.filePath(QStringLiteral("folder.bin")), 38},
        {writeFile(dir, QStringLiteral("short.bin"), std::vector<uint8_t>(50, 1)), 34},
        {writeFile(dir, QStringLiteral("truncated.bin"), truncated), 34},
        {writeFile(dir, QStringLiteral("zero.bin"), assemble(flagsZero)), 34},
        {writeFile(dir, QStringLiteral("two.bin"), assemble(flagsOfTwo)), 35},
    };
    for (const auto& [path, message] : rows) {
        SCOPED_TRACE(path.toStdString());
        tap->clear();
        HeadlessUpdate u;
        const HeadlessOutcome r = u.run(path, false, kLimitMs);
        EXPECT_EQ(r.outcome, Outcome::Refused);
        EXPECT_EQ(r.messageId, message);
        EXPECT_TRUE(tap->written().empty());
    }
    if (geteuid() != 0) {
        const QString locked = writeFile(dir, QStringLiteral("locked.bin"), assemble(fullItems()));
        QFile::setPermissions(locked, QFileDevice::Permissions());
        HeadlessUpdate u;
        EXPECT_EQ(u.run(locked, false, kLimitMs).messageId, 38);
    }
}

// A boot loader that never comes back, or never answers, is reported as gone;
// the mute one leaves a frame that a power cycle brings back, updatable.
TEST_F(UpdateOnFrame, BootLoaderThatNeverComesBackOrNeverAnswersIsGone)
{
    const QString path = writePackage(fullItems());
    for (const bool mute : {false, true}) {
        SCOPED_TRACE(mute ? "never answers" : "never comes back");
        ASSERT_EQ(freshFrame(), device::detection::kApplicationOpened);
        frame->setBootLoaderNeverReturns(!mute);
        frame->setBootLoaderMute(mute);
        HeadlessUpdate u;
        const HeadlessOutcome r = u.run(path, false, kLimitMs);
        EXPECT_EQ(r.outcome, Outcome::FrameLost);
        EXPECT_EQ(r.messageId, 17);
        EXPECT_EQ(device::UpdateExpected.load(), 0);
    }
    EXPECT_TRUE(withCode(tap->written(), 0x80 | 47).empty()) << "no image went out";
    // Nothing was erased: after a power cycle the old firmware runs and can be updated.
    frame->setBootLoaderMute(false);
    frame->unplug();
    frame->plug();
    EXPECT_FALSE(frame->inBootLoader());
    EXPECT_TRUE(frame->calibrationRecordValid(sim::Unit::Master));
    ASSERT_EQ(detectFromStart(), device::detection::kApplicationOpened);
    HeadlessUpdate again;
    EXPECT_EQ(again.run(path, false, kLimitMs).outcome, Outcome::Updated);
}

TEST_F(UpdateOnFrame, NewApplicationThatDoesNotStartLeavesAnUpdatableFrame)
{
    frame->changeFaults([](sim::FaultPlan& f) { f.bootLoader.newApplicationDead = true; });
    const QString path = writePackage(fullItems());
    HeadlessUpdate u;
    std::vector<int> codes;
    u.onDetection = [&](int code) { codes.push_back(code); };
    const HeadlessOutcome r = u.run(path, false, kLimitMs);
    // The frame came back, in its boot loader: not a lost frame.
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_EQ(r.messageId, 16);
    EXPECT_EQ(codes.back(), device::detection::kBootLoaderOpened);
    EXPECT_TRUE(u.flow().prepared());
    EXPECT_TRUE(frame->inBootLoader());
    EXPECT_EQ(device::UpdateExpected.load(), 0);

    // The next update starts from the boot loader.
    frame->clearFaults();
    HeadlessUpdate again;
    EXPECT_EQ(again.run(path, u.flow().prepared(), kLimitMs).outcome, Outcome::Updated);
    EXPECT_FALSE(frame->inBootLoader());
}
