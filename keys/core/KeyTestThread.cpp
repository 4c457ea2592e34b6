#include "keys/core/KeyTestThread.h"

#include "device/DeviceStatus.h"
#include "device/HidLink.h"
#include "device/UnitOps.h"
#include "shell/Clock.h"
#include "shell/Log.h"

namespace tovrin::keys {

bool decodeKeyReport(const uint8_t* report, PressedKey& key)
{
    if (report[0] != kKeyReportId)
        return false;
    const int number = static_cast<int8_t>(report[2]) <= 0 ? 0 : report[2];
    key = number > 0 ? PressedKey{report[1], number} : PressedKey{};
    return true;
}

bool readPressedKey(PressedKey& key)
{
    // A short answer leaves the rest as no key, never as a stale value.
    uint8_t report[3] = {kKeyReportId, 0, 0};
    if (!device::GetFeatureReport(kKeyReportId, report))
        return false;
    return decodeKeyReport(report, key);
}

void runKeyTest(KeyTestState& state, const std::function<void(int)>& send,
                const std::function<void(const PressedKey&)>& changed)
{
    send(testcode::kTesting);
    PressedKey last;
    while (!state.stop.load()) {
        if (!device::g_bDevExist.load()) {
            send(testcode::kRepaint);
            return;
        }
        PressedKey key;
        if (readPressedKey(key)) {
            state.edge = key.edge;
            state.number = key.number;
            send(testcode::kRepaint);
            if (changed && !(key == last))
                changed(key);
            last = key;
        } else {
            send(testcode::kReadFailed);
        }
        sleepMsUnless(kKeyPollMs, &state.stop);
    }
}

KeyTestThread::KeyTestThread(QObject* parent)
    : Worker(parent)
{
}

KeyTestThread::~KeyTestThread() { stopAndWait(); }

void KeyTestThread::work()
{
    if (m_switchMode.exchange(false) && !device::SwitchModeChecked(device::mode::Work).ok)
        shell::WriteLog("Key calibration: the frame did not take work mode for the key test\n");
    runKeyTest(
        m_state, [this](int code) { Q_EMIT sendData(code); },
        [this](const PressedKey& key) { Q_EMIT keyChanged(key.edge, key.number); });
}

} // namespace tovrin::keys
