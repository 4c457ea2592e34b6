#pragma once
// Fingers on the screen in front of the simulated frame. Each camera unit
// sees a finger as a bright spot on its line sensor: where the ray from the
// camera to the finger falls through its lens (Optics.h), how wide a finger
// of its size looks from that far away, and how bright. The frame reports
// those spots through ReadTouchPoints, as it reports a real finger, with
// the frame's noise (TouchNoise.h): every frame each camera's position
// wanders by up to `jitter` half pixels, in the way the noise model says.
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
// What goes wrong with fingers and cameras (a blind camera, a finger that
// never lifts, a reflection, spots at the ends of the range) is the
// frame's fault plan's (FaultPlan.h); the frame hands it to the fingers.
//
// Thread safety: every function may be called from any thread (the frame
// calls report() with its own lock held; the GUI thread moves the finger).

#include "sim/FaultPlan.h"
#include "sim/FrameTypes.h"
#include "sim/Optics.h"
#include "sim/TouchNoise.h"

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
    NoiseModel noise = NoiseModel::Uniform;
    double aim = 0.0;            // pixels: an auto touch lands up to this far from the target
    int reactionFrames = 8;      // frames an auto finger waits before it touches a new target
    int retryFrames = 400;       // frames an auto finger holds a target the tool does not take
    bool secondFinger = false;   // a second finger of the hand touches 160 px right, 120 px below
    double fingerMm = 12.0;      // the finger's width where it meets the glass
    unsigned seed = 1;
};

using ScreenPointF = PlanePoint;

// What a request's position word names, as another part of the frame reads
// it (the printed keys: a key target record). named false: the word is no
// such target, it is a screen point.
struct TargetPlace {
    bool named = false;
    std::optional<ScreenPointF> at;  // where the named target is; nothing: not here
};
// Called with the fingers' lock held: it must not call back into Fingers.
using TargetReader = std::function<TargetPlace(uint32_t word, const Optics& optics)>;

// Where each camera sees the finger (rounded half pixels, no noise); a
// camera that cannot see it (or is blind) has nothing.
struct FingerSight {
    std::optional<int> left;
    std::optional<int> right;
};

class Fingers {
public:
    Fingers();

    // The screen the frame is mounted on (1920 x 1080 until told otherwise).
    void setScreen(int width, int height);
    int screenWidth() const;
    int screenHeight() const;
    // How the cameras are built and mounted ("typical" until told otherwise).
    void setOptics(const OpticsConfig& config);
    OpticsConfig opticsConfig() const;
    // The optics of the current screen; lensFamily 1 for extended-frame units.
    Optics optics(int lensFamily) const;
    // The lens family of the frame's units (the frame tells it; a report
    // tells it too).
    void setLensFamily(int lensFamily);
    int lensFamily() const;

    // Lets another part of the frame name targets in the position word.
    void readTargetsWith(TargetReader reader);

    void configure(const FingerSettings& settings);
    FingerSettings settings() const;
    void setFaults(const FingerFaults& faults);
    FingerFaults faults() const;

    // The finger of a test or of the mouse (screen pixels).
    void press(double x, double y);
    void move(double x, double y);
    void lift();
    std::optional<ScreenPointF> position() const;

    // Where a camera sees a finger at a screen point: the exact sensor
    // position in half pixels (no noise), or nothing when it is out of view.
    std::optional<double> exactPosition(Side side, double x, double y, int lensFamily = 0) const;

    // The spots of one ReadTouchPoints.
    TouchSpots report(const TouchRequest& request, int lensFamily);

    // Where the cameras see the finger now; nothing when no finger is down.
    std::optional<FingerSight> sight(int lensFamily) const;

private:
    enum class AutoState { Up, Down };
    void addFinger(TouchSpots& spots, double x, double y, const Optics& optics, bool noisy);
    const Optics& opticsLocked(int lensFamily) const;
    std::optional<ScreenPointF> fingerLocked() const;
    std::optional<ScreenPointF> targetLocked(uint32_t word) const;
    void autoStepLocked(const TouchRequest& request);

    mutable std::mutex m_mutex;
    FingerSettings m_settings;
    FingerFaults m_faults;
    int m_width = 1920;
    int m_height = 1080;
    OpticsConfig m_opticsConfig;
    mutable std::optional<Optics> m_optics;
    TargetReader m_targetReader;
    std::mt19937 m_rng;
    std::array<SpotNoise, 2> m_noise;
    bool m_wasDown = false;
    int m_family = 0;

    std::optional<ScreenPointF> m_mouse;  // pressed by a test or the mouse

    // The auto finger.
    AutoState m_auto = AutoState::Up;
    ScreenPointF m_autoAt;
    uint32_t m_pressedTarget = 0;  // request position the finger went down for
    int m_frames = 0;              // frames since the last change of state
};

// Applies TOVRIN_SIM_TOUCH items: "auto", "jitter=N", "noise=<model>",
// "aim=N", "reaction=N", "finger=<mm>", "second-finger", "reflection",
// "seed=N". Returns an empty text when all were understood, else the first
// item that was not.
std::string applyTouchItems(Fingers& fingers, std::string_view list);

} // namespace tovrin::sim
