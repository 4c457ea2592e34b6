#pragma once
// How well a 4-point record could place touches at best: its camera parts,
// scale and its one cell correction all chosen to fit a whole grid of touches
// (which a 4-point run never sees), the pixel shifts held at the start's.
// It tells what the record and the frame's mapping allow apart from what four
// captures can find. A diagnostic of the accuracy benchmark only.

#include "calibration/math/LensTable.h"
#include "records/ClbInfo.h"

#include <span>

namespace tovrin::bench {

struct GridTouch {
    int left = 0;    // the reports, half pixels
    int right = 0;
    double x = 0.0;  // the finger, screen pixels
    double y = 0.0;
};

// The least mean error (screen pixels) over `grid` found by a downhill
// simplex search from `start` (a 4-point block with its correction in row 0
// of X, which takes its plane onto the screen). The start's own mean error
// when nothing better is found.
double fourPointRecordFloor(const calib::LensTable& table, const records::StClbInfo& start,
                            std::span<const GridTouch> grid);

} // namespace tovrin::bench
