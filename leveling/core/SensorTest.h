#pragma once
// The sensor data-line test run before the first leveling pass when
// Tovrin_Config/TestSensor is on: both sensors send their test pattern
// (all ones), the FPGA samples the data lines at eight columns, and every
// data bit that reads 0 is a broken line between sensor and FPGA.

#include <QString>

#include <array>
#include <cstdint>

namespace tovrin::leveling {

struct SensorTestResult {
    bool ok = false;                   // every device step succeeded
    std::array<uint8_t, 2> broken{};   // broken data bits of Master and Slave
};

// Runs the test on the frame (blocking; the leveling thread waits meanwhile).
SensorTestResult runSensorTest();

// The warning for broken lines: message 141 (Master) and 140 (Slave) with
// "(" + bit numbers joined by "," + " bit)", one line per unit; empty when
// nothing is broken.
QString sensorTestWarning(const SensorTestResult& result);

} // namespace tovrin::leveling
