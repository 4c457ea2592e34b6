#include "HidLink.h"

#include "Command.h"
#include "Trace.h"
#include "shell/Log.h"

#include <cstring>

namespace tovrin::device {

std::atomic<uint32_t> IoWaitMs{3000};
std::atomic<int> IoTimedOut{0};

namespace {

// Error numbers logged for a failed wait, as technicians know them from the
// frame's other tools: 997 still pending (timed out), 1167 device not connected.
constexpr int kErrorIoPending = 997;
constexpr int kErrorDeviceNotConnected = 1167;
constexpr int kErrorGenFailure = 31;

std::mutex g_transferMutex;       // one report at a time
std::mutex g_transportMutex;      // guards the pointer below
std::shared_ptr<Transport> g_transport;

std::recursive_mutex g_transactionMutex;

// The bounded wait's outcome, logged as the frame's other tools do.
bool settle(IoResult r)
{
    switch (r) {
    case IoResult::Ok:
        return true;
    case IoResult::TimedOut:
        shell::LogF("GetOverlappedResult_Tov failed! ret=%d\n", kErrorIoPending);
        IoTimedOut.store(1);
        shell::LogF("000GetOverlappedResult_Tov:ret =%d\n", 1);
        return false;
    case IoResult::NotConnected:
        shell::LogF("GetOverlappedResult_Tov failed! \nret=%d ERROR_DEVICE_NOT_CONNECTED!\n", kErrorDeviceNotConnected);
        shell::LogF("111GetOverlappedResult_Tov:ret =%d\n", kErrorDeviceNotConnected);
        return false;
    case IoResult::Failed:
        break;
    }
    shell::LogF("GetOverlappedResult_Tov failed! ret=%d !\n", kErrorGenFailure);
    return false;
}

} // namespace

void setTransport(std::shared_ptr<Transport> transport)
{
    std::lock_guard transfer(g_transferMutex);
    std::lock_guard lock(g_transportMutex);
    if (g_transport && g_transport != transport)
        g_transport->close();
    g_transport = std::move(transport);
}

std::shared_ptr<Transport> currentTransport()
{
    std::lock_guard lock(g_transportMutex);
    return g_transport;
}

std::recursive_mutex& transactionMutex()
{
    return g_transactionMutex;
}

bool OpenHidDevice(uint16_t& productId)
{
    LinkState.store(LINK_OK);
    productId = kNoProductId;
    const auto t = currentTransport();
    if (!t)
        return false;
    std::lock_guard lock(g_transferMutex);
    uint16_t pid = kNoProductId;
    if (!t->open(pid))
        return false;
    productId = pid;
    return true;
}

int CheckHidDevice(uint16_t& productId)
{
    const auto t = currentTransport();
    if (!t)
        return kCheckGone;
    std::lock_guard lock(g_transferMutex);
    uint16_t pid = productId;
    const int r = t->check(pid);
    if (r != kCheckGone)
        productId = pid;
    return r;
}

bool WriteHidDevice(const uint8_t* report)
{
    const auto t = currentTransport();
    std::lock_guard lock(g_transferMutex);
    const IoResult r = t ? t->write(report, IoWaitMs.load()) : IoResult::NotConnected;
    if (settle(r)) {
        traceReport(TraceDirection::Out, report, kReportSize);
        return true;
    }
    shell::WriteLog("Write File Error!\n");
    shell::WriteLog("WriteHidDevice failed. Device communicates failed!\n");
    return false;
}

bool ReadHidDevice(uint8_t* report)
{
    const auto t = currentTransport();
    std::lock_guard lock(g_transferMutex);
    std::memset(report, 0, kReportSize);
    const IoResult r = t ? t->read(report, IoWaitMs.load()) : IoResult::NotConnected;
    if (settle(r)) {
        traceReport(TraceDirection::In, report, kReportSize);
        return true;
    }
    shell::WriteLog("Read File Error!\n");
    shell::WriteLog("ReadHidDevice failed. Device communicates failed!\n");
    return false;
}

int DropStaleInput()
{
    // A frame streaming reports without end must not hold the command back
    // for ever: a full HID input queue holds far fewer than this.
    constexpr int kMaxDropped = 1024;
    const auto t = currentTransport();
    if (!t)
        return 0;
    std::lock_guard lock(g_transferMutex);
    uint8_t report[kReportSize];
    int dropped = 0;
    while (dropped < kMaxDropped && t->read(report, 0) == IoResult::Ok) {
        traceReport(TraceDirection::In, report, kReportSize);
        ++dropped;
    }
    return dropped;
}

bool GetFeatureReport(uint8_t reportId, uint8_t* buffer)
{
    const auto t = currentTransport();
    std::lock_guard lock(g_transferMutex);
    buffer[0] = reportId;
    if (!t || !t->getFeature(buffer))
        return false;
    traceReport(TraceDirection::Feature, buffer, kFeatureReportSize);
    return true;
}

bool CloseHidDevice()
{
    const auto t = currentTransport();
    std::lock_guard lock(g_transferMutex);
    if (t && t->isOpen())
        t->close();
    return true;
}

} // namespace tovrin::device
