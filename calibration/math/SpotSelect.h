#pragma once
// Choosing each camera's touch spot during a calibration.
//
// Every frame the frame reports up to five spots per camera; besides the
// finger there are reflections, the bezel and the second half of a wide
// finger near a camera. The run keeps the spots seen while nobody touches
// (background), votes the spots of the last 20 frames of a touch, orders them
// by width and deletes false spots with the help of the grid points already
// captured. Everything lives in fixed arrays; nothing is allocated per frame.
//
// Positions are half pixels (0-1279), widths pixels, strengths 0-255.

#include <array>
#include <cstdint>

namespace tovrin::calib {

constexpr int kMaxSpots = 5;
constexpr int kHistoryFrames = 20;
constexpr int kBackgroundSpots = 64;
constexpr int kGridPoints = 16;

struct Spot {
    std::uint16_t position = 0;
    std::uint16_t width = 0;
    std::uint16_t strength = 0;
    std::uint8_t flag = 0;  // 1 = candidate / chosen, 0 = deleted
    bool operator==(const Spot&) const = default;
};

// One camera's spots of one frame (or the sorted result of a touch).
struct SpotReport {
    int count = 0;  // 0-5; larger counts are read as 5
    std::array<Spot, kMaxSpots> spots{};
    int valid() const { return count < 0 ? 0 : (count > kMaxSpots ? kMaxSpots : count); }
};

// Spots seen without a touch, per camera (the "64 array").
struct BackgroundList {
    int count = 0;
    std::array<Spot, kBackgroundSpots> spots{};
    void clear() { *this = BackgroundList{}; }
};

// The last 20 frames of the current touch; frame 19 is the newest.
struct TouchHistory {
    std::array<SpotReport, kHistoryFrames> frames{};
    void clear() { *this = TouchHistory{}; }
    void push(const SpotReport& report);
};

// The chosen position of each grid point (index 4 row + column), per camera.
struct PointTable {
    std::array<std::uint16_t, kGridPoints> position{};
    std::array<bool, kGridPoints> set{};
    void clear() { *this = PointTable{}; }
};

enum class Side { Left = 0, Right = 1 };          // Master, Slave
enum class SpotMode { Capture = 0, Release = 1 };  // release: nothing stored, no point limits
enum ColumnType { FirstColumn = 0, LastColumn = 1, InnerColumn = 2 };

constexpr int columnTypeOf16(int index) { return index % 4 == 0 ? FirstColumn : (index % 4 == 3 ? LastColumn : InnerColumn); }
// 4-point run: points 0 and 2 first column, 1 and 3 last.
constexpr int columnTypeOf4(int index) { return index % 2 == 0 ? FirstColumn : LastColumn; }

// Adds one spot: an entry at the same position takes the larger width and
// strength; otherwise the spot is appended while there is room.
void addBackgroundSpot(BackgroundList& list, const Spot& spot);

// A frame with spots on exactly one camera adds that camera's spots.
void AccumulateBackground(const SpotReport& left, const SpotReport& right, BackgroundList& leftList,
                          BackgroundList& rightList);

// After a point is captured: the spots FalsePotDel deleted (flag 0) are
// background too.
void AccumulateDeletedSpots(const SpotReport& sorted, BackgroundList& list);

// Votes each spot of the newest frame to p - 1, p or p + 1 by how often the
// history shows them (ties to the larger position), then orders the result
// by width, widest first; equal widths keep their order.
SpotReport VoteAndSort(const TouchHistory& history);

// Picks the touch spot of one camera for grid point `pointIndex` (0-15) from
// the sorted spots; sets each spot's flag (deleted or not) and, in capture
// mode, stores the chosen position in the point table. The result's flag is 1
// when a spot was chosen. variantFlag 0 allows the merge of a split finger.
// Logs the decision trail as "FalsePotDel:debugTemp[0] = ..."; with
// `trail` the trail goes there instead and the caller decides whether to log
// it (the release wait checks every frame and logs only what changed).
using FalsePotDelTrail = std::array<int, 6>;
Spot FalsePotDel(const BackgroundList& background, SpotReport& sorted, Side side, int columnType,
                 PointTable& table, int pointIndex, SpotMode mode, int variantFlag,
                 FalsePotDelTrail* trail = nullptr);
// The trail's log line.
void logFalsePotDelTrail(const FalsePotDelTrail& debugTemp);

// Two spots of one finger close to its camera (the merge test of the
// generic choice: both in the middle range, a gap below 64, widths within
// three times of each other, the smaller at least 9, strengths within two
// times).
bool splitFinger(const Spot& a, const Spot& b);

constexpr int kRangeLow = 51;      // positions below are the frame's edge
constexpr int kRangeLimit = 1220;  // positions from here on are beyond the screen

} // namespace tovrin::calib
