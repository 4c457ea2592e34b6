#pragma once
// The key test window: the key layout around the projection area, filled
// red where the frame reports a pressed key. Full screen; the frame stays in
// work mode while it is open. Closing it (Exit, Escape, a lost frame) emits
// sendShowData(3).

#include "calibration/ui/MouseFinger.h"
#include "keys/core/KeyLayout.h"
#include "keys/core/KeyTestThread.h"

#include <QDialog>
#include <QSize>

class QLabel;

namespace tovrin::widgets {
class Button;
}

namespace tovrin::keys::ui {

class KeyTestWin : public QDialog, public calib::ui::TouchSurface {
    Q_OBJECT
public:
    // size: the window's size (the primary screen's when empty).
    explicit KeyTestWin(QWidget* parent = nullptr, QSize size = {});
    ~KeyTestWin() override;

    int statusMessageId() const { return m_statusId; }
    const KeyDepiction& depiction() const { return m_depiction; }
    KeyTestThread* thread() const { return m_thread; }
    // The key painted red now (edge 0 when none).
    PressedKey shownKey() const;

Q_SIGNALS:
    void sendShowData(int code);

public Q_SLOTS:
    void recvData(int code);
    void ReturnSlot();

protected:
    // With --simulate the mouse touches the frame's printed keys and picture
    // (FingerKeys.h).
    std::optional<QPointF> touchPoint(const QPointF& local) const override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;

private:
    void showStatus(int messageId);
    void layOut();

    KeyDepiction m_depiction;
    bool m_hasKeys = false;
    QLabel* m_statusLabel = nullptr;
    QLabel* m_instructionLabel = nullptr;
    widgets::Button* m_exitButton = nullptr;
    KeyTestThread* m_thread = nullptr;
    int m_statusId = -1;
    bool m_closing = false;  // Exit asked: the worker is stopping
    bool m_closed = false;   // the worker has ended: the dialog may close
};

} // namespace tovrin::keys::ui
