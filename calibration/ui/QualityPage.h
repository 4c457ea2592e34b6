#pragma once
// What a calibration window shows after the records are stored: how well the
// calibration points were met (mean and worst, pixels and millimetres), and
// the short check: five further targets touched one after another, each
// with the error the frame makes there, and, when the worst of them is
// beyond the bound of Tovrin.ini, the offer to calibrate again. The engineering
// calibration window and the end-user main window both show it; it paints
// over their white surface and tells them when their texts or buttons
// change. The frame stays in calibration mode while the page is shown.
//
// Buttons while the page is shown (the window's own three): the first starts
// the check (message 8 "Test"), the second calibrates again (message 4
// "Calibrate"), the third leaves.

#include "calibration/run/CalibrationJob.h"
#include "calibration/run/QualityCheck.h"

#include <QObject>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>

class QPainter;

namespace tovrin::calib::ui {

class QualityPage : public QObject {
    Q_OBJECT
public:
    explicit QualityPage(QObject* parent = nullptr);
    ~QualityPage() override;

    // Shows the page for a stored run on a screen of `screen` pixels; logs
    // the figures.
    void begin(const RunReport& report, QSize screen);
    // Leaves it (calibrate again, or the window closes); a check is stopped.
    void end();

    // Asks a check under way to stop; `then` runs in context's thread once
    // it has ended (at once without one). The page stays until end().
    void stopCheckThen(QObject* context, std::function<void()> then);

    bool active() const { return m_active; }
    bool checking() const;
    void startCheck();

    // The status line: "Calibrate completed!", the calibration points'
    // figures and, after a check, its figures; a failed check is a warning.
    QString statusText() const;
    bool warning() const { return m_checked && !m_check.passed(); }
    bool checked() const { return m_checked; }
    const CheckReport& checkReport() const { return m_check; }
    const QualityFigures& figures() const { return m_figures; }

    // The check's targets (the current one as a cross, the others grey) and
    // each touched target's error, beside it on the side away from the
    // screen's middle (the buttons sit between the bottom targets).
    void paint(QPainter& painter) const;
    // What the paint of check target i covers: its cross and its error.
    QRect markArea(int i) const;
    // Where the window's status text goes while the page is shown: between
    // the top row of check targets and the middle one, clear of both.
    static QRect statusArea(QSize size);

Q_SIGNALS:
    // Texts, targets or the buttons' state changed.
    void changed();

private:
    void recvCheck(int code);
    QString markText(const CheckPoint& point) const;
    QRect labelRect(int i) const;

    bool m_active = false;
    bool m_checked = false;
    QSize m_screen;
    RunReport m_report;
    QualityFigures m_figures;
    CheckReport m_check;
    CheckThread* m_thread = nullptr;
};

} // namespace tovrin::calib::ui
