#include "LevelingAcceptance.h"

namespace tovrin::leveling {

Acceptance acceptLeveling(bool previewOnly, bool exposureDone, int startLineMaster, int startLineSlave)
{
    Acceptance a;
    if (previewOnly)
        return a;
    if (!exposureDone) {
        a.verdict = Acceptance::Verdict::ExposureFirst;
        return a;
    }
    auto outside = [](int line) { return line < kLowestAcceptedStartLine || line > kHighestAcceptedStartLine; };
    a.outOfRange = {outside(startLineMaster), outside(startLineSlave)};
    if (a.outOfRange[0] || a.outOfRange[1])
        a.verdict = Acceptance::Verdict::OutOfRange;
    return a;
}

} // namespace tovrin::leveling
