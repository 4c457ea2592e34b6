#pragma once
// The finger-into threshold both units keep in their leveling settings
// record (15 bytes at flash 0x1A000, beginning with "TEST"; byte 5 is the
// threshold). Only byte 5 changes; the other bytes are taken from the Master
// record.
//
//   0 "TEST"  4 expValue  5 pointValueBegin (the finger-into threshold)
//   6 pointValueEnd  7 vsyncDiff  8-11 kept  12 autoUpdateBk
//   13 autoImageEval  14 autoStartLine
//
// A record that cannot be read, or that does not begin with "TEST", is not
// rewritten: the other 14 bytes would be guesses (zeros or erased bytes),
// and the units would take them for settings.

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace tovrin::maintenance {

constexpr uint32_t kLevelingRecordOffset = 0x1A000;
constexpr int kLevelingRecordSize = 15;
constexpr int kThresholdByte = 5;
constexpr std::array<uint8_t, 4> kThresholdChoices{0x08, 0x0A, 0x0D, 0x10};
using LevelingRecord = std::array<uint8_t, kLevelingRecordSize>;

bool hasLevelingMagic(const LevelingRecord& record);

struct ThresholdReading {
    enum Status { ReadError, NoValidRecord, Ok };
    Status status = ReadError;
    LevelingRecord record{};
    // Index into kThresholdChoices of byte 5, when it is one of them.
    std::optional<int> choice;
    QString label() const;  // "Flash Read Error!", "No Valid Test Para!" or empty
};

// Reads the Master record.
ThresholdReading readFingerThreshold();

struct ThresholdWrite {
    bool masterWritten = false;
    bool slaveWritten = false;
    QString label;  // the dialog's status text
};

// Sets byte 5 in both units: Master first (erase, write), then Slave.
ThresholdWrite writeFingerThreshold(uint8_t threshold);

} // namespace tovrin::maintenance
