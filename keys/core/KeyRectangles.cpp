#include "keys/core/KeyRectangles.h"

#include "shell/Log.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tovrin::keys {

calib::TouchMapper mapperOfRecord(const records::CalInfo& record)
{
    calib::TouchMapper m;
    // The lens table the record was calibrated with is the one it carries.
    m.table = calib::LensTable(record.P_Pos == records::kPPosB ? 1 : 0);
    m.left = record.solution.LCam;
    m.right = record.solution.RCam;
    m.leftOffset = record.solution.LCam.L_Angle_fix / 1024.0;
    m.rightOffset = record.solution.RCam.L_Angle_fix / 1024.0;
    m.r = record.solution.r_fix / 1024.0;
    // A screen too wide for the records' camera places was solved on a
    // smaller plane; the key rectangles are compared with touches mapped
    // onto that plane.
    m.plane = calib::planeOfBlock(record.solution, record.ScreenWidth, record.ScreenHight);
    return m;
}

namespace {

bool fitsField(double v)
{
    return std::isfinite(v) && v >= std::numeric_limits<int16_t>::min() && v <= std::numeric_limits<int16_t>::max();
}

records::KeyRect rectOf(const KeyTarget& topLeft, const KeyTarget& bottomRight)
{
    return {static_cast<int16_t>(topLeft.measured.x()), static_cast<int16_t>(topLeft.measured.y()),
            static_cast<int16_t>(bottomRight.measured.x()), static_cast<int16_t>(bottomRight.measured.y())};
}

} // namespace

bool mapTargets(std::vector<KeyTarget>& targets, const std::vector<int32_t>& oneDLeft,
                const std::vector<int32_t>& oneDRight, const calib::TouchMapper& mapper)
{
    if (oneDLeft.size() < targets.size() || oneDRight.size() < targets.size())
        return false;
    bool ok = mapper.r > 0.0;
    for (size_t i = 0; i < targets.size(); ++i) {
        const calib::MapResult p = mapper.map(oneDLeft[i], oneDRight[i]);
        shell::LogF("CalibIndex[%d]: [OneD_Left]%d   [OneD_Right]%d   [TwoD_X]%f   [TwoD_Y]%f\n", static_cast<int>(i),
                    oneDLeft[i], oneDRight[i], static_cast<double>(p.x), static_cast<double>(p.y));
        if (p.parallel() || !fitsField(p.x) || !fitsField(p.y)) {
            ok = false;
            continue;
        }
        // Truncated toward zero, as the frame's own mapping stores positions.
        targets[i].measured = QPoint(static_cast<int>(p.x), static_cast<int>(p.y));
    }
    return ok;
}

int16_t interpolate(int a, int b, int k, int n)
{
    if (n < 2)
        return static_cast<int16_t>(a);
    const long num = static_cast<long>(b - a) * k;
    const long den = n - 1;
    // Round to the nearest pixel, halves away from zero, on either sign.
    const long step = num >= 0 ? (num * 2 + den) / (2 * den) : -((-num * 2 + den) / (2 * den));
    return static_cast<int16_t>(a + step);
}

EdgeRects buildKeyRectangles(const KeyDepiction& depiction)
{
    EdgeRects out;
    size_t t = 0;
    const auto& targets = depiction.targets;
    for (Edge e : kEdgeOrder) {
        const EdgeGroups& groups = depiction.configuration.edge(e);
        auto& list = out[static_cast<size_t>(e - 1)];
        for (int g = 0; g < groups.groupCount && t < targets.size(); ++g) {
            const int n = groups.keys[static_cast<size_t>(g)];
            if (n == 1) {
                if (t + 1 >= targets.size())
                    return out;
                list.push_back(rectOf(targets[t], targets[t + 1]));
                t += 2;
                continue;
            }
            if (t + 3 >= targets.size())
                return out;
            const records::KeyRect first = rectOf(targets[t], targets[t + 1]);
            const records::KeyRect last = rectOf(targets[t + 2], targets[t + 3]);
            for (int k = 0; k < n; ++k) {
                list.push_back({interpolate(first.left, last.left, k, n), interpolate(first.top, last.top, k, n),
                                interpolate(first.right, last.right, k, n),
                                interpolate(first.bottom, last.bottom, k, n)});
            }
            t += 4;
        }
    }
    return out;
}

KeyArea keyArea(const EdgeRects& rects, int width, int height)
{
    const auto& left = rects[kEdgeLeft - 1];
    const auto& right = rects[kEdgeRight - 1];
    const auto& bottom = rects[kEdgeBottom - 1];
    const auto& top = rects[kEdgeTop - 1];
    KeyArea a;
    a.xmin = left.empty() ? 0 : std::min<int>(left.front().left, left.back().left);
    a.xmax = right.empty() ? width : std::max<int>(right.front().right, right.back().right);
    a.ymin = top.empty() ? 0 : std::min<int>(top.front().top, top.back().top);
    a.ymax = bottom.empty() ? height : std::max<int>(bottom.front().bottom, bottom.back().bottom);
    return a;
}

void applyKeyLayout(records::CalInfo& slave, const EdgeRects& rects)
{
    slave.keySolution = slave.solution;
    auto put = [](auto& field, uint8_t& count, const std::vector<records::KeyRect>& list) {
        field = {};
        const size_t n = std::min(list.size(), field.size());
        std::copy_n(list.begin(), n, field.begin());
        count = static_cast<uint8_t>(n);
    };
    put(slave.LeftKeyPosition, slave.leftKeyCount, rects[kEdgeLeft - 1]);
    put(slave.RightKeyPosition, slave.rightKeyCount, rects[kEdgeRight - 1]);
    put(slave.BottomKeyPosition, slave.bottomKeyCount, rects[kEdgeBottom - 1]);
    put(slave.TopKeyPosition, slave.topKeyCount, rects[kEdgeTop - 1]);
}

void logKeyRectangles(const records::CalInfo& r, const char* prefix)
{
    auto logList = [prefix](const char* name, const auto& list, int count) {
        for (int i = 0; i < count && i < static_cast<int>(list.size()); ++i) {
            const records::KeyRect& k = list[static_cast<size_t>(i)];
            shell::LogF("%s%sKeyPosition[%d]: TopLeft(x:%d, y:%d)   BottomRight(x:%d, y:%d)\n", prefix, name, i, k.left,
                        k.top, k.right, k.bottom);
        }
    };
    logList("Left", r.LeftKeyPosition, r.leftKeyCount);
    logList("Right", r.RightKeyPosition, r.rightKeyCount);
    logList("Bottom", r.BottomKeyPosition, r.bottomKeyCount);
    logList("Top", r.TopKeyPosition, r.topKeyCount);
}

} // namespace tovrin::keys
