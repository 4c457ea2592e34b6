#pragma once
// What the application holds after an update, asked of it once it is back:
// the HInfo of each unit a firmware job wrote, the image version of each
// unit a second image went to, and the flash data of jobs D, E and F byte
// for byte. The application reads its flash in calibration mode only; the
// frame goes back to work mode afterwards. An update counts as done only
// when this matches.

#include "UpdatePackage.h"

namespace tovrin::update {

enum class ReadBack {
    Matches,  // the frame holds what the package brought
    Differs,  // it holds something else
    Failed,   // a request was refused
    NoFrame,  // the frame went away (or stopped answering)
};

ReadBack readBackUpdate(const UpdatePackage& package);

} // namespace tovrin::update
