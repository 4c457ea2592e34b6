#pragma once
// Small pieces the main windows share: the tool version, skin pictures and
// picture buttons, the version texts built from a unit's version word, the
// log's first and last lines, the frame detection a window owns and the
// focus look that the keyboard moves over a row of picture buttons.

#include "device/Detection.h"
#include "device/DeviceStatus.h"
#include "device/UdevMonitor.h"
#include "maintenance/update/Versions.h"
#include "records/CalibrationRecord.h"
#include "shell/AppContext.h"
#include "shell/Log.h"
#include "widgets/Button.h"

#include <QKeyEvent>
#include <QPixmap>
#include <QString>

#include <algorithm>
#include <atomic>
#include <vector>

namespace tovrin::windows {

using update::kToolVersion;

// A picture of the current skin folder; a missing file gives a null pixmap.
inline QPixmap skinPixmap(const QString& name)
{
    return QPixmap(shell::context().skinPath() + name);
}

// A picture button with its normal, focus, pressed and disabled pictures
// from the skin folder, as large as its normal picture (when that exists).
inline widgets::Button* makeSkinButton(QWidget* parent, const char* objectName, const QString& normal,
                                       const QString& focus, const QString& press, const QString& disabled)
{
    auto* button = new widgets::Button(parent);
    button->setObjectName(QString::fromLatin1(objectName));
    const QPixmap up = skinPixmap(normal);
    button->setNormalPixmap(up);
    button->setFocusPixmap(skinPixmap(focus));
    button->setPressPixmap(skinPixmap(press));
    button->setDisabledPixmap(skinPixmap(disabled));
    if (!up.isNull())
        button->resize(up.size());
    return button;
}

// Message 42 "FirmwareID: %1.%2.%3\n" filled with a version word.
using update::firmwareIdText;

// The text of a status message; message 142 (equipment anomalies) carries
// both units' error words.
constexpr int kEquipmentAnomaliesMessage = 142;

inline QString statusMessageText(int messageId)
{
    const QString text = shell::context().text(messageId);
    return messageId == kEquipmentAnomaliesMessage ? device::errorWordsText(text) : text;
}

// A mode switch that failed is marked in bit 31 of both error words, which
// message 142 shows.
inline void markSwitchFailure()
{
    device::g_ErrorCodeM = device::g_ErrorCodeM.load() | 0x80000000u;
    device::g_ErrorCodeS = device::g_ErrorCodeS.load() | 0x80000000u;
}

// Every main window starts a new log file and ends it when it closes.
inline void startLog()
{
    shell::PrepareLogFolders();
    shell::WriteLog("Tovrin log start!\n", true);
    shell::LogF("ChooseToolEnable = %d\n", shell::context().toolFlavour.load());
}

inline void endLog() { shell::WriteLog("Tovrin log end!\n"); }

// The frame detection a main window owns: its detection thread and, where
// the window wants it, the udev watch that starts the thread again when a
// HID node appears. close() stops the thread for good and waits for it, so
// that it never opens the frame again behind the closed link; destruction
// does the same, so that it never reports into a half-destroyed window.
class FrameDetection {
public:
    FrameDetection() = default;
    ~FrameDetection() { stop(); }
    FrameDetection(const FrameDetection&) = delete;
    FrameDetection& operator=(const FrameDetection&) = delete;

    // Takes the window's thread (a child of the window), delivers its codes
    // queued to the window's slot and starts looking for the frame. A code
    // is tagged with the run of the thread that sent it: one still queued
    // from a run that restartIn() ended is dropped, never taken as news
    // about the frame the new run waits for.
    template <class Window>
    void start(device::DetectionThread* thread, Window* window, void (Window::*slot)(int))
    {
        m_thread = thread;
        QObject::connect(
            thread, &device::DetectionThread::sendShowData, thread,
            [this, window, slot](int code) {
                const unsigned run = m_run.load();
                QMetaObject::invokeMethod(
                    window,
                    [this, window, slot, code, run] {
                        if (run == m_run.load())
                            (window->*slot)(code);
                    },
                    Qt::QueuedConnection);
            },
            Qt::DirectConnection);
        restart();
    }

    void watchArrivals(QObject* window)
    {
        auto* udev = new device::UdevMonitor(window);
        QObject::connect(udev, &device::UdevMonitor::deviceAdded, window, [this](const QString&) {
            if (!m_closed && !isRunning())
                restart();
        });
    }

    // Looks for the frame from the start: a running thread takes the state
    // up itself, an idle one is started (but never again once closed).
    void restart()
    {
        device::DeviceCheckState = device::kStateOpen;
        if (!m_closed && !isRunning()) {
            m_thread->startWork();
        }
    }

    // Runs the detection from another state (3: wait for the boot loader,
    // 4: wait for the application, during a firmware update). The thread is
    // stopped first, so that none of its steps can overwrite the new state.
    void restartIn(uint8_t state)
    {
        if (m_closed)
            return;
        stop();
        ++m_run;
        device::CheckCount = 0;
        device::DeviceCheckState = state;
        m_thread->startWork();
    }

    bool isRunning() const { return m_thread->isRunning(); }
    bool isClosed() const { return m_closed; }

    void close()
    {
        m_closed = true;
        stop();
    }

private:
    void stop()
    {
        if (m_thread) {
            m_thread->requestStop();
            m_thread->wait();
        }
    }

    device::DetectionThread* m_thread = nullptr;
    bool m_closed = false;
    std::atomic<unsigned> m_run{0};
};

// The focus look over a row of picture buttons. Place 0 is no button, 1..
// a button of the row. Tab moves it along the row and Return presses the
// button under it; the keyboard focus itself stays with the window.
struct FocusRow {
    std::vector<widgets::Button*> buttons;
    int place = 0;

    void show(int newPlace)
    {
        place = newPlace;
        for (size_t i = 0; i < buttons.size(); ++i)
            buttons[i]->setFocusLook(static_cast<int>(i) + 1 == newPlace);
    }

    // A button under the focus shows the look again after enabling.
    void refresh() { show(place); }

    void next()
    {
        if (!buttons.empty())
            show(place % static_cast<int>(buttons.size()) + 1);
    }

    // The button at a place; none for place 0 or beyond the row.
    widgets::Button* at(int p) const
    {
        return p >= 1 && p <= static_cast<int>(buttons.size()) ? buttons[static_cast<size_t>(p - 1)] : nullptr;
    }

    // The place of a button of the row, 0 for any other object.
    int placeOf(const QObject* object) const
    {
        const auto it = std::find(buttons.begin(), buttons.end(), object);
        return it == buttons.end() ? 0 : static_cast<int>(it - buttons.begin()) + 1;
    }

    void press(int p) const
    {
        if (widgets::Button* button = at(p); button && button->isButtonEnabled())
            Q_EMIT button->clicked();
    }
};

// Tab and Backtab presses, which move the focus look rather than the
// keyboard focus: the windows hand them to their keyPressEvent.
inline QKeyEvent* tabKeyPress(QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return nullptr;
    auto* key = static_cast<QKeyEvent*>(event);
    return key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab ? key : nullptr;
}

} // namespace tovrin::windows
