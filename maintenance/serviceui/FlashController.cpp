#include "FlashController.h"

#include "maintenance/service/ServiceTexts.h"

#include "device/DeviceStatus.h"
#include "device/UnitOps.h"
#include "shell/AppContext.h"
#include "widgets/MyMessageBox.h"

#include <QCheckBox>

#include <utility>

namespace tovrin::maintenance {

namespace msg {
constexpr int Versions = 3;  // the title of the dump's message box
constexpr int CheckCompleted = 15;
constexpr int ReadFlashFailed = 18;
constexpr int OpenFileFailed = 38;
constexpr int WriteFailure = 118;
} // namespace msg

FlashController::FlashController(const DebugPageWidgets& widgets, const DebugPageHooks& hooks, QWidget* window)
    : QObject(window)
    , m_widgets(widgets)
    , m_hooks(hooks)
    , m_window(window)
    , m_thread(new FlashJobThread(this))
    , m_inbox(new ReportInbox(this))
    , m_run(*m_thread)
{
    m_inbox->listenTo(m_thread);
    connect(m_inbox, &ReportInbox::received, this, &FlashController::onReport);
    connect(m_thread, &jobs::Worker::ended, this, &FlashController::onFinished, Qt::QueuedConnection);
}

FlashController::~FlashController()
{
    m_run.abandon();
}

device::Unit FlashController::selectedUnit() const
{
    return m_widgets.slave && m_widgets.slave->isChecked() ? device::Unit::Slave : device::Unit::Master;
}

void FlashController::stopThen(std::function<void()> whenEnded) { m_run.stopThen(std::move(whenEnded)); }

void FlashController::onFinished()
{
    if (!m_run.active())
        return;
    m_inbox->deliverNow();
    if (m_run.end()) {
        // The frame is left to the job that stopped this one.
        if (!m_ended)
            sayStopped();
    } else {
        const bool dumped = m_succeeded && m_thread->kind() == FlashJobKind::Dump;
        // A frame that went away is the window's detection's business.
        if (device::g_bDevExist.load() != 0) {
            m_hooks.switchModeThen(device::mode::Work, [this, dumped](bool ok) {
                if (!ok)
                    m_hooks.markNotConnected();
                if (dumped)
                    sayDumped();
            });
        } else if (dumped) {
            sayDumped();
        }
    }
    Q_EMIT finished(m_succeeded);
    m_run.notifyEnded();
}

void FlashController::sayStopped()
{
    const char* what = "";
    switch (m_thread->kind()) {
    case FlashJobKind::Erase:
        what = "Erase Flash stopped before its end (another job was started): part of the flash is erased.";
        break;
    case FlashJobKind::Dump:
        what = "Read Flash stopped before its end (another job was started): nothing was saved.";
        break;
    case FlashJobKind::Fill:
        what = "Write Flash stopped before its end (another job was started): the flash holds part of the image, "
               "please write it again!";
        break;
    }
    appendOutput(m_widgets.output, {QString::fromLatin1(what)});
}

void FlashController::begin(std::function<void()> retry, std::function<void()> run)
{
    if (!m_hooks.guard(std::move(retry)))
        return;
    m_run.prepare();
    m_hooks.switchModeThen(device::mode::Calibration, [this, run = std::move(run)](bool ok) {
        if (!m_run.prepared())
            return;  // another job was asked for meanwhile
        if (ok)
            run();
        // else message 142 is shown
    });
}

void FlashController::sayDumped()
{
    // From the event loop, not from within the task's then.
    QMetaObject::invokeMethod(
        this,
        [this] {
            widgets::MyMessageBox::setAnswer(widgets::MyMessageBox::AnswerCancel);
            widgets::MyMessageBox box(m_window, shell::context().text(msg::Versions),
                                      QStringLiteral("Read Flash Complete......"), 0, 1, QStringLiteral("OK"));
        },
        Qt::QueuedConnection);
}

void FlashController::start()
{
    m_succeeded = false;
    m_ended = false;
    if (m_run.start())
        Q_EMIT started();
}

void FlashController::erase()
{
    if (isRunning())
        return;
    m_hooks.showStatusText(QStringLiteral("Erasing Flash ......"));
    const device::Unit unit = selectedUnit();
    begin([this] { erase(); },
          [this, unit] {
              m_thread->setErase(unit);
              start();
          });
}

void FlashController::dump(const FileChooser& chooser)
{
    if (isRunning())
        return;
    const QString path = chooser(m_window, FileDialogKind::Save, kOpenFilesCaption, QStringLiteral("./"), kBinFilter);
    if (!path.isEmpty())
        dumpTo(path);
}

void FlashController::dumpTo(const QString& path)
{
    if (isRunning())
        return;
    // Once the workers that ran have ended, the dump goes on from the file chosen.
    const device::Unit unit = selectedUnit();
    begin([this, path] { dumpTo(path); },
          [this, unit, path] {
              m_thread->setDump(unit, path);
              start();
          });
}

void FlashController::fill(const FileChooser& chooser)
{
    if (isRunning())
        return;
    const QString path = chooser(m_window, FileDialogKind::Open, kOpenFilesCaption, QStringLiteral("./"), kBinFilter);
    if (path.isEmpty())
        return;
    // The whole image is read and checked before anything is erased.
    const FlashImageFile image = loadFlashImage(path);
    if (image.status != FlashImageFile::Ok) {
        appendOutput(m_widgets.output, {flashImageProblem(path, image)});
        if (image.status == FlashImageFile::CannotOpen)
            m_hooks.showStatus(msg::OpenFileFailed);
        return;
    }
    fillWith(image.bytes);
}

void FlashController::fillWith(const QByteArray& image)
{
    if (isRunning())
        return;
    // Once the workers that ran have ended, the fill goes on with the image checked.
    const device::Unit unit = selectedUnit();
    begin([this, image] { fillWith(image); },
          [this, unit, image] {
              m_hooks.showStatusText(QStringLiteral("Writing Flash ......"));
              m_thread->setFill(unit, image);
              start();
          });
}

void FlashController::onReport(const ServiceReport& report)
{
    const FlashJobKind kind = m_thread->kind();
    if (report.code != flashjob::Progress)
        m_ended = true;
    switch (report.code) {
    case flashjob::Done:
        m_succeeded = true;
        if (kind != FlashJobKind::Dump)
            m_hooks.showStatus(msg::CheckCompleted);
        break;
    case flashjob::EraseFail:
    case flashjob::WriteFail:
    case flashjob::VerifyFail:
        appendOutput(m_widgets.output, flashJobTexts(kind, report));
        m_hooks.showStatus(msg::WriteFailure);
        break;
    case flashjob::ReadFail:
        appendOutput(m_widgets.output, flashJobTexts(kind, report));
        m_hooks.showStatus(msg::ReadFlashFailed);
        break;
    case flashjob::FileFail:
        appendOutput(m_widgets.output, flashJobTexts(kind, report));
        break;
    default:
        break;
    }
}

} // namespace tovrin::maintenance
