#include "calibration/ui/CalibrationPainter.h"

#include "calibration/run/CalibrationGrid.h"
#include "calibration/run/RunState.h"
#include "shell/AppContext.h"
#include "widgets/Fonts.h"

#include <QPainter>

#include <algorithm>

namespace tovrin::calib::ui {

namespace {

const QColor kBarOutline(177, 233, 251);
const QColor kBarFill(0, 211, 40);
const QColor kLineColour(0, 38, 102);

QPixmap picture(const QString& name)
{
    return QPixmap(shell::context().skinPath() + QStringLiteral("calibration/") + name);
}

void drawCentred(QPainter& p, const QPixmap& pixmap, QPoint at)
{
    if (!pixmap.isNull())
        p.drawPixmap(at.x() - pixmap.width() / 2, at.y() - pixmap.height() / 2, pixmap);
}

} // namespace

CalibrationLayout calibrationLayout(QSize size, int pictureHeight)
{
    const int w = size.width(), h = size.height();
    const int half = pictureHeight / 2;
    // Rows of targets at 1/32, 11/32, 21/32 and 31/32 of the height.
    const int row1 = h * 11 / 32 + half, row2 = h * 21 / 32 - half;
    const int row3 = h * 31 / 32 - half;
    CalibrationLayout l;
    const int band = std::max(60, row2 - row1);
    const int textWidth = w * 7 / 10;
    l.status = QRect((w - textWidth) / 2, row1 + band / 10, textWidth, band * 45 / 100);
    l.lines = QRect((w - textWidth) / 2, l.status.bottom() + 1, textWidth, band * 25 / 100);
    l.progress = QRect(w * 3 / 10, l.lines.bottom() + band / 20, w * 4 / 10, std::max(8, band / 14));
    l.buttons = QPoint(w / 2, (row2 + 2 * half + row3) / 2);
    return l;
}

CalibrationPainter::CalibrationPainter()
    : m_done(picture(QStringLiteral("calibration.png")))
{
    for (int i = 0; i < 5; ++i)
        m_idle[static_cast<size_t>(i)] = picture(QStringLiteral("calibration1-%1.png").arg(i + 1));
    for (int i = 0; i < 4; ++i)
        m_hold[static_cast<size_t>(i)] = picture(QStringLiteral("calibration2-%1.png").arg(i + 1));
}

int CalibrationPainter::pictureSize() const
{
    return m_idle[0].isNull() ? 120 : m_idle[0].height();
}

int CalibrationPainter::holdPicture(int held, int wait)
{
    if (wait <= 0)
        return 1;
    return std::clamp((held * 100 / wait + 5) / 35 + 1, 1, 4);
}

void CalibrationPainter::paint(QPainter& p, const QRect& area, const CalibrationLayout& layout, bool foundFlags)
{
    CalibrationRunState& state = runState();
    state.repaint = 0;
    ++m_repaints;
    const int points = state.points.load();
    const int index = std::clamp(state.pointIndex.load(), 0, points);
    const int width = state.width.load(), height = state.height.load();
    if (points <= 0 || width <= 0 || height <= 0)
        return;
    const CalibrationGrid grid =
        CalibrationGrid::make(points == 4 ? GridKind::Four : GridKind::Sixteen, width, height);
    auto at = [&](int i) {
        const ScreenPoint s = grid.target(i);
        return QPoint(area.left() + s.x, area.top() + s.y);
    };

    // Status lines while points are being taken.
    p.setRenderHint(QPainter::Antialiasing, true);
    if (index < points) {
        QFont font = widgets::toQFont(shell::context().applicationFont());
        p.setFont(font);
        p.setPen(kLineColour);
        QString text = shell::context().text(67).arg(index + 1).arg(state.leftCount.load()).arg(state.rightCount.load());
        if (foundFlags)
            text += QLatin1Char('\n') +
                    shell::context().text(144).arg(state.leftFound.load()).arg(state.rightFound.load());
        p.drawText(layout.lines, Qt::AlignHCenter | Qt::AlignVCenter, text);
    }

    // Progress: the share of the points taken.
    const QRect bar = layout.progress;
    p.setPen(Qt::NoPen);
    p.setBrush(kBarFill);
    p.drawRect(QRect(bar.left(), bar.top(), bar.width() * index / points, bar.height()));
    p.setPen(QPen(kBarOutline, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(bar);

    for (int i = 0; i < index; ++i)
        drawCentred(p, m_done, at(i));
    const int target = state.target.load();
    if (target < 0 || target >= points)
        return;
    const int held = state.heldFrames.load();
    if (held <= 0)
        drawCentred(p, m_idle[static_cast<size_t>((m_repaints / 5) % 5)], at(target));
    else
        drawCentred(p, m_hold[static_cast<size_t>(holdPicture(held, g_WaitFrameCount.load()) - 1)], at(target));
}

} // namespace tovrin::calib::ui
