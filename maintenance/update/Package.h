#pragma once
// The update package: a ".bin" file that begins with a table of six entries
// and holds the data of up to seven jobs behind it.
//
// Entry table, six entries of 14 bytes (84 bytes), little-endian:
//
//   +0  u16 flag     1 = the job this entry switches on is to be done
//   +2  u32 offset   file offset of the entry's data
//   +6  u32 version  version word to store for the entry's image
//   +10 u32 length   length of the entry's data in bytes
//
//   byte 0        14        28        42        56        70        84
//        | entry 0 | entry 1 | entry 2 | entry 3 | entry 4 | entry 5 | data ...
//
// The jobs, in the order they run, and the entries they draw on:
//
//   job  runs on flag of  data offset  data length  version   destination
//   A1   entry 0          entry 0      entry 0      entry 0   firmware to Master, HInfo at 0x10000
//   A2   entry 0          entry 0      entry 0      entry 0   firmware to Slave,  HInfo at 0x10000
//   B    entry 1          entry 4      entry 4      entry 4   second image to Master, version at 0x13000
//   C    entry 2          entry 5      entry 5      entry 5   second image to Slave,  version at 0x13000
//   D    entry 3          entry 3      entry 3      -         Master flash 0x16000
//   E    entry 4          entry 1      entry 3      -         Master flash 0x17000
//   F    entry 5          entry 2      entry 3      -         Slave flash 0x17000
//
// The frame is touched only after the whole table has been checked against
// the file: every job that will run must find its data inside the file, after
// the table, non-empty, and small enough for the area it goes to.

#include "device/UnitAddress.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tovrin::update {

constexpr int kEntryCount = 6;
constexpr int kEntrySize = 14;
constexpr int kTableSize = kEntryCount * kEntrySize;  // 84

struct PackageEntry {
    uint16_t flag = 0;
    uint32_t offset = 0;
    uint32_t version = 0;
    uint32_t length = 0;
    bool operator==(const PackageEntry&) const = default;
};
using EntryTable = std::array<PackageEntry, kEntryCount>;

EntryTable decodeEntryTable(std::span<const uint8_t, kTableSize> bytes);
std::array<uint8_t, kTableSize> encodeEntryTable(const EntryTable& table);

// Sizes of the places the data go to. The boot loader keeps the firmware
// (download port 0x4000) in a program area of 0x7E00 bytes, as the image
// information record declares, and the second image (port 0x8000) in one of
// 0x8000 bytes. Flash data D may use 0x16000-0x17FFF, E and F 0x17000-0x17FFF:
// the screen record begins at 0x18000.
namespace area {
constexpr uint32_t kFirmware = 0x7E00;
constexpr uint32_t kSecondImage = 0x8000;
constexpr uint32_t kFlashDataD = 0x2000;
constexpr uint32_t kFlashDataEF = 0x1000;
} // namespace area

// Flash places written by the jobs.
namespace place {
constexpr uint32_t kFlashDataD = 0x16000;
constexpr uint32_t kFlashDataEF = 0x17000;
} // namespace place

enum class JobId : int { A1, A2, B, C, D, E, F };
enum class JobKind { Firmware, SecondImage, FlashData };

struct UpdateJob {
    JobId id = JobId::A1;
    JobKind kind = JobKind::Firmware;
    device::Unit unit = device::Unit::Master;
    int flagEntry = 0;
    int dataEntry = 0;     // offset from this entry
    int lengthEntry = 0;   // length from this entry
    int versionEntry = -1; // -1: the job stores no version
    uint32_t offset = 0;
    uint32_t length = 0;
    uint32_t version = 0;
    uint32_t destination = 0;  // flash offset of the record or data the job writes
    uint32_t areaSize = 0;
    int progressAfter = -1;    // progress shown once the job is done; -1 none

    // The bytes of the file the job sends: [offset, offset + length).
    uint64_t end() const { return uint64_t{offset} + length; }
};

const char* jobName(JobId id);

// All seven jobs with their fields filled from the table, in run order,
// whether their flag is set or not.
std::vector<UpdateJob> jobTable(const EntryTable& table);
// The jobs that will run: those whose flag entry holds 1.
std::vector<UpdateJob> plannedJobs(const EntryTable& table);

// What is wrong with a package, if anything.
enum class PackageProblem {
    None,
    TooShort,        // the file does not hold the whole entry table
    AllFlagsZero,    // every flag is 0
    NothingToDo,     // no flag equals 1 (flags such as 2 only)
    EmptyData,       // a job that would run has length 0
    OutsideFile,     // a job's data reach past the end of the file
    InsideTable,     // a job's data begin inside the entry table
    TooLarge,        // a job's data do not fit the area they go to
    Overlap,         // two different items share bytes of the file
};

struct PackageCheck {
    PackageProblem problem = PackageProblem::None;
    int messageId = -1;            // 34 or 35; -1 when the package is good
    std::optional<JobId> job;      // the job whose data are wrong
    std::optional<JobId> otherJob; // the job it overlaps
    bool ok() const { return problem == PackageProblem::None; }
    std::string describe() const;  // one line for the log and tovrin-pack
};

// Checks the table against the size of the file it came from.
PackageCheck checkPackage(const EntryTable& table, uint64_t fileSize);
// The same on the first bytes of a file (a short file is TooShort).
PackageCheck checkPackageHead(std::span<const uint8_t> head, uint64_t fileSize);

} // namespace tovrin::update
