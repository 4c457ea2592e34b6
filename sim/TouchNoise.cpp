#include "sim/TouchNoise.h"

#include <algorithm>
#include <cmath>

namespace tovrin::sim {

namespace {
constexpr double kGaussPerAmplitude = 0.8;
constexpr int kOutlierOneIn = 40;
constexpr double kDriftLimitPerAmplitude = 3.0;
// A held finger creeps by a half pixel every 20 to 40 frames.
constexpr double kDriftRateLow = 1.0 / 40.0;
constexpr double kDriftRateHigh = 1.0 / 20.0;
} // namespace

std::optional<NoiseModel> noiseModelNamed(std::string_view name)
{
    if (name == "uniform")
        return NoiseModel::Uniform;
    if (name == "gauss")
        return NoiseModel::Gaussian;
    if (name == "outliers")
        return NoiseModel::Outliers;
    if (name == "drift")
        return NoiseModel::Drift;
    return std::nullopt;
}

const char* noiseModelName(NoiseModel model)
{
    switch (model) {
    case NoiseModel::Uniform: return "uniform";
    case NoiseModel::Gaussian: return "gauss";
    case NoiseModel::Outliers: return "outliers";
    case NoiseModel::Drift: return "drift";
    }
    return "uniform";
}

void SpotNoise::touchDown(std::mt19937& rng)
{
    m_frames = 0;
    std::uniform_real_distribution<double> rate(kDriftRateLow, kDriftRateHigh);
    std::bernoulli_distribution sign(0.5);
    m_rate = rate(rng) * (sign(rng) ? 1.0 : -1.0);
}

long SpotNoise::apply(double exact, NoiseModel model, int amplitude, std::mt19937& rng)
{
    ++m_frames;
    if (amplitude <= 0)
        return std::lround(exact);
    std::uniform_int_distribution<int> flicker(-amplitude, amplitude);
    switch (model) {
    case NoiseModel::Uniform:
        return std::lround(exact) + flicker(rng);
    case NoiseModel::Gaussian: {
        std::normal_distribution<double> normal(0.0, kGaussPerAmplitude * amplitude);
        return std::lround(exact + normal(rng));
    }
    case NoiseModel::Outliers: {
        long p = std::lround(exact) + flicker(rng);
        std::uniform_int_distribution<int> oneIn(1, kOutlierOneIn);
        if (oneIn(rng) == 1) {
            std::uniform_int_distribution<int> jump(6 * amplitude, 14 * amplitude);
            std::bernoulli_distribution sign(0.5);
            p += sign(rng) ? jump(rng) : -jump(rng);
        }
        return p;
    }
    case NoiseModel::Drift: {
        const double limit = kDriftLimitPerAmplitude * amplitude;
        const double drift = std::clamp(m_rate * m_frames, -limit, limit);
        return std::lround(exact + drift) + flicker(rng);
    }
    }
    return std::lround(exact);
}

} // namespace tovrin::sim
