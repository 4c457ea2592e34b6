#include "calibration/run/Accuracy.h"

#include "calibration/run/TouchCapture.h"
#include "shell/Log.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>

namespace tovrin::calib {

bool residualsFarOff(const AccuracyReport& report)
{
    return report.count > 0 && !(report.max <= kResidualWarningPx);
}

QString residualText(const AccuracyReport& report)
{
    return QStringLiteral("mean %1 px, max %2 px (point %3)")
        .arg(report.mean, 0, 'f', 2)
        .arg(report.max, 0, 'f', 2)
        .arg(report.worst);
}

GridFigure measureGrid(const FrameMapping& mapping, int width, int height, int columns, int rows,
                       const TouchAt& touchAt, std::optional<double> diagonal, bool corrected)
{
    GridFigure g;
    g.columns = columns;
    g.rows = rows;
    double sum = 0.0;
    for (int r = 0; r < rows; ++r) {
        double rowSum = 0.0;
        int rowCount = 0;
        for (int c = 0; c < columns; ++c) {
            const double x = (c + 0.5) * width / columns;
            const double y = (r + 0.5) * height / rows;
            std::int32_t left = 0, right = 0;
            if (!touchAt(x, y, left, right)) {
                ++g.missed;
                continue;
            }
            const auto mapped = corrected ? mapping.map(left, right) : mapping.mapUncorrected(left, right);
            if (!mapped) {
                ++g.missed;
                continue;
            }
            const double d = std::hypot(mapped->x - x, mapped->y - y);
            sum += d;
            rowSum += d;
            ++rowCount;
            g.maxPx = std::max(g.maxPx, d);
            ++g.touched;
        }
        g.rowMeanPx.push_back(rowCount ? rowSum / rowCount : 0.0);
    }
    if (g.touched > 0)
        g.meanPx = sum / g.touched;
    if (diagonal && width > 0 && height > 0) {
        const double mmPerPixel = *diagonal * 25.4 / std::hypot(double(width), double(height));
        g.meanMm = g.meanPx * mmPerPixel;
        g.maxMm = g.maxPx * mmPerPixel;
    }
    return g;
}

QString gridText(const GridFigure& g)
{
    QString text = QStringLiteral("grid %1x%2: mean %3 px, max %4 px")
                       .arg(g.columns)
                       .arg(g.rows)
                       .arg(g.meanPx, 0, 'f', 2)
                       .arg(g.maxPx, 0, 'f', 2);
    if (g.meanMm && g.maxMm)
        text += QStringLiteral(" (mean %1 mm, max %2 mm)").arg(*g.meanMm, 0, 'f', 2).arg(*g.maxMm, 0, 'f', 2);
    text += QStringLiteral(", %1 touches").arg(g.touched);
    if (g.missed)
        text += QStringLiteral(", %1 not seen").arg(g.missed);
    return text;
}

void logGridFigure(const GridFigure& g)
{
    shell::LogF("Calibration accuracy %s\n", gridText(g).toUtf8().constData());
}

FrameTouch touchThroughFrame(std::function<void(double, double)> place, std::function<void()> lift)
{
    return [place = std::move(place), lift = std::move(lift)](double x, double y, TouchFrame& frame) {
        place(x, y);
        const int result = readTouchFrame(0, packScreenPosition(static_cast<int>(x), static_cast<int>(y)),
                                          kReleaseFree, frame);
        lift();
        return result != 3;
    };
}

std::optional<std::int32_t> pickedSpot(const SpotReport& spots, const BackgroundList& background,
                                       std::optional<std::pair<int, int>> window)
{
    const Spot* best = nullptr;
    const int nb = std::clamp(background.count, 0, kBackgroundSpots);
    for (int i = 0; i < spots.valid(); ++i) {
        const Spot& s = spots.spots[static_cast<size_t>(i)];
        if (s.position < kRangeLow || s.position >= kRangeLimit)
            continue;
        if (window && window->first < window->second &&
            (s.position < 2 * window->first || s.position > 2 * window->second))
            continue;
        bool known = false;
        for (int k = 0; k < nb && !known; ++k) {
            const Spot& bg = background.spots[static_cast<size_t>(k)];
            known = std::abs(int(s.position) - int(bg.position)) <= 1 && std::abs(int(s.width) - int(bg.width)) < 2;
        }
        if (!known && (!best || s.width > best->width))
            best = &s;
    }
    if (!best)
        return std::nullopt;
    return static_cast<std::int32_t>(best->position);
}

TouchAt pickedTouch(FrameTouch touch, SpotPick pick)
{
    return [touch = std::move(touch), pick = std::move(pick)](double x, double y, std::int32_t& left,
                                                             std::int32_t& right) {
        TouchFrame frame;
        if (!touch(x, y, frame) || frame.result != 2)
            return false;
        std::optional<std::pair<int, int>> leftWindow, rightWindow;
        if (pick.windows) {
            leftWindow = std::make_pair(pick.windows->leftStart, pick.windows->leftEnd);
            rightWindow = std::make_pair(pick.windows->rightStart, pick.windows->rightEnd);
        }
        const auto l = pickedSpot(frame.left, pick.left, leftWindow);
        const auto r = pickedSpot(frame.right, pick.right, rightWindow);
        if (!l || !r)
            return false;
        left = *l;
        right = *r;
        return true;
    };
}

GridFigure measureGrid(const FrameMapping& mapping, int width, int height, int columns, int rows,
                       const FrameTouch& touch, std::optional<double> diagonalInches, bool corrected,
                       const SpotPick& pick)
{
    return measureGrid(mapping, width, height, columns, rows, pickedTouch(touch, pick), diagonalInches, corrected);
}

namespace {
std::mutex g_probeMutex;
std::optional<GridProbe> g_probe;
} // namespace

void setGridProbe(std::optional<GridProbe> probe)
{
    std::lock_guard lock(g_probeMutex);
    g_probe = std::move(probe);
}

std::optional<GridProbe> gridProbe()
{
    std::lock_guard lock(g_probeMutex);
    return g_probe;
}

} // namespace tovrin::calib
