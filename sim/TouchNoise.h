#pragma once
// How the position a camera reports for a held finger wanders from frame to
// frame. The amplitude is the frame's jitter in half pixels; 0 reports the
// exact position rounded, whatever the model.
//
//   uniform   a whole number of half pixels in -a..a, evenly (the spot's edge
//             pixels flicker)
//   gauss     the exact position plus normal noise of 0.8 a half pixels,
//             rounded (as much spread as uniform, with tails)
//   outliers  uniform, and about one frame in forty a camera reports the
//             spot 6 a to 14 a half pixels off (a reflection of the finger)
//   drift     uniform, and while the finger is held its spot creeps away by
//             up to 3 a half pixels (the finger rolls and flattens)

#include <optional>
#include <random>
#include <string_view>

namespace tovrin::sim {

enum class NoiseModel { Uniform, Gaussian, Outliers, Drift };

std::optional<NoiseModel> noiseModelNamed(std::string_view name);
const char* noiseModelName(NoiseModel model);

// The noise of one camera's spot over the frames of one touch.
class SpotNoise {
public:
    // A new touch: the drift starts again from nothing, in a new direction.
    void touchDown(std::mt19937& rng);
    // The reported position (half pixels) of a spot exactly at `exact`.
    long apply(double exact, NoiseModel model, int amplitude, std::mt19937& rng);

private:
    int m_frames = 0;
    double m_rate = 0.0;  // half pixels per frame, signed
};

} // namespace tovrin::sim
