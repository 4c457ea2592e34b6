#pragma once
// A frame as it leaves the factory, and the frame behind the tool's
// --simulate mode.

#include "sim/SimulatedFrame.h"

#include <filesystem>
#include <memory>

namespace tovrin::sim {

constexpr uint32_t kFactoryImageVersion = 0x01020005;       // 1.2.5
constexpr uint32_t kFactoryBootLoaderVersion = 0x01000007;  // 1.0.7
constexpr uint16_t kFactoryScreenWidth = 1920;
constexpr uint16_t kFactoryScreenHeight = 1080;
// Exposure words the factory stores for the default scene (entries 13 and
// 16 of the frame's scale); start lines and columns are those the factory's
// leveling finds on the frame's scene.
constexpr uint16_t kFactoryExposureMaster = 0x04B0;
constexpr uint16_t kFactoryExposureSlave = 0x06C0;

// Writes the factory contents into both units' flash (the sectors of the
// image information, calibration, version and screen records, and the
// settings record of extended-frame units) and restarts the frame so that
// it comes up in work mode: leveled on its current scene, calibrated for a
// 1920 x 1080 screen with the solution that fits its optics, firmware
// 1.2.5, boot loader 1.0.7.
void writeFactoryContents(SimulatedFrame& frame);

// Where --simulate keeps the flash: $TOVRIN_SIM_FLASH when set, else
// $XDG_DATA_HOME/tovrin/simulated-frame.bin, else
// ~/.local/share/tovrin/simulated-frame.bin.
std::filesystem::path defaultFlashFilePath();

// The frame of --simulate: its kind, scene and optics from the environment
// (applyFrameEnvironment), flash kept in defaultFlashFilePath() (saved at
// most every 500 ms while it changes and on close), factory contents when
// that file does not exist yet.
std::shared_ptr<SimulatedFrame> makeDefaultSimulatedFrame();

} // namespace tovrin::sim
