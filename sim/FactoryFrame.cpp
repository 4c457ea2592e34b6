#include "sim/FactoryFrame.h"

#include "sim/OpticalScene.h"
#include "sim/SimBytes.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace tovrin::sim {

namespace {

constexpr int kCalibrationRecordSize = 1354;
constexpr int kCalibrationWriteSize = 1376;  // 43 pieces of 32 bytes
constexpr int kScreenWriteSize = 288;        // 9 pieces of 32 bytes

constexpr std::array<uint16_t, 68> kPPosTableA = {
    10, 36, 62, 86, 110, 134, 157, 179, 201, 222, 242, 262, 282, 300, 318, 336, 354,
    370, 386, 402, 418, 434, 449, 464, 479, 494, 508, 522, 536, 550, 564, 578, 592,
    606, 620, 634, 648, 662, 676, 690, 705, 720, 735, 750, 765, 781, 797, 813, 830,
    847, 865, 883, 901, 920, 940, 960, 981, 1002, 1024, 1047, 1071, 1095, 1120, 1146,
    1172, 1198, 1228, 1258};

// Calibration information record, 1354 bytes (offsets of the record):
//   0 validity word   4 start line   6 exposure word   8 START   10 END
//   18 eight column pieces (3 x u16)   66 LCam   78 RCam   90 X[9][8]
//   378 EvalPt[16]   442 r_fix   446 screen width   448 screen height
//   450..1217 key layout (none)   1218 P_Pos[68]
std::vector<uint8_t> factoryCalibrationRecord(uint16_t startLine, uint16_t exposure, uint16_t startColumn,
                                              uint16_t endColumn)
{
    std::vector<uint8_t> r(kCalibrationWriteSize, 0);
    uint8_t* p = r.data();
    writeU32le(p + 0, kCalibrationValidWord);
    writeU16le(p + 4, startLine);
    writeU16le(p + 6, exposure);
    writeU16le(p + 8, startColumn);
    writeU16le(p + 10, endColumn);
    for (int piece = 0; piece < 8; ++piece) {
        uint8_t* q = p + 18 + 6 * piece;
        writeU16le(q + 0, static_cast<uint16_t>(startColumn + piece * (endColumn - startColumn) / 8));
        writeU16le(q + 2, startLine);
        writeU16le(q + 4, 0);
    }
    // Cameras in the two upper corners, looking in at 45 degrees (x16 positions,
    // x1024 angles in radians).
    writeU16le(p + 66, static_cast<uint16_t>(int16_t{0}));
    writeU16le(p + 68, static_cast<uint16_t>(int16_t{0}));
    writeU32le(p + 70, 0);
    writeU32le(p + 74, 804);
    writeU16le(p + 78, static_cast<uint16_t>(int16_t{kFactoryScreenWidth * 16}));
    writeU16le(p + 80, static_cast<uint16_t>(int16_t{0}));
    writeU32le(p + 82, 0);
    writeU32le(p + 86, 804);
    for (int row = 0; row < 9; ++row)
        for (int col = 0; col < 8; ++col)
            writeU32le(p + 90 + 4 * (8 * row + col), row == col ? 1048576u : 0u);
    for (int i = 0; i < 16; ++i) {
        writeU16le(p + 378 + 4 * i, static_cast<uint16_t>(240 + (i % 4) * 480));
        writeU16le(p + 380 + 4 * i, static_cast<uint16_t>(135 + (i / 4) * 270));
    }
    writeU32le(p + 442, 1024);
    writeU16le(p + 446, kFactoryScreenWidth);
    writeU16le(p + 448, kFactoryScreenHeight);
    for (size_t i = 0; i < kPPosTableA.size(); ++i)
        writeU16le(p + 1218 + 2 * i, kPPosTableA[i]);
    static_assert(1218 + 2 * 68 == kCalibrationRecordSize);
    return r;
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
    // The factory leveled each unit on the scene its cameras see.
    const SceneConfig scene = frame.scene();
    for (Unit unit : {Unit::Master, Unit::Slave}) {
        const CameraView& view = scene.units[static_cast<size_t>(unit)];
        const uint16_t exposure = unit == Unit::Master ? kFactoryExposureMaster : kFactoryExposureSlave;
        const auto record = factoryCalibrationRecord(static_cast<uint16_t>(std::lround(view.surfaceRow)), exposure,
                                                     static_cast<uint16_t>(view.startColumn),
                                                     static_cast<uint16_t>(view.endColumn));
        for (uint32_t sector : {kImageInfoOffset, kCalibrationRecordOffset, kVersionRecordOffset, kScreenRecordOffset})
            frame.eraseSector(unit, sector);
        frame.setFlash(unit, kImageInfoOffset, info);
        frame.setFlash(unit, kCalibrationRecordOffset, record);
        frame.setFlash(unit, kVersionRecordOffset, version);
        frame.setFlash(unit, kScreenRecordOffset, screen);
    }
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
