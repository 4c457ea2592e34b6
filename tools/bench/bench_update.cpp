// tovrin-bench update [package.bin]: a whole firmware update of the sample
// package on the simulated frame with 1 ms per report, as on a full-speed
// interrupt endpoint, through the same flow as the window and tovrin-cli.
//   bytes           package bytes sent to the frame (the firmware twice)
//   ms              the transfer phase: from the first erase to the reply of
//                   the update's last write (the version records included)
//   min_ms          the reports that phase needs x 1 ms
//   efficiency      min_ms / ms: 1 when the host never makes the frame wait
//   reenumerate_ms  both restarts: from the Reboot command to the frame
//                   opened again under its new product ID
#include "Bench.h"
#include "device/HidLink.h"
#include "device/Transport.h"
#include "device/UnitOps.h"
#include "maintenance/update/HeadlessUpdate.h"
#include "sim/FactoryFrame.h"
#include "sim/SimTransport.h"
#include "sim/SimulatedFrame.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <vector>

using namespace tovrin;

namespace {

using Clock = std::chrono::steady_clock;

// Sits between the link and the simulated frame and notes when each report
// passed and when the frame was opened.
class TimingTap : public device::Transport {
public:
    struct Event {
        Clock::time_point at;
        bool out;
        uint8_t code;
        uint8_t firstByte;
    };
    struct Opened {
        Clock::time_point at;
        uint16_t pid;
    };

    explicit TimingTap(std::shared_ptr<device::Transport> inner) : m_inner(std::move(inner)) {}
    bool open(uint16_t& pid) override
    {
        const bool ok = m_inner->open(pid);
        if (ok) {
            std::lock_guard lock(m_mutex);
            m_opened.push_back({Clock::now(), pid});
        }
        return ok;
    }
    int check(uint16_t& pid) override { return m_inner->check(pid); }
    device::IoResult write(const uint8_t* report, uint32_t waitMs) override
    {
        // A report out is timed from the moment the host hands it over.
        note(true, report);
        return m_inner->write(report, waitMs);
    }
    device::IoResult read(uint8_t* report, uint32_t waitMs) override
    {
        const auto result = m_inner->read(report, waitMs);
        if (result == device::IoResult::Ok)
            note(false, report);
        return result;
    }
    bool getFeature(uint8_t* buffer) override { return m_inner->getFeature(buffer); }
    void close() override { m_inner->close(); }
    bool isOpen() const override { return m_inner->isOpen(); }

    std::vector<Event> events() const
    {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    std::vector<Opened> opened() const
    {
        std::lock_guard lock(m_mutex);
        return m_opened;
    }

private:
    void note(bool out, const uint8_t* report)
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back({Clock::now(), out, report[1], report[2]});
    }

    std::shared_ptr<device::Transport> m_inner;
    mutable std::mutex m_mutex;
    std::vector<Event> m_events;
    std::vector<Opened> m_opened;
};

double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

bool isErase(uint8_t code) { return code == 13 || code == 32; }
bool isWrite(uint8_t code) { return code == 9 || code == 28; }

int benchUpdate(int argc, char** argv)
{
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    const QString package = argc >= 2 ? QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1]))
                                      : QStringLiteral(TOVRIN_SOURCE_DIR "/data/samples/update-sample.bin");
    // The update keeps its log and Tovrin.ini where it runs: not here.
    QTemporaryDir home;
    QDir::setCurrent(home.path());

    auto frame = std::make_shared<sim::SimulatedFrame>();
    sim::writeFactoryContents(*frame);
    frame->setReportLatency(std::chrono::milliseconds(1));
    auto tap = std::make_shared<TimingTap>(sim::makeSimTransport(frame));
    device::setTransport(tap);
    uint16_t pid = 0;
    if (!device::OpenHidDevice(pid)) {
        std::fprintf(stderr, "update: the simulated frame did not open\n");
        return 1;
    }
    device::g_bDevExist = 1;
    device::g_isDeviceCommunicate = 1;

    update::HeadlessUpdate run;
    const update::HeadlessOutcome result = run.run(package, false, 120000);
    const uint64_t bytes = run.flow().packageBytes();
    device::setTransport(nullptr);
    if (result.outcome != update::FirmwareUpdateFlow::Outcome::Updated) {
        std::fprintf(stderr, "update: the update did not succeed (message %d)\n", result.messageId);
        return 1;
    }

    // The transfer phase: the first erase out to the reply of the last write
    // before the restart into the application.
    const std::vector<TimingTap::Event> events = tap->events();
    size_t first = events.size();
    size_t rebootBack = events.size();
    std::vector<Clock::time_point> reboots;
    for (size_t i = 0; i < events.size(); ++i) {
        const TimingTap::Event& e = events[i];
        if (!e.out)
            continue;
        if (first == events.size() && isErase(e.code))
            first = i;
        if (e.code == 56) {
            reboots.push_back(e.at);
            if (e.firstByte == 0x55)
                rebootBack = i;
        }
    }
    size_t last = first;
    for (size_t i = first; i < rebootBack; ++i)
        if (!events[i].out && isWrite(events[i].code))
            last = i;
    if (first >= events.size() || last <= first || reboots.size() != 2) {
        std::fprintf(stderr, "update: the transfer phase was not found on the wire\n");
        return 1;
    }
    const double ms = msBetween(events[first].at, events[last].at);
    if (qEnvironmentVariableIsSet("TOVRIN_BENCH_GAPS")) {
        for (size_t i = first + 1; i <= last; ++i) {
            const double gap = msBetween(events[i - 1].at, events[i].at);
            if (gap > (events[i].out ? 0.3 : 2.2))
                std::fprintf(stderr, "gap %.2f ms before %s 0x%02x (#%zu)\n", gap, events[i].out ? "out" : "in",
                             events[i].code, i - first);
        }
    }
    const double minMs = static_cast<double>(last - first + 1);

    // Each restart: the Reboot command to the frame opened under its new identity.
    double reenumerateMs = 0;
    const std::vector<TimingTap::Opened> opened = tap->opened();
    const uint16_t wanted[2] = {0x0042, 0x0055};
    for (size_t r = 0; r < 2; ++r) {
        for (const TimingTap::Opened& o : opened) {
            if (o.at > reboots[r] && o.pid == wanted[r]) {
                reenumerateMs += msBetween(reboots[r], o.at);
                break;
            }
        }
    }
    std::printf("update bytes=%llu ms=%.1f min_ms=%.0f efficiency=%.3f reenumerate_ms=%.1f\n",
                static_cast<unsigned long long>(bytes), ms, minMs, minMs / ms, reenumerateMs);
    return 0;
}

const tovrin::bench::BenchMode kUpdate{"update", "[package.bin]", benchUpdate};

} // namespace
