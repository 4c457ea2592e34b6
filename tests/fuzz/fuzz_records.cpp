// Every record the tool reads from flash, decoded from any bytes and, where
// the format keeps every byte, encoded back to the same bytes: calibration
// record with its solution block, screen record, leveling settings, device
// information, image information, the key block, the key report.
#include "FuzzSupport.h"

#include "deviceinfo/core/DeviceInfoRecord.h"
#include "keys/core/KeyCodes.h"
#include "keys/core/KeyTestThread.h"
#include "leveling/core/LevelingSettingsRecord.h"
#include "maintenance/update/HInfo.h"
#include "records/CalibrationRecord.h"
#include "records/ClbInfo.h"

using namespace tovrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzInput in(data, size);
    switch (in.u8() % 8) {
    case 0: {
        // The calibration record keeps every byte it does not interpret.
        const auto bytes = in.array<records::kCalInfoSize>();
        const records::CalInfo info = records::CalInfo::decode(bytes);
        FUZZ_CHECK(info.encode() == bytes);
        FUZZ_CHECK(records::CalInfo::decode(info.encode()) == info);
        break;
    }
    case 1: {
        const auto bytes = in.bytes(in.range(0, 400));
        records::StClbInfo block;
        if (records::StClbInfo::decode(bytes, block)) {
            FUZZ_CHECK(bytes.size() == records::StClbInfo::kSize);
            const auto again = block.encode();
            FUZZ_CHECK(std::equal(again.begin(), again.end(), bytes.begin()));
        }
        break;
    }
    case 2: {
        const auto bytes = in.array<records::kScreenRecordSize>();
        const records::ScreenRecord screen = records::ScreenRecord::decode(bytes);
        FUZZ_CHECK(records::ScreenRecord::decode(screen.encode()) == screen);
        break;
    }
    case 3: {
        const auto bytes = in.array<leveling::kLevelingSettingsSize>();
        const auto record = leveling::LevelingSettingsRecord::decode(bytes);
        FUZZ_CHECK(record.encode() == bytes);
        break;
    }
    case 4: {
        const auto bytes = in.bytes(in.range(0, 130));
        const auto info = deviceinfo::decodeRecord(bytes);
        FUZZ_CHECK(info.has_value() == (bytes.size() >= deviceinfo::kRecordSize && deviceinfo::hasMagic(bytes)));
        if (info) {
            FUZZ_CHECK(deviceinfo::decodeRecord(deviceinfo::encodeRecord(*info)) == info);
            // Texts are cut at their first zero byte and read back the same.
            const auto again = deviceinfo::encodeRecord(*info);
            FUZZ_CHECK(deviceinfo::displayTexts(*deviceinfo::decodeRecord(again)) == deviceinfo::displayTexts(*info));
            // The columns as shown, typed in again, make the same record
            // (the Master's device ID even).
            const deviceinfo::ParsedInput parsed = deviceinfo::parseInput(deviceinfo::displayTexts(*info));
            FUZZ_CHECK(parsed.info.has_value() == (info->deviceId != 0xFFFFFFFFu));
            if (parsed.info) {
                deviceinfo::DeviceInfo expected = *info;
                expected.deviceId += expected.deviceId & 1u;
                FUZZ_CHECK(*parsed.info == expected);
            }
        }
        break;
    }
    case 5: {
        const auto bytes = in.array<update::kHInfoSize>();
        const update::HInfo h = update::decodeHInfo(bytes);
        const auto written = update::encodeHInfo(h.version);
        FUZZ_CHECK(update::decodeHInfo(written).version == h.version);
        FUZZ_CHECK(update::decodeHInfo(written).magic == update::kHInfoMagic);
        break;
    }
    case 6: {
        // The key block: count byte, zero, then the codes high byte first.
        keys::KeyCodes codes;
        codes.ok = true;
        const int n = in.range(0, 300);
        for (int i = 0; i < n; ++i)
            codes.codes.push_back(in.u16());
        const std::vector<uint8_t> block = codes.block();
        FUZZ_CHECK(block.size() == 2 + 2 * codes.codes.size() || codes.codes.size() > keys::kMaxKeyCodes);
        if (codes.codes.size() <= keys::kMaxKeyCodes) {
            FUZZ_CHECK(block[0] == codes.codes.size() && block[1] == 0);
            for (size_t k = 0; k < codes.codes.size(); ++k)
                FUZZ_CHECK((block[2 + 2 * k] << 8 | block[3 + 2 * k]) == codes.codes[k]);
        }
        break;
    }
    default: {
        const auto report = in.array<3>();
        keys::PressedKey key;
        if (keys::decodeKeyReport(report.data(), key))
            FUZZ_CHECK(key.number >= 0);
        break;
    }
    }
    return 0;
}
