// The readers of the tool's own files, each on a file of any bytes: the
// language file (texts and the language list, bound by what the file
// holds), the key codes of Tovrin_Key.ini, the key layout and every setting
// of Tovrin.ini, and the typed fields of DeviceInfo.ini.
#include "FuzzSupport.h"

#include "deviceinfo/core/DeviceInfoRecord.h"
#include "keys/core/KeyCodes.h"
#include "keys/core/KeyLayout.h"
#include "leveling/core/LevelingSettingsRecord.h"
#include "shell/Language.h"
#include "shell/MessageTexts.h"
#include "shell/CommentIniWriter.h"
#include "shell/Settings.h"

using namespace tovrin;
using namespace tovrin::shell;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzInput in(data, size);
    fuzz::scratchFolder();
    const uint8_t which = in.u8();
    const QByteArray bytes = in.rest();
    QFile::remove(kSettingsFile);
    switch (which % 4) {
    case 0: {
        fuzz::writeFile(kLanguageFile, bytes);
        const QStringList texts = loadTextsFrom(kLanguageFile, which >> 2);
        FUZZ_CHECK(texts.size() == kMessageCount);
        writeSetting(QString::fromLatin1(settings::Language.key), which >> 2);
        const QStringList names = CheckLanguage();
        // Never more names than the file has lines.
        FUZZ_CHECK(names.size() <= bytes.count('\n') + 1);
        FUZZ_CHECK(settings::Language.read() == ((which >> 2) < names.size() ? (which >> 2) : 0));
        break;
    }
    case 1: {
        fuzz::writeFile(kKeySettingsFile, bytes);
        const keys::KeyCodes codes = keys::readKeyCodes(kKeySettingsFile);
        if (codes.ok) {
            FUZZ_CHECK(codes.codes.size() <= static_cast<size_t>(keys::kMaxKeyCodes));
            FUZZ_CHECK(codes.block().size() == 2 + 2 * codes.codes.size());
        } else {
            FUZZ_CHECK(!codes.problem.isEmpty() && codes.codes.empty());
        }
        break;
    }
    case 2: {
        fuzz::writeFile(kSettingsFile, bytes);
        const keys::KeyConfiguration configuration = keys::readKeyConfiguration(kSettingsFile);
        if (keys::checkConfiguration(configuration) == keys::LayoutCheck::Ok) {
            const keys::KeyDepiction d = keys::layOutKeys(configuration, 1920, 1080);
            FUZZ_CHECK(d.keyCount(keys::kEdgeLeft) <= keys::edgeCapacity(keys::kEdgeLeft));
            FUZZ_CHECK(d.keyCount(keys::kEdgeTop) <= keys::edgeCapacity(keys::kEdgeTop));
        }
        const int frames = settings::waitFrameCount();
        FUZZ_CHECK(frames >= 40 && frames <= 120);
        (void)settings::LineNum.read();
        (void)settings::expValue.read();
        (void)readText(QStringLiteral("ImagePath/imagePath"), QString());
        if (const auto record = leveling::levelingSettingsFromIni())
            FUZZ_CHECK(record->hasMagic());
        break;
    }
    default: {
        fuzz::writeFile(kDeviceInfoFile, bytes);
        const QStringList typed = deviceinfo::loadIniTexts(kDeviceInfoFile);
        FUZZ_CHECK(typed.size() == deviceinfo::kFieldCount);
        const deviceinfo::ParsedInput parsed = deviceinfo::parseInput(typed);
        FUZZ_CHECK(parsed.info.has_value() == parsed.problem.isEmpty());
        if (parsed.info)
            FUZZ_CHECK(parsed.info->deviceId % 2 == 0);
        break;
    }
    }
    return 0;
}
