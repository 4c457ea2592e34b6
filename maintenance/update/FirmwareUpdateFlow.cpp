#include "FirmwareUpdateFlow.h"

#include "HInfo.h"
#include "UpdateSteps.h"
#include "device/Command.h"
#include "device/DeviceOps.h"
#include "device/Detection.h"
#include "device/DeviceStatus.h"
#include "device/FrameHold.h"
#include "device/UnitOps.h"
#include "records/CalibrationRecord.h"
#include "shell/CommentIniWriter.h"
#include "shell/Log.h"

namespace tovrin::update {

using device::Unit;

namespace {

constexpr uint8_t kRebootToBootLoader = 0x42;
constexpr uint8_t kRebootToApplication = 0x55;

namespace msg {
constexpr int NotReady = 16;
constexpr int NotDetected = 17;
constexpr int Preparing = 22;
constexpr int UpdateFailed = 36;
constexpr int EnvironmentFailed = 37;
constexpr int CannotOpen = 38;
constexpr int Burning = 39;
constexpr int EquipmentAnomalies = 142;
} // namespace msg

bool frameThere() { return device::g_bDevExist.load() != 0; }

} // namespace

FirmwareUpdateFlow::FirmwareUpdateFlow(QObject* parent)
    : QObject(parent)
    , m_thread(std::make_unique<CFirmwareUpdateThread>())
{
    connect(m_thread.get(), &CFirmwareUpdateThread::sendProgress, this, [this](int percent) {
        if (m_phase == Phase::Transferring)
            showProgress(percent);
    }, Qt::QueuedConnection);
    connect(m_thread.get(), &CFirmwareUpdateThread::sendData, this, &FirmwareUpdateFlow::onThreadCode,
            Qt::QueuedConnection);
}

FirmwareUpdateFlow::~FirmwareUpdateFlow()
{
    abort();
}

template <typename Result>
void FirmwareUpdateFlow::runStep(std::function<Result()> step, std::function<void(const Result&)> then)
{
    auto result = std::make_shared<Result>();
    const unsigned generation = ++m_stepGeneration;
    QThread* thread = QThread::create([step = std::move(step), result] {
        // The frame is this step's alone: a request that goes unanswered
        // does not bring the detection's status test in between.
        const device::FrameHold hold;
        *result = step();
    });
    thread->setParent(this);
    m_stepThread = thread;
    connect(thread, &QThread::finished, this, [this, thread, result, then = std::move(then), generation] {
        thread->deleteLater();
        if (generation == m_stepGeneration)
            then(*result);
    }, Qt::QueuedConnection);
    thread->start();
}

void FirmwareUpdateFlow::abort()
{
    ++m_stepGeneration;
    if (m_stepThread)
        m_stepThread->wait();
    m_thread->stopAndWait();
    if (m_phase != Phase::Idle)
        device::UpdateExpected = 0;
    m_phase = Phase::Idle;
    m_running = false;
}

void FirmwareUpdateFlow::showProgress(int percent)
{
    if (percent <= m_progress)
        return;
    m_progress = percent;
    Q_EMIT progressChanged(percent);
}

void FirmwareUpdateFlow::end(Outcome outcome, int messageId)
{
    ++m_stepGeneration;
    m_phase = Phase::Idle;
    m_running = false;
    device::UpdateExpected = 0;
    if (outcome == Outcome::FrameLost)
        m_prepared = false;
    if (messageId >= 0)
        Q_EMIT statusChanged(messageId);
    Q_EMIT progressVisible(false);
    Q_EMIT functionsLocked(false);
    if (outcome == Outcome::FrameLost)
        Q_EMIT frameLost();
    shell::LogF("update: ended (%d), message %d\n", static_cast<int>(outcome), messageId);
    Q_EMIT ended(outcome, messageId);
}

void FirmwareUpdateFlow::failDevice(int messageId, bool there)
{
    // A request that got no answer has marked the frame gone: then it is
    // the frame that is missing, not the update that failed.
    if (there)
        end(Outcome::Failed, messageId);
    else
        end(Outcome::FrameLost, msg::NotDetected);
}

void FirmwareUpdateFlow::start(const QString& path)
{
    if (m_phase != Phase::Idle || m_running)
        return;
    UpdatePackage::LoadOutcome loaded;
    std::optional<UpdatePackage> package = UpdatePackage::load(path, loaded);
    if (!package) {
        Q_EMIT statusChanged(loaded.messageId);
        Q_EMIT ended(Outcome::Refused, loaded.messageId);
        return;
    }
    m_package = std::make_shared<UpdatePackage>(std::move(*package));
    m_path = path;
    m_progress = 0;
    m_running = true;
    shell::LogF("update: package %s, %d jobs, %llu bytes\n", path.toUtf8().constData(),
                static_cast<int>(m_package->jobs().size()), static_cast<unsigned long long>(m_package->bytesToSend()));
    Q_EMIT progressChanged(0);
    Q_EMIT progressVisible(true);
    Q_EMIT functionsLocked(true);
    m_phase = Phase::Starting;
    if (m_prepared) {
        continuePrepared();
        return;
    }

    Q_EMIT statusChanged(msg::Preparing);
    showProgress(1);
    struct Preparation {
        device::ModeSwitchOutcome mode;
        bool versionsRead = false;
        bool restarted = false;
        // Whether the frame was there when the step ended: a detection that
        // finds it again afterwards does not turn a lost frame into a
        // failed update.
        bool there = true;
    };
    runStep<Preparation>([] {
        Preparation p;
        p.mode = device::SwitchModeChecked(device::mode::Calibration);
        if (!p.mode.ok) {
            shell::LogF("update :Switch to calibration mode failed!\n g_isSwitchMode=%d\n", device::g_isSwitchMode.load());
            p.there = frameThere();
            return p;
        }
        p.versionsRead = readImageInformation(Unit::Slave) && readImageInformation(Unit::Master);
        if (!p.versionsRead) {
            p.there = frameThere();
            return p;
        }
        p.restarted = device::Reboot(kRebootToBootLoader);
        if (!p.restarted && device::LinkState.load() == device::LINK_NO_REPLY) {
            device::g_bDevExist = 0;
            device::g_isDeviceCommunicate = 0;
        }
        p.there = frameThere();
        return p;
    }, [this](const Preparation& p) {
        if (!p.mode.ok) {
            if (p.mode.deviceAbsent || !p.there)
                end(Outcome::FrameLost, msg::NotDetected);
            else
                end(Outcome::Failed, p.mode.messageId);
            return;
        }
        if (!p.versionsRead) {
            failDevice(msg::NotReady, p.there);
            return;
        }
        if (!p.restarted) {
            // A failed step is shown like a failed mode switch.
            device::markSwitchFailure();
            end(p.there ? Outcome::Failed : Outcome::FrameLost, msg::EquipmentAnomalies);
            return;
        }
        shell::WriteLog("update: the frame restarts into its boot loader\n");
        m_phase = Phase::Preparing;
        device::UpdateExpected = 1;
        Q_EMIT waitForFrame(device::kStateWaitBootLoader);
    });
}

void FirmwareUpdateFlow::continuePrepared()
{
    // The calibration of a frame older than 1.2.0 does not suit the new
    // firmware: its calibration sectors are erased before the images go out.
    struct Check {
        bool versionsRead = false;
        bool erased = true;
        bool there = true;  // as in the preparation
    };
    runStep<Check>([] {
        Check c;
        c.versionsRead = readImageInformation(Unit::Master) && readImageInformation(Unit::Slave);
        if (!c.versionsRead) {
            c.there = frameThere();
            return c;
        }
        const bool older = records::g_ImageVersion[0].load() < kVersionWithNewCalibration
                           || records::g_ImageVersion[1].load() < kVersionWithNewCalibration;
        if (older) {
            shell::WriteLog("update: image older than 1.2.0, calibration sectors erased\n");
            c.erased = eraseSector(Unit::Slave, device::flash::kCalibrationRecord)
                       && eraseSector(Unit::Master, device::flash::kCalibrationRecord);
        }
        c.there = frameThere();
        return c;
    }, [this](const Check& c) {
        if (!c.versionsRead) {
            failDevice(msg::UpdateFailed, c.there);
            return;
        }
        if (!c.erased) {
            device::markSwitchFailure();
            failDevice(msg::EquipmentAnomalies, c.there);
            return;
        }
        startTransfer();
    });
}

void FirmwareUpdateFlow::startTransfer()
{
    m_phase = Phase::Transferring;
    m_thread->stopAndWait();
    m_thread->setPackage(m_package);
    m_thread->startWork();
}

void FirmwareUpdateFlow::onThreadCode(int code)
{
    if (m_phase != Phase::Transferring)
        return;
    switch (code) {
    case code::Progress:
        break;  // the value came with sendProgress, in order
    case code::FirstPacket:
        Q_EMIT statusChanged(msg::Burning);
        break;
    case code::RequestFailed:
        m_thread->wait();
        failDevice(msg::UpdateFailed, frameThere());
        break;
    case code::CannotOpen:
        m_thread->wait();
        end(Outcome::Failed, msg::CannotOpen);
        break;
    case code::FrameLost:
        m_thread->wait();
        end(Outcome::FrameLost, msg::NotDetected);
        break;
    case code::Done:
        finish();
        break;
    default:
        break;
    }
}

void FirmwareUpdateFlow::finish()
{
    shell::writeSetting(shell::kSettingsFile, QStringLiteral("ImagePath/imagePath"), m_path);
    Q_EMIT statusChanged(msg::Preparing);
    m_thread->stopAndWait();  // it has sent its last code and is ending
    runStep<bool>([] { return device::Reboot(kRebootToApplication); }, [this](const bool& restarted) {
        m_running = false;
        Q_EMIT functionsLocked(false);
        if (!restarted)
            Q_EMIT statusChanged(msg::EnvironmentFailed);
        // Whatever the frame comes back as, the detection tells: the prepared
        // mark returns with a boot loader that shows up again.
        m_prepared = false;
        m_phase = Phase::Finishing;
        device::UpdateExpected = 1;
        shell::WriteLog("update: the frame restarts into its application\n");
        Q_EMIT waitForFrame(device::kStateWaitApplication);
    });
}

bool FirmwareUpdateFlow::onDetection(int code)
{
    using namespace device::detection;
    switch (m_phase) {
    case Phase::Idle:
        return false;
    case Phase::Starting:
        // The steps' own requests tell whether the frame went away.
        return true;
    case Phase::Preparing:
        if (code == kBootLoaderOpened) {
            device::UpdateExpected = 0;
            m_prepared = true;
            continuePrepared();
        } else if (code == kNoFrame || code == kLostDuringUpdate) {
            // The boot loader did not come within its 30 tries.
            end(Outcome::FrameLost, msg::NotDetected);
        } else if (code == kApplicationOpened) {
            // The frame came back without entering its boot loader.
            end(Outcome::Failed, msg::EnvironmentFailed);
        }
        return true;
    case Phase::Transferring:
        // The thread notices a lost frame at its next request.
        return true;
    case Phase::Finishing:
        if (code == kApplicationOpened) {
            end(Outcome::Updated, -1);
            return false;  // the owner shows the new status test result
        }
        if (code == kBootLoaderOpened) {
            // The new application does not start: the frame is there, in
            // its boot loader, and the next update starts from it.
            m_prepared = true;
            end(Outcome::Failed, msg::NotReady);
            return false;  // the owner offers the update again
        }
        if (code == kNoFrame || code == kLostDuringUpdate) {
            end(Outcome::FrameLost, msg::NotDetected);
            return true;
        }
        return true;
    }
    return false;
}

} // namespace tovrin::update
