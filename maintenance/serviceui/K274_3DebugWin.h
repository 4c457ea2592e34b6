#pragma once
// The finger-into threshold dialog of the debug page ("K274_3 Debug"): shows
// the threshold the Master's leveling settings record holds and writes a new
// one into both units (FingerThreshold.h). The window switches the frame to
// calibration mode and reads the threshold before it runs the dialog (in its
// task worker), and switches back to work mode after.

#include "maintenance/service/FingerThreshold.h"

#include <QDialog>

#include <array>
#include <functional>

class QLabel;
class QPushButton;
class QRadioButton;

namespace tovrin::maintenance {

class K274_3DebugWin : public QDialog {
    Q_OBJECT
public:
    // Runs job away from the dialog's thread, then then in it (the window's
    // inTask).
    using TaskRunner = std::function<void(std::function<void()> job, std::function<void()> then)>;

    // With the Master's threshold read already; Write Flash writes in
    // runTask (the button is disabled meanwhile).
    K274_3DebugWin(const ThresholdReading& reading, TaskRunner runTask, QWidget* parent = nullptr);
    // Reads and writes it itself, on the caller's thread.
    explicit K274_3DebugWin(QWidget* parent = nullptr);

    QString statusText() const;
    // The radio button of a choice (0 "0x08" .. 3 "0x10").
    QRadioButton* choiceButton(int index) const { return m_choices.at(static_cast<size_t>(index)); }
    QPushButton* writeButton() const { return m_writeButton; }

public Q_SLOTS:
    void OKButSlot();

private:
    QLabel* m_statusLabel = nullptr;
    std::array<QRadioButton*, 4> m_choices{};
    QPushButton* m_writeButton = nullptr;
    TaskRunner m_runTask;
};

} // namespace tovrin::maintenance
