#pragma once
// Fingers on the screen in front of the simulated frame. Each camera unit
// sees a finger as a bright spot on its line sensor: where the ray from the
// camera to the finger falls through the lens (the camera model of the
// calibration mathematics, cameras just outside the two upper corners of
// the screen), how wide a finger looks from that far away, and how bright.
// The frame reports those spots through ReadTouchPoints, as it reports a
// real finger, with the frame's noise: every frame each camera's position
// wanders by up to `jitter` half pixels.
//
// It is the one finger of the frame, on the glass or on the bezel around it
// (screen pixels outside 0..W-1 / 0..H-1: the printed shortcut keys of
// KeyPanel.h). Three ways to move it:
//   - a test or the mouse hook of --simulate presses, moves and lifts it;
//   - auto touch: the finger touches each target the tool asks about, holds
//     it until the tool asks about another target, lifts, and touches the
//     next one, like a patient person; a touch the tool does not take is
//     tried again. A touch calibration's target travels in the
//     ReadTouchPoints request as its screen position (x in bits 0-15, y in
//     bits 16-31); a key calibration's as a key target record, which the
//     printed keys read for the finger (readTargetsWith);
//   - both at once: a pressed mouse wins over the auto finger.
//
// Things that go wrong on real frames, to be switched on by tests or
// TOVRIN_SIM_TOUCH / TOVRIN_SIM_FAULTS: a second finger of the same hand
// touching beside the first, a reflection that one camera always sees, a
// camera that does not see the finger at all, a finger that never lifts,
// spots at the ends of the position range.
//
// Thread safety: every function may be called from any thread (the frame
// calls report() with its own lock held; the GUI thread moves the finger).

#include "calibration/math/CameraModel.h"
#include "sim/SimulatedFrame.h"

#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace tovrin::sim {

struct FingerSettings {
    bool autoTouch = false;
    int jitter = 1;              // +- half pixels per frame and camera
    double aim = 0.0;            // pixels: an auto touch lands up to this far from the target
    int reactionFrames = 8;      // frames an auto finger waits before it touches a new target
    int retryFrames = 400;       // frames an auto finger holds a target the tool does not take
    bool secondFinger = false;   // a second finger of the hand touches 160 px right, 120 px below
    bool reflection = false;     // the left camera always sees a reflection near its far end
    bool blindLeft = false;      // the left camera never sees a finger
    bool blindRight = false;
    bool neverLift = false;      // a finger once down stays down
    bool edgeSpots = false;      // a touch comes with spots at positions 0 and 0xFFFF on both cameras
    unsigned seed = 1;
};

struct ScreenPointF {
    double x = 0.0;
    double y = 0.0;
};

// What a request's position word names, as another part of the frame reads
// it (the printed keys: a key target record). named false: the word is no
// such target, it is a screen point.
struct TargetPlace {
    bool named = false;
    std::optional<ScreenPointF> at;  // where the named target is; nothing: not here
};
// Called with the fingers' lock held: it must not call back into Fingers.
using TargetReader = std::function<TargetPlace(uint32_t word, const calib::FrameGeometry& geometry, int width,
                                                int height)>;

// Where each camera sees the finger (rounded half pixels, no noise); a
// camera that cannot see it (or is blind) has nothing.
struct FingerSight {
    std::optional<int> left;
    std::optional<int> right;
};

class Fingers {
public:
    Fingers();

    // The screen the frame is mounted on (1920 x 1080 until told otherwise);
    // the cameras take the typical places around it unless setGeometry()
    // chose others.
    void setScreen(int width, int height);
    void setGeometry(const calib::FrameGeometry& geometry);
    // The cameras' places (lens table A).
    calib::FrameGeometry geometry() const;
    int screenWidth() const;
    int screenHeight() const;

    // Lets another part of the frame name targets in the position word.
    void readTargetsWith(TargetReader reader);

    void configure(const FingerSettings& settings);
    FingerSettings settings() const;

    // The finger of a test or of the mouse (screen pixels).
    void press(double x, double y);
    void move(double x, double y);
    void lift();
    std::optional<ScreenPointF> position() const;

    // Where a camera sees a finger at a screen point: the exact sensor
    // position in half pixels (no noise), or nothing when it is out of view.
    std::optional<double> exactPosition(calib::Camera camera, double x, double y, int variant) const;

    // The spots of one ReadTouchPoints. variant chooses the lens table
    // (1 = table B, the extended-frame units).
    TouchSpots report(const TouchRequest& request, int variant);

    // Where the cameras see the finger now; nothing when no finger is down.
    std::optional<FingerSight> sight(int variant) const;

private:
    enum class AutoState { Up, Down };
    void addFinger(TouchSpots& spots, double x, double y, const calib::CameraModel& model);
    const calib::CameraModel& modelLocked(int variant) const;
    calib::FrameGeometry geometryLocked() const;
    std::optional<ScreenPointF> fingerLocked() const;
    std::optional<ScreenPointF> targetLocked(uint32_t word) const;
    void autoStepLocked(const TouchRequest& request);

    mutable std::mutex m_mutex;
    FingerSettings m_settings;
    int m_width = 1920;
    int m_height = 1080;
    std::optional<calib::FrameGeometry> m_geometry;  // set: chosen by setGeometry()
    TargetReader m_targetReader;
    mutable std::optional<calib::CameraModel> m_model;
    mutable int m_modelVariant = -1;
    std::mt19937 m_rng;

    std::optional<ScreenPointF> m_mouse;  // pressed by a test or the mouse

    // The auto finger.
    AutoState m_auto = AutoState::Up;
    ScreenPointF m_autoAt;
    uint32_t m_pressedTarget = 0;  // request position the finger went down for
    int m_frames = 0;              // frames since the last change of state
};

// Applies TOVRIN_SIM_TOUCH items: "auto", "jitter=N", "aim=N", "reaction=N",
// "second-finger", "reflection", "seed=N". Returns an empty text when all
// were understood, else the first item that was not.
std::string applyTouchItems(Fingers& fingers, std::string_view list);

} // namespace tovrin::sim
