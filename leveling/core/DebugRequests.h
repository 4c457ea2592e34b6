#pragma once
// The device work of the image-debug panel's requests, run by the leveling
// window when CImagePreviewThread reports the request (codes 19..25). Each
// returns the text of the panel's box: empty when there is nothing to say.
// The texts are the panel's own (English, not from the message list).

#include "LevelingSettingsRecord.h"

#include <QString>

#include <optional>

namespace tovrin::leveling {

// 19: FPGA reset (SwitchMode 0xBB).
QString resetFpga();

// 20 / 21: one register; addressText and valueText are the panel's
// hexadecimal fields. sensor: the sensor's I2C register instead of the
// FPGA's (the unit follows the panel's "Slave" box, SelectedUnitIsSlave).
struct RegisterResult {
    QString error;        // the box text on failure
    QString addressText;  // "0x%1": the low 16 bits of LastRegAddress
    QString valueText;    // "0x%1": LastRegValue
};
RegisterResult writeRegister(const QString& addressText, const QString& valueText, bool sensor);
RegisterResult readRegister(const QString& addressText, bool sensor);

// 22: the panel's leveling settings record to one unit (erase, write).
struct PanelSettings {
    QString exposureThreshold;    // byte 4
    QString fingerInto;           // byte 5
    QString fingerOut;            // byte 6
    QString cogradient;           // byte 7
    bool autoUpdateBk = false;    // byte 12
    bool autoImageEval = false;   // byte 13
    bool autoStartLine = false;   // byte 14
};
QString flashWriteSettings(int unit, const PanelSettings& panel);

// 23: the unit's leveling settings record into the panel's fields.
struct FlashReadResult {
    QString error;
    std::optional<PanelSettings> fields;  // only for a record that starts with "TEST"
};
FlashReadResult flashReadSettings(int unit);

// 24: toggles the white (bit 6) and black (bit 7) background zones in FPGA
// register 0x35 of the unit.
QString updateBackground(int unit, bool whiteZone, bool blackZone);

// 25: the column ranges into both units' calibration records (Master with
// the left pair, then Slave with the right pair); they become the units'
// start and end columns.
QString writeColumns(const QString& leftStart, const QString& leftEnd, const QString& rightStart,
                     const QString& rightEnd);

} // namespace tovrin::leveling
