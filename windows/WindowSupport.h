#pragma once
// Small pieces the main windows share: the tool version, skin pictures and
// the version texts built from a unit's version word.

#include "records/CalibrationRecord.h"
#include "shell/AppContext.h"

#include <QPixmap>
#include <QString>

namespace tovrin::windows {

inline const QString kToolVersion = QStringLiteral("3.1.30");

// A picture of the current skin folder; a missing file gives a null pixmap.
inline QPixmap skinPixmap(const QString& name)
{
    return QPixmap(shell::context().skinPath() + name);
}

// Message 42 "FirmwareID: %1.%2.%3\n" filled with a version word.
inline QString firmwareIdText(uint32_t word)
{
    const records::Version v{word};
    return shell::context().text(42).arg(v.major()).arg(v.minor()).arg(v.build());
}

// A boot loader whose version record was never written reads all ones;
// the frames leave the factory with boot loader 1.0.7.
constexpr uint32_t kErasedVersionWord = 0xFFFFFFFFu;
constexpr uint32_t kFactoryBootLoaderWord = 0x01000007u;

inline uint32_t shownBootLoaderWord(uint32_t word)
{
    return word == kErasedVersionWord ? kFactoryBootLoaderWord : word;
}

} // namespace tovrin::windows
