#pragma once
// A record of the commands the simulated frame executed, decoded by the
// command table rather than by the simulator.

#include "sim/SimulatedFrame.h"

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <vector>

namespace tovrin::test {

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

} // namespace tovrin::test
