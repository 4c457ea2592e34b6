// Faults set one at a time, for the callers written before the fault plan:
// each is one change of the plan (FaultPlan.h).
#include "sim/SimulatedFrame.h"

#include <algorithm>

namespace tovrin::sim {

void SimulatedFrame::dropNextReplies(int count)
{
    changeFaults([&](FaultPlan& f) { f.link.dropNext = std::max(0, count); });
}

void SimulatedFrame::dropRepliesTo(int commandNumber, bool drop)
{
    if (commandNumber < 0 || commandNumber > 63)
        return;
    changeFaults([&](FaultPlan& f) { f.link.dropCommands.set(static_cast<size_t>(commandNumber), drop); });
}

void SimulatedFrame::answerNextWithStatus(uint8_t status, int count, int commandNumber, int after)
{
    changeFaults([&](FaultPlan& f) { f.link.answer = {status, std::max(0, count), commandNumber, std::max(0, after)}; });
}

void SimulatedFrame::injectForeignReports(int count)
{
    changeFaults([&](FaultPlan& f) { f.link.foreignBefore = std::clamp(count, 0, 255); });
}

void SimulatedFrame::answerLate(int count)
{
    changeFaults([&](FaultPlan& f) { f.link.late = std::max(0, count); });
}

void SimulatedFrame::answerLateAtOutputReport(uint64_t n)
{
    changeFaults([&](FaultPlan& f) { f.link.lateAtReportIn = n; });
}

void SimulatedFrame::vanishAtOutputReport(uint64_t n)
{
    changeFaults([&](FaultPlan& f) { f.link.vanishAtReportIn = n; });
}

void SimulatedFrame::vanishAtLineDataRequest(uint64_t n)
{
    changeFaults([&](FaultPlan& f) { f.link.vanishAtLineRequestIn = n; });
}

void SimulatedFrame::setReportLatency(std::chrono::microseconds latency)
{
    changeFaults([&](FaultPlan& f) { f.link.latency = latency; });
}

void SimulatedFrame::setRealTimeouts(bool real)
{
    changeFaults([&](FaultPlan& f) { f.link.realTimeouts = real; });
}

void SimulatedFrame::refuseDownloadBlock(uint64_t nthFromNow)
{
    changeFaults([&](FaultPlan& f) { f.bootLoader.refuseBlockIn = nthFromNow; });
}

void SimulatedFrame::unplugAtDownloadBlock(uint64_t nthFromNow)
{
    changeFaults([&](FaultPlan& f) { f.bootLoader.vanishAtBlockIn = nthFromNow; });
}

void SimulatedFrame::setBootLoaderNeverReturns(bool never)
{
    changeFaults([&](FaultPlan& f) { f.bootLoader.neverReturns = never; });
}

void SimulatedFrame::setBootLoaderMute(bool mute)
{
    changeFaults([&](FaultPlan& f) { f.bootLoader.mute = mute; });
}

void SimulatedFrame::setWorkModeFault(WorkModeFault fault)
{
    changeFaults([&](FaultPlan& f) { f.firmware.workMode = fault; });
}

} // namespace tovrin::sim
