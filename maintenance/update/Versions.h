#pragma once
// What the frame says about its software: the version display of the
// engineering window and of tovrin-cli, and the version log the device test
// writes. Version words hold major in bits 24-31, minor in 16-23 and the
// patch number in 0-15.

#include <QString>

#include <cstdint>

namespace tovrin::update {

// The version of this tool, shown as "ToolID:" and on the windows.
inline const QString kToolVersion = QStringLiteral("3.1.30");

// A boot loader whose version was never written (or whose sector an update
// erased) reads all ones; those frames carry boot loader 1.0.7.
constexpr uint32_t kErasedVersionWord = 0xFFFFFFFFu;
constexpr uint32_t kFactoryBootLoaderWord = 0x01000007u;

inline uint32_t shownBootLoaderWord(uint32_t word)
{
    return word == kErasedVersionWord ? kFactoryBootLoaderWord : word;
}

// "1.2.5" of a version word.
QString versionString(uint32_t word);

// Message 42 "FirmwareID: %1.%2.%3\n" filled with a version word.
QString firmwareIdText(uint32_t word);

struct VersionReport {
    bool ok = false;               // every read succeeded
    bool slaveOnly = false;        // the user-like tool shows the Slave firmware only
    uint32_t image[2] = {kErasedVersionWord, kErasedVersionWord};       // Master, Slave
    uint32_t bootLoader[2] = {kErasedVersionWord, kErasedVersionWord};  // Master, Slave
};

// Reads the image information the version display needs: the Slave unit's
// only, or the Master's and then the Slave's. Stops at the first failed read.
VersionReport readVersionReport(bool slaveOnly);

// The text of the version display: message 41 "ToolID:" with the tool
// version, then the firmware of the Slave, or "(M)" and "(S)" with both
// firmwares and message 43 "BootloaderID: %1.%2.%3" with the Slave boot
// loader (an erased one shown as 1.0.7). Logs the boot loader line.
QString versionText(const VersionReport& report, const QString& toolVersion);

// The version log: both units' HInfo and image information, as the device
// test writes them. Returns -1, or the message id of the first read that
// failed (73 left HInfo, 74 left image, 75 right HInfo, 76 right image).
int logVersions();

} // namespace tovrin::update
