#pragma once
// A host-side copy of every record the tool replaces in a unit's flash.
//
// Every record write of the tool (calibration and screen records here, the
// update's image information, the leveling settings, the key codes and the
// device information in their own libraries) saves the record it is about to
// replace before its sector is erased,
// as an open entry, and close the entry once the new record is in flash,
// read back and made valid. A pull in between leaves the unit's record
// invalid and the entry open: the record that was there before can be
// written back (restoreEntry), as an ordinary record write that closes the
// entry.
//
// Layout, in the data folder (shell/Folders.h: the application folder of a
// build tree or a portable copy, the user's data folder of an installed tool):
//
//   records/<frame>/<unit>-<record>-<time>.bin    the record as it was
//   records/<frame>/<unit>-<record>-<time>.open   while its replacement is unfinished
//
// <frame> is "id-XXXXXXXX" from the Master's device information when it is
// valid, else "usb-<serial>" from the USB serial number, else "unknown";
// <unit> "master" or "slave"; <record> "calibration", "screen", "version",
// "settings", "keys" or "devinfo"; <time> yyyyMMdd-HHmmss-zzz (local).
// Ten entries are kept per frame, unit and record.
//
// A write whose entry is still open (its earlier attempt never finished)
// does not save again: what the unit holds then is the remains of that
// attempt, never a record that was once written whole.

#include "CalibrationRecord.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tovrin::records {

enum class RecordKind { Calibration, Screen, Version, Settings, KeyCodes, DeviceInfo };

struct RecordPlace {
    uint32_t offset = 0;
    uint32_t size = 0;
    uint32_t validityWord = 0;  // 0: the record has none
    uint32_t pieces = 0;        // 32-byte pieces of a piecewise write (zero-filled past the record)
    const char* name = "";
    uint32_t headSize = 4;      // bytes written last, after the rest read back
};
const RecordPlace& placeOf(RecordKind kind);
const char* unitText(UnitId unit);  // "master", "slave"

constexpr int kJournalEntriesKept = 10;

struct JournalEntry {
    QString path;  // the .bin file
    QString frame;
    UnitId unit = UnitId::Master;
    RecordKind kind = RecordKind::Calibration;
    QDateTime time;
    bool open = false;           // the write that replaced it never finished
    std::vector<uint8_t> bytes;  // the record as it was
    // The saved record carries its validity word (a record without one
    // counts as valid when it was read whole).
    bool valid() const;
};

// The journal's folder in the application folder.
QString journalFolder();

// The frame's name in the journal; reads the Master's device information.
QString journalFrameName();

// Whether a record's bytes (as saved or as read) make a valid record of its
// kind: its validity word, or for the key codes a count byte with a zero
// beside it.
bool recordBytesValid(RecordKind kind, std::span<const uint8_t> bytes);

// Hooks of the record writes. Before the erase: keeps what the unit holds
// (false only when it could not be read: then nothing may be erased).
bool journalBeforeErase(UnitId unit, RecordKind kind);
// The new record is in flash and read back: the open entry closes.
void journalWritten(UnitId unit, RecordKind kind);

// Some write of some frame never finished (a look at the folder only).
bool journalHasOpenEntries();

// The entries of one frame (all frames when empty), oldest first.
std::vector<JournalEntry> journalEntries(const QString& frame = {});
// The newest entry of a record when it is still open.
std::optional<JournalEntry> unfinishedWrite(const QString& frame, UnitId unit, RecordKind kind);

// One record of a unit as the frame holds it, and what the journal offers.
struct RecordState {
    UnitId unit = UnitId::Master;
    RecordKind kind = RecordKind::Calibration;
    bool read = false;   // the frame answered
    bool valid = false;  // it holds its validity word
    std::optional<JournalEntry> unfinished;
    // Invalid, with a record once written whole waiting in the journal.
    bool restorable() const { return read && !valid && unfinished && unfinished->valid(); }
};

// Reads the calibration and screen records of both units (or one) with the
// frame in calibration mode (the caller switches).
std::vector<RecordState> checkRecords(std::optional<UnitId> only = std::nullopt);

// The one path every record write of this library takes. The erase comes
// after the journal kept what the sector held; the write sends the pieces
// with the first word erased, reads them back, writes the first word last
// and closes the journal entry. False at the first failed request or a
// read-back that differs (the record then reads as invalid).
bool eraseRecord(UnitId unit, RecordKind kind);
bool writeRecordBytes(UnitId unit, RecordKind kind, std::span<const uint8_t> bytes);

// What a restore writes back: the saved record of each restorable one, and
// for a calibration record also the other unit's record that the same job
// replaced (its newest entry, finished, saved within a minute of it): the
// two units then go back to one calibration together, never one unit with
// the new calibration and the other with the old.
std::vector<JournalEntry> restorePlan(const std::vector<RecordState>& states);

// The records written by other libraries (settings, key codes, device
// information): the journal's copy is made before the erase and closed once
// the new record read back (journalBeforeErase / journalWritten); a restore
// writes them back as they were saved: all but the head, read-back, then the
// head (the validity word, or the key codes' count) last.
bool writeWholeRecord(UnitId unit, RecordKind kind, std::span<const uint8_t> bytes);

// Writes an entry's record back: erase, pieces, read-back, validity word
// last, itself journalled. True when it read back whole.
bool restoreEntry(const JournalEntry& entry);

} // namespace tovrin::records
