// The debug page's service controllers in a small host page of their own
// (the engineering window wires the same calls): scripts, FPGA download,
// Step Debug with and without the preview, flash jobs and the threshold
// dialog, on the simulated frame; screenshots of the page and the dialog.

#include "maintenance/serviceui/DebugPageServices.h"
#include "maintenance/serviceui/FlashController.h"
#include "maintenance/serviceui/FpgaController.h"
#include "maintenance/serviceui/K274_3DebugWin.h"
#include "maintenance/serviceui/ScriptController.h"
#include "maintenance/serviceui/StepDebugController.h"
#include "maintenance/service/FingerThreshold.h"
#include "maintenance/service/FpgaDownload.h"
#include "device/DeviceStatus.h"
#include "jobs/TaskWorker.h"
#include "tests/service/ServiceTestSupport.h"
#include "tests/support/FrameLink.h"
#include "tests/windows/WindowTestSupport.h"
#include "tests/support/Files.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QtTest>

#include <utility>
#include <vector>

using namespace tovrin;
using namespace tovrin::maintenance;
using namespace tovrin::windows::test;
using namespace tovrin::test;

namespace {

// A page laid out like the debug page's service rows, with the window's
// part played by plain functions.
class HostPage : public QWidget {
public:
    HostPage()
    {
        setObjectName(QStringLiteral("hostPage"));
        auto* grid = new QGridLayout(this);
        status = new QLabel(this);
        status->setFrameShape(QFrame::StyledPanel);
        widgets.fpgaPath = new QLineEdit(this);
        widgets.scriptPath = new QLineEdit(this);
        widgets.regAddr = new QLineEdit(this);
        widgets.regValue = new QLineEdit(this);
        widgets.sensor = new QCheckBox(QStringLiteral("Sensor"), this);
        widgets.slave = new QCheckBox(QStringLiteral("Slave"), this);
        widgets.output = new QTextEdit(this);
        widgets.output->setReadOnly(true);
        widgets.writeButton = new QPushButton(shell::context().text(132), this);
        widgets.readButton = new QPushButton(shell::context().text(133), this);
        grid->addWidget(new QLabel(shell::context().text(124), this), 0, 0);
        grid->addWidget(widgets.fpgaPath, 0, 1, 1, 4);
        grid->addWidget(new QPushButton(shell::context().text(126), this), 0, 5);
        grid->addWidget(new QLabel(shell::context().text(125), this), 1, 0);
        grid->addWidget(widgets.scriptPath, 1, 1, 1, 4);
        grid->addWidget(new QPushButton(shell::context().text(127), this), 1, 5);
        auto* step = new QGroupBox(shell::context().text(131), this);
        auto* row = new QHBoxLayout(step);
        row->addWidget(new QLabel(QStringLiteral("Reg Addr(HEX)"), step));
        row->addWidget(widgets.regAddr);
        row->addWidget(new QLabel(QStringLiteral("Value"), step));
        row->addWidget(widgets.regValue);
        row->addWidget(widgets.sensor);
        row->addWidget(widgets.slave);
        row->addWidget(widgets.writeButton);
        row->addWidget(widgets.readButton);
        grid->addWidget(step, 2, 0, 1, 6);
        grid->addWidget(widgets.output, 3, 0, 1, 6);
        grid->addWidget(status, 4, 0, 1, 6);
        resize(900, 560);

        hooks.isConnected = [] { return device::g_bDevExist.load() != 0; };
        hooks.guard = [this](std::function<void()> retry) {
            // As the window's job launcher: every other worker stops first,
            // and the job is tried again once they have ended.
            if (services->isBusy()) {
                services->stopWorkersThen(std::move(retry));
                return false;
            }
            if (device::g_bDevExist.load() != 0)
                return true;
            statusIds << 14;
            return false;
        };
        hooks.previewRunning = [this] { return preview; };
        hooks.showStatus = [this](int id) {
            statusIds << id;
            status->setText(shell::context().text(id));
        };
        hooks.showStatusText = [this](const QString& t) {
            statusTexts << t;
            status->setText(t);
        };
        task = new jobs::TaskWorker(this);
        hooks.inTask = [this](std::function<void()> job, std::function<void()> then) {
            inTask(std::move(job), std::move(then));
        };
        hooks.inTaskReported = [this](std::function<void()> job, std::function<void(bool)> then) {
            inTask(std::move(job), [this, then = std::move(then)] { then(task->stopRequested()); });
        };
        hooks.betweenFrames = [this](std::function<void()> job, std::function<void()> then) {
            gap.emplace_back(std::move(job), std::move(then));
        };
        hooks.switchFailureShown = [this](const device::ModeSwitchOutcome& outcome) {
            if (!outcome.ok)
                statusIds << 142;
            return outcome.ok;
        };
        hooks.switchModeThen = [this](uint8_t mode, std::function<void(bool ok)> then) {
            auto outcome = std::make_shared<device::ModeSwitchOutcome>();
            inTask([outcome, mode] { *outcome = device::SwitchModeChecked(mode); },
                   [this, outcome, then = std::move(then)] {
                       const bool ok = hooks.switchFailureShown(*outcome);
                       if (then)
                           then(ok);
                   });
        };
        hooks.markNotConnected = [this] { statusIds << 19; };
        services = new DebugPageServices(widgets, hooks, this);
        services->setFileChooser([this](QWidget*, FileDialogKind, const QString& caption, const QString&, const QString& filter) {
            chooserCalls << caption + '|' + filter;
            return chosenFile;
        });
    }

    QString output() const { return widgets.output->toPlainText(); }

    // As the window's task worker: one job at a time, in order.
    void inTask(std::function<void()> job, std::function<void()> then)
    {
        if (task->busy()) {
            task->whenIdle(this, [this, job = std::move(job), then = std::move(then)]() mutable {
                inTask(std::move(job), std::move(then));
            });
            return;
        }
        task->run(std::move(job), this, std::move(then));
    }
    // As the preview's worker in the gap between two frames: the requests
    // waiting for it, then their ends.
    void frameGap()
    {
        for (auto& [job, then] : std::exchange(gap, {})) {
            job();
            then();
        }
    }
    // The task has nothing left to do.
    bool taskIdle() const { return !task->busy(); }

    DebugPageWidgets widgets;
    DebugPageHooks hooks;
    DebugPageServices* services = nullptr;
    jobs::TaskWorker* task = nullptr;
    QLabel* status = nullptr;
    bool preview = false;
    std::vector<std::pair<std::function<void()>, std::function<void()>>> gap;
    QString chosenFile;
    QStringList chooserCalls;
    QList<int> statusIds;
    QStringList statusTexts;
};

// The frame's mode once the page's switches (in its task) have gone out.
bool waitForMode(sim::SimulatedFrame& frame, uint8_t mode)
{
    return QTest::qWaitFor([&] { return frame.mode() == mode; }, kDeviceTimeoutMs);
}

// A job of the page started once its switch to calibration mode has gone out.
template <class Controller>
bool waitStarted(Controller* c)
{
    QSignalSpy spy(c, &Controller::started);
    return spy.wait(kDeviceTimeoutMs);
}

// The job ended, successful or not as `success` says.
template <class Controller>
bool finishedWith(Controller* c, bool success)
{
    QSignalSpy spy(c, &Controller::finished);
    return spy.wait(20000) && spy.first().first().toBool() == success;
}

} // namespace

class DebugPageTest : public WindowTest {
    Q_OBJECT
public:
    DebugPageTest() : WindowTest(2) {}

protected:
    // Every test: the frame opened, the page built.
    void initOne() override
    {
        QVERIFY(tovrin::test::openFrameLink());
        device::SelectedUnitIsSlave = 0;
        page = std::make_unique<HostPage>();
    }
    void cleanupOne() override { page.reset(); }

private slots:
    void scriptRunFillsTheOutputAndReturnsToWorkMode();
    void browseShowsTheChosenPath();
    void fpgaDownloadReportsSuccessAndSize();
    void fpgaFileTooLargeIsRefusedAndStaysInCalibrationMode();
    void stepWriteSwitchesModesAndRewritesTheFields();
    void stepRequestsWaitForThePreviewFrame();
    void stepFieldsThatAreNotNumbersNeverReachTheFrame();
    void stepRequestsWaitWhileAJobOfThePageRuns();
    void aJobStoppedByAnotherIsSaidSo();
    void flashToolsAskForTheirFileOnceWhileAJobStops();
    void fillFileOfTheWrongSizeTouchesNothing();
    void dumpSavesTheSlaveAndSaysSo();
    void eraseOfTheSelectedUnit();
    void withoutAFrameTheGuardSpeaks();
    void thresholdDialogWritesBothUnits();

private:
    // An FPGA download slow enough to be caught running (the frame answers
    // each report after 200 us), started.
    bool slowDownloadStarted()
    {
        m_frame->setReportLatency(std::chrono::microseconds(200));
        if (!tovrin::test::writeFile(QStringLiteral("slow.bin"), QByteArray(519 * 62, '\x3c')))
            return false;
        page->widgets.fpgaPath->setText(QStringLiteral("slow.bin"));
        page->services->DownloadButSlot();
        return page->services->fpga()->isRunning() && waitStarted(page->services->fpga());
    }

    std::unique_ptr<HostPage> page;
};

void DebugPageTest::scriptRunFillsTheOutputAndReturnsToWorkMode()
{
    m_frame->setFpgaRegister(sim::Unit::Master, 0x35, 0x0F);
    m_frame->setSensorRegister(sim::Unit::Master, 0x0A, 0x61);
    QVERIFY(tovrin::test::writeFile(QStringLiteral("bring-up.ini"), "0 bring-up of a new unit\n"
                                                                    "1 srd 35          FPGA id\n"
                                                                    "1 pwd 35 1f 1\n"
                                                                    "1 # 20            let the FPGA settle\n"
                                                                    "1 i2crd 0a 1      sensor id\n"
                                                                    "1 i2cwd 19 1 3a\n"
                                                                    "0 pwd 46 ff 1     (not now)\n"
                                                                    "1 brd 50 4 regs.bin\n"));
    page->widgets.scriptPath->setText(QStringLiteral("bring-up.ini"));
    page->services->RunScriptButSlot();
    QVERIFY(finishedWith(page->services->script(), true));
    QTest::qWait(50);
    const QString expected = QStringLiteral("Master: FPGASingleRead Addr: 0x0035  value: 0x0f\n"
                                            "Master: FPGAPortWrite Addr: 0x0035  value: 0x1f\n"
                                            "Delay 20 ms!\n"
                                            "Master: I2C_Read Addr: 0x000a  value: 0x61\n"
                                            "Master: I2CWrite Addr: 0x0019  value: 0x3a\n"
                                            "Success!");
    QCOMPARE(page->output(), expected);
    QVERIFY(waitForMode(*m_frame, 0x22));
    page->show();
    QVERIFY(QTest::qWaitForWindowExposed(page.get()));
    saveShot(page->grab().toImage(), QStringLiteral("debug-page-after-script"));
}

void DebugPageTest::browseShowsTheChosenPath()
{
    page->chosenFile = QStringLiteral("/data/fpga/top.bin");
    page->services->FPGAbrowseButSlot();
    QCOMPARE(page->widgets.fpgaPath->text(), page->chosenFile);
    page->chosenFile = QStringLiteral("/data/scripts/a.ini");
    page->services->ScriptBrowseButSlot();
    QCOMPARE(page->widgets.scriptPath->text(), page->chosenFile);
    QCOMPARE(page->chooserCalls, (QStringList{"Open Files |bin Files(*.bin);;ALL FILE(*.*)",
                                              "Open Files |ini Files(*.ini);;ALL FILE(*.*)"}));
    page->chosenFile.clear();  // a cancelled dialog changes nothing
    page->services->FPGAbrowseButSlot();
    QCOMPARE(page->widgets.fpgaPath->text(), QStringLiteral("/data/fpga/top.bin"));
}

void DebugPageTest::fpgaDownloadReportsSuccessAndSize()
{
    QVERIFY(tovrin::test::writeFile(QStringLiteral("top.bin"), QByteArray(519 * 62, '\x3c')));
    page->widgets.fpgaPath->setText(QStringLiteral("top.bin"));
    page->services->DownloadButSlot();
    QVERIFY(finishedWith(page->services->fpga(), true));
    QTest::qWait(50);
    const QStringList lines = page->output().split('\n');
    QCOMPARE(lines.first(), QStringLiteral("The FPGA script begins to burn!"));
    QCOMPARE(lines.count(QStringLiteral("The FPGA script begins to burn!")), 2);
    QCOMPARE(lines.mid(lines.size() - 2), (QStringList{"Success!", "Write FPGA Code 31KB Success!"}));
    QVERIFY(waitForMode(*m_frame, 0x22));
}

void DebugPageTest::fpgaFileTooLargeIsRefusedAndStaysInCalibrationMode()
{
    QVERIFY(tovrin::test::writeFile(QStringLiteral("huge.bin"), QByteArray(100000, 'x')));
    WireRecord wire(*m_frame);
    page->widgets.fpgaPath->setText(QStringLiteral("huge.bin"));
    page->services->DownloadButSlot();
    QVERIFY(finishedWith(page->services->fpga(), false));
    QTest::qWait(50);
    QVERIFY(page->output().startsWith(QStringLiteral("FPGA File is 100000 bytes")));
    QVERIFY(wire.withNumber({wire::EraseFlashM, wire::EraseFlashS}).empty());
    QCOMPARE(m_frame->mode(), uint8_t{0xFF});
}

void DebugPageTest::stepWriteSwitchesModesAndRewritesTheFields()
{
    WireRecord wire(*m_frame);
    page->widgets.regAddr->setText(QStringLiteral("46"));
    page->widgets.regValue->setText(QStringLiteral("5A"));
    page->services->WriteButSlot();
    // The output, then back to work mode.
    QVERIFY(QTest::qWaitFor([&] { return !page->output().isEmpty() && page->taskIdle(); }, kDeviceTimeoutMs));
    QCOMPARE(m_frame->fpgaRegister(sim::Unit::Master, 0x46), uint8_t{0x5A});
    QCOMPARE(page->widgets.regAddr->text(), QStringLiteral("0x46"));
    QCOMPARE(page->widgets.regValue->text(), QStringLiteral("0x5a"));
    QCOMPARE(page->output(), QStringLiteral("Master: FPGAPortWrite Addr: 0x0046  value: 0x5a"));
    QCOMPARE(wire.withNumber({wire::SwitchMode}).size(), size_t{2});
    QVERIFY(waitForMode(*m_frame, 0x22));

    // The same register typed with its prefix, read back from the Slave box's unit.
    page->widgets.slave->setChecked(true);
    device::SelectedUnitIsSlave = 1;
    m_frame->setFpgaRegister(sim::Unit::Slave, 0x46, 0x77);
    page->widgets.regAddr->setText(QStringLiteral("0x46"));
    page->services->ReadButSlot();
    QVERIFY(QTest::qWaitFor([&] { return page->output().contains(QStringLiteral("Slave:")); }, kDeviceTimeoutMs));
    QCOMPARE(page->widgets.regValue->text(), QStringLiteral("0x77"));
    QVERIFY(page->output().endsWith(QStringLiteral("Slave: FPGASingleRead Addr: 0x0046  value: 0x77")));
}

void DebugPageTest::stepRequestsWaitForThePreviewFrame()
{
    WireRecord wire(*m_frame);
    page->preview = true;
    page->widgets.regAddr->setText(QStringLiteral("19"));
    page->widgets.regValue->setText(QStringLiteral("3a"));
    page->widgets.sensor->setChecked(true);
    page->services->WriteButSlot();
    page->services->ReadButSlot();
    QVERIFY(wire.commands().empty());
    QCOMPARE(page->gap.size(), size_t{2});

    page->frameGap();
    QCOMPARE(m_frame->sensorRegister(sim::Unit::Master, 0x19), uint8_t{0x3A});
    const auto commands = wire.commands();
    QCOMPARE(commands.size(), size_t{2});  // the write and the read, no mode switch
    QCOMPARE(commands[0].number(), wire::WriteSensorM);
    QCOMPARE(commands[1].number(), wire::ReadSensorM);
    QVERIFY(page->output().endsWith(QStringLiteral("Master: I2C_Read Addr: 0x0019  value: 0x3a")));
    page->frameGap();  // nothing waiting: nothing sent
    QCOMPARE(wire.commands().size(), size_t{2});
}

void DebugPageTest::stepFieldsThatAreNotNumbersNeverReachTheFrame()
{
    WireRecord wire(*m_frame);
    page->widgets.regAddr->setText(QStringLiteral("xx"));
    page->widgets.regValue->setText(QStringLiteral("1"));
    page->services->WriteButSlot();
    page->widgets.regAddr->setText(QStringLiteral("100"));
    page->widgets.sensor->setChecked(true);
    page->services->WriteButSlot();
    QVERIFY(wire.commands().empty());
    QVERIFY(page->output().contains(QStringLiteral("not a hexadecimal number")));
    QVERIFY(page->output().contains(QStringLiteral("out of range")));
}

void DebugPageTest::stepRequestsWaitWhileAJobOfThePageRuns()
{
    QSignalSpy finished(page->services->fpga(), &FpgaController::finished);
    QVERIFY(slowDownloadStarted());
    QVERIFY(!page->widgets.writeButton->isEnabled());
    QVERIFY(!page->widgets.readButton->isEnabled());

    // Two talkers at once would mix their commands and replies: refused.
    page->widgets.regAddr->setText(QStringLiteral("46"));
    page->widgets.regValue->setText(QStringLiteral("5a"));
    page->services->WriteButSlot();
    QVERIFY(page->output().contains(QStringLiteral("Step Debug: the FPGA download is running, please wait for its end.")));
    QCOMPARE(m_frame->fpgaRegister(sim::Unit::Master, 0x46), uint8_t{0x00});
    page->show();
    QVERIFY(QTest::qWaitForWindowExposed(page.get()));
    saveShot(page->grab().toImage(), QStringLiteral("debug-page-step-waits-for-the-download"));

    QVERIFY(finished.wait(30000));
    QVERIFY(finished.first().first().toBool());
    QVERIFY(page->widgets.writeButton->isEnabled());
    m_frame->setReportLatency(std::chrono::microseconds(0));
    page->services->WriteButSlot();
    QVERIFY(QTest::qWaitFor([&] { return m_frame->fpgaRegister(sim::Unit::Master, 0x46) == 0x5A; }, kDeviceTimeoutMs));
    QCOMPARE(m_frame->fpgaRegister(sim::Unit::Master, 0x46), uint8_t{0x5A});
}

void DebugPageTest::aJobStoppedByAnotherIsSaidSo()
{
    QVERIFY(slowDownloadStarted());
    m_frame->setReportLatency(std::chrono::microseconds(0));
    QSignalSpy erased(page->services->flash(), &FlashController::finished);
    page->services->EraseFlashSlot();  // the guard stops the download first; the erase follows its end
    QTRY_VERIFY(
        page->output().contains(QStringLiteral("FPGA download stopped before its end (another job was started)")));
    QVERIFY(erased.count() > 0 || erased.wait(20000));
    QTest::qWait(50);
    QVERIFY(!page->output().contains(QStringLiteral("Success!")));
    QCOMPARE(page->statusIds.last(), 15);  // the erase's own end
    QCOMPARE(m_frame->readFlash(sim::Unit::Master, 0x11000, 4), std::vector<uint8_t>(4, 0xFF));
}

// Read Flash and Write Flash clicked while the download runs: each asks for
// its file (the fill checks its image) at the click, and goes on from there
// once the download has ended.
void DebugPageTest::flashToolsAskForTheirFileOnceWhileAJobStops()
{
    const std::vector<uint8_t> marker{5, 6, 7, 8};
    m_frame->setFlash(sim::Unit::Master, 0x1FFFC, marker);
    QVERIFY(slowDownloadStarted());
    m_frame->setReportLatency(std::chrono::microseconds(0));
    page->chosenFile = QStringLiteral("dump.bin");
    QSignalSpy flashEnds(page->services->flash(), &FlashController::finished);
    page->services->ReadFlashSlot();
    QCOMPARE(page->chooserCalls.size(), 1);
    QVERIFY(flashEnds.wait(20000));
    QVERIFY(flashEnds.first().first().toBool());
    QCOMPARE(page->chooserCalls.size(), 1);
    QVERIFY(page->output().contains(QStringLiteral("FPGA download stopped before its end (another job was started)")));
    const QByteArray dumped = tovrin::test::readFile(QStringLiteral("dump.bin"));
    QCOMPARE(dumped.size(), qsizetype{0x20000});
    QCOMPARE(dumped.right(4), QByteArray("\x05\x06\x07\x08", 4));

    // The same image written back, clicked while another download runs.
    page->widgets.output->clear();
    QVERIFY(slowDownloadStarted());
    page->chosenFile = QStringLiteral("dump.bin");
    flashEnds.clear();
    page->services->WriteFlashSlot();
    m_frame->setReportLatency(std::chrono::microseconds(0));
    QCOMPARE(page->chooserCalls.size(), 2);
    QVERIFY(flashEnds.wait(20000));
    QVERIFY(flashEnds.first().first().toBool());
    QCOMPARE(page->chooserCalls.size(), 2);
    QVERIFY(page->output().contains(QStringLiteral("FPGA download stopped before its end (another job was started)")));
    QCOMPARE(m_frame->readFlash(sim::Unit::Master, 0x1FFFC, 4), marker);
    QVERIFY(waitForMode(*m_frame, 0x22));
}

void DebugPageTest::fillFileOfTheWrongSizeTouchesNothing()
{
    QVERIFY(tovrin::test::writeFile(QStringLiteral("short.bin"), QByteArray(65536, '\x11')));
    WireRecord wire(*m_frame);
    page->chosenFile = QStringLiteral("short.bin");
    page->services->WriteFlashSlot();
    QVERIFY(wire.commands().empty());
    QVERIFY(!page->services->flash()->isRunning());
    QVERIFY(page->output().contains(QStringLiteral("65536 bytes, a flash image is 131072 bytes: nothing was written.")));
}

void DebugPageTest::dumpSavesTheSlaveAndSaysSo()
{
    const std::vector<uint8_t> marker{1, 2, 3, 4};
    m_frame->setFlash(sim::Unit::Slave, 0x1FFFC, marker);
    page->widgets.slave->setChecked(true);
    page->chosenFile = QStringLiteral("slave-dump.bin");
    page->services->ReadFlashSlot();
    QVERIFY(finishedWith(page->services->flash(), true));
    const QByteArray bytes = tovrin::test::readFile(page->chosenFile);
    QCOMPARE(bytes.size(), qsizetype{0x20000});
    QCOMPARE(bytes.right(4), QByteArray("\x01\x02\x03\x04", 4));
    QVERIFY(QTest::qWaitFor([] { return !widgets::MyMessageBox::shownBoxes().isEmpty(); }, kDeviceTimeoutMs));
    QCOMPARE(widgets::MyMessageBox::shownBoxes().last().message, QStringLiteral("Read Flash Complete......"));
    QVERIFY(waitForMode(*m_frame, 0x22));
}

void DebugPageTest::eraseOfTheSelectedUnit()
{
    page->widgets.slave->setChecked(true);
    page->services->EraseFlashSlot();
    QVERIFY(finishedWith(page->services->flash(), true));
    QCOMPARE(page->statusTexts.first(), QStringLiteral("Erasing Flash ......"));
    QCOMPARE(page->statusIds.last(), 15);
    QCOMPARE(m_frame->readFlash(sim::Unit::Slave, 0x11000, 4), std::vector<uint8_t>(4, 0xFF));
    QVERIFY(m_frame->calibrationRecordValid(sim::Unit::Master));
}

void DebugPageTest::withoutAFrameTheGuardSpeaks()
{
    device::g_bDevExist = 0;
    page->services->DownloadButSlot();
    page->services->RunScriptButSlot();
    page->services->WriteButSlot();
    QCOMPARE(page->statusIds, (QList<int>{14, 14, 14}));
    QVERIFY(!page->services->isBusy());
}

void DebugPageTest::thresholdDialogWritesBothUnits()
{
    const std::vector<uint8_t> record{'T', 'E', 'S', 'T', 0xC0, 0x0A, 0x1E, 0x02, 0, 0, 0, 0, 1, 1, 1};
    m_frame->setFlash(sim::Unit::Master, 0x1A000, record);
    m_frame->setFlash(sim::Unit::Slave, 0x1A000, record);
    K274_3DebugWin dialog;
    QCOMPARE(dialog.size(), QSize(450, 200));
    QVERIFY(dialog.choiceButton(1)->isChecked());
    QCOMPARE(dialog.choiceButton(3)->text(), QStringLiteral("0x10"));
    dialog.choiceButton(3)->setChecked(true);
    QTest::mouseClick(dialog.writeButton(), Qt::LeftButton);
    QCOMPARE(dialog.statusText(), QStringLiteral("Flash Write Success!"));
    QCOMPARE(m_frame->flashByte(sim::Unit::Slave, 0x1A005), uint8_t{0x10});
    QCOMPARE(m_frame->flashByte(sim::Unit::Master, 0x1A005), uint8_t{0x10});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    saveShot(dialog.grab().toImage(), QStringLiteral("threshold-dialog"));
}

QTEST_MAIN(DebugPageTest)
#include "DebugPageTest.moc"
