// The package's entry table, its job table with the cross-references, and
// the checks a package passes before the frame is touched.

#include "UpdateTestSupport.h"
#include "maintenance/update/Package.h"
#include "maintenance/update/UpdatePackage.h"

#include <gtest/gtest.h>

#include <limits>

using namespace tovrin::update;
using namespace tovrin::update::test;

namespace {

// Entry table bytes typed out: entry i at 14 i, flag u16, offset u32,
// version u32, length u32, all little-endian.
std::array<uint8_t, kTableSize> tableBytes()
{
    std::array<uint8_t, kTableSize> b{};
    const uint8_t entry0[14] = {0x01, 0x00, 0x54, 0x00, 0x00, 0x00, 0x06, 0x00, 0x02, 0x01, 0x10, 0x00, 0x00, 0x00};
    const uint8_t entry5[14] = {0x02, 0x00, 0x78, 0x56, 0x34, 0x12, 0x21, 0x43, 0x65, 0x87, 0xEF, 0xCD, 0xAB, 0x89};
    std::copy(std::begin(entry0), std::end(entry0), b.begin());
    std::copy(std::begin(entry5), std::end(entry5), b.begin() + 70);
    return b;
}

} // namespace

TEST(EntryTable, FieldsAreLittleEndianAtTheirOffsets)
{
    const auto bytes = tableBytes();
    const EntryTable t = decodeEntryTable(bytes);
    EXPECT_EQ(t[0], (PackageEntry{1, 0x54, 0x01020006, 16}));
    EXPECT_EQ(t[5], (PackageEntry{2, 0x12345678, 0x87654321, 0x89ABCDEF}));
    for (int i = 1; i < 5; ++i)
        EXPECT_EQ(t[static_cast<size_t>(i)], PackageEntry{});
    EXPECT_EQ(encodeEntryTable(t), bytes);
}

TEST(JobTable, FlashDataAndSecondImagesFollowTheCrossReferences)
{
    EntryTable t{};
    for (int i = 0; i < kEntryCount; ++i)
        t[static_cast<size_t>(i)] = {1, 1000u * (i + 1), 0x01000000u + static_cast<uint32_t>(i), 10u * (i + 1)};
    const std::vector<UpdateJob> jobs = plannedJobs(t);
    ASSERT_EQ(jobs.size(), 7u);
    auto job = [&](JobId id) { return *std::find_if(jobs.begin(), jobs.end(), [id](const UpdateJob& j) { return j.id == id; }); };
    // A1/A2: entry 0 for everything.
    EXPECT_EQ(job(JobId::A1).offset, 1000u);
    EXPECT_EQ(job(JobId::A2).length, 10u);
    EXPECT_EQ(job(JobId::A2).unit, tovrin::device::Unit::Slave);
    // B and C take their data and version from entries 4 and 5.
    EXPECT_EQ(job(JobId::B).offset, 5000u);
    EXPECT_EQ(job(JobId::B).length, 50u);
    EXPECT_EQ(job(JobId::B).version, 0x01000004u);
    EXPECT_EQ(job(JobId::C).offset, 6000u);
    EXPECT_EQ(job(JobId::C).version, 0x01000005u);
    // D: entry 3; E and F: offsets of entries 1 and 2, the length of entry 3.
    EXPECT_EQ(job(JobId::D).offset, 4000u);
    EXPECT_EQ(job(JobId::E).offset, 2000u);
    EXPECT_EQ(job(JobId::F).offset, 3000u);
    EXPECT_EQ(job(JobId::E).length, 40u);
    EXPECT_EQ(job(JobId::F).length, 40u);
    EXPECT_EQ(job(JobId::E).destination, 0x17000u);
    EXPECT_EQ(job(JobId::F).unit, tovrin::device::Unit::Slave);
    EXPECT_EQ(job(JobId::D).destination, 0x16000u);
    // Run order and progress.
    std::vector<int> progress;
    for (const UpdateJob& j : jobs)
        progress.push_back(j.progressAfter);
    EXPECT_EQ(progress, (std::vector<int>{16, 24, 32, 48, 64, 80, -1}));
}

TEST(JobTable, OnlyFlagsOfOneSwitchJobsOn)
{
    EntryTable t{};
    t[1].flag = 1;  // B only, whatever entry 4 says about itself
    t[4].flag = 2;
    t[4].offset = 100;
    t[4].length = 8;
    const auto jobs = plannedJobs(t);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].id, JobId::B);
    EXPECT_EQ(jobs[0].offset, 100u);
}

// ---- Checks ---------------------------------------------------------------

namespace {

struct BadPackage {
    const char* name;
    void (*change)(EntryTable& table, uint64_t& fileSize);
    PackageProblem problem;
    int messageId;
};

// A sane package: every job, data behind the table, nothing shared.
EntryTable saneTable(uint64_t& fileSize)
{
    EntryTable t{};
    t[0] = {1, 84, 0x01020006, 1000};   // firmware 84..1083
    t[4] = {1, 1084, 0x01020006, 500};  // second image Master
    t[5] = {1, 1584, 0x01020006, 500};  // second image Slave
    t[3] = {1, 2084, 0, 256};           // D, and the length of E and F
    t[1] = {1, 2340, 0, 0};             // E's data
    t[2] = {1, 2596, 0, 0};             // F's data
    fileSize = 2852;
    return t;
}

class PackageCheckTest : public ::testing::TestWithParam<BadPackage> {};

} // namespace

// A sane package passes; so does one with the same data for both units, or
// with entries of jobs that do not run pointing anywhere.
TEST(PackageCheck, SanePackagesPass)
{
    const std::vector<void (*)(EntryTable&)> changes{
        [](EntryTable&) {},
        [](EntryTable& t) {
            t[5].offset = t[4].offset;  // one second image for both units
            t[2].offset = t[1].offset;  // one flash-data block for E and F
        },
        [](EntryTable& t) {
            t[4].flag = 0;  // E off: entry 1's offset means nothing now
            t[1].offset = 0xFFFFFFFF;
            t[1].flag = 0;  // B off: entry 4's data are unused
            t[4].length = 0;
        }};
    for (const auto change : changes) {
        uint64_t size = 0;
        EntryTable t = saneTable(size);
        change(t);
        const PackageCheck c = checkPackage(t, size);
        EXPECT_TRUE(c.ok()) << c.describe();
        EXPECT_EQ(c.messageId, -1);
    }
}

TEST_P(PackageCheckTest, RefusedBeforeTheFrameIsTouched)
{
    uint64_t size = 0;
    EntryTable t = saneTable(size);
    GetParam().change(t, size);
    const PackageCheck c = checkPackage(t, size);
    EXPECT_EQ(c.problem, GetParam().problem) << c.describe();
    EXPECT_EQ(c.messageId, GetParam().messageId);
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, PackageCheckTest,
    ::testing::Values(
        BadPackage{"allFlagsZero", [](EntryTable& table, uint64_t&) { for (auto& e : table) e.flag = 0; },
                   PackageProblem::AllFlagsZero, 34},
        BadPackage{"flagsOfTwoOnly", [](EntryTable& table, uint64_t&) { for (auto& e : table) e.flag = 2; },
                   PackageProblem::NothingToDo, 35},
        BadPackage{"truncatedTable", [](EntryTable&, uint64_t& size) { size = 83; }, PackageProblem::TooShort, 34},
        BadPackage{"truncatedData", [](EntryTable&, uint64_t& size) { size -= 1; }, PackageProblem::OutsideFile, 34},
        BadPackage{"offsetPastEnd", [](EntryTable& table, uint64_t&) { table[4].offset = 100000; },
                   PackageProblem::OutsideFile, 34},
        BadPackage{"lengthZero", [](EntryTable& table, uint64_t&) { table[0].length = 0; }, PackageProblem::EmptyData, 34},
        BadPackage{"length4GB", [](EntryTable& table, uint64_t&) { table[5].length = 0xFFFFFFFFu; },
                   PackageProblem::OutsideFile, 34},
        BadPackage{"offsetWrapsAround", [](EntryTable& table, uint64_t&) { table[0].offset = 0xFFFFFFF0u; table[0].length = 0x20; },
                   PackageProblem::OutsideFile, 34},
        BadPackage{"dataInsideTable", [](EntryTable& table, uint64_t&) { table[2].offset = 70; }, PackageProblem::InsideTable, 34},
        BadPackage{"firmwareTooLarge", [](EntryTable& table, uint64_t& size) { table[0].length = area::kFirmware + 1; size += area::kFirmware; },
                   PackageProblem::TooLarge, 34},
        BadPackage{"flashDataPastScreenRecord", [](EntryTable& table, uint64_t& size) { table[3].length = 4097; size += 20000; },
                   PackageProblem::TooLarge, 34},
        BadPackage{"sixEntriesOnTheSameBytes",
                   [](EntryTable& table, uint64_t&) { for (auto& e : table) e = {1, 84, 0x01020006, 256}; },
                   PackageProblem::Overlap, 34},
        BadPackage{"firmwareSharesBytesWithFlashData", [](EntryTable& table, uint64_t&) { table[1].offset = 900; },
                   PackageProblem::Overlap, 34}),
    [](const ::testing::TestParamInfo<BadPackage>& row) { return std::string(row.param.name); });

TEST(PackageCheck, ShortHeadIsTooShort)
{
    const std::vector<uint8_t> head(40, 1);
    EXPECT_EQ(checkPackageHead(head, 40).problem, PackageProblem::TooShort);
}

TEST(PackageWriter, ItemsLandWhereTheTablePointsAndVersionsParse)
{
    const PackageItems items = fullItems(100, 70, 30);
    const std::vector<uint8_t> bytes = assemble(items);
    ASSERT_GE(bytes.size(), 84u);
    const EntryTable t = decodeEntryTable(std::span<const uint8_t, kTableSize>(bytes.data(), kTableSize));
    EXPECT_TRUE(checkPackage(t, bytes.size()).ok());
    for (const UpdateJob& j : plannedJobs(t)) {
        const PackageItem* source = nullptr;
        switch (j.id) {
        case JobId::A1: case JobId::A2: source = &*items.firmware; break;
        case JobId::B: source = &*items.secondMaster; break;
        case JobId::C: source = &*items.secondSlave; break;
        case JobId::D: source = &*items.flashD; break;
        case JobId::E: source = &*items.flashE; break;
        case JobId::F: source = &*items.flashF; break;
        }
        ASSERT_EQ(j.length, source->data.size()) << jobName(j.id);
        EXPECT_TRUE(std::equal(source->data.begin(), source->data.end(), bytes.begin() + j.offset)) << jobName(j.id);
    }
    EXPECT_EQ(parseVersion("1.2.6"), 0x01020006u);
    EXPECT_EQ(parseVersion("255.255.65535"), 0xFFFFFFFFu);
    EXPECT_FALSE(parseVersion("1.2"));
    EXPECT_FALSE(parseVersion("1.256.0"));
    EXPECT_FALSE(parseVersion("1.2.3x"));
}

TEST(PackageWriter, FlashDataOfDifferentLengthsAreRefused)
{
    PackageItems items = fullItems(100, 70, 30);
    items.flashE = item(31, 9);
    std::string error;
    EXPECT_FALSE(assemblePackage(items, error));
    EXPECT_FALSE(error.empty());
}

TEST(SamplePackage, IsAcceptedAndRunsEveryJob)
{
    tovrin::update::UpdatePackage::LoadOutcome outcome;
    const auto package = UpdatePackage::load(QStringLiteral(TOVRIN_SAMPLE_PACKAGE), outcome);
    ASSERT_TRUE(package) << outcome.check.describe();
    EXPECT_EQ(package->jobs().size(), 7u);
    EXPECT_EQ(package->bytesToSend(), 12800u);
}
