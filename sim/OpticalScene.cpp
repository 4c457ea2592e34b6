#include "sim/OpticalScene.h"

#include <algorithm>
#include <cmath>

namespace tovrin::sim {

// The frame's own exposure table, shortest first (high byte, low byte).
const std::array<uint16_t, 26> kExposureScale = {
    0x0440, 0x0640, 0x0840, 0x0450, 0x0650, 0x0460, 0x0470, 0x1040, 0x0660, 0x0670, 0x0480, 0x0860, 0x04C0,
    0x04B0, 0x1050, 0x06A0, 0x06C0, 0x08A0, 0x1060, 0x1080, 0x10B0, 0x1460, 0x1470, 0x14B0, 0x1870, 0x1C70,
};

namespace {

constexpr uint16_t kCaptureRegister = 0x30;
constexpr uint16_t kZonePositionRegister = 0x20;  // 0x20..0x26
constexpr uint16_t kZoneCodeRegister = 0x2A;      // 0x2A..0x2D
constexpr uint16_t kDataColumnLow = 0x33;
constexpr uint16_t kDataColumnHigh = 0x34;
constexpr uint16_t kDataLineRegister = 0x36;
constexpr uint8_t kSensorTestPattern = 0x38;      // 7: the sensor sends its test pattern
constexpr uint8_t kSensorOutputMode = 0x84;       // 2: ... on every data line
constexpr int kCentreLine = 4;                     // frame line of the start row
constexpr int kVisibleRows = 4;                    // the window sees the band within this many rows
constexpr int kBrightEnough = 200;                 // the exposure target of the firmware
constexpr int kFindableReflectance = 10;           // darker bands are not found
constexpr double kBandSigma = 1.1;                 // rows

// A repeatable pseudo-random value in [-0.5, 0.5) for one pixel of one frame.
double jitter(uint64_t frame, int unit, int row, int column)
{
    uint64_t z = frame * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(unit) * 0xBF58476D1CE4E5B9ull +
                 static_cast<uint64_t>(row) * 0x94D049BB133111EBull + static_cast<uint64_t>(column);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) / 9007199254740992.0 - 0.5;
}

// 1 inside the band's columns, falling off over three columns outside.
double columnWeight(const CameraView& view, int column)
{
    if (column >= view.startColumn && column <= view.endColumn)
        return 1.0;
    const int outside = column < view.startColumn ? view.startColumn - column : column - view.endColumn;
    return outside > 3 ? 0.0 : 1.0 - outside / 4.0;
}

int scaleIndex(uint16_t word)
{
    const auto it = std::find(kExposureScale.begin(), kExposureScale.end(), word);
    return it == kExposureScale.end() ? -1 : static_cast<int>(it - kExposureScale.begin());
}

} // namespace

OpticalScene::OpticalScene()
{
    configure(SceneConfig{});
}

void OpticalScene::configure(const SceneConfig& config)
{
    m_config = config;
    for (UnitOptics& u : m_units) {
        u.pinnedSearch.reset();
        u.pinnedRange.reset();
        u.pinnedZones.reset();
        u.pinnedExposure.reset();
        u.pinnedLine.fill(false);
        u.stale = true;
    }
}

void OpticalScene::powerUp(int unit, std::optional<uint16_t> storedStartLine, std::optional<uint16_t> storedExposure)
{
    UnitOptics& u = m_units[idx(unit)];
    if (storedStartLine && *storedStartLine >= 1 && *storedStartLine <= kColumns)
        u.startLine = *storedStartLine;
    if (storedExposure && scaleIndex(*storedExposure) >= 0)
        u.exposureWord = *storedExposure;
    u.captureReads = 0;
    u.stale = true;
}

double OpticalScene::bandRow(int unit, double column) const
{
    const CameraView& v = m_config.units[idx(unit)];
    return v.surfaceRow + v.roll * (column - 319.5) / 639.0;
}

bool OpticalScene::windowSeesBand(int unit) const
{
    const CameraView& v = m_config.units[idx(unit)];
    const double middle = bandRow(unit, (v.startColumn + v.endColumn) / 2.0);
    return v.reflectance >= kFindableReflectance && std::abs(middle - m_units[idx(unit)].startLine) <= kVisibleRows;
}

double OpticalScene::gain(uint16_t word) const
{
    const int index = scaleIndex(word);
    return index < 0 ? 1.0 : 0.5 + 0.06 * index;
}

bool OpticalScene::searchLine(int unit, uint16_t lower, uint16_t upper, uint16_t& line) const
{
    const UnitOptics& u = m_units[idx(unit)];
    if (u.pinnedSearch) {
        line = *u.pinnedSearch;
        return true;
    }
    // The firmware scans the asked rows for the band at its middle column.
    const CameraView& v = m_config.units[idx(unit)];
    const long row = std::lround(bandRow(unit, (v.startColumn + v.endColumn) / 2.0));
    const bool found = v.reflectance >= kFindableReflectance && row >= lower && row <= upper && row >= 1;
    line = found ? static_cast<uint16_t>(row) : kNoLine;
    return true;
}

bool OpticalScene::setLine(int unit, uint16_t line)
{
    if (m_config.faults.failSetLine[idx(unit)] || line < 1 || line > kColumns)
        return false;
    UnitOptics& u = m_units[idx(unit)];
    u.startLine = line;
    u.stale = true;
    return true;
}

bool OpticalScene::lineRange(int unit, uint16_t& startColumn, uint16_t& endColumn) const
{
    if (m_config.faults.failLineRange[idx(unit)])
        return false;
    const UnitOptics& u = m_units[idx(unit)];
    if (u.pinnedRange) {
        startColumn = (*u.pinnedRange)[0];
        endColumn = (*u.pinnedRange)[1];
        return true;
    }
    if (!windowSeesBand(unit))
        return false;
    const CameraView& v = m_config.units[idx(unit)];
    startColumn = static_cast<uint16_t>(std::clamp(v.startColumn, 0, kColumns - 1));
    endColumn = static_cast<uint16_t>(std::clamp(v.endColumn, 0, kColumns - 1));
    return true;
}

bool OpticalScene::zones(int unit, ZoneTable& table) const
{
    if (m_config.faults.failZones[idx(unit)])
        return false;
    const UnitOptics& u = m_units[idx(unit)];
    if (u.pinnedZones) {
        table = *u.pinnedZones;
        return true;
    }
    if (!windowSeesBand(unit))
        return false;
    const CameraView& v = m_config.units[idx(unit)];
    const double width = (v.endColumn - v.startColumn + 1) / 8.0;
    for (int z = 0; z < 8; ++z) {
        if (z < 7)
            table.positions[static_cast<size_t>(z)] =
                static_cast<uint8_t>(std::clamp(static_cast<int>((v.startColumn + (z + 1) * width) / 10), 0, 63));
        const double middle = v.startColumn + (z + 0.5) * width;
        const long line = std::lround(bandRow(unit, middle)) - (u.startLine - kCentreLine);
        table.codes[static_cast<size_t>(z)] = static_cast<uint8_t>(std::clamp<long>(line, 0, 7));
    }
    return true;
}

bool OpticalScene::exposure(int unit, uint16_t& word, uint16_t& startColumn, uint16_t& endColumn)
{
    if (m_config.faults.failExposure[idx(unit)])
        return false;
    UnitOptics& u = m_units[idx(unit)];
    if (u.pinnedExposure) {
        word = *u.pinnedExposure;
        if (!lineRange(unit, startColumn, endColumn)) {
            const CameraView& v = m_config.units[idx(unit)];
            startColumn = static_cast<uint16_t>(v.startColumn);
            endColumn = static_cast<uint16_t>(v.endColumn);
        }
        return true;
    }
    if (!lineRange(unit, startColumn, endColumn))
        return false;
    // The shortest exposure that makes the band bright enough, else the longest.
    const double peak = 255.0 * m_config.units[idx(unit)].reflectance / 100.0;
    size_t chosen = kExposureScale.size() - 1;
    for (size_t i = 0; i < kExposureScale.size(); ++i) {
        if (peak * gain(kExposureScale[i]) >= kBrightEnough) {
            chosen = i;
            break;
        }
    }
    u.exposureWord = kExposureScale[chosen];
    u.stale = true;
    word = u.exposureWord;
    return true;
}

void OpticalScene::pinSearchLine(int unit, uint16_t line) { m_units[idx(unit)].pinnedSearch = line; }

void OpticalScene::pinLineRange(int unit, uint16_t startColumn, uint16_t endColumn)
{
    m_units[idx(unit)].pinnedRange = std::array<uint16_t, 2>{startColumn, endColumn};
}

void OpticalScene::pinZones(int unit, const ZoneTable& table) { m_units[idx(unit)].pinnedZones = table; }

void OpticalScene::pinExposure(int unit, uint16_t word)
{
    UnitOptics& u = m_units[idx(unit)];
    u.pinnedExposure = word;
    u.exposureWord = word;
    u.stale = true;
}

void OpticalScene::pinLine(int unit, int line, std::span<const uint8_t> pixels)
{
    if (line < 0 || line >= kMaxLines)
        return;
    UnitOptics& u = m_units[idx(unit)];
    u.pinnedLine[static_cast<size_t>(line)] = true;
    const size_t n = std::min<size_t>(pixels.size(), kColumns);
    std::copy_n(pixels.begin(), n, u.pinnedPixels.begin() + line * kColumns);
    u.stale = true;
}

void OpticalScene::captureRequested(int unit) { m_units[idx(unit)].captureReads = kCaptureReads; }

void OpticalScene::beforeRegisterRead(int unit, uint16_t address, int count, std::span<uint8_t> registers,
                                      std::span<const uint8_t> sensorRegisters)
{
    auto covers = [&](uint16_t reg) { return address <= reg && reg < address + count; };
    UnitOptics& u = m_units[idx(unit)];
    if (covers(kCaptureRegister) && u.captureReads > 0 && --u.captureReads == 0) {
        // The frame is latched: zone table into its registers, 0x30 back to 0.
        ZoneTable table;
        if (u.pinnedZones)
            table = *u.pinnedZones;
        else if (!zones(unit, table))
            table = ZoneTable{};
        for (size_t z = 0; z < 7; ++z)
            registers[kZonePositionRegister + z] = table.positions[z];
        for (size_t k = 0; k < 4; ++k)
            registers[kZoneCodeRegister + k] =
                static_cast<uint8_t>((table.codes[2 * k] & 7) | ((table.codes[2 * k + 1] & 7) << 4));
        registers[kCaptureRegister] = 0;
        newFrame(unit);
    }
    if (covers(kDataLineRegister)) {
        const bool testPattern =
            sensorRegisters[kSensorTestPattern] == 7 && sensorRegisters[kSensorOutputMode] == 2;
        const int column =
            std::clamp(registers[kDataColumnLow] | (registers[kDataColumnHigh] << 8), 0, kColumns - 1);
        const int row = m_units[idx(unit)].startLine;
        const uint8_t value =
            testPattern ? 0xFF : static_cast<uint8_t>(std::clamp(brightness(unit, row, column, true), 0.0, 255.0));
        registers[kDataLineRegister] = static_cast<uint8_t>(value & ~m_config.faults.brokenDataBits[idx(unit)]);
    }
}

void OpticalScene::newFrame(int unit)
{
    UnitOptics& u = m_units[idx(unit)];
    ++u.frame;
    u.stale = true;
}

double OpticalScene::brightness(int unit, int row, int column, bool withNoise) const
{
    const CameraView& v = m_config.units[idx(unit)];
    const UnitOptics& u = m_units[idx(unit)];
    const double band = bandRow(unit, column);
    const double d = row - band;
    const double cw = columnWeight(v, column);
    // A slow ripple runs along the band, as the room light flickers.
    const double ripple = 1.0 + 0.03 * std::sin(static_cast<double>(u.frame) * 0.23 + column * 0.021);
    const double light = 255.0 * v.reflectance / 100.0 * gain(u.exposureWord) * ripple * cw *
                         std::exp(-d * d / (2 * kBandSigma * kBandSigma));
    // Below the band the camera sees the screen, above it the dark room.
    const double ambient = d > 0 ? 12.0 + 10.0 * cw : 9.0;
    const double noise = withNoise ? m_config.noise * jitter(u.frame, unit, row, column) : 0.0;
    return light + ambient + noise;
}

void OpticalScene::render(int unit, bool extended)
{
    UnitOptics& u = m_units[idx(unit)];
    const uint8_t keep = static_cast<uint8_t>(~m_config.faults.brokenDataBits[idx(unit)]);
    auto pixel = [&](int row, int column, bool noise) {
        return static_cast<uint8_t>(static_cast<uint8_t>(std::lround(std::clamp(brightness(unit, row, column, noise), 0.0, 255.0))) & keep);
    };
    u.image.fill(0);
    const int firstRow = u.startLine - kCentreLine;
    if (extended) {
        // Ten lines of 4-bit pictures: what the FPGA holds as background
        // (high nibble) and what it sees now (low nibble); then the start
        // row in full depth.
        for (int line = 0; line < kMaxLines - 1; ++line) {
            for (int c = 0; c < kColumns; ++c) {
                const int row = firstRow + line;
                const uint8_t background = pixel(row, c, false) >> 4;
                const uint8_t current = pixel(row, c, true) >> 4;
                u.image[static_cast<size_t>(line * kColumns + c)] = static_cast<uint8_t>((background << 4) | current);
            }
        }
        for (int c = 0; c < kColumns; ++c)
            u.image[static_cast<size_t>((kMaxLines - 1) * kColumns + c)] = pixel(u.startLine, c, true);
    } else {
        for (int line = 0; line < kOrdinaryLines; ++line)
            for (int c = 0; c < kColumns; ++c)
                u.image[static_cast<size_t>(line * kColumns + c)] = pixel(firstRow + line, c, true);
    }
    for (int line = 0; line < kMaxLines; ++line) {
        if (u.pinnedLine[static_cast<size_t>(line)])
            std::copy_n(u.pinnedPixels.begin() + line * kColumns, kColumns, u.image.begin() + line * kColumns);
    }
    u.renderedExtended = extended;
    u.stale = false;
}

std::span<const uint8_t> OpticalScene::image(int unit, bool extended)
{
    UnitOptics& u = m_units[idx(unit)];
    if (u.stale || u.renderedExtended != extended)
        render(unit, extended);
    return u.image;
}

int OpticalScene::reportedStreamLength(int unit, int actualLength) const
{
    return m_config.faults.longStream && unit == 0 ? 700 : actualLength;
}

} // namespace tovrin::sim
