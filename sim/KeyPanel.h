#pragma once
// The shortcut keys printed on the simulated frame's border, and what the
// frame's firmware does with them.
//
// The finger that presses them is the frame's one finger (Fingers.h): on
// the bezel, outside 0..W-1 / 0..H-1, each camera sees it through its lens
// as on the glass. In work mode the frame's firmware maps the finger with
// the key-time calibration copy of the Slave record (TouchMapping.h) and,
// when it falls inside one of the stored key rectangles, reports that key's
// edge and number in feature report 7. A camera only looks for touches in
// the image-processing window of its unit's record (START..END columns), so
// a key outside the window of either unit is not reported.
//
// Where the keys are printed is the frame's own business. Each edge's keys
// lie in a strip beside the picture. The left, right and bottom keys are
// printed only where both cameras can take them: the key calibration keeps,
// for each camera, only the spots in the part of its line where it looks
// for that edge's keys (the camera near the keys: positions 0-900; the far
// one: 600-1220; the left camera is near the left keys, the right camera
// near the right and bottom ones), so the left and right keys run along
// nearly the whole height, the bottom keys towards the Slave corner. The
// top keys are printed along the middle half of the top edge, between the
// picture and the cameras' height, where a maker prints them and the
// windows draw them: both cameras look along that edge and see them at the
// far ends of their lines. Keys of one group are evenly spaced, groups a
// little further apart. They follow the fingers' screen and optics.
//
// The panel reads the key calibration's target records for the fingers, so
// that the auto finger touches the corner a record names.
//
// Thread safety: every function may be called from any thread. The panel
// asks the fingers before it takes its own lock, and the fingers ask the
// panel (the target reader) with theirs held: the panel never calls the
// fingers with its lock held, nor back into the frame.

#include "sim/Fingers.h"

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

// What the firmware needs besides the finger: the mode, the lens family,
// the Slave record (key layout, key-time solution, lens table) and each
// unit's image-processing window.
struct KeyFirmwareView {
    uint8_t mode = 0;
    int lensFamily = 0;
    std::span<const uint8_t> slaveRecord;
    std::array<std::array<uint16_t, 2>, 2> windows{};  // Master, Slave: START, END
};

class KeyPanel {
public:
    // finger: the frame's finger (it outlives the panel); the panel reads its
    // key targets for it.
    explicit KeyPanel(Fingers& finger);
    ~KeyPanel();
    KeyPanel(const KeyPanel&) = delete;
    KeyPanel& operator=(const KeyPanel&) = delete;

    // The printed keys: for each edge (1 left, 2 right, 3 bottom, 4 top) the
    // keys of each group.
    using EdgeGroups = std::array<std::vector<int>, 4>;
    void printKeys(const EdgeGroups& groups);
    bool hasPrintedKeys() const;
    std::vector<PrintedKey> printedKeys(int edge) const;
    // Key `number` (from 1) of an edge; nothing outside the printed keys.
    std::optional<PrintedKey> printedKey(int edge, int number) const;
    // A point of printed key `number` of `edge`, given as a fraction of its
    // width and height (0.5, 0.5 is its centre); nothing when there is no
    // such key.
    std::optional<ScreenPointF> keyPoint(int edge, int number, double fx = 0.5, double fy = 0.5) const;
    // Rests the finger on a key's centre as soon as that key is printed
    // (set-up of --simulate runs, before the tool prints the keys).
    void pressWhenPrinted(int edge, int number);

    // Fault for tests: feature report 7 answered with another report ID.
    void setFeatureReportId(std::optional<uint8_t> id);

    // ---- Called by the frame with its lock held -------------------------
    // Fills bytes 1 and 2 (and 0 under the fault) of feature report 7 from
    // where the cameras see the finger and the stored key layout. A finger
    // down overrides the frame's own key state.
    void featureReport(const KeyFirmwareView& view, uint8_t* report);

private:
    using Layout = std::array<std::vector<PrintedKey>, 4>;
    static Layout layOut(const EdgeGroups& groups, const Optics& optics);
    // The layout for these optics, laid out again only when they or the
    // printed keys changed (called with the panel's lock held).
    const Layout& layoutLocked(const Optics& optics) const;
    Layout layout() const;
    TargetPlace readTarget(uint32_t record, const Optics& optics) const;

    Fingers& m_finger;
    mutable std::mutex m_mutex;
    EdgeGroups m_groups;
    std::optional<uint8_t> m_featureId;
    std::optional<std::pair<int, int>> m_pendingPress;
    struct Cached {
        EdgeGroups groups;
        OpticsConfig config;
        int width = 0, height = 0, family = -1;
        Layout layout;
    };
    mutable std::optional<Cached> m_cache;
};

// Key target records of the key calibration (ReadTouchPoints bytes 2-5):
// edge | 0x40 (or 0x80), group, keys in the group, corner (0-3).
bool isKeyTargetRecord(uint32_t record);

} // namespace tovrin::sim
