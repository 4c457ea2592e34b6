#pragma once
// SaveData of the image-debug panel: each press writes one numbered sample
// under SampleData/ of the folder given (the tool passes its data folder, shell/Folders.h):
//
//   SampleData/NNN/NNN.png    a picture of the whole window (written by the window)
//   SampleData/NNN/LNNN.bin   the Master frame, 7040 bytes raw
//   SampleData/NNN/RNNN.bin   the Slave frame
//
// NNN is the run's sample counter, three digits, from 000. The first sample
// of a run starts a new SampleData folder; an earlier one is moved aside
// to "SampleData-<yyyyMMdd-hhmmss>" (a number added when that exists), so
// that no earlier sample set is lost.

#include "FrameBuffers.h"

#include <QString>

namespace tovrin::leveling {

struct SampleFolder {
    bool ok = false;
    QString folder;    // .../SampleData/NNN
    QString number;    // "NNN"
    QString movedTo;   // where an earlier SampleData went (first sample only)
};

// Prepares the folder of sample `counter` under base (the current folder).
SampleFolder prepareSampleFolder(const QString& base, int counter);

// Writes LNNN.bin and RNNN.bin into the sample's folder.
bool writeSampleFrames(const SampleFolder& sample, const FrameBytes& master, const FrameBytes& slave);

// The picture's path in the sample's folder.
QString samplePicturePath(const SampleFolder& sample);

} // namespace tovrin::leveling
