#pragma once
// Whether a leveling may be stored (Save&Exit).

#include <array>

namespace tovrin::leveling {

constexpr int kLowestAcceptedStartLine = 51;
constexpr int kHighestAcceptedStartLine = 299;

struct Acceptance {
    enum class Verdict {
        Accepted,
        OutOfRange,     // a start line outside 51..299 (outOfRange says which)
        ExposureFirst,  // exposure has not been done since the last change
    };
    Verdict verdict = Verdict::Accepted;
    std::array<bool, 2> outOfRange{};  // Master, Slave

    bool accepted() const { return verdict == Verdict::Accepted; }
};

// A stored leveling shown in preview-only mode is taken as it is; otherwise
// exposure must be done and both start lines must lie in 51..299.
Acceptance acceptLeveling(bool previewOnly, bool exposureDone, int startLineMaster, int startLineSlave);

} // namespace tovrin::leveling
