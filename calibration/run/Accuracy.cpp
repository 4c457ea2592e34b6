#include "calibration/run/Accuracy.h"

#include "calibration/run/TouchCapture.h"
#include "shell/Log.h"

#include <algorithm>
#include <cmath>
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

TouchAt touchThroughFrame(std::function<void(double, double)> place, std::function<void()> lift)
{
    return [place = std::move(place), lift = std::move(lift)](double x, double y, std::int32_t& left,
                                                             std::int32_t& right) {
        place(x, y);
        TouchFrame frame;
        const int result = readTouchFrame(0, packScreenPosition(static_cast<int>(x), static_cast<int>(y)),
                                          kReleaseFree, frame);
        lift();
        if (result != 2)
            return false;
        auto widest = [](const SpotReport& r) {
            const Spot* best = &r.spots[0];
            for (int i = 1; i < r.valid(); ++i)
                if (r.spots[static_cast<size_t>(i)].width > best->width)
                    best = &r.spots[static_cast<size_t>(i)];
            return static_cast<std::int32_t>(best->position);
        };
        left = widest(frame.left);
        right = widest(frame.right);
        return true;
    };
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
