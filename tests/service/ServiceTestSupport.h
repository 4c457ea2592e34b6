#pragma once
// Running a service worker to its end and keeping what it reported, and the
// numbers of the frame's command table.

#include "maintenance/service/ServiceReport.h"
#include "sim/SimulatedFrame.h"
#include "tests/support/SimLinkTest.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/WireRecord.h"

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
