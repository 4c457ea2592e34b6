#pragma once
// Shared pieces of the update tests: package files in a temporary folder,
// a transport that records what goes on the wire, and a fixture with a
// factory-fresh simulated frame behind the device link.

#include "device/Command.h"
#include "device/Detection.h"
#include "device/DeviceStatus.h"
#include "device/HidLink.h"
#include "device/Transport.h"
#include "device/UnitOps.h"
#include "maintenance/update/DetectionWait.h"
#include "maintenance/update/HeadlessUpdate.h"
#include "maintenance/update/PackageWriter.h"
#include "sim/FactoryFrame.h"
#include "sim/SimTransport.h"
#include "sim/SimulatedFrame.h"
#include "tests/support/RecordingTransport.h"
#include "tests/support/Files.h"
#include "tests/support/FrameLink.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

namespace tovrin::update::test {

using Report = tovrin::test::WireReport;
using Outcome = FirmwareUpdateFlow::Outcome;

constexpr int kLimitMs = 60000;  // only keeps a broken run from hanging

// Bytes that differ from their neighbours, so a shifted or swapped byte shows.
inline std::vector<uint8_t> pattern(size_t n, uint8_t seed)
{
    std::vector<uint8_t> v(n);
    uint32_t x = 0x9E3779B9u * (seed + 1u);
    for (auto& b : v) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(x >> 24);
    }
    return v;
}

inline PackageItem item(size_t n, uint8_t seed, uint32_t version = 0x01020006)
{
    return PackageItem{pattern(n, seed), version};
}

// Every item of a package: firmware, both second images, D, E and F.
inline PackageItems fullItems(size_t firmware = 130, size_t second = 62, size_t flash = 300)
{
    PackageItems items;
    items.firmware = item(firmware, 1);
    items.secondMaster = item(second, 2, 0x01020007);
    items.secondSlave = item(second, 3, 0x01020008);
    items.flashD = item(flash, 4);
    items.flashE = item(flash, 5);
    items.flashF = item(flash, 6);
    return items;
}

// Finds the frame again from the start, as a new start of the tool does;
// returns the detection's report (the wait only keeps a broken run from
// hanging).
inline int detectFromStart(int limitMs = 60000)
{
    DetectionWait wait;
    int code = 0;
    QEventLoop loop;
    QObject::connect(&wait, &DetectionWait::reported, &loop, [&](int c) {
        if (c == device::detection::kAppeared)
            return;
        code = c;
        loop.quit();
    });
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    wait.start(device::kStateOpen);
    loop.exec();
    return code;
}

inline std::vector<uint8_t> assemble(const PackageItems& items)
{
    std::string error;
    auto bytes = assemblePackage(items, error);
    EXPECT_TRUE(bytes) << error;
    return bytes ? *bytes : std::vector<uint8_t>{};
}

inline QString writeFile(const QTemporaryDir& dir, const QString& name, const std::vector<uint8_t>& bytes)
{
    const QString path = dir.filePath(name);
    EXPECT_TRUE(tovrin::test::writeFile(path, QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))));
    return path;
}

// The transport that keeps a copy of every report written, for checks
// against the command table.
using WireTap = tovrin::test::RecordingTransport;

// Reports with this command code (flags included).
inline std::vector<Report> withCode(const std::vector<Report>& reports, uint8_t code)
{
    std::vector<Report> out;
    for (const Report& r : reports)
        if (r[1] == code)
            out.push_back(r);
    return out;
}

// A factory frame (calibrated, firmware 1.2.5, boot loader 1.0.7) open
// behind the link, and a folder for package files.
class FrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());  // Tovrin.ini and the log land here
        frame = std::make_shared<sim::SimulatedFrame>();
        sim::writeFactoryContents(*frame);
        prepare(*frame);
        tap = std::make_shared<WireTap>(sim::makeSimTransport(frame));
        device::setTransport(tap);
        ASSERT_TRUE(tovrin::test::openFrameLink());
        device::UpdateExpected = 0;
        device::DeviceCheckState = device::kStateOpen;
        device::g_ErrorCodeM = 0;
        device::g_ErrorCodeS = 0;
    }
    void TearDown() override
    {
        device::setTransport(nullptr);
        QDir::setCurrent(previous);
    }
    virtual void prepare(sim::SimulatedFrame&) {}

    // A fresh factory frame behind the link, found as a start of the tool
    // finds it; the detection's report.
    int freshFrame()
    {
        frame = std::make_shared<sim::SimulatedFrame>();
        sim::writeFactoryContents(*frame);
        tap = std::make_shared<WireTap>(sim::makeSimTransport(frame));
        device::setTransport(tap);
        return detectFromStart();
    }

    QTemporaryDir dir;
    QString previous;
    std::shared_ptr<sim::SimulatedFrame> frame;
    std::shared_ptr<WireTap> tap;
};

} // namespace tovrin::update::test
