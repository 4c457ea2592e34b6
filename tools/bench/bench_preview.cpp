// tovrin-bench preview: one frame of both units from the simulated frame
// with 1 ms per report (a full-speed interrupt endpoint), packed and plain,
// 9 lines, through the Preview page's transfer.
//   compressed_ms / plain_ms            wall time of one frame (the best of 5: the
//                                       machine's other load only ever adds to it)
//   compressed_reports / plain_reports  reports on the wire for that frame
//   efficiency                          min over both of (reports x 1 ms) / frame time
//   decode_us                           CPU time to decode both units' 9 packed
//                                       lines and render both pictures with their
//                                       zone bars (mean of 200)
#include "Bench.h"
#include "device/HidLink.h"
#include "device/UnitOps.h"
#include "leveling/core/ChunkPlan.h"
#include "leveling/core/FrameBuffers.h"
#include "leveling/core/FrameRender.h"
#include "leveling/core/LevelingState.h"
#include "leveling/core/LineDecoder.h"
#include "leveling/core/LineTransfer.h"
#include "sim/FactoryFrame.h"
#include "sim/LineCodec.h"
#include "sim/SimTransport.h"
#include "sim/SimulatedFrame.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace tovrin;
using namespace tovrin::leveling;

namespace {

struct Measured {
    double ms = 0;
    uint64_t reports = 0;
    bool ok = false;
};

template <class Fetch>
Measured measure(sim::SimulatedFrame& frame, Fetch fetch)
{
    std::vector<double> times;
    Measured m;
    m.ok = true;
    for (int i = 0; i < 5; ++i) {
        const uint64_t before = frame.outputReports() + frame.inputReports();
        const auto t0 = std::chrono::steady_clock::now();
        m.ok = fetch() == FetchOutcome::Complete && m.ok;
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        m.reports = frame.outputReports() + frame.inputReports() - before;
    }
    m.ms = *std::min_element(times.begin(), times.end());
    return m;
}

double threadCpuUs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

int benchPreview(int, char**)
{
    auto frame = std::make_shared<sim::SimulatedFrame>();
    sim::writeFactoryContents(*frame);
    device::setTransport(sim::makeSimTransport(frame));
    uint16_t pid = 0;
    if (!device::OpenHidDevice(pid)) {
        std::fprintf(stderr, "preview: the simulated frame did not open\n");
        return 1;
    }
    device::g_bDevExist = 1;
    device::g_isDeviceCommunicate = 1;
    g_PreviewRun = 1;
    frame->setReportLatency(std::chrono::milliseconds(1));

    FrameBuffers frames(g_FrameReady);
    frames.open();
    LineTransfer transfer(LineTransfer::Policy::Preview);
    FetchHooks hooks;
    hooks.check = [] { return true; };
    const Measured packed = measure(*frame, [&] { return transfer.fetchCompressed(frames, hooks); });
    const std::vector<Chunk> plan = previewFramePlan(9, false);
    const Measured plain = measure(*frame, [&] { return transfer.fetchPlain(frames, plan, hooks); });
    frames.publish();
    FrameBytes master{}, slave{};
    frames.take(master, slave);
    device::setTransport(nullptr);

    // The packed streams of the plain frame's lines, as the frame packs them.
    std::array<std::array<std::array<uint8_t, kMaxStream>, 9>, 2> streams{};
    std::array<std::array<int, 9>, 2> lengths{};
    for (int line = 0; line < 9; ++line) {
        lengths[0][static_cast<size_t>(line)] = sim::encodePackedLine(master.data() + line * 640, 640, streams[0][static_cast<size_t>(line)].data());
        lengths[1][static_cast<size_t>(line)] = sim::encodePackedLine(slave.data() + line * 640, 640, streams[1][static_cast<size_t>(line)].data());
    }
    device::ZoneTable zones{};
    for (size_t e = 0; e < zones.size(); ++e)
        zones[e] = device::ZoneEntry{static_cast<uint16_t>(100 + 60 * e), static_cast<uint16_t>(e % 8), {}};
    constexpr int kRounds = 200;
    FrameBytes a{}, b{};
    RenderedFrame ra, rb;
    int decodedPixels = 0;
    const double cpu0 = threadCpuUs();
    for (int round = 0; round < kRounds; ++round) {
        for (int line = 0; line < 9; ++line) {
            const size_t l = static_cast<size_t>(line);
            decodedPixels += decodeLine(streams[0][l], lengths[0][l], std::span(a).subspan(l * 640, 640));
            decodedPixels += decodeLine(streams[1][l], lengths[1][l], std::span(b).subspan(l * 640, 640));
        }
        renderFrame(a, 9, false, ra);
        renderFrame(b, 9, false, rb);
        paintZoneBars(zones, 40, ra);
        paintZoneBars(zones, 40, rb);
    }
    const double decodeUs = (threadCpuUs() - cpu0) / kRounds;

    const double efficiency = std::min(static_cast<double>(packed.reports) / packed.ms,
                                       static_cast<double>(plain.reports) / plain.ms);
    std::printf("preview compressed_ms=%.1f plain_ms=%.1f compressed_reports=%llu plain_reports=%llu "
                "efficiency=%.3f decode_us=%.1f\n",
                packed.ms, plain.ms, static_cast<unsigned long long>(packed.reports),
                static_cast<unsigned long long>(plain.reports), efficiency, decodeUs);
    const bool ok = packed.ok && plain.ok && decodedPixels == kRounds * 18 * 640 && ra.at(0, 0) != 0;
    if (!ok)
        std::fprintf(stderr, "preview: a frame did not arrive whole\n");
    return ok ? 0 : 1;
}

const tovrin::bench::BenchMode kPreview{"preview", "", benchPreview};

} // namespace
