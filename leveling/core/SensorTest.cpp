#include "SensorTest.h"

#include "LevelingState.h"
#include "LevelingSteps.h"

#include "device/UnitAddress.h"
#include "device/UnitOps.h"
#include "shell/AppContext.h"
#include "shell/Clock.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QStringList>
#include <QTime>

#include <utility>

namespace tovrin::leveling {

namespace {

constexpr uint8_t kTestPattern = 0x38;
constexpr uint8_t kOutputMode = 0x84;
constexpr uint32_t kCaptureRegister = 0x30;
constexpr uint32_t kColumnLow = 0x33;
constexpr uint32_t kColumnHigh = 0x34;
constexpr uint32_t kDataLines = 0x36;
constexpr int kMaxPolls = 100;

uint32_t unitBits(int unit) { return unit ? device::kSlaveBit : 0u; }

bool linkUp() { return device::g_bDevExist.load() && device::g_isDeviceCommunicate.load(); }

void logTime(const char* what)
{
    const QTime t = localNow().time();
    qDebug("TestSensorData %s  %02d:%02d:%02d:%02d", what, t.hour(), t.minute(), t.second(), t.msec());
}

bool latchSlave()
{
    if (!device::PortWrite(unitBits(kSlave) | kCaptureRegister, 1, 1, true))
        return false;
    for (int poll = 0; poll < kMaxPolls; ++poll) {
        if (!linkUp())
            return false;
        sleepMs(5);
        uint8_t value = 0xFF;
        if (!device::RegisterRead(unitBits(kSlave) | kCaptureRegister, true, value))
            return false;
        if (value == 0)
            return true;
    }
    return false;
}

// Puts both sensors back into their picture mode. Tried for every register
// even after one failed; not tried once the frame is gone (each write would
// only wait out its time).
bool restoreSensors()
{
    bool all = true;
    for (int unit : {kMaster, kSlave}) {
        for (const auto& [reg, value] : {std::pair{kOutputMode, uint8_t{0x70}}, std::pair{kTestPattern, uint8_t{0x11}}}) {
            if (!linkUp())
                return false;
            all = sensorWrite(unit, reg, value) && all;
        }
    }
    return all;
}

// The data-line steps between switching the sensors to their pattern and
// back: false at the first failed step.
bool sampleDataLines(SensorTestResult& r)
{
    for (int unit : {kMaster, kSlave}) {
        if (!sensorWrite(unit, kTestPattern, 7) || !sensorWrite(unit, kOutputMode, 2))
            return false;
    }
    for (int i = 0; i < 2; ++i)
        if (!latchSlave())
            return false;
    for (int unit : {kSlave, kMaster}) {
        for (int p = 40; p <= 600; p += 80) {
            uint8_t value = 0;
            if (!device::PortWrite(unitBits(unit) | kColumnLow, static_cast<uint8_t>(p & 0xFF), 1, true) ||
                !device::PortWrite(unitBits(unit) | kColumnHigh, static_cast<uint8_t>(p >> 8), 1, true) ||
                !device::PortRead(unitBits(unit) | kDataLines, 1, value))
                return false;
            r.broken[static_cast<size_t>(unit)] |= static_cast<uint8_t>(~value);
        }
    }
    return true;
}

} // namespace

SensorTestResult runSensorTest()
{
    SensorTestResult r;
    QElapsedTimer elapsed;
    elapsed.start();
    logTime("start");
    const bool sampled = sampleDataLines(r);
    // A camera left in its test pattern sees nothing: the sensors go back
    // to their picture mode whatever happened above.
    const bool restored = restoreSensors();
    if (!sampled || !restored)
        return r;
    logTime("end");
    qDebug("TestSensorData start to end  %02d\n", static_cast<int>(elapsed.elapsed()));
    r.ok = true;
    return r;
}

QString sensorTestWarning(const SensorTestResult& result)
{
    QStringList lines;
    for (int unit : {kMaster, kSlave}) {
        const uint8_t bits = result.broken[static_cast<size_t>(unit)];
        if (!bits)
            continue;
        QStringList numbers;
        for (int b = 0; b < 8; ++b)
            if (bits & (1 << b))
                numbers << QString::number(b);
        const QString which = QStringLiteral("(") + numbers.join(QLatin1Char(',')) + QStringLiteral(" bit)");
        lines << shell::context().text(unit == kMaster ? 141 : 140).arg(which);
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace tovrin::leveling
