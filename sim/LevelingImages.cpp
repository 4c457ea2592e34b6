// The leveling firmware's images, canned answers and registers
// (LevelingFirmware.h).
#include "sim/LevelingFirmware.h"

#include <algorithm>
#include <cmath>

namespace tovrin::sim {

namespace {

constexpr int kColumns = OpticalScene::kColumns;
constexpr int kLines = 11;
constexpr int kRowsAbove = 4;
constexpr int kOrdinaryImageRows = 8;   // lines 0..7; line 8 is the start row
constexpr int kExtendedImageRows = 10;  // 4-bit lines 0..9; line 10 is the start row

constexpr uint16_t kCaptureRegister = 0x30;
constexpr uint16_t kZonePositionRegister = 0x20;  // 0x20..0x26
constexpr uint16_t kZoneCodeRegister = 0x2A;      // 0x2A..0x2D
constexpr uint16_t kDataColumnLow = 0x33;
constexpr uint16_t kDataColumnHigh = 0x34;
constexpr uint16_t kDataLineRegister = 0x36;
constexpr uint8_t kSensorTestPattern = 0x38;  // 7: the sensor sends its test pattern
constexpr uint8_t kSensorOutputMode = 0x84;   // 2: ... on every data line

} // namespace

void LevelingFirmware::pinSearchLine(int unit, uint16_t line) { m_units[idx(unit)].pinnedSearch = line; }

void LevelingFirmware::pinLineRange(int unit, uint16_t startColumn, uint16_t endColumn)
{
    m_units[idx(unit)].pinnedRange = std::array<uint16_t, 2>{startColumn, endColumn};
}

void LevelingFirmware::pinZones(int unit, const ZoneTable& table) { m_units[idx(unit)].pinnedZones = table; }

void LevelingFirmware::pinExposure(int unit, uint16_t word)
{
    UnitState& u = m_units[idx(unit)];
    u.pinnedExposure = word;
    u.exposureWord = word;
    u.stale = true;
}

void LevelingFirmware::pinLine(int unit, int line, std::span<const uint8_t> pixels)
{
    if (line < 0 || line >= kLines)
        return;
    UnitState& u = m_units[idx(unit)];
    u.pinnedLine[static_cast<size_t>(line)] = true;
    const size_t n = std::min<size_t>(pixels.size(), kColumns);
    std::copy_n(pixels.begin(), n, u.pinnedPixels.begin() + line * kColumns);
    u.stale = true;
}

void LevelingFirmware::clearPins()
{
    for (UnitState& u : m_units) {
        u.pinnedSearch.reset();
        u.pinnedRange.reset();
        u.pinnedZones.reset();
        u.pinnedExposure.reset();
        u.pinnedLine.fill(false);
        u.stale = true;
    }
}

void LevelingFirmware::captureRequested(int unit) { m_units[idx(unit)].captureReads = kCaptureReads; }

void LevelingFirmware::beforeRegisterRead(int unit, uint16_t address, int count, std::span<uint8_t> registers,
                                          std::span<const uint8_t> sensorRegisters)
{
    auto covers = [&](uint16_t reg) { return address <= reg && reg < address + count; };
    UnitState& u = m_units[idx(unit)];
    if (covers(kCaptureRegister) && u.captureReads > 0 && --u.captureReads == 0) {
        // The frame is latched: the zone table of this picture into its
        // registers, 0x30 back to 0.
        ZoneTable table;
        int first = 0, last = 0;
        if (u.pinnedZones)
            table = *u.pinnedZones;
        else if (findColumns(unit, u.exposureWord, first, last))
            findZones(unit, first, last, table);
        for (size_t z = 0; z < 7; ++z)
            registers[kZonePositionRegister + z] = table.positions[z];
        for (size_t k = 0; k < 4; ++k)
            registers[kZoneCodeRegister + k] =
                static_cast<uint8_t>((table.codes[2 * k] & 7) | ((table.codes[2 * k + 1] & 7) << 4));
        registers[kCaptureRegister] = 0;
        newFrame(unit);
    }
    if (covers(kDataLineRegister)) {
        const bool testPattern = sensorRegisters[kSensorTestPattern] == 7 && sensorRegisters[kSensorOutputMode] == 2;
        const int column = std::clamp(registers[kDataColumnLow] | (registers[kDataColumnHigh] << 8), 0, kColumns - 1);
        const double b = m_scene.brightness(unit, u.startLine, column, u.exposureWord, u.frame, true);
        const uint8_t value = testPattern ? 0xFF : static_cast<uint8_t>(std::lround(std::clamp(b, 0.0, 255.0)));
        registers[kDataLineRegister] = static_cast<uint8_t>(value & ~m_faults.brokenDataBits[idx(unit)]);
    }
}

void LevelingFirmware::newFrame(int unit)
{
    UnitState& u = m_units[idx(unit)];
    ++u.frame;
    u.stale = true;
}

void LevelingFirmware::render(int unit, bool extended)
{
    UnitState& u = m_units[idx(unit)];
    std::array<uint8_t, kColumns> row{};
    auto line = [&](int l) { return u.image.begin() + l * kColumns; };
    u.image.fill(0);
    const int firstRow = u.startLine - kRowsAbove;
    if (extended) {
        // Ten lines of 4-bit pictures: what the FPGA holds as background
        // (high nibble) and what it sees now (low nibble); then the start
        // row in full depth. The background is the picture without its
        // noise, following it or kept from power-up.
        const uint8_t broken = m_faults.brokenDataBits[idx(unit)];
        if (u.backgroundFrozen && !u.backgroundTaken) {
            for (int l = 0; l < kExtendedImageRows; ++l) {
                m_scene.renderRow(unit, firstRow + l, u.exposureWord, 0, false, broken, row);
                std::copy(row.begin(), row.end(), u.background.begin() + l * kColumns);
            }
            u.backgroundTaken = true;
        }
        for (int l = 0; l < kExtendedImageRows; ++l) {
            if (u.backgroundFrozen)
                std::copy_n(u.background.begin() + l * kColumns, kColumns, row.begin());
            else
                m_scene.renderRow(unit, firstRow + l, u.exposureWord, u.frame, false, broken, row);
            std::array<uint8_t, kColumns> current{};
            renderRow(unit, firstRow + l, u.exposureWord, current);
            for (int c = 0; c < kColumns; ++c)
                line(l)[c] = static_cast<uint8_t>((row[static_cast<size_t>(c)] & 0xF0) | (current[static_cast<size_t>(c)] >> 4));
        }
        renderRow(unit, u.startLine, u.exposureWord, row);
        std::copy(row.begin(), row.end(), line(kLines - 1));
    } else {
        for (int l = 0; l < kOrdinaryImageRows; ++l) {
            renderRow(unit, firstRow + l, u.exposureWord, row);
            std::copy(row.begin(), row.end(), line(l));
        }
        renderRow(unit, u.startLine, u.exposureWord, row);
        std::copy(row.begin(), row.end(), line(kOrdinaryImageRows));
    }
    for (int l = 0; l < kLines; ++l)
        if (u.pinnedLine[static_cast<size_t>(l)])
            std::copy_n(u.pinnedPixels.begin() + l * kColumns, kColumns, line(l));
    u.renderedExtended = extended;
    u.stale = false;
}

std::span<const uint8_t> LevelingFirmware::image(int unit, bool extended)
{
    UnitState& u = m_units[idx(unit)];
    if (u.stale || u.renderedExtended != extended)
        render(unit, extended);
    return u.image;
}

int LevelingFirmware::reportedStreamLength(int unit, int actualLength) const
{
    return m_faults.longStream && unit == 0 ? 700 : actualLength;
}

} // namespace tovrin::sim
