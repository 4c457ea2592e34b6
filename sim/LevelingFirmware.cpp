#include "sim/LevelingFirmware.h"

#include "sim/SimBytes.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tovrin::sim {

namespace {

constexpr int kColumns = OpticalScene::kColumns;
constexpr int kRowsAbove = 4;        // window rows above the start row
constexpr int kOrdinaryRows = 8;     // lines 0..7 of an ordinary unit's window
constexpr int kExtendedRows = 10;    // 4-bit lines of an extended-frame unit
constexpr int kBrightEnough = 197;   // exposure target of an ordinary unit (grey levels above the dark lines)
constexpr double kLeastVotes = 8.0;  // weighted columns a searched row needs
constexpr int kLeastContrast = 24;   // a band must stand this far above the dark rows
constexpr int kLeastColumns = 32;    // shorter runs are not a usable band
constexpr int kAutoLineReach = 16;   // rows an extended unit looks around its stored line
constexpr uint8_t kUpperSearchBit = 0x40;
constexpr uint8_t kSensorModeBase = 0x05;
constexpr double kUpperSensorRows = 200.0;

// Calibration record fields of the leveling: start line, exposure word,
// START, END, and eight column pieces of three u16 (zone end column, zone
// code, zone end column).
constexpr size_t kStartLineAt = 4, kExposureAt = 6, kStartColumnAt = 8, kEndColumnAt = 10, kPiecesAt = 18;

using Row = std::array<uint8_t, kColumns>;

} // namespace

LevelingFirmware::LevelingFirmware(const OpticalScene& scene)
    : m_scene(scene)
{
}

void LevelingFirmware::setFaults(const LevelingFaults& faults)
{
    m_faults = faults;
    for (UnitState& u : m_units)
        u.stale = true;
}

void LevelingFirmware::sceneChanged()
{
    clearPins();
}

// ---- Records ------------------------------------------------------------------

void LevelingFirmware::powerUp(int unit, std::span<const uint8_t> record, std::span<const uint8_t> settings,
                               bool extended)
{
    UnitState& u = m_units[idx(unit)];
    m_extended[idx(unit)] = extended;
    u.startLine = 236;
    u.exposureWord = 0x04B0;
    u.startColumn = 0;
    u.endColumn = kColumns - 1;
    u.zoneTable = {};
    u.measured = {};
    u.captureReads = 0;
    u.stale = true;
    u.backgroundFrozen = false;
    u.settings = {};
    applyRecord(unit, record);
    if (!extended)
        return;
    applySettings(unit, settings);
    if (u.settings.valid && u.settings.autoStartLine) {
        // The unit looks for its band around the line it was left on.
        const int stored = u.startLine;
        uint16_t found = kNoLine;
        const auto lower = static_cast<uint16_t>(std::max(1, stored - kAutoLineReach));
        const auto upper = static_cast<uint16_t>(std::min(kColumns, stored + kAutoLineReach));
        const std::optional<uint16_t> pinned = u.pinnedSearch;
        u.pinnedSearch.reset();
        if (searchLine(unit, lower, upper, found) && found != kNoLine)
            u.startLine = found;
        u.pinnedSearch = pinned;
    }
    u.backgroundFrozen = u.settings.valid && !u.settings.autoUpdateBackground;
    u.backgroundTaken = false;
    u.stale = true;
}

void LevelingFirmware::applyRecord(int unit, std::span<const uint8_t> record)
{
    if (record.size() < kPiecesAt + 48)
        return;
    UnitState& u = m_units[idx(unit)];
    const uint8_t* r = record.data();
    const uint16_t line = readU16le(r + kStartLineAt);
    if (line >= 1 && line <= kColumns)
        u.startLine = line;
    const uint16_t word = readU16le(r + kExposureAt);
    if (exposureIndex(word) >= 0)
        u.exposureWord = word;
    const uint16_t first = readU16le(r + kStartColumnAt), last = readU16le(r + kEndColumnAt);
    if (first < last && last < kColumns) {
        u.startColumn = first;
        u.endColumn = last;
    }
    ZoneTable table;
    bool usable = true;
    for (size_t k = 0; k < 8; ++k) {
        const uint16_t end = readU16le(r + kPiecesAt + 6 * k);
        const uint16_t code = readU16le(r + kPiecesAt + 6 * k + 2);
        usable = usable && code <= 7 && end < kColumns;
        table.codes[k] = static_cast<uint8_t>(code & 7);
        if (k < 7)
            table.positions[k] = static_cast<uint8_t>(std::min(63, end / 10));
    }
    if (usable)
        u.zoneTable = table;
    u.measured = {};
    u.stale = true;
}

void LevelingFirmware::applySettings(int unit, std::span<const uint8_t> s)
{
    UnitSettings& settings = m_units[idx(unit)].settings;
    settings = {};
    if (s.size() < 15 || !std::equal(s.begin(), s.begin() + 4, "TEST"))
        return;
    settings.valid = true;
    settings.exposureThreshold = s[4];
    settings.fingerIn = s[5];
    settings.fingerOut = s[6];
    settings.autoUpdateBackground = s[12] != 0;
    settings.autoStartLine = s[14] != 0;
    m_units[idx(unit)].stale = true;
}

bool LevelingFirmware::storeLeveling(int unit, std::span<uint8_t> record)
{
    UnitState& u = m_units[idx(unit)];
    if (record.size() < kPiecesAt + 48)
        return false;
    const std::vector<uint8_t> before(record.begin(), record.begin() + kPiecesAt + 48);
    uint8_t* r = record.data();
    if (u.measured.line)
        writeU16le(r + kStartLineAt, u.startLine);
    if (u.measured.exposure)
        writeU16le(r + kExposureAt, u.exposureWord);
    if (u.measured.columns) {
        writeU16le(r + kStartColumnAt, u.startColumn);
        writeU16le(r + kEndColumnAt, u.endColumn);
    }
    if (u.measured.zones) {
        for (size_t k = 0; k < 8; ++k) {
            const uint16_t end = k < 7 ? static_cast<uint16_t>(u.zoneTable.positions[k] * 10) : u.endColumn;
            writeU16le(r + kPiecesAt + 6 * k, end);
            writeU16le(r + kPiecesAt + 6 * k + 2, u.zoneTable.codes[k]);
            writeU16le(r + kPiecesAt + 6 * k + 4, end);
        }
    }
    u.measured = {};
    return !std::equal(before.begin(), before.end(), record.begin());
}

void LevelingFirmware::levelForFactory(int unit, std::span<uint8_t> record)
{
    // The factory levels on a quiet bench: no sensor noise, no faults.
    const int saved = m_noiseless;
    m_noiseless = 1;
    const LevelingFaults faults = m_faults;
    m_faults = {};
    UnitState& u = m_units[idx(unit)];
    const CameraView& v = m_scene.view(unit);
    u.startLine = static_cast<uint16_t>(std::clamp<long>(std::lround(m_scene.bandRow(unit, (v.startColumn + v.endColumn) / 2.0)), 1, kColumns));
    u.measured.line = true;
    uint16_t word = 0, first = 0, last = 0;
    ZoneTable table;
    if (exposure(unit, word, first, last))
        zones(unit, table);
    storeLeveling(unit, record);
    m_faults = faults;
    m_noiseless = saved;
}

uint8_t LevelingFirmware::sensorModeRegister(int unit) const
{
    const CameraView& v = m_scene.view(unit);
    const double middle = m_scene.bandRow(unit, (v.startColumn + v.endColumn) / 2.0);
    return static_cast<uint8_t>(kSensorModeBase | (middle < kUpperSensorRows ? kUpperSearchBit : 0));
}

// ---- Looking at the picture ------------------------------------------------------

int LevelingFirmware::windowLines(int unit) const
{
    return m_extended[idx(unit)] ? kExtendedRows : kOrdinaryRows;
}

void LevelingFirmware::renderRow(int unit, int row, uint16_t exposure, Row& out)
{
    UnitState& u = m_units[idx(unit)];
    m_scene.renderRow(unit, row, exposure, u.frame, m_noiseless == 0, m_faults.brokenDataBits[idx(unit)], out);
}

bool LevelingFirmware::findColumns(int unit, uint16_t exposure, int& first, int& last)
{
    // Per column: how far the brightest line of the window stands above the
    // darkest one. The band is where that is at least half of what the
    // brightest tenth of the columns show.
    UnitState& u = m_units[idx(unit)];
    newFrame(unit);
    std::array<int, kColumns> top{}, bottom{};
    bottom.fill(255);
    Row row{};
    for (int line = 0; line < windowLines(unit); ++line) {
        renderRow(unit, u.startLine - kRowsAbove + line, exposure, row);
        for (int c = 0; c < kColumns; ++c) {
            top[static_cast<size_t>(c)] = std::max<int>(top[static_cast<size_t>(c)], row[static_cast<size_t>(c)]);
            bottom[static_cast<size_t>(c)] = std::min<int>(bottom[static_cast<size_t>(c)], row[static_cast<size_t>(c)]);
        }
    }
    std::array<int, kColumns> contrast{};
    for (size_t c = 0; c < contrast.size(); ++c)
        contrast[c] = top[c] - bottom[c];
    std::array<int, kColumns> sorted = contrast;
    std::nth_element(sorted.begin(), sorted.begin() + kColumns * 9 / 10, sorted.end());
    const int peak = sorted[kColumns * 9 / 10];
    if (peak < kLeastContrast)
        return false;
    // The longest run above half of it; two dark columns do not end a run.
    int bestFirst = -1, bestLast = -2, runFirst = -1, runLast = -1;
    for (int c = 0; c <= kColumns; ++c) {
        const bool lit = c < kColumns && contrast[static_cast<size_t>(c)] * 2 >= peak;
        if (lit) {
            if (runFirst < 0 || c - runLast > 3)
                runFirst = c;
            runLast = c;
            if (runLast - runFirst > bestLast - bestFirst) {
                bestFirst = runFirst;
                bestLast = runLast;
            }
        }
    }
    if (bestLast - bestFirst + 1 < kLeastColumns)
        return false;
    first = bestFirst;
    last = bestLast;
    return true;
}

bool LevelingFirmware::findZones(int unit, int first, int last, ZoneTable& table)
{
    UnitState& u = m_units[idx(unit)];
    newFrame(unit);
    std::array<Row, kOrdinaryRows> lines{};
    for (int line = 0; line < kOrdinaryRows; ++line)
        renderRow(unit, u.startLine - kRowsAbove + line, u.exposureWord, lines[static_cast<size_t>(line)]);
    const double width = (last - first + 1) / 8.0;
    for (int z = 0; z < 8; ++z) {
        const int from = first + static_cast<int>(std::lround(z * width));
        const int to = std::min(last, first + static_cast<int>(std::lround((z + 1) * width)) - 1);
        if (z < 7)
            table.positions[static_cast<size_t>(z)] = static_cast<uint8_t>(std::clamp((to + 1) / 10, 0, 63));
        int best = 0;
        long bestSum = -1;
        for (int line = 0; line < kOrdinaryRows; ++line) {
            long sum = 0;
            for (int c = from; c <= to; ++c)
                sum += lines[static_cast<size_t>(line)][static_cast<size_t>(c)];
            if (sum > bestSum) {
                bestSum = sum;
                best = line;
            }
        }
        table.codes[static_cast<size_t>(z)] = static_cast<uint8_t>(best);
    }
    return true;
}

// ---- Commands ------------------------------------------------------------------

bool LevelingFirmware::searchLine(int unit, uint16_t lower, uint16_t upper, uint16_t& line)
{
    UnitState& u = m_units[idx(unit)];
    if (u.pinnedSearch) {
        line = *u.pinnedSearch;
        return true;
    }
    // The firmware scans the asked rows (and two beyond each end, for the
    // dark around them). A column votes for the row where it is lit: where
    // it is brightest among its neighbours and clearly above the darkest
    // row at that column. The middle columns weigh most; a rolled band
    // votes for each row it crosses, most for the one crossing the middle.
    line = kNoLine;
    const int lo = std::max<int>(1, lower), hi = std::min<int>(kColumns, upper);
    if (lo > hi)
        return true;
    const int first = std::max(1, lo - 2), last = std::min(kColumns, hi + 2);
    newFrame(unit);
    std::vector<Row> rows(static_cast<size_t>(last - first + 1));
    for (int r = first; r <= last; ++r)
        renderRow(unit, r, u.exposureWord, rows[static_cast<size_t>(r - first)]);
    auto at = [&](int r, int c) { return static_cast<int>(rows[static_cast<size_t>(r - first)][static_cast<size_t>(c)]); };
    std::array<int, kColumns> dark{};
    dark.fill(255);
    for (int r = first; r <= last; ++r)
        for (int c = 0; c < kColumns; ++c)
            dark[static_cast<size_t>(c)] = std::min(dark[static_cast<size_t>(c)], at(r, c));
    double bestScore = 0.0;
    int bestRow = -1;
    for (int r = lo; r <= hi; ++r) {
        double score = 0.0;
        for (int c = 0; c < kColumns; ++c) {
            const int v = at(r, c);
            const bool lit = v >= dark[static_cast<size_t>(c)] + kLeastContrast && (r == first || v >= at(r - 1, c)) &&
                             (r == last || v >= at(r + 1, c));
            if (lit)
                score += 1.0 - std::abs(c - 319.5) / 320.0;
        }
        if (score > bestScore) {
            bestScore = score;
            bestRow = r;
        }
    }
    if (bestRow >= 0 && bestScore >= kLeastVotes)
        line = static_cast<uint16_t>(bestRow);
    return true;
}

bool LevelingFirmware::setLine(int unit, uint16_t line)
{
    if (m_faults.failSetLine[idx(unit)] || line < 1 || line > kColumns)
        return false;
    UnitState& u = m_units[idx(unit)];
    u.startLine = line;
    u.measured.line = true;
    u.stale = true;
    return true;
}

bool LevelingFirmware::lineRange(int unit, uint16_t& startColumn, uint16_t& endColumn)
{
    if (m_faults.failLineRange[idx(unit)])
        return false;
    UnitState& u = m_units[idx(unit)];
    if (u.pinnedRange) {
        startColumn = (*u.pinnedRange)[0];
        endColumn = (*u.pinnedRange)[1];
        return true;
    }
    int first = 0, last = 0;
    if (!findColumns(unit, u.exposureWord, first, last))
        return false;
    u.startColumn = static_cast<uint16_t>(first);
    u.endColumn = static_cast<uint16_t>(last);
    u.measured.columns = true;
    startColumn = u.startColumn;
    endColumn = u.endColumn;
    return true;
}

bool LevelingFirmware::zones(int unit, ZoneTable& table)
{
    if (m_faults.failZones[idx(unit)])
        return false;
    UnitState& u = m_units[idx(unit)];
    if (u.pinnedZones) {
        table = *u.pinnedZones;
        return true;
    }
    int first = 0, last = 0;
    if (!findColumns(unit, u.exposureWord, first, last) || !findZones(unit, first, last, table))
        return false;
    u.zoneTable = table;
    u.measured.zones = true;
    return true;
}

bool LevelingFirmware::exposure(int unit, uint16_t& word, uint16_t& startColumn, uint16_t& endColumn)
{
    if (m_faults.failExposure[idx(unit)])
        return false;
    UnitState& u = m_units[idx(unit)];
    if (u.pinnedExposure) {
        word = *u.pinnedExposure;
        if (!lineRange(unit, startColumn, endColumn)) {
            startColumn = u.startColumn;
            endColumn = u.endColumn;
        }
        return true;
    }
    int first = 0, last = 0;
    if (!findColumns(unit, u.exposureWord, first, last))
        return false;
    // The shortest exposure at which the band, on average over its columns,
    // stands bright enough above the window's dark lines; else the longest.
    const int target = m_extended[idx(unit)] && u.settings.valid ? u.settings.exposureThreshold : kBrightEnough;
    size_t chosen = kExposureScale.size() - 1;
    Row row{};
    const size_t n = static_cast<size_t>(last - first + 1);
    for (size_t i = 0; i < kExposureScale.size(); ++i) {
        newFrame(unit);
        std::vector<int> top(n, 0), bottom(n, 255);
        for (int line = 0; line < windowLines(unit); ++line) {
            renderRow(unit, u.startLine - kRowsAbove + line, kExposureScale[i], row);
            for (size_t c = 0; c < n; ++c) {
                top[c] = std::max<int>(top[c], row[c + static_cast<size_t>(first)]);
                bottom[c] = std::min<int>(bottom[c], row[c + static_cast<size_t>(first)]);
            }
        }
        double contrast = 0.0;
        for (size_t c = 0; c < n; ++c)
            contrast += top[c] - bottom[c];
        if (contrast / static_cast<double>(n) >= target) {
            chosen = i;
            break;
        }
    }
    u.exposureWord = kExposureScale[chosen];
    u.measured.exposure = true;
    if (findColumns(unit, u.exposureWord, first, last)) {
        u.startColumn = static_cast<uint16_t>(first);
        u.endColumn = static_cast<uint16_t>(last);
        u.measured.columns = true;
    }
    u.stale = true;
    word = u.exposureWord;
    startColumn = u.startColumn;
    endColumn = u.endColumn;
    return true;
}

} // namespace tovrin::sim
