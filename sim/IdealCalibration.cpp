#include "sim/IdealCalibration.h"

#include "sim/SimBytes.h"
#include "sim/SimulatedFrame.h"

#include <cmath>
#include <vector>

namespace tovrin::sim {

namespace {

// Calibration record offsets (1354 bytes, written as 43 pieces of 32):
//   0 validity word   8 START   10 END   66 LCam (Po_l4 x, y s16; L_A s32;
//   L_Angle_fix s32)   78 RCam   90 X[9][8] s32   378 EvalPt[16]
//   442 r_fix   446 width   448 height   1218 P_Pos[68]
constexpr uint32_t kRecordSize = 1354;
constexpr uint32_t kValidWord = 0x46574946;

void putCamera(uint8_t* p, const calib::CameraPose& pose)
{
    writeU16le(p, static_cast<uint16_t>(static_cast<int16_t>(std::trunc(pose.x * 16.0))));
    writeU16le(p + 2, static_cast<uint16_t>(static_cast<int16_t>(std::trunc(pose.y * 16.0))));
    writeU32le(p + 4, static_cast<uint32_t>(pose.shift));
    writeU32le(p + 8, static_cast<uint32_t>(static_cast<int32_t>(std::trunc(pose.offset * 1024.0))));
}

} // namespace

void writeIdealCalibration(SimulatedFrame& frame, const calib::FrameGeometry& g, int width, int height)
{
    const calib::LensTable table(g.variant);
    for (Unit unit : {Unit::Master, Unit::Slave}) {
        std::vector<uint8_t> r = frame.readFlash(unit, kCalibrationRecordOffset, kRecordSize);
        uint8_t* p = r.data();
        if (readU32le(p) != kValidWord) {
            std::fill(r.begin(), r.end(), uint8_t{0});
            writeU16le(p + 4, 236);
            writeU16le(p + 8, 40);
            writeU16le(p + 10, 600);
        }
        writeU32le(p, kValidWord);
        putCamera(p + 66, g.left);
        putCamera(p + 78, g.right);
        for (int row = 0; row < 9; ++row)
            for (int col = 0; col < 8; ++col)
                writeU32le(p + 90 + 4 * (8 * row + col), 0);
        for (int i = 0; i < 16; ++i)
            writeU32le(p + 378 + 4 * i, 0);
        writeU32le(p + 442, static_cast<uint32_t>(static_cast<int32_t>(std::trunc(g.r * 1024.0))));
        writeU16le(p + 446, static_cast<uint16_t>(width));
        writeU16le(p + 448, static_cast<uint16_t>(height));
        for (int i = 0; i < 68; ++i)
            writeU16le(p + 1218 + 2 * i, static_cast<uint16_t>(std::lround(table[i] * 2.0)));
        frame.eraseSector(unit, kCalibrationRecordOffset);
        frame.setFlash(unit, kCalibrationRecordOffset, r);
    }
    frame.unplug();
    frame.plug();
}

} // namespace tovrin::sim
