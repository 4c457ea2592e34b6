#pragma once
// The shortcut keys printed on the frame's border: how many there are on
// each edge and in which groups (from Tovrin.ini), where the windows draw
// them, and the corners the user touches to calibrate them.
//
// Tovrin.ini, groups Left_Key, Right_Key, Bottom_Key, Top_Key:
//   GroupCnt    number of key groups on the edge, 0-3
//   Group1_Num, Group2_Num, Group3_Num   keys in each group
//
// The Slave calibration record has room for 22 left, 2 bottom, 22 right and
// 2 top key rectangles; a layout beyond that, or one that cannot be laid
// out (a group count outside 0-3, a group of no or of negative keys), is
// refused before anything is captured.

#include <QPoint>
#include <QRect>
#include <QString>

#include <array>
#include <vector>

namespace tovrin::keys {

// Edge codes as the frame reports them (feature report 7, target records).
enum Edge : int { kEdgeNone = 0, kEdgeLeft = 1, kEdgeRight = 2, kEdgeBottom = 3, kEdgeTop = 4 };

// The four edges in the order the layout, the targets and the rectangles
// visit them.
inline constexpr std::array<Edge, 4> kEdgeOrder{kEdgeLeft, kEdgeRight, kEdgeBottom, kEdgeTop};

constexpr int kMaxGroups = 3;

// Room in the Slave record per edge.
constexpr int edgeCapacity(Edge edge)
{
    return edge == kEdgeLeft || edge == kEdgeRight ? 22 : (edge == kEdgeBottom || edge == kEdgeTop ? 2 : 0);
}

// "Left_Key", "Right_Key", "Bottom_Key", "Top_Key".
QString edgeGroupName(Edge edge);
const char* edgeName(Edge edge);  // "Left", "Right", "Bottom", "Top"

struct EdgeGroups {
    int groupCount = 0;
    std::array<int, kMaxGroups> keys{};  // keys of group 1..3 (only the first groupCount count)
    int keyCount() const;
};

// What the configuration says, as read (possibly nonsense).
struct KeyConfiguration {
    std::array<EdgeGroups, 4> edges{};  // indexed by edge - 1
    const EdgeGroups& edge(Edge e) const { return edges[static_cast<size_t>(e - 1)]; }
    EdgeGroups& edge(Edge e) { return edges[static_cast<size_t>(e - 1)]; }
    int totalKeys() const;
};

// Reads the four edge groups of Tovrin.ini (every value defaults to 0).
KeyConfiguration readKeyConfiguration(const QString& file = QStringLiteral("Tovrin.ini"));

enum class LayoutCheck {
    Ok,
    NoKeys,        // no edge has a key
    BadGroups,     // a group count outside 0-3, or a counted group without keys
    OverCapacity,  // more keys on an edge than the record holds
};
LayoutCheck checkConfiguration(const KeyConfiguration& configuration);

// The message a refused layout shows: 78 "No shortcut key, please quit,
// confirm the configuration file information and to calibration!".
constexpr int kNoKeyMessage = 78;

// One calibration target: a corner of the first or the last key of a group.
struct KeyTarget {
    Edge edge = kEdgeNone;
    int group = 0;       // 1-3
    int groupKeys = 0;   // keys in the group
    int index = 0;       // in the group: 0 first key top-left, 1 its bottom-right,
                         // 2 last key top-left, 3 its bottom-right
    QPoint depiction;    // where the window shows it
    QPoint measured;     // calibrated screen position, after capture
};

// The layout of one window size: the projection area, every key's
// rectangle per edge in window coordinates, and the calibration targets.
struct KeyDepiction {
    int width = 0;
    int height = 0;
    QRect projection;                    // (W/4, H/4) to (3W/4, 3H/4)
    std::array<std::vector<QRect>, 4> keys;  // indexed by edge - 1, in group order
    std::vector<KeyTarget> targets;      // left, right, bottom, top edge; groups in order
    KeyConfiguration configuration;

    const std::vector<QRect>& edgeKeys(Edge e) const { return keys[static_cast<size_t>(e - 1)]; }
    int keyCount(Edge e) const { return static_cast<int>(edgeKeys(e).size()); }
    // The key rectangle of an edge and a 1-based number, or nullptr when the
    // edge or the number is not one of the layout (never an index out of range).
    const QRect* key(int edge, int number) const;
    // The edge and 1-based number of the key at a window point; {0, 0} when none.
    std::pair<int, int> keyAt(const QPoint& point) const;
};

// The corners of a drawn key: its top-left and the corner opposite it
// (x + width, y + height), where the key's outline ends.
inline QPoint farCorner(const QRect& r) { return QPoint(r.x() + r.width(), r.y() + r.height()); }

// The unit u of an edge with n keys along a side of the given length:
// (length / 2 / max(n, 8)) / 3, integer divisions.
int keyUnit(int sideLength, int keysOnEdge);

// Lays out a checked configuration for a window of W x H pixels. Keys are
// drawn 20 pixels outside the projection area; along the edge a key is 2u
// long and they follow every 3u from the projection area's first corner,
// with one extra u before the second group and two more before the third;
// across the edge left and right keys are 4u deep, top and bottom keys u deep.
KeyDepiction layOutKeys(const KeyConfiguration& configuration, int width, int height);

constexpr int kKeyMargin = 20;

} // namespace tovrin::keys
