#pragma once
// The key settings files of the key tests and the simulated frame's finger
// on its printed keys, for the GoogleTest suites and the key windows alike.

#include "sim/Fingers.h"
#include "sim/KeyPanel.h"
#include "sim/SimulatedFrame.h"

namespace tovrin::keys::test {

// Left 3 + 2, right 4, bottom 2: three edges, groups of one size and another.
inline const char* kThreeEdges = "[Left_Key]\nGroupCnt=2\nGroup1_Num=3\nGroup2_Num=2\n"
                                 "[Right_Key]\nGroupCnt=1\nGroup1_Num=4\n"
                                 "[Bottom_Key]\nGroupCnt=1\nGroup1_Num=2\n";
inline const char* kThreeCodes = "[Key_Value]\nKeyCnt=3\nKey_1=0x1b\nKey_2=70\nKey_3=0xE0\n";

// The frame's finger touching each target by itself, without noise, or
// resting.
inline void autoTouch(sim::SimulatedFrame& frame, bool on)
{
    sim::FingerSettings s = frame.fingers().settings();
    s.autoTouch = on;
    s.jitter = 0;
    frame.fingers().configure(s);
    if (!on)
        frame.fingers().lift();
}

// The finger on the centre of printed key `number` of `edge`; false: no
// such key.
inline bool touchKey(sim::SimulatedFrame& frame, int edge, int number)
{
    const auto at = frame.keyPanel().keyPoint(edge, number, 0.5, 0.5);
    if (at)
        frame.fingers().press(at->x, at->y);
    return at.has_value();
}

} // namespace tovrin::keys::test
