#include "calibration/run/PointSamples.h"

#include "device/DeviceStatus.h"
#include "leveling/core/ChunkPlan.h"
#include "leveling/core/FrameBuffers.h"
#include "leveling/core/LevelingConfig.h"
#include "leveling/core/LevelingState.h"
#include "leveling/core/LineTransfer.h"
#include "leveling/core/SampleData.h"
#include "shell/Folders.h"
#include "shell/Log.h"

#include <QDir>

namespace tovrin::calib {

PointSamples::PointSamples() = default;
PointSamples::~PointSamples() = default;

bool PointSamples::open()
{
    if (!m_frames)
        m_frames = std::make_unique<leveling::FrameBuffers>(m_ready);
    if (m_frames->open())
        return true;
    shell::WriteLog("Calibration: no memory for the frame buffers, the points' line images cannot be saved\n");
    return false;
}

bool PointSamples::save(const std::function<bool()>& go)
{
    if (!m_frames || !m_frames->isOpen()) {
        shell::WriteLog("Calibration: no frame buffers, the point's line images cannot be saved\n");
        return false;
    }
    // Plain chunks: the sample keeps every grey level the sensor gave.
    const bool extended = device::ExtendedFrameDevice.load() == 1;
    const int lines = leveling::readLevelingConfig(extended).lineNum;
    leveling::LineTransfer transfer(leveling::LineTransfer::Policy::Preview);
    leveling::FetchHooks hooks;
    hooks.check = [&go] { return !go || go(); };
    const leveling::FetchOutcome fetched =
        transfer.fetchPlain(*m_frames, leveling::levelingFramePlan(lines, extended, false), hooks);
    if (fetched != leveling::FetchOutcome::Complete) {
        shell::WriteLog("Calibration: the point's line images could not be read\n");
        return false;
    }
    m_frames->publish();
    leveling::FrameBytes master{}, slave{};
    m_frames->copyPublished(master, slave);

    const int counter = leveling::g_SampleCounter.load();
    const leveling::SampleFolder sample = leveling::prepareSampleFolder(QDir(shell::dataPath()).absolutePath(), counter);
    if (!sample.ok || !leveling::writeSampleFrames(sample, master, slave)) {
        shell::LogF("Calibration: sample %03d could not be written\n", counter);
        return false;
    }
    leveling::g_SampleCounter = counter + 1;
    shell::LogF("Calibration: sample %s written\n", sample.number.toUtf8().constData());
    return true;
}

} // namespace tovrin::calib
