#include "sim/FactoryFrame.h"

#include "sim/Fingers.h"
#include "sim/IdealCalibration.h"
#include "sim/LensTables.h"
#include "sim/SimBytes.h"
#include "sim/SimEnvironment.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace tovrin::sim {

namespace {

constexpr int kCalibrationRecordSize = 1354;
constexpr int kCalibrationWriteSize = 1376;  // 43 pieces of 32 bytes
constexpr int kScreenWriteSize = 288;        // 9 pieces of 32 bytes

// Calibration information record, 1354 bytes (offsets of the record):
//   0 validity word   4 start line   6 exposure word   8 START   10 END
//   18 eight column pieces (3 x u16)   66 LCam   78 RCam   90 X[9][8]
//   378 EvalPt[16]   442 r_fix   446 screen width   448 screen height
//   450..1217 key layout (none)   1218 P_Pos[68]
// The leveling fields are the factory's leveling (levelLikeTheFactory); the
// solution is the one that fits the frame's optics on a 1920 x 1080 screen.
std::vector<uint8_t> factoryCalibrationRecord(const Optics& optics)
{
    std::vector<uint8_t> r(kCalibrationWriteSize, 0);
    uint8_t* p = r.data();
    writeU32le(p + 0, kCalibrationValidWord);
    const StoredSolution s = fitSolution(optics);
    auto camera = [](uint8_t* q, const CameraSolution& c) {
        writeU16le(q, static_cast<uint16_t>(static_cast<int16_t>(std::trunc(c.x * 16.0))));
        writeU16le(q + 2, static_cast<uint16_t>(static_cast<int16_t>(std::trunc(c.y * 16.0))));
        writeU32le(q + 4, static_cast<uint32_t>(c.shift));
        writeU32le(q + 8, static_cast<uint32_t>(static_cast<int32_t>(std::trunc(c.turn * 1024.0))));
    };
    camera(p + 66, s.left);
    camera(p + 78, s.right);
    writeU32le(p + 442, static_cast<uint32_t>(static_cast<int32_t>(std::trunc(s.scale * 1024.0))));
    writeU16le(p + 446, kFactoryScreenWidth);
    writeU16le(p + 448, kFactoryScreenHeight);
    const auto& table = lensTable(optics.lensFamily());
    for (size_t i = 0; i < table.size(); ++i)
        writeU16le(p + 1218 + 2 * i, table[i]);
    static_assert(1218 + 2 * 68 == kCalibrationRecordSize);
    return r;
}

// The settings record of an extended-frame unit (0x1A000, 15 bytes):
// "TEST", exposure threshold, finger-in and finger-out thresholds, sync
// difference, four bytes, auto background, auto image evaluation, auto start line.
std::vector<uint8_t> factoryUnitSettings()
{
    return {'T', 'E', 'S', 'T', 0xC0, 0x08, 0x1E, 0x02, 0, 0, 0, 0, 1, 1, 1};
}

// Screen information record, 26 bytes, written as 288 with zeros behind it.
std::vector<uint8_t> factoryScreenRecord()
{
    std::vector<uint8_t> r(kScreenWriteSize, 0);
    uint8_t* p = r.data();
    writeU32le(p, kScreenValidWord);
    p[4] = 84;  // Screen_Size
    p[5] = 3;   // smoothness
    p[6] = 1;   // ImageMode
    p[7] = 0;   // Vertical_Mode
    p[8] = 0;   // OperationMode
    p[9] = 0;   // FiveCalibration_en
    p[10] = 0;  // FourCalib_en
    p[11] = 1;  // CalibWay
    p[12] = 8;
    p[13] = 0x20;  // InfraredExpTimeS
    p[14] = 0x10;  // InfraredExpGainS
    p[15] = 0;
    p[16] = 0;  // TouchType
    p[17] = 0;  // XPRightClickMode
    writeU32le(p + 18, 20);    // TouchRightClickDistThres
    writeU32le(p + 22, 1000);  // TouchRightClickTimeThres
    return r;
}

// Firmware image information at 0x10000 as the update leaves it.
std::vector<uint8_t> factoryImageInfo()
{
    std::vector<uint8_t> r(38, 0);
    uint8_t* p = r.data();
    p[0] = 'A';
    p[1] = 'G';
    p[2] = 'P';
    p[3] = 'F';
    p[4] = 1;
    p[5] = 0;
    writeU32le(p + 6, 0x11111111);
    writeU32le(p + 10, kFactoryImageVersion);
    writeU32le(p + 14, 0);
    writeU32le(p + 18, 0x7E00);
    writeU32le(p + 22, 0x22222222);
    writeU32le(p + 26, 1);
    writeU32le(p + 30, 0x8000);
    writeU32le(p + 34, 0x7E00);
    return r;
}

} // namespace

void writeFactoryContents(SimulatedFrame& frame)
{
    std::array<uint8_t, 8> version{};
    writeU32le(version.data(), kFactoryImageVersion);
    writeU32le(version.data() + 4, kFactoryBootLoaderVersion);
    const auto info = factoryImageInfo();
    const auto screen = factoryScreenRecord();
    const bool extended = frame.extendedFrame();
    const Optics optics(frame.fingers().opticsConfig(), kFactoryScreenWidth, kFactoryScreenHeight, extended ? 1 : 0);
    const auto record = factoryCalibrationRecord(optics);
    for (Unit unit : {Unit::Master, Unit::Slave}) {
        for (uint32_t sector : {kImageInfoOffset, kCalibrationRecordOffset, kVersionRecordOffset, kScreenRecordOffset,
                                kUnitSettingsOffset})
            frame.eraseSector(unit, sector);
        frame.setFlash(unit, kImageInfoOffset, info);
        frame.setFlash(unit, kCalibrationRecordOffset, record);
        frame.setFlash(unit, kVersionRecordOffset, version);
        frame.setFlash(unit, kScreenRecordOffset, screen);
        if (extended)
            frame.setFlash(unit, kUnitSettingsOffset, factoryUnitSettings());
    }
    // The factory levels each unit on the scene its cameras see.
    frame.levelLikeTheFactory();
    // Power-cycle so that the frame starts in work mode with its records.
    frame.unplug();
    frame.plug();
}

std::filesystem::path defaultFlashFilePath()
{
    if (const char* explicitPath = std::getenv("TOVRIN_SIM_FLASH"); explicitPath && *explicitPath)
        return explicitPath;
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::filesystem::path(home) / ".local" / "share";
    else
        base = std::filesystem::temp_directory_path();
    return base / "tovrin" / "simulated-frame.bin";
}

std::shared_ptr<SimulatedFrame> makeDefaultSimulatedFrame()
{
    auto frame = std::make_shared<SimulatedFrame>();
    // What frame this is (its kind, scene and optics) comes first: the
    // factory contents depend on it.
    applyFrameEnvironment(*frame);
    if (frame->attachFlashFile(defaultFlashFilePath(), PersistPolicy::Throttled)) {
        // Start in the mode the stored records allow.
        frame->unplug();
        frame->plug();
    } else {
        writeFactoryContents(*frame);
        frame->flush();
    }
    return frame;
}

} // namespace tovrin::sim
