// tovrin-bench fpga: a full FPGA download (519 chunks of 62 bytes to both
// units) on the simulated frame with 1 ms per report, as on a full-speed
// interrupt endpoint: how long a technician waits, and how many reports it
// takes (report_ms is that count x 1 ms, the floor of any implementation
// that writes the same bytes).
//
// tovrin-bench xls [rows]: one device information export (two rows
// appended) to a workbook that already holds `rows` rows (default 2000,
// about a thousand frames): the whole workbook is read and written again.
#include "Bench.h"

#include "deviceinfo/core/XlsExport.h"
#include "device/HidLink.h"
#include "device/UnitOps.h"
#include "maintenance/service/BurnFPGAThread.h"
#include "maintenance/service/FpgaDownload.h"
#include "sim/SimTransport.h"
#include "sim/SimulatedFrame.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>

using namespace tovrin;

namespace {

using Clock = std::chrono::steady_clock;

// A full FPGA configuration file: 519 chunks of 62 bytes.
constexpr int kFullFpgaFile = 519 * maintenance::kFpgaChunk;

int benchFpga(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    auto frame = std::make_shared<sim::SimulatedFrame>();
    device::setTransport(sim::makeSimTransport(frame));
    uint16_t pid = 0;
    if (!device::OpenHidDevice(pid))
        return 1;
    device::g_bDevExist = 1;
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("fpga.bin")));
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(QByteArray(kFullFpgaFile, '\x5a'));
    file.close();

    frame->setReportLatency(std::chrono::milliseconds(1));
    const uint64_t before = frame->outputReports() + frame->inputReports();
    maintenance::BurnFPGAThread worker;
    worker.setFile(file.fileName());
    worker.setKey(maintenance::kDefaultFpgaKey);
    bool done = false;
    QObject::connect(&worker, &maintenance::BurnFPGAThread::sendData, &worker,
                     [&done](int code) { done = done || code == maintenance::fpga::Done; }, Qt::DirectConnection);
    const auto t0 = Clock::now();
    worker.startWork();
    worker.wait();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    const uint64_t reports = frame->outputReports() + frame->inputReports() - before;
    device::setTransport(nullptr);
    std::printf("fpga bytes=%d done=%d download_ms=%.0f reports=%llu report_ms=%llu efficiency=%.3f\n",
                kFullFpgaFile, done ? 1 : 0, ms,
                static_cast<unsigned long long>(reports), static_cast<unsigned long long>(reports),
                static_cast<double>(reports) / ms);
    return done ? 0 : 1;
}

QStringList typicalRow(int n)
{
    QString summary;
    for (int l = 0; l < 11; ++l)
        summary += QStringLiteral("%1:8/%2/231 ").arg(l).arg(60 + (n + l) % 90);
    QString profile = QStringLiteral("L4:");
    for (int b = 0; b < 64; ++b)
        profile += QStringLiteral("%1").arg((b * 7 + n) & 0xFF, 2, 16, QLatin1Char('0'));
    return {QStringLiteral("0x%1").arg(0x1000 + n, 8, 16, QLatin1Char('0')), "0x00000001", "Shenzhen_Works",
            "Harbour_Schools", "Line_3", "20260307", QStringLiteral("B%1").arg(n / 100), "L0042", "0x5a5aa5a5",
            "OTF_86_Pro_Exten", "0x0000000f", "0x00000000", "0x50", "0x06", summary.trimmed(), profile};
}

int benchXls(int argc, char** argv)
{
    const int rows = argc > 1 ? std::atoi(argv[1]) : 2000;
    QTemporaryDir dir;
    const QString path = dir.filePath(deviceinfo::kWorkbookFileName);
    deviceinfo::XlsSheet sheet;
    for (int r = 0; r < rows; ++r) {
        const QStringList row = typicalRow(r);
        for (int c = 0; c < row.size(); ++c)
            sheet.cells.push_back({r, c, true, row.at(c), 0});
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return 1;
    f.write(deviceinfo::buildXlsFile(sheet).value());
    f.close();
    const auto t0 = Clock::now();
    const deviceinfo::ExportOutcome out = deviceinfo::appendRows(path, {typicalRow(rows), typicalRow(rows + 1)});
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    std::printf("xls rows=%d file_kb=%lld append_ms=%.1f ok=%d\n", rows, static_cast<long long>(QFileInfo(path).size() / 1024),
                ms, out.ok() ? 1 : 0);
    return out.ok() ? 0 : 1;
}

const bench::BenchMode kFpga{"fpga", "", benchFpga};
const bench::BenchMode kXls{"xls", "[rows]", benchXls};

} // namespace
