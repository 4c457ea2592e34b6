#include "keys/core/KeyLayout.h"

#include "shell/Settings.h"

#include <algorithm>

namespace tovrin::keys {

QString edgeGroupName(Edge edge)
{
    return QString::fromLatin1(edgeName(edge)) + QStringLiteral("_Key");
}

const char* edgeName(Edge edge)
{
    switch (edge) {
    case kEdgeLeft: return "Left";
    case kEdgeRight: return "Right";
    case kEdgeBottom: return "Bottom";
    case kEdgeTop: return "Top";
    default: return "None";
    }
}

int EdgeGroups::keyCount() const
{
    // Only a sane group count is summed; checkConfiguration refuses the rest.
    const int groups = std::clamp(groupCount, 0, kMaxGroups);
    long total = 0;
    for (int g = 0; g < groups; ++g)
        total += keys[static_cast<size_t>(g)];
    return static_cast<int>(std::clamp<long>(total, -1000000, 1000000));
}

int KeyConfiguration::totalKeys() const
{
    int total = 0;
    for (const EdgeGroups& e : edges)
        total += std::max(0, e.keyCount());
    return total;
}

KeyConfiguration readKeyConfiguration(const QString& file)
{
    const shell::IniFile ini = shell::IniFile::load(file);
    auto value = [&](const QString& group, const char* key) {
        const QString* v = ini.find(group, QString::fromLatin1(key));
        return v ? shell::toIntOrZero(*v) : 0;
    };
    KeyConfiguration c;
    for (Edge e : kEdgeOrder) {
        const QString group = edgeGroupName(e);
        EdgeGroups& g = c.edge(e);
        g.groupCount = value(group, "GroupCnt");
        g.keys = {value(group, "Group1_Num"), value(group, "Group2_Num"), value(group, "Group3_Num")};
    }
    return c;
}

LayoutCheck checkConfiguration(const KeyConfiguration& configuration)
{
    bool any = false;
    for (Edge e : kEdgeOrder) {
        const EdgeGroups& g = configuration.edge(e);
        if (g.groupCount < 0 || g.groupCount > kMaxGroups)
            return LayoutCheck::BadGroups;
        for (int i = 0; i < g.groupCount; ++i) {
            if (g.keys[static_cast<size_t>(i)] <= 0)
                return LayoutCheck::BadGroups;
        }
        if (g.keyCount() > edgeCapacity(e))
            return LayoutCheck::OverCapacity;
        any = any || g.keyCount() > 0;
    }
    return any ? LayoutCheck::Ok : LayoutCheck::NoKeys;
}

const QRect* KeyDepiction::key(int edge, int number) const
{
    if (edge < kEdgeLeft || edge > kEdgeTop)
        return nullptr;
    const auto& list = keys[static_cast<size_t>(edge - 1)];
    if (number < 1 || number > static_cast<int>(list.size()))
        return nullptr;
    return &list[static_cast<size_t>(number - 1)];
}

std::pair<int, int> KeyDepiction::keyAt(const QPoint& point) const
{
    for (Edge e : kEdgeOrder) {
        const auto& list = edgeKeys(e);
        for (size_t i = 0; i < list.size(); ++i) {
            if (list[i].contains(point))
                return {e, static_cast<int>(i) + 1};
        }
    }
    return {kEdgeNone, 0};
}

int keyUnit(int sideLength, int keysOnEdge)
{
    return (sideLength / 2 / std::max(keysOnEdge, 8)) / 3;
}

namespace {

// Positions along the edge of every key, group by group: key k of the edge
// starts at first + 3u k, plus u before the second group and 2u more before
// the third.
std::vector<int> keyStarts(const EdgeGroups& groups, int first, int u)
{
    std::vector<int> starts;
    int extra = 0;
    int k = 0;
    for (int g = 0; g < groups.groupCount; ++g) {
        if (g > 0)
            extra += g * u;
        for (int i = 0; i < groups.keys[static_cast<size_t>(g)]; ++i, ++k)
            starts.push_back(first + 3 * u * k + extra);
    }
    return starts;
}

} // namespace

KeyDepiction layOutKeys(const KeyConfiguration& configuration, int width, int height)
{
    KeyDepiction d;
    d.width = width;
    d.height = height;
    d.configuration = configuration;
    d.projection = QRect(QPoint(width / 4, height / 4), QPoint(3 * width / 4, 3 * height / 4));
    if (checkConfiguration(configuration) != LayoutCheck::Ok)
        return d;

    for (Edge e : kEdgeOrder) {
        const EdgeGroups& groups = configuration.edge(e);
        const int n = groups.keyCount();
        if (n == 0)
            continue;
        const bool vertical = e == kEdgeLeft || e == kEdgeRight;
        const int u = keyUnit(vertical ? height : width, n);
        const std::vector<int> starts = keyStarts(groups, vertical ? height / 4 : width / 4, u);
        auto& list = d.keys[static_cast<size_t>(e - 1)];
        for (int s : starts) {
            QRect r;
            switch (e) {
            case kEdgeLeft: r = QRect(width / 4 - 4 * u - kKeyMargin, s, 4 * u, 2 * u); break;
            case kEdgeRight: r = QRect(3 * width / 4 + kKeyMargin, s, 4 * u, 2 * u); break;
            case kEdgeBottom: r = QRect(s, 3 * height / 4 + kKeyMargin, 2 * u, u); break;
            case kEdgeTop: r = QRect(s, height / 4 - u - kKeyMargin, 2 * u, u); break;
            default: break;
            }
            list.push_back(r);
        }
        // Two targets per group (first key's corners), four when it has a last key.
        int first = 0;
        for (int g = 0; g < groups.groupCount; ++g) {
            const int count = groups.keys[static_cast<size_t>(g)];
            const QRect& firstKey = list[static_cast<size_t>(first)];
            const QRect& lastKey = list[static_cast<size_t>(first + count - 1)];
            auto add = [&](int index, const QPoint& p) {
                KeyTarget t;
                t.edge = e;
                t.group = g + 1;
                t.groupKeys = count;
                t.index = index;
                t.depiction = p;
                d.targets.push_back(t);
            };
            add(0, firstKey.topLeft());
            add(1, farCorner(firstKey));
            if (count >= 2) {
                add(2, lastKey.topLeft());
                add(3, farCorner(lastKey));
            }
            first += count;
        }
    }
    return d;
}

} // namespace tovrin::keys
