#pragma once
// A transport that passes every report on to another one (the simulated
// frame) and keeps a copy of each output report, so that a test can check
// the bytes a job put on the wire against the frame's command table.

#include "device/Transport.h"

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace tovrin::test {

using WireReport = std::array<uint8_t, device::kReportSize>;

class RecordingTransport final : public device::Transport {
public:
    explicit RecordingTransport(std::shared_ptr<device::Transport> inner) : m_inner(std::move(inner)) {}

    bool open(uint16_t& productId) override { return m_inner->open(productId); }
    int check(uint16_t& productId) override { return m_inner->check(productId); }
    device::IoResult write(const uint8_t* report, uint32_t waitMs) override
    {
        WireReport r;
        std::copy(report, report + device::kReportSize, r.begin());
        std::function<void(const WireReport&)> hook;
        {
            std::lock_guard lock(m_mutex);
            m_written.push_back(r);
            hook = m_beforeWrite;
        }
        if (hook)
            hook(r);  // e.g. arm a fault of the frame for exactly this command
        return m_inner->write(report, waitMs);
    }

    // Called with each output report before it reaches the frame.
    void setBeforeWrite(std::function<void(const WireReport&)> hook)
    {
        std::lock_guard lock(m_mutex);
        m_beforeWrite = std::move(hook);
    }
    device::IoResult read(uint8_t* report, uint32_t waitMs) override { return m_inner->read(report, waitMs); }
    bool getFeature(uint8_t* buffer) override { return m_inner->getFeature(buffer); }
    void close() override { m_inner->close(); }
    bool isOpen() const override { return m_inner->isOpen(); }

    std::vector<WireReport> written() const
    {
        std::lock_guard lock(m_mutex);
        return m_written;
    }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_written.clear();
    }

private:
    std::shared_ptr<device::Transport> m_inner;
    mutable std::mutex m_mutex;
    std::vector<WireReport> m_written;
    std::function<void(const WireReport&)> m_beforeWrite;
};

} // namespace tovrin::test
