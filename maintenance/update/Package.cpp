#include "Package.h"

#include "ByteOrder.h"

#include <cstdio>

namespace tovrin::update {

EntryTable decodeEntryTable(std::span<const uint8_t, kTableSize> bytes)
{
    EntryTable table;
    for (int i = 0; i < kEntryCount; ++i) {
        const uint8_t* p = bytes.data() + i * kEntrySize;
        PackageEntry& e = table[static_cast<size_t>(i)];
        e.flag = readU16le(p);
        e.offset = readU32le(p + 2);
        e.version = readU32le(p + 6);
        e.length = readU32le(p + 10);
    }
    return table;
}

std::array<uint8_t, kTableSize> encodeEntryTable(const EntryTable& table)
{
    std::array<uint8_t, kTableSize> bytes{};
    for (int i = 0; i < kEntryCount; ++i) {
        uint8_t* p = bytes.data() + i * kEntrySize;
        const PackageEntry& e = table[static_cast<size_t>(i)];
        writeU16le(p, e.flag);
        writeU32le(p + 2, e.offset);
        writeU32le(p + 6, e.version);
        writeU32le(p + 10, e.length);
    }
    return bytes;
}

const char* jobName(JobId id)
{
    switch (id) {
    case JobId::A1: return "A1";
    case JobId::A2: return "A2";
    case JobId::B: return "B";
    case JobId::C: return "C";
    case JobId::D: return "D";
    case JobId::E: return "E";
    case JobId::F: return "F";
    }
    return "?";
}

namespace {

using device::Unit;

struct JobRow {
    JobId id;
    JobKind kind;
    Unit unit;
    int flagEntry, dataEntry, lengthEntry, versionEntry;
    uint32_t destination;
    uint32_t areaSize;
    int progressAfter;
};

// The job table; the cross-references of E and F (offsets from entries 1
// and 2, the length of entry 3) are how the frame's packages are laid out.
constexpr JobRow kJobRows[] = {
    {JobId::A1, JobKind::Firmware, Unit::Master, 0, 0, 0, 0, device::flash::kImageInfo, area::kFirmware, 16},
    {JobId::A2, JobKind::Firmware, Unit::Slave, 0, 0, 0, 0, device::flash::kImageInfo, area::kFirmware, 24},
    {JobId::B, JobKind::SecondImage, Unit::Master, 1, 4, 4, 4, device::flash::kVersionRecord, area::kSecondImage, 32},
    {JobId::C, JobKind::SecondImage, Unit::Slave, 2, 5, 5, 5, device::flash::kVersionRecord, area::kSecondImage, 48},
    {JobId::D, JobKind::FlashData, Unit::Master, 3, 3, 3, -1, place::kFlashDataD, area::kFlashDataD, 64},
    {JobId::E, JobKind::FlashData, Unit::Master, 4, 1, 3, -1, place::kFlashDataEF, area::kFlashDataEF, 80},
    {JobId::F, JobKind::FlashData, Unit::Slave, 5, 2, 3, -1, place::kFlashDataEF, area::kFlashDataEF, -1},
};

const char* problemText(PackageProblem p)
{
    switch (p) {
    case PackageProblem::None: return "the package is good";
    case PackageProblem::TooShort: return "the file is shorter than the entry table";
    case PackageProblem::AllFlagsZero: return "every flag is 0";
    case PackageProblem::NothingToDo: return "no flag equals 1";
    case PackageProblem::EmptyData: return "its data length is 0";
    case PackageProblem::OutsideFile: return "its data reach past the end of the file";
    case PackageProblem::InsideTable: return "its data begin inside the entry table";
    case PackageProblem::TooLarge: return "its data do not fit the area they go to";
    case PackageProblem::Overlap: return "its data share bytes with another item";
    }
    return "?";
}

PackageCheck failure(PackageProblem problem, std::optional<JobId> job = std::nullopt,
                     std::optional<JobId> other = std::nullopt)
{
    PackageCheck c;
    c.problem = problem;
    c.messageId = problem == PackageProblem::NothingToDo ? 35 : 34;
    c.job = job;
    c.otherJob = other;
    return c;
}

bool sameItem(const UpdateJob& a, const UpdateJob& b)
{
    // The two firmware jobs send the same bytes; so may the two second
    // images and the flash-data jobs among themselves (the same data for
    // both units). A firmware byte that is also flash data is a broken package.
    return a.kind == b.kind;
}

} // namespace

std::vector<UpdateJob> jobTable(const EntryTable& table)
{
    std::vector<UpdateJob> jobs;
    for (const JobRow& row : kJobRows) {
        UpdateJob j;
        j.id = row.id;
        j.kind = row.kind;
        j.unit = row.unit;
        j.flagEntry = row.flagEntry;
        j.dataEntry = row.dataEntry;
        j.lengthEntry = row.lengthEntry;
        j.versionEntry = row.versionEntry;
        j.offset = table[static_cast<size_t>(row.dataEntry)].offset;
        j.length = table[static_cast<size_t>(row.lengthEntry)].length;
        j.version = row.versionEntry >= 0 ? table[static_cast<size_t>(row.versionEntry)].version : 0;
        j.destination = row.destination;
        j.areaSize = row.areaSize;
        j.progressAfter = row.progressAfter;
        jobs.push_back(j);
    }
    return jobs;
}

std::vector<UpdateJob> plannedJobs(const EntryTable& table)
{
    std::vector<UpdateJob> jobs;
    for (const UpdateJob& j : jobTable(table)) {
        if (table[static_cast<size_t>(j.flagEntry)].flag == 1)
            jobs.push_back(j);
    }
    return jobs;
}

std::string PackageCheck::describe() const
{
    char line[160];
    if (job && otherJob)
        std::snprintf(line, sizeof line, "job %s: %s (job %s)", jobName(*job), problemText(problem), jobName(*otherJob));
    else if (job)
        std::snprintf(line, sizeof line, "job %s: %s", jobName(*job), problemText(problem));
    else
        std::snprintf(line, sizeof line, "%s", problemText(problem));
    return line;
}

PackageCheck checkPackage(const EntryTable& table, uint64_t fileSize)
{
    if (fileSize < static_cast<uint64_t>(kTableSize))
        return failure(PackageProblem::TooShort);
    bool anyFlag = false;
    bool anyJob = false;
    for (const PackageEntry& e : table) {
        anyFlag = anyFlag || e.flag != 0;
        anyJob = anyJob || e.flag == 1;
    }
    if (!anyFlag)
        return failure(PackageProblem::AllFlagsZero);
    if (!anyJob)
        return failure(PackageProblem::NothingToDo);

    const std::vector<UpdateJob> jobs = plannedJobs(table);
    for (const UpdateJob& j : jobs) {
        if (j.length == 0)
            return failure(PackageProblem::EmptyData, j.id);
        if (j.offset < static_cast<uint32_t>(kTableSize))
            return failure(PackageProblem::InsideTable, j.id);
        if (j.end() > fileSize)
            return failure(PackageProblem::OutsideFile, j.id);
        if (j.length > j.areaSize)
            return failure(PackageProblem::TooLarge, j.id);
    }
    for (size_t a = 0; a < jobs.size(); ++a) {
        for (size_t b = a + 1; b < jobs.size(); ++b) {
            const UpdateJob& x = jobs[a];
            const UpdateJob& y = jobs[b];
            if (!sameItem(x, y) && x.offset < y.end() && y.offset < x.end())
                return failure(PackageProblem::Overlap, y.id, x.id);
        }
    }
    return {};
}

PackageCheck checkPackageHead(std::span<const uint8_t> head, uint64_t fileSize)
{
    if (head.size() < static_cast<size_t>(kTableSize) || fileSize < static_cast<uint64_t>(kTableSize))
        return failure(PackageProblem::TooShort);
    return checkPackage(decodeEntryTable(head.first<kTableSize>()), fileSize);
}

} // namespace tovrin::update
