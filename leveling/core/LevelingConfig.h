#pragma once
// The settings the leveling window reads from Tovrin.ini when it opens.

namespace tovrin::leveling {

struct LevelingConfig {
    bool extended = false;          // extended-frame device (from the status test)
    bool adjustDebug = false;       // Tovrin_Debug/AdjustDebug, only on an extended-frame device
    int lineNum = 9;                // frame line count
    bool compress = true;           // Tovrin_Config/Compress_en == 1, never on an extended-frame device
    bool previewOnly = true;        // Tovrin_Config/PreviewOnly_en == 1
    bool touchButtonEnable = false; // Tovrin_Config/TouchButtonEnable
    bool testSensor = false;        // Tovrin_Config/TestSensor
    int imageMode = 1;              // Imagemode/ImageMode
    int exposureLimit = 18;         // Tovrin_Config/ExpValue cut to 0..25
    bool writeDeviceInfo = false;   // Tovrin_Debug/WriteDeviceInfo
};

// Reads Tovrin.ini of the current folder; extended comes from the status test.
LevelingConfig readLevelingConfig(bool extended);

} // namespace tovrin::leveling
