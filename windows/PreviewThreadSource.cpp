#include "PreviewThreadSource.h"

#include "device/DeviceStatus.h"
#include "leveling/core/ChunkPlan.h"
#include "leveling/core/LevelingState.h"
#include "shell/Settings.h"

#include <utility>

namespace tovrin::windows {

namespace {

constexpr size_t kLinePixels = 640;

// The sensor columns of a unit's optimum-line table.
std::vector<int> zoneMarkers(int unit)
{
    std::vector<int> columns;
    for (const device::ZoneEntry& zone : leveling::unitLeveling(unit).zones)
        columns.push_back(zone.position);
    return columns;
}

} // namespace

PreviewThreadSource::PreviewThreadSource(QObject* parent)
    : PreviewSource(parent)
{
    connect(&m_thread, &leveling::PreviewThread::sendData, this, &PreviewSource::sendData);
}

PreviewThreadSource::~PreviewThreadSource()
{
    stop();
}

bool PreviewThreadSource::start()
{
    // A frame buffer that cannot be had: no frame is fetched (the buffers
    // have said so in the debug output).
    if (!m_frames.open())
        return false;
    const bool extended = device::ExtendedFrameDevice.load() != 0;
    m_lines = leveling::frameLineCount(extended, shell::settings::LineNum.read(), false);
    m_thread.setFrameLayout(m_lines, extended);
    m_thread.startWork();
    return true;
}

void PreviewThreadSource::stop()
{
    m_thread.stopAndWait();
    m_frames.close();
}

void PreviewThreadSource::stopThen(QObject* context, std::function<void()> whenEnded)
{
    // The buffers go only once the worker no longer writes into them.
    m_thread.stopThen(context, [this, whenEnded = std::move(whenEnded)] {
        m_frames.close();
        if (whenEnded)
            whenEnded();
    });
}

bool PreviewThreadSource::takeFrame(PreviewFrame& frame)
{
    leveling::FrameBytes master{};
    leveling::FrameBytes slave{};
    if (!m_frames.take(master, slave))
        return false;
    const size_t bytes = static_cast<size_t>(m_lines) * kLinePixels;
    frame.lines = m_lines;
    frame.master.assign(master.begin(), master.begin() + static_cast<std::ptrdiff_t>(bytes));
    frame.slave.assign(slave.begin(), slave.begin() + static_cast<std::ptrdiff_t>(bytes));
    frame.masterMarkers = zoneMarkers(leveling::kMaster);
    frame.slaveMarkers = zoneMarkers(leveling::kSlave);
    return true;
}

bool PreviewThreadSource::betweenFrames(Request request)
{
    return m_thread.betweenPasses({std::move(request.job), std::move(request.then)});
}

std::vector<PreviewSource::Request> PreviewThreadSource::takeUnmade()
{
    std::vector<Request> unmade;
    for (leveling::PreviewThread::GapRequest& r : m_thread.takeUnmade())
        unmade.push_back({std::move(r.job), std::move(r.then)});
    return unmade;
}

} // namespace tovrin::windows
