#include "LevelingConfig.h"

#include "ChunkPlan.h"
#include "ExposureScale.h"

#include "shell/Settings.h"

namespace tovrin::leveling {

LevelingConfig readLevelingConfig(bool extended)
{
    namespace s = shell::settings;
    LevelingConfig c;
    c.extended = extended;
    c.adjustDebug = extended && s::AdjustDebug.read() != 0;
    c.lineNum = frameLineCount(extended, s::LineNum.read(), c.adjustDebug);
    c.compress = !extended && s::Compress_en.read() == 1;
    c.previewOnly = s::PreviewOnly_en.read() == 1;
    c.touchButtonEnable = s::TouchButtonEnable.read() != 0;
    c.testSensor = s::TestSensor.read() != 0;
    c.imageMode = s::ImageMode.read();
    c.exposureLimit = exposureLimitIndex(s::ExpValue.read());
    c.writeDeviceInfo = s::WriteDeviceInfo.read() != 0;
    return c;
}

} // namespace tovrin::leveling
