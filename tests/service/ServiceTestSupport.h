#pragma once
// Running a service worker to its end and keeping what it reported, and a
// record of the commands the simulated frame executed, decoded by the
// command table rather than by the simulator.

#include "maintenance/service/ServiceReport.h"
#include "sim/SimulatedFrame.h"
#include "tests/support/SimLinkTest.h"
#include "tests/support/TemporaryFolder.h"

#include <QThread>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace tovrin::test {

// Reports of one worker run, in the order they were sent (collected in the
// worker's own thread, so nothing waits for an event loop).
struct Reports {
    std::vector<maintenance::ServiceReport> list;

    std::vector<int> codes() const
    {
        std::vector<int> out;
        for (const auto& r : list)
            out.push_back(r.code);
        return out;
    }
    int count(int code) const
    {
        return static_cast<int>(std::count_if(list.begin(), list.end(), [code](const auto& r) { return r.code == code; }));
    }
    const maintenance::ServiceReport* last(int code) const
    {
        for (auto it = list.rbegin(); it != list.rend(); ++it)
            if (it->code == code)
                return &*it;
        return nullptr;
    }
};

template <class Worker>
Reports runWorker(Worker& worker)
{
    auto reports = std::make_shared<Reports>();
    auto mutex = std::make_shared<std::mutex>();
    const auto c = QObject::connect(&worker, &Worker::sendReport, &worker,
                                    [reports, mutex](const maintenance::ServiceReport& r) {
                                        std::lock_guard lock(*mutex);
                                        reports->list.push_back(r);
                                    },
                                    Qt::DirectConnection);
    worker.startWork();
    worker.wait();
    QObject::disconnect(c);
    // The worker has ended (wait() says so, with a lock a race checker cannot
    // see); taking the reports under their own lock says it to the checker too.
    std::lock_guard lock(*mutex);
    return *reports;
}

// One command the frame executed.
struct WireCommand {
    uint8_t code = 0;
    std::vector<uint8_t> payload;
    int number() const { return code & 0x3F; }
    // Flash commands: bytes 0-2 address, byte 3 length (command table).
    uint32_t flashAddress() const { return payload[0] | (payload[1] << 8) | (payload[2] << 16); }
    int flashLength() const { return payload[3]; }
};

// Records every executed command from the moment it is built.
class WireRecord {
public:
    explicit WireRecord(sim::SimulatedFrame& frame)
        : m_state(std::make_shared<State>())
    {
        frame.addCommandObserver([state = m_state](uint8_t code, const uint8_t* payload, std::array<sim::UnitMemory, 2>) {
            std::lock_guard lock(state->mutex);
            if (state->on)
                state->commands.push_back({code, std::vector<uint8_t>(payload, payload + 62)});
            return false;
        });
    }
    ~WireRecord()
    {
        std::lock_guard lock(m_state->mutex);
        m_state->on = false;
    }

    std::vector<WireCommand> commands() const
    {
        std::lock_guard lock(m_state->mutex);
        return m_state->commands;
    }
    std::vector<WireCommand> withNumber(std::initializer_list<int> numbers) const
    {
        std::vector<WireCommand> out;
        for (const WireCommand& c : commands())
            if (std::find(numbers.begin(), numbers.end(), c.number()) != numbers.end())
                out.push_back(c);
        return out;
    }

private:
    struct State {
        mutable std::mutex mutex;
        std::vector<WireCommand> commands;
        bool on = true;
    };
    std::shared_ptr<State> m_state;
};

// Command numbers of the frame's command table (Master / Slave).
namespace wire {
constexpr int WriteRegisterM = 4, WriteRegisterS = 23;
constexpr int ReadRegistersM = 5, ReadRegistersS = 24;
constexpr int ReadRegisterM = 6, ReadRegisterS = 25;
constexpr int WriteSensorM = 7, WriteSensorS = 26;
constexpr int ReadSensorM = 8, ReadSensorS = 27;
constexpr int WriteFlashM = 9, WriteFlashS = 28;
constexpr int ReadFlashM = 10, ReadFlashS = 29;
constexpr int EraseFlashM = 13, EraseFlashS = 32;
constexpr int SwitchMode = 14;
} // namespace wire

} // namespace tovrin::test
