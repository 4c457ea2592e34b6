#pragma once
// The shortcut keys printed on the simulated frame's border, and the finger
// that presses them.
//
// A finger anywhere on the glass or the bezel (screen pixels; outside
// 0..W-1 / 0..H-1 on the bezel) is seen by each camera through the frame's
// camera model, as the spots ReadTouchPoints reports. In work mode the
// frame's firmware maps the finger with the key-time calibration copy of the
// Slave record and, when it falls inside one of the stored key rectangles,
// reports that key's edge and number in feature report 7.
//
// Where the keys are printed is the frame's own business: left and right
// keys in a strip beside the picture, bottom and top keys towards the Slave
// camera's corner (the only place both cameras see them in the parts of
// their lines the tool looks for keys in). Keys of one group are evenly
// spaced, groups a little further apart.
//
// Auto-touch: while on, the finger follows the key calibration: it waits a
// moment after each new target, touches the corner the target record names
// and holds it until the run moves to the next target.
//
// Thread safety: every function may be called from any thread. The frame
// calls answersTouch/touchSpots/featureReport with its own lock held; the
// panel never calls back into the frame.

#include "calibration/math/CameraModel.h"
#include "sim/SimulatedFrame.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace tovrin::sim {

struct PrintedKey {
    double left = 0, top = 0, right = 0, bottom = 0;  // screen pixels
    double centreX() const { return (left + right) / 2; }
    double centreY() const { return (top + bottom) / 2; }
};

class KeyPanel {
public:
    KeyPanel();

    // The picture the frame sits around and its optical geometry (by default
    // a 1920 x 1080 screen with the cameras of CameraModel::typical).
    void setScreen(int width, int height);
    void setGeometry(const calib::FrameGeometry& geometry);
    calib::FrameGeometry geometry() const;
    int screenWidth() const;
    int screenHeight() const;

    // The printed keys: for each edge (1 left, 2 right, 3 bottom, 4 top) the
    // keys of each group.
    using EdgeGroups = std::array<std::vector<int>, 4>;
    void printKeys(const EdgeGroups& groups);
    bool hasPrintedKeys() const;
    std::vector<PrintedKey> printedKeys(int edge) const;
    // Key `number` (from 1) of an edge; nothing outside the printed keys.
    std::optional<PrintedKey> printedKey(int edge, int number) const;

    // The finger.
    void touch(double x, double y);
    // Touches printed key `number` of `edge` at a point given as a fraction
    // of its width and height (0.5, 0.5 is its centre). False when there is
    // no such key.
    bool touchKey(int edge, int number, double fx = 0.5, double fy = 0.5);
    void lift();
    std::optional<std::pair<double, double>> finger() const;
    // Rests the finger on a key's centre as soon as that key is printed
    // (set-up of --simulate runs, before the tool prints the keys).
    void pressWhenPrinted(int edge, int number);

    void setAutoTouch(bool on);
    bool autoTouch() const;

    // Fault for tests: feature report 7 answered with another report ID.
    void setFeatureReportId(std::optional<uint8_t> id);

    // ---- Called by the frame with its lock held -------------------------
    // Whether the panel answers this ReadTouchPoints (a finger is down, or
    // auto-touch follows a key calibration).
    bool answersTouch(const TouchRequest& request);
    TouchSpots touchSpots(const TouchRequest& request);
    // Fills bytes 1 and 2 (and 0 under the fault) of feature report 7 from
    // the finger and the stored key layout (Slave calibration record bytes).
    void featureReport(uint8_t mode, std::span<const uint8_t> slaveRecord, uint8_t* report);

private:
    TouchSpots spotsAtLocked(double x, double y) const;
    void followTargetLocked(const TouchRequest& request);
    std::optional<std::pair<double, double>> targetCornerLocked(uint32_t record) const;
    void layOutLocked();

    mutable std::mutex m_mutex;
    int m_width = 1920;
    int m_height = 1080;
    calib::FrameGeometry m_geometry;
    EdgeGroups m_groups;
    std::array<std::vector<PrintedKey>, 4> m_keys;
    std::optional<std::pair<double, double>> m_finger;
    bool m_autoTouch = false;
    int m_autoTarget = -1;     // point index the auto finger is on (or going to)
    int m_autoDelay = 0;       // queries to wait before touching
    std::optional<uint8_t> m_featureId;
    std::optional<std::pair<int, int>> m_pendingPress;
};

// Key target records of the key calibration (ReadTouchPoints bytes 2-5):
// edge | 0x40 (or 0x80), group, keys in the group, corner (0-3).
bool isKeyTargetRecord(uint32_t record);

} // namespace tovrin::sim
