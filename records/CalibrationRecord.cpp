#include "CalibrationRecord.h"

#include "RecordJournal.h"

#include "device/UnitAddress.h"
#include "device/UnitOps.h"
#include "shell/Log.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace tovrin::records {

std::atomic<uint32_t> g_ImageVersion[2] = {0xFFFFFFFFu, 0xFFFFFFFFu};
std::atomic<uint32_t> g_BootloaderVersion[2] = {0xFFFFFFFFu, 0xFFFFFFFFu};

namespace {

using device::Unit;

constexpr size_t kPiece = 32;

// Little-endian field access at documented offsets.
void put16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v)
{
    put16(p, static_cast<uint16_t>(v));
    put16(p + 2, static_cast<uint16_t>(v >> 16));
}
uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t get32(const uint8_t* p) { return get16(p) | (static_cast<uint32_t>(get16(p + 2)) << 16); }

void putRects(uint8_t* p, std::span<const KeyRect> rects)
{
    for (const KeyRect& r : rects) {
        put16(p, static_cast<uint16_t>(r.left));
        put16(p + 2, static_cast<uint16_t>(r.top));
        put16(p + 4, static_cast<uint16_t>(r.right));
        put16(p + 6, static_cast<uint16_t>(r.bottom));
        p += 8;
    }
}
void getRects(const uint8_t* p, std::span<KeyRect> rects)
{
    for (KeyRect& r : rects) {
        r.left = static_cast<int16_t>(get16(p));
        r.top = static_cast<int16_t>(get16(p + 2));
        r.right = static_cast<int16_t>(get16(p + 4));
        r.bottom = static_cast<int16_t>(get16(p + 6));
        p += 8;
    }
}

Unit toUnit(UnitId u) { return u == UnitId::Slave ? Unit::Slave : Unit::Master; }

// Writes a record piecewise: first word as 0xFFFFFFFF with the first piece,
// the other 32-byte pieces in address order, a read-back of them all, the
// real first word last. Any failed write, or pieces that read back other
// than sent, end the save; the record then reads as invalid.
bool writePiecewise(uint32_t base, std::span<const uint8_t> record, size_t pieces)
{
    std::vector<uint8_t> buffer(pieces * kPiece, 0);
    std::copy(record.begin(), record.end(), buffer.begin());
    uint8_t first[4];
    std::copy_n(buffer.begin(), 4, first);
    std::fill_n(buffer.begin(), 4, uint8_t{0xFF});
    for (size_t k = 0; k < pieces; ++k) {
        if (!device::WriteFromBuffer(base + static_cast<uint32_t>(kPiece * k),
                                     std::span<const uint8_t>(buffer).subspan(kPiece * k, kPiece)))
            return false;
    }
    std::vector<uint8_t> back(buffer.size(), 0);
    if (!device::ReadToBuffer(base, static_cast<int>(back.size()), back))
        return false;
    if (back != buffer) {
        shell::LogF("%s record at 0x%05x reads back other than written; left invalid\n", device::CurrentUnitName(),
                    base & 0xFFFFFFu);
        return false;
    }
    return device::WriteFromBuffer(base, std::span<const uint8_t>(first, 4));
}

} // namespace

CalInfo::Bytes CalInfo::encode() const
{
    Bytes b{};
    uint8_t* p = b.data();
    put32(p + 0, SENSORInfoFlag);
    put16(p + 4, startLine);
    put16(p + 6, exposureWord);
    put16(p + 8, u10_PROJECT_START);
    put16(p + 10, u10_PROJECT_END);
    std::copy(keptBytes.begin(), keptBytes.end(), p + 12);
    for (size_t i = 0; i < 8; ++i)
        for (size_t j = 0; j < 3; ++j)
            put16(p + 18 + 6 * i + 2 * j, st_COLUMN_PIECE[i][j]);
    solution.encode(std::span<uint8_t, StClbInfo::kSize>(p + 66, StClbInfo::kSize));
    put16(p + 446, ScreenWidth);
    put16(p + 448, ScreenHight);
    keySolution.encode(std::span<uint8_t, StClbInfo::kSize>(p + 450, StClbInfo::kSize));
    p[830] = leftKeyCount;
    p[831] = bottomKeyCount;
    p[832] = rightKeyCount;
    p[833] = topKeyCount;
    putRects(p + 834, LeftKeyPosition);
    putRects(p + 1010, BottomKeyPosition);
    putRects(p + 1026, RightKeyPosition);
    putRects(p + 1202, TopKeyPosition);
    for (size_t i = 0; i < P_Pos.size(); ++i)
        put16(p + 1218 + 2 * i, P_Pos[i]);
    return b;
}

CalInfo CalInfo::decode(std::span<const uint8_t, kCalInfoSize> bytes)
{
    const uint8_t* p = bytes.data();
    CalInfo r;
    r.SENSORInfoFlag = get32(p);
    r.startLine = get16(p + 4);
    r.exposureWord = get16(p + 6);
    r.u10_PROJECT_START = get16(p + 8);
    r.u10_PROJECT_END = get16(p + 10);
    std::copy_n(p + 12, 6, r.keptBytes.begin());
    for (size_t i = 0; i < 8; ++i)
        for (size_t j = 0; j < 3; ++j)
            r.st_COLUMN_PIECE[i][j] = get16(p + 18 + 6 * i + 2 * j);
    StClbInfo::decode(bytes.subspan(66, StClbInfo::kSize), r.solution);
    r.ScreenWidth = get16(p + 446);
    r.ScreenHight = get16(p + 448);
    StClbInfo::decode(bytes.subspan(450, StClbInfo::kSize), r.keySolution);
    r.leftKeyCount = p[830];
    r.bottomKeyCount = p[831];
    r.rightKeyCount = p[832];
    r.topKeyCount = p[833];
    getRects(p + 834, r.LeftKeyPosition);
    getRects(p + 1010, r.BottomKeyPosition);
    getRects(p + 1026, r.RightKeyPosition);
    getRects(p + 1202, r.TopKeyPosition);
    for (size_t i = 0; i < r.P_Pos.size(); ++i)
        r.P_Pos[i] = get16(p + 1218 + 2 * i);
    return r;
}

ScreenRecord::Bytes ScreenRecord::encode() const
{
    Bytes b{};
    put32(b.data(), flag);
    const uint8_t bytes[14] = {Screen_Size,    smoothness,       ImageMode,        Vertical_Mode, OperationMode,
                               FiveCalibration_en, FourCalib_en, CalibWay,         calibWayCode,  InfraredExpTimeS,
                               InfraredExpGainS, zero,           TouchType,        XPRightClickMode};
    std::copy(std::begin(bytes), std::end(bytes), b.begin() + 4);
    put32(b.data() + 18, TouchRightClickDistThres);
    put32(b.data() + 22, TouchRightClickTimeThres);
    return b;
}

ScreenRecord ScreenRecord::decode(std::span<const uint8_t, kScreenRecordSize> b)
{
    ScreenRecord r;
    r.flag = get32(b.data());
    uint8_t* fields[14] = {&r.Screen_Size,    &r.smoothness,       &r.ImageMode,    &r.Vertical_Mode,
                           &r.OperationMode,  &r.FiveCalibration_en, &r.FourCalib_en, &r.CalibWay,
                           &r.calibWayCode,   &r.InfraredExpTimeS, &r.InfraredExpGainS, &r.zero,
                           &r.TouchType,      &r.XPRightClickMode};
    for (size_t i = 0; i < 14; ++i)
        *fields[i] = b[4 + i];
    r.TouchRightClickDistThres = get32(b.data() + 18);
    r.TouchRightClickTimeThres = get32(b.data() + 22);
    return r;
}

bool readCalibrationRecord(UnitId unit, CalInfo& out)
{
    CalInfo::Bytes bytes{};
    if (!device::ReadToBuffer(device::flashAddress(toUnit(unit), device::flash::kCalibrationRecord),
                              static_cast<int>(kCalInfoSize), bytes))
        return false;
    out = CalInfo::decode(bytes);
    return true;
}

bool eraseRecord(UnitId unit, RecordKind kind)
{
    // The journal keeps what the sector holds before it is gone.
    if (!journalBeforeErase(unit, kind))
        return false;
    return device::EraseBlock(device::flashAddress(toUnit(unit), placeOf(kind).offset));
}

bool writeRecordBytes(UnitId unit, RecordKind kind, std::span<const uint8_t> bytes)
{
    const RecordPlace& place = placeOf(kind);
    if (place.pieces == 0 || bytes.size() != place.size)
        return false;
    if (!writePiecewise(device::flashAddress(toUnit(unit), place.offset), bytes, place.pieces))
        return false;
    journalWritten(unit, kind);
    return true;
}

bool eraseCalibrationRecord(UnitId unit)
{
    return eraseRecord(unit, RecordKind::Calibration);
}

bool writeCalibrationRecord(UnitId unit, const CalInfo& record)
{
    const CalInfo::Bytes bytes = record.encode();
    return writeRecordBytes(unit, RecordKind::Calibration, bytes);
}

bool readScreenRecord(ScreenRecord& out)
{
    ScreenRecord::Bytes bytes{};
    if (!device::ReadToBuffer(device::flashAddress(Unit::Slave, device::flash::kScreenRecord),
                              static_cast<int>(kScreenRecordSize), bytes))
        return false;
    out = ScreenRecord::decode(bytes);
    return true;
}

bool eraseScreenRecord(UnitId unit)
{
    return eraseRecord(unit, RecordKind::Screen);
}

bool writeScreenRecord(UnitId unit, const ScreenRecord& record)
{
    const ScreenRecord::Bytes bytes = record.encode();
    return writeRecordBytes(unit, RecordKind::Screen, bytes);
}

bool readVersionRecord(UnitId unit)
{
    if (!device::g_bDevExist.load())
        return false;
    uint8_t bytes[kVersionRecordSize];
    if (!device::ReadToBuffer(device::flashAddress(toUnit(unit), device::flash::kVersionRecord),
                              static_cast<int>(kVersionRecordSize), bytes))
        return false;
    const int u = unit == UnitId::Slave ? 1 : 0;
    g_ImageVersion[u].store(get32(bytes));
    g_BootloaderVersion[u].store(get32(bytes + 4));
    return true;
}

bool acceptNewCalibration(int leftStart, int leftEnd, int rightStart, int rightEnd, int32_t r_fix)
{
    if (leftEnd <= leftStart || rightEnd <= rightStart)
        return false;
    if (r_fix < 512 || r_fix > 2048)
        return false;
    return leftStart < 320 && leftEnd > 320 && rightStart < 320 && rightEnd > 320;
}

void widenWindow(uint16_t& storedStart, uint16_t& storedEnd, int newStart, int newEnd)
{
    if (!(newStart < newEnd))
        return;
    if (storedEnd >= 639 || newEnd > storedEnd)
        storedEnd = static_cast<uint16_t>(std::clamp(newEnd + 3, 0, 0xFFFF));
    if (storedStart == 0 || newStart < storedStart)
        storedStart = static_cast<uint16_t>(std::clamp(newStart > 3 ? newStart - 3 : newStart, 0, 0xFFFF));
}

void logCalibrationRecord(const CalInfo& r, UnitId unit)
{
    const char* n = unit == UnitId::Slave ? "CalInfo_R" : "CalInfo_L";
    using shell::LogF;
    LogF("%s.StScreenPara.ScreenWidth=%d, %s.StScreenPara.ScreenHight=%d\n", n, r.ScreenWidth, n, r.ScreenHight);
    LogF("%s.SENSORInfoFlag=0x%x\n", n, r.SENSORInfoFlag);
    LogF("%s.StImageProcessPara.u10_PROJECT_START=%d, %s.StImageProcessPara.u10_PROJECT_END=%d\n", n,
         r.u10_PROJECT_START, n, r.u10_PROJECT_END);
    for (int i = 0; i < 8; ++i) {
        const auto& piece = r.st_COLUMN_PIECE[static_cast<size_t>(i)];
        LogF("%s.StImageProcessPara.st_COLUMN_PIECE[%d]={%d, %d, %d}\n", n, i, piece[1], piece[2], piece[0]);
    }
    // The P_Pos table: a line break after the 32nd value, "}" after the last.
    std::string line = std::string(n) + ".P_Pos={";
    for (size_t i = 0; i < r.P_Pos.size(); ++i) {
        line += std::to_string(r.P_Pos[i]);
        if (i + 1 == r.P_Pos.size()) {
            line += "}\n";
            LogF("%s", line.c_str());
        } else if (i == 31) {
            line += ",\n";
            LogF("%s", line.c_str());
            line.clear();
        } else {
            line += ',';
        }
    }
    LogF("%s.r_fix=%d\n", n, r.solution.r_fix);
    for (int i = 0; i < 16; i += 4) {
        const StPoint16* e = r.solution.EvalPt + i;
        LogF("%s.StClbInfo.EvalPt[%d]=(%d,%d), %s.StClbInfo.EvalPt[%d]=(%d,%d), %s.StClbInfo.EvalPt[%d]=(%d,%d), "
             "%s.StClbInfo.EvalPt[%d]=(%d,%d)\n",
             n, i, e[0].x, e[0].y, n, i + 1, e[1].x, e[1].y, n, i + 2, e[2].x, e[2].y, n, i + 3, e[3].x, e[3].y);
    }
    for (int c = 0; c < 9; ++c) {
        const int32_t* x = r.solution.X[c];
        LogF("%s.StClbInfo.X[%d][0]={%d, %d, %d, %d, %d, %d, %d, %d}\n", n, c, x[0], x[1], x[2], x[3], x[4], x[5],
             x[6], x[7]);
    }
    LogF("%s.LCam.Po_l4.x=%d, %s.LCam.Po_l4.y=%d\n", n, r.solution.LCam.Po_l4.x, n, r.solution.LCam.Po_l4.y);
    LogF("%s.LCam.L_A=%d, %s.LCam.L_Angle_fix=%d\n", n, r.solution.LCam.L_A, n, r.solution.LCam.L_Angle_fix);
    LogF("%s.RCam.Po_l4.x=%d, %s.RCam.Po_l4.y=%d\n", n, r.solution.RCam.Po_l4.x, n, r.solution.RCam.Po_l4.y);
    LogF("%s.RCam.L_A=%d, %s.RCam.L_Angle_fix=%d\n\n", n, r.solution.RCam.L_A, n, r.solution.RCam.L_Angle_fix);
}

} // namespace tovrin::records
