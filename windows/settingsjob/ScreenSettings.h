#pragma once
// The mounting and touch settings the settings window edits: how they are
// kept in Tovrin.ini, how the dialog takes them from there, and the 26-byte
// screen information record built from them that each unit keeps at flash
// 0x18000 for its firmware.
//
// Screen information record, little-endian (records/CalibrationRecord.h
// has the codec):
//   0  magic 0x41434946 ("FICA")     4  Screen_Size 0-7     5  smoothness (0)
//   6  ImageMode (1)                 7  Vertical_Mode 0-4 (0 landscape)
//   8  OperationMode 0/1             9  FiveCalibration_en (0)
//   10 FourCalib_en 0/1              11 CalibWay (1)        12 8 (way 1)
//   13 infrared exposure time        14 infrared exposure gain
//   15 0                             16 TouchType 0-2       17 XPRightClickMode
//   18 TouchRightClickDistThres (s32)  22 TouchRightClickTimeThres (s32)
// Bytes 13 and 14 are the Slave's (InfraredExpTimeS / GainS) in the Slave
// copy and the Master's (InfraredExpTimeM / GainM) in the Master copy. INI
// values above 255 go into a byte as their low byte.

#include "records/CalibrationRecord.h"

#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace tovrin::settingsjob {

constexpr int kSizeClasses = 8;   // " <=30 inches" .. " >=96 inches"
constexpr int kRotations = 5;     // No rotation, Clockwise 90, Contrarotate 90, and the two mirrored
constexpr int kDefaultSize = 3;   // "56-65 inches"

// The dialog's choices, as OK reads them.
struct DialogSettings {
    int screenDirection = 0;  // 0 landscape, 1 portrait
    int verticalMode = 0;     // rotation 0-4; always 0 in landscape
    int touchType = 0;        // 0 Auto, 1 Single, 2 much
    int screenSize = kDefaultSize;
    int operationMode = 0;    // double writing: 1 Open, 0 Close
    int fourCalib = 0;        // 1 = 4 point, 0 = 16 point
    int imageMode = 1;        // 0/1
    bool operator==(const DialogSettings&) const = default;
};

// What the dialog's controls show after loading from Tovrin.ini.
struct ControlState {
    bool portrait = false;
    int rotation = 0;                 // combo index
    bool touchTypeEnabled = false;    // os_check/AutoCheck
    std::optional<int> touchType;     // none checked while disabled
    std::optional<int> sizeIndex;     // none checked for an index outside 0-7
    bool doubleWritingOpen = false;
    bool fourPoint = false;
};

// Loads the controls from Tovrin.ini (defaults "0", Screen_Size "3").
ControlState loadControls(const QString& file = QStringLiteral("Tovrin.ini"));

// The dialog's settings from its controls. Landscape forces rotation 0; with
// no size checked the INI's size stays (a size outside 0-7 is taken as the
// default 3, so that no nonsense reaches the frame).
DialogSettings settingsFromControls(const ControlState& controls, const QString& file = QStringLiteral("Tovrin.ini"));

// Writes the dialog's settings to Tovrin.ini through the comment-keeping
// writer, in the order Screen_Direction, Vertical_Mode, TouchType,
// Screen_Size, OperationMode, FourCalib_en, ImageMode.
void writeDialogSettings(const DialogSettings& settings, const QString& file = QStringLiteral("Tovrin.ini"));

// The INI writes that mirror a screen record read from the Slave: its values
// when the magic is right, the defaults otherwise (nothing when the read
// failed: pass std::nullopt).
std::vector<std::pair<QString, int>> iniFromDeviceRecord(const std::optional<records::ScreenRecord>& record);

// Reads the Slave's record and mirrors it into Tovrin.ini. Returns the record
// read (nothing when the read failed: the INI is left alone).
std::optional<records::ScreenRecord> syncIniFromDevice(const QString& file = QStringLiteral("Tovrin.ini"));

// The Slave copy of the record from the dialog's settings and the INI.
records::ScreenRecord buildSlaveRecord(const DialogSettings& settings, const QString& file = QStringLiteral("Tovrin.ini"));
// The Master copy: the Slave copy with the Master's exposure time and gain.
records::ScreenRecord buildMasterRecord(const records::ScreenRecord& slave, const QString& file = QStringLiteral("Tovrin.ini"));

// A value for a byte field: its low byte.
constexpr uint8_t lowByte(int value) { return static_cast<uint8_t>(value & 0xFF); }

} // namespace tovrin::settingsjob
