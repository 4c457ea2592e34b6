#pragma once
// Drawing a calibration run: the targets with their animations, the points
// already captured, the progress bar and the status lines, over the white
// full-screen surface of the calibration window (and of the end-user main
// window, which runs the calibration in itself). Everything is read from
// the run state the worker writes (RunState.h).
//
// The same layout serves both windows: the texts and the bar lie in the band
// between the second and third row of targets, the buttons in the band
// between the third and the fourth, so that nothing covers a target.

#include <QPixmap>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>

class QPainter;

namespace tovrin::calib::ui {

struct CalibrationLayout {
    QRect status;    // the status label (messages 65, 69-72, ...)
    QRect lines;     // the painted lines 67 and 144
    QRect progress;  // the progress bar
    QPoint buttons;  // centre of the button row
};

// The layout of a surface of `size` with target pictures `picture` pixels tall.
CalibrationLayout calibrationLayout(QSize size, int picture);

class CalibrationPainter {
public:
    // Loads "calibration.png", "calibration1-1..5.png" and
    // "calibration2-1..4.png" from the calibration folder of the skin.
    CalibrationPainter();

    // Pictures of the hold: which "calibration2-%d.png" a hold of `held`
    // frames out of `wait` shows (1-4).
    static int holdPicture(int held, int wait);

    // Paints the run over `area`. `foundFlags` adds message 144 with the
    // found flags of the last attempt.
    void paint(QPainter& painter, const QRect& area, const CalibrationLayout& layout, bool foundFlags);

    int pictureSize() const;

private:
    QPixmap m_done;
    std::array<QPixmap, 5> m_idle;
    std::array<QPixmap, 4> m_hold;
    int m_repaints = 0;
};

} // namespace tovrin::calib::ui
