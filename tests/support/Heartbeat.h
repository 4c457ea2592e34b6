#pragma once
// The longest pause of the event loop while a test runs: a window that
// waits on the frame in its own thread shows up as a long pause.

#include <QObject>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace tovrin::test {

// Ticks every 10 ms in the event loop and in a thread of its own, and keeps
// the longest pause of the event loop less what the other thread was held up
// meanwhile: a loaded machine that holds the whole process back is not a
// window that waits on the frame.
class Heartbeat {
public:
    using Clock = std::chrono::steady_clock;

    Heartbeat()
    {
        m_loopTicks.push_back(Clock::now());
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_loopTicks.push_back(Clock::now()); });
        m_timer.start(10);
        m_other = std::thread([this] {
            while (!m_stop.load()) {
                {
                    const std::lock_guard lock(m_lock);
                    m_otherTicks.push_back(Clock::now());
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    ~Heartbeat()
    {
        m_stop = true;
        m_other.join();
    }

    qint64 longestPauseMs() const
    {
        std::vector<Clock::time_point> loop = m_loopTicks;
        loop.push_back(Clock::now());
        std::vector<Clock::time_point> other;
        {
            const std::lock_guard lock(m_lock);
            other = m_otherTicks;
        }
        Clock::duration longest{};
        for (size_t i = 1; i < loop.size(); ++i) {
            const Clock::time_point from = loop[i - 1], to = loop[i];
            // The other thread's longest gap within the same stretch.
            Clock::duration held{};
            Clock::time_point last = from;
            for (const Clock::time_point t : other) {
                if (t <= from)
                    continue;
                if (t >= to)
                    break;
                held = std::max(held, t - last);
                last = t;
            }
            held = std::max(held, to - last);
            longest = std::max(longest, (to - from) - held);
        }
        return std::chrono::duration_cast<std::chrono::milliseconds>(longest).count() + 10;
    }

private:
    QTimer m_timer;
    std::vector<Clock::time_point> m_loopTicks;
    mutable std::mutex m_lock;
    std::vector<Clock::time_point> m_otherTicks;
    std::atomic<bool> m_stop{false};
    std::thread m_other;
};

} // namespace tovrin::test
