#pragma once
// Capturing a touch at a target: the machinery every touch calibration of
// the tool shares (the 16- and 4-point runs, and the shortcut-key
// calibration with its key corners; TargetCapture.h runs it over a run's
// targets).
//
//   - readTouchFrame(): one ReadTouchPoints, the spots of both cameras;
//   - TouchCapture: the background spots seen without a touch, the count of
//     frames a touch has been held (both cameras see spots; losing either
//     starts again at 0), the last 20 held frames, and at the end of the
//     hold the chosen spot of each camera (vote, sort, then FalsePotDel with
//     the points already captured, or the run's own spot chooser), with the
//     run's log lines;
//   - waitForRelease(): polls until the finger of the previous target has
//     left, telling the frame with the release byte whether the old touch is
//     still held.
//
// A worker owns one TouchCapture per run; nothing here is shared between
// threads. Grid indices are those of the 4 x 4 grid (index 4 row + column);
// the log names a target by its capture index.

#include "calibration/math/SpotSelect.h"

#include <cstdint>
#include <functional>

namespace tovrin::calib {

// The spots of one ReadTouchPoints. result: 2 both cameras see spots, 1 one
// of them, 0 none, 3 the transaction failed.
struct TouchFrame {
    int result = 3;
    SpotReport left;   // Master
    SpotReport right;  // Slave
    bool both() const { return left.valid() > 0 && right.valid() > 0; }
};

// Release byte of a request: 0 while the previous point is still touched,
// 255 otherwise.
constexpr std::uint8_t kReleaseHeld = 0;
constexpr std::uint8_t kReleaseFree = 255;

// The screen position word of a request: x in bits 0-15, y in bits 16-31.
constexpr std::uint32_t packScreenPosition(int x, int y)
{
    return static_cast<std::uint32_t>(x & 0xFFFF) | (static_cast<std::uint32_t>(y & 0xFFFF) << 16);
}

// One ReadTouchPoints for grid point `pointIndex` at `screenPosition`. The
// request byte is 0: the per-point attribute bytes it could be built from
// are never set by a calibration. A transaction without a reply marks the
// frame gone (g_bDevExist, g_isDeviceCommunicate). Returns out.result.
int readTouchFrame(std::uint8_t pointIndex, std::uint32_t screenPosition, std::uint8_t releaseByte, TouchFrame& out);

// How the position of a chosen spot is taken from the held frames.
enum class CapturePosition {
    Vote,     // the vote of the spot choice: the position seen most often in the last 20 frames
    Average,  // a robust mean over the whole hold of the chosen spot, to the nearest half pixel
};

// Frames of one hold kept for the robust mean (the longest hold a run asks
// for: CalibTime 500 gives 120 frames).
constexpr int kMaxHeldFrames = 120;

// The chosen spot's position in every frame of a hold: one value per frame,
// the reported spot nearest to the chosen position when within `gate` half
// pixels of it (a spot farther off is another thing, or the finger's
// reflection). The estimate is the mean of the middle half of the sorted
// values (a quarter trimmed at each end: single jumps and the tails of the
// noise go, the rest is averaged), to the nearest half pixel; the chosen
// position itself when no frame has it.
struct HoldTrack {
    std::array<SpotReport, kMaxHeldFrames> frames{};
    int count = 0;
    void clear() { count = 0; }
    void push(const SpotReport& report)
    {
        if (count < kMaxHeldFrames)
            frames[static_cast<std::size_t>(count++)] = report;
    }
    static constexpr int kGate = 8;
    std::uint16_t robustPosition(std::uint16_t chosen) const;
};

class TouchCapture {
public:
    // logName: how the log lines name a target ("CalibIndex"; the key
    // calibration's "KeyCalibIndex").
    explicit TouchCapture(int variantFlag, CapturePosition method = CapturePosition::Vote,
                          const char* logName = "CalibIndex");

    // A new run: background lists, point tables and the hold cleared.
    void startRun();

    // A frame of the background phase: a frame in which exactly one camera
    // sees spots adds them to that camera's background list.
    void addBackground(const TouchFrame& frame);

    // A frame of the capture of one point: counts the frames the touch has
    // been held (the first one clears the history; the last 20 are kept) and
    // returns the count; a frame without spots on both cameras returns 0.
    // Frames with two or more spots on a camera are logged with logIndex.
    int feed(const TouchFrame& frame, int logIndex);
    int heldFrames() const { return m_held; }
    void restartHold();

    struct Choice {
        Spot left;
        Spot right;
        bool leftFound = false;
        bool rightFound = false;
        // The held frames showed more than one finger: nothing is taken.
        bool moreFingers = false;
        bool both() const { return leftFound && rightFound; }
    };
    // At the end of a hold: each camera's spot for grid point gridIndex of
    // the given column type (FalsePotDel); the point tables keep what was
    // found.
    Choice choose(int gridIndex, int columnType, int logIndex);

    // A run's own choice of a camera's spot among the voted and sorted spots
    // of a hold: it sets each spot's flag (0: not the finger; such spots
    // join the background when the target is kept) and returns the chosen
    // spot, flag 1 when one was found. The point tables take no part.
    using SpotChooser = std::function<Spot(SpotReport& sorted, Side side)>;
    Choice choose(const SpotChooser& chooser, int logIndex);

    // At the end of a hold at grid point gridIndex: whether the held frames
    // show more spots on a camera than one finger and the background list
    // explain. A spot is explained when it lies outside the position range
    // a finger can have or matches a background spot (the background
    // removal of the spot choice); two spots of one finger close to its
    // camera count once. More than a quarter of the held frames showing a
    // second unexplained spot means a second finger (or a spot the frame has
    // never shown without a touch): the choice among them would be a guess.
    bool moreThanOneFinger(int gridIndex) const;

    // The target is taken: the spots the choice deleted are background from
    // now on. Logs the point tables (when the choice used them) and the
    // background lists.
    void keepChoice(int logIndex);

    // During the release wait: whether the finger of grid point
    // previousIndex is still seen by both cameras. The wait asks this every
    // frame for as long as the finger stays: each camera's check is logged
    // only when its outcome differs from the one before.
    bool stillHeld(const TouchFrame& frame, int previousIndex, int columnType);

    // Points from gridIndex on are to be captured again: their entries of
    // the point tables no longer count.
    void forgetFrom(int gridIndex);

    const PointTable& table(Side side) const { return side == Side::Left ? m_tableLeft : m_tableRight; }
    const BackgroundList& background(Side side) const { return side == Side::Left ? m_bgLeft : m_bgRight; }

private:
    enum class ChoiceLog { WithFlags, PositionsOnly };
    Choice chooseWith(const SpotChooser& chooser, int logIndex, ChoiceLog line);
    void logSpots(const char* stage, int index, const char* name, const SpotReport& r) const;
    void logFlaggedSpots(int index, const char* name, const SpotReport& r) const;
    void logTable(int index, const char* name, const PointTable& t) const;

    int m_variant = 0;
    CapturePosition m_method = CapturePosition::Vote;
    const char* m_logName = "CalibIndex";
    bool m_tablesUsed = false;  // the last choice was FalsePotDel's
    BackgroundList m_bgLeft, m_bgRight;
    PointTable m_tableLeft, m_tableRight;
    TouchHistory m_historyLeft, m_historyRight;
    HoldTrack m_trackLeft, m_trackRight;
    SpotReport m_sortedLeft, m_sortedRight;
    int m_held = 0;
    // The last logged release check of each camera (flag, then its trail);
    // cleared when a release wait begins.
    struct ReleaseCheck {
        int flag = -1;
        FalsePotDelTrail trail{};
        bool operator==(const ReleaseCheck&) const = default;
    };
    std::array<ReleaseCheck, 2> m_lastRelease{};
};

enum class ReleaseResult { Released, Failed, Interrupted };

// Polls with request (pointIndex, position) until not both cameras see a
// touch. The first request carries `firstRelease`; later ones 0 while
// `stillHeld` finds the finger of the previous target on both cameras,
// else 255. Before every request `interrupted` is asked (device lost, stop,
// mode switch, target taken back); `seen` gets every frame.
ReleaseResult waitForRelease(std::uint8_t pointIndex, std::uint32_t position, std::uint8_t firstRelease,
                             const std::function<bool(const TouchFrame&)>& stillHeld,
                             const std::function<bool()>& interrupted,
                             const std::function<void(const TouchFrame&)>& seen = {});

} // namespace tovrin::calib
