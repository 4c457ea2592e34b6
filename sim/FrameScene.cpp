// The simulated frame's backdoors to what its cameras see and report: the
// scene and its canned answers, the fingers and the printed keys.
#include "sim/FrameCore.h"
#include "sim/SimulatedFrame.h"

namespace tovrin::sim {

using Lock = std::unique_lock<std::mutex>;

void SimulatedFrame::setScene(const SceneConfig& config)
{
    Lock lock(core_->mutex);
    core_->scene.configure(config);
    core_->leveling.sceneChanged();
    core_->fitSensors();
}

SceneConfig SimulatedFrame::scene() const
{
    Lock lock(core_->mutex);
    return core_->scene.config();
}

void SimulatedFrame::setLinePixels(Unit u, int line, std::span<const uint8_t> pixels)
{
    Lock lock(core_->mutex);
    core_->leveling.pinLine(static_cast<int>(unitIndex(u)), line, pixels);
}

std::vector<uint8_t> SimulatedFrame::linePixels(Unit u, int line) const
{
    if (line < 0 || line >= kMaxLines)
        return {};
    Lock lock(core_->mutex);
    const auto image = core_->leveling.image(static_cast<int>(unitIndex(u)), core_->firmware.extended);
    auto first = image.begin() + line * kLinePixels;
    return std::vector<uint8_t>(first, first + kLinePixels);
}

void SimulatedFrame::setSearchLineResult(Unit u, uint16_t line)
{
    Lock lock(core_->mutex);
    core_->leveling.pinSearchLine(static_cast<int>(unitIndex(u)), line);
}

uint16_t SimulatedFrame::startLine(Unit u) const
{
    Lock lock(core_->mutex);
    return core_->leveling.startLine(static_cast<int>(unitIndex(u)));
}

uint16_t SimulatedFrame::exposureWord(Unit u) const
{
    Lock lock(core_->mutex);
    return core_->leveling.exposureWord(static_cast<int>(unitIndex(u)));
}

void SimulatedFrame::setLineRange(Unit u, uint16_t startColumn, uint16_t endColumn)
{
    Lock lock(core_->mutex);
    core_->leveling.pinLineRange(static_cast<int>(unitIndex(u)), startColumn, endColumn);
}

void SimulatedFrame::setZones(Unit u, std::array<uint8_t, 7> positions, std::array<uint8_t, 8> codes)
{
    Lock lock(core_->mutex);
    core_->leveling.pinZones(static_cast<int>(unitIndex(u)), ZoneTable{positions, codes});
}

void SimulatedFrame::setExposure(Unit u, uint16_t word)
{
    Lock lock(core_->mutex);
    core_->leveling.pinExposure(static_cast<int>(unitIndex(u)), word);
}

void SimulatedFrame::levelLikeTheFactory()
{
    Lock lock(core_->mutex);
    for (Unit u : {Unit::Master, Unit::Slave}) {
        const auto sector = core_->bank(u).record(kCalibrationRecordOffset, kFlashSectorSize);
        std::vector<uint8_t> copy(sector.begin(), sector.end());
        core_->leveling.levelForFactory(static_cast<int>(unitIndex(u)), std::span<uint8_t>(copy).first(kCalibrationRecordSize));
        core_->bank(u).rewriteSector(kCalibrationRecordOffset, copy);
    }
    core_->flashChanged();
}

void SimulatedFrame::setTouchSpots(const TouchSpots& spots)
{
    setTouchSource([spots](const TouchRequest&) { return spots; });
}

void SimulatedFrame::setTouchSource(TouchSource source)
{
    Lock lock(core_->mutex);
    core_->firmware.touchSource = std::move(source);
}

Fingers& SimulatedFrame::fingers() { return *core_->fingers; }

bool SimulatedFrame::touchArmed() const
{
    Lock lock(core_->mutex);
    return core_->firmware.touchArmed;
}

TouchRequest SimulatedFrame::lastTouchRequest() const
{
    Lock lock(core_->mutex);
    return core_->firmware.lastTouchRequest;
}

void SimulatedFrame::setKeyState(uint8_t edge, uint8_t keyNumber)
{
    Lock lock(core_->mutex);
    core_->firmware.keyEdge = edge;
    core_->firmware.keyNumber = keyNumber;
}

KeyPanel& SimulatedFrame::keyPanel() { return *core_->keys; }

} // namespace tovrin::sim
