#pragma once
// The two lens tables the frame's firmware keeps in every calibration
// record (68 sensor positions in half pixels, one per angle step). Units of
// the ordinary kind carry table A, extended-frame units table B. The
// firmware maps touches with the table; the lenses themselves only follow it
// approximately (Optics.h).

#include <array>
#include <cstdint>

namespace tovrin::sim {

constexpr int kLensEntries = 68;
constexpr double kLensStepDegrees = 1.4263074484944531;

extern const std::array<uint16_t, kLensEntries> kLensTableA;
extern const std::array<uint16_t, kLensEntries> kLensTableB;

inline const std::array<uint16_t, kLensEntries>& lensTable(int family)
{
    return family == 1 ? kLensTableB : kLensTableA;
}

} // namespace tovrin::sim
