// tovrin-bench link: the device link through the whole stack on the
// simulated frame.
//   zero_latency_tps  one-byte register reads per second, no report latency
//   dump_ms           a 128 KB flash dump of one unit (32 x 4096-byte reads)
//                     with 1 ms per report, as on a full-speed interrupt endpoint
//   dump_min_ms       the reports that dump needs x 1 ms
#include "Bench.h"
#include "device/DeviceOps.h"
#include "device/HidLink.h"
#include "device/UnitAddress.h"
#include "device/UnitOps.h"
#include "sim/SimTransport.h"
#include "sim/SimulatedFrame.h"

#include <chrono>
#include <cstdio>
#include <vector>

using namespace tovrin;

namespace {

int benchLink(int, char**)
{
    auto frame = std::make_shared<sim::SimulatedFrame>();
    device::setTransport(sim::makeSimTransport(frame));
    uint16_t pid = 0;
    if (!device::OpenHidDevice(pid)) {
        std::fprintf(stderr, "link: the simulated frame did not open\n");
        return 1;
    }
    device::g_bDevExist = 1;

    using Clock = std::chrono::steady_clock;
    constexpr int kReads = 20000;
    uint8_t value = 0;
    int failures = 0;
    auto t0 = Clock::now();
    for (int i = 0; i < kReads; ++i)
        failures += device::ReadRegister(static_cast<uint32_t>(i & 0xFF), value) ? 0 : 1;
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const double tps = kReads / seconds;

    frame->setReportLatency(std::chrono::milliseconds(1));
    const uint64_t reportsBefore = frame->outputReports() + frame->inputReports();
    std::vector<uint8_t> dump(device::flash::kSize);
    t0 = Clock::now();
    for (uint32_t sector = 0; sector < 32; ++sector) {
        const uint32_t offset = sector * device::flash::kSectorSize;
        failures += device::ReadToBuffer(device::flashAddress(device::Unit::Master, offset),
                                         static_cast<int>(device::flash::kSectorSize),
                                         std::span(dump).subspan(offset, device::flash::kSectorSize))
                        ? 0
                        : 1;
    }
    const double dumpMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    const double minMs = static_cast<double>(frame->outputReports() + frame->inputReports() - reportsBefore);
    device::setTransport(nullptr);

    std::printf("link zero_latency_tps=%.0f dump_ms=%.1f dump_min_ms=%.0f efficiency=%.3f\n", tps, dumpMs, minMs,
                minMs / dumpMs);
    if (failures)
        std::fprintf(stderr, "link: %d operations failed\n", failures);
    return failures ? 1 : 0;
}

const tovrin::bench::BenchMode kLink{"link", "", benchLink};

} // namespace
