// Every device operation against a frame whose replies, refusals, foreign
// reports, drops, late replies and unplugs come from the input: buffers are
// never overrun, a failed read leaves its fill, and every operation ends.
#include "FuzzSupport.h"

#include "device/Command.h"
#include "device/DeviceOps.h"
#include "device/DeviceStatus.h"
#include "device/UnitAddress.h"

using namespace tovrin;
using namespace tovrin::device;

namespace {

uint32_t anyAddress(fuzz::FuzzInput& in)
{
    // Unit bit, space bits and an offset; now and then any word at all.
    const uint32_t word = in.u32();
    return (word & 0x80) ? word : (word & (kSlaveBit | 0x03000000u | 0x1FFFFu));
}

bool allFF(std::span<const uint8_t> b)
{
    return std::all_of(b.begin(), b.end(), [](uint8_t v) { return v == 0xFF; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzInput in(data, size);
    fuzz::FuzzFrame frame(in);
    for (int step = 0; step < 64 && !frame.transport().gone(); ++step) {
        switch (in.u8() % 20) {
        case 0: {
            uint8_t v = 0;
            if (!ReadRegister(anyAddress(in), v))
                FUZZ_CHECK(v == 0xFF);
            break;
        }
        case 1: {
            const int count = in.range(-2, 4200);
            std::vector<uint8_t> buffer(static_cast<size_t>(in.range(0, 4200)));
            if (!ReadUnit(anyAddress(in), count, buffer) && count > 0 && static_cast<size_t>(count) <= buffer.size() &&
                lastOutcome().kind != CommandOutcome::NotSent)
                FUZZ_CHECK(allFF(std::span<const uint8_t>(buffer).first(static_cast<size_t>(count))));
            break;
        }
        case 2: {
            const auto bytes = in.bytes(in.range(0, 700));
            WriteUnit(anyAddress(in), in.range(-1, 700), bytes);
            break;
        }
        case 3:
            EraseFlash(anyAddress(in), in.u8(), in.u8());
            break;
        case 4: {
            std::vector<uint8_t> buffer(static_cast<size_t>(in.range(0, 80)));
            uint16_t total = 0;
            ReadLineData(in.u8(), in.u32(), in.range(-1, 260), buffer, total);
            break;
        }
        case 5: {
            uint32_t line = 0;
            if (!SearchLine(in.u8() & 1, in.u16(), in.u16(), line))
                FUZZ_CHECK(line == 65535);
            break;
        }
        case 6:
            SetLine(in.u8() & 1, in.u16());
            break;
        case 7: {
            uint32_t a = 0, b = 0;
            ReadLineRange(in.u8() & 1, a, b);
            break;
        }
        case 8: {
            ZoneTable table{};
            ReadZones(in.u8() & 1, table);
            break;
        }
        case 9: {
            uint8_t high = 0, low = 0;
            uint32_t a = 0, b = 0;
            ReadExposure(in.u8() & 1, high, low, a, b);
            break;
        }
        case 10:
            ArmTouchData();
            break;
        case 11: {
            TouchReport report;
            const int r = ReadTouchPoints(in.u8(), in.u8(), in.u32(), in.u8(), report);
            FUZZ_CHECK(r >= 0 && r <= 3);
            FUZZ_CHECK(report.touchState >= 1 && report.touchState <= 4);
            break;
        }
        case 12: {
            std::array<uint8_t, 8> reply{};
            CommandOutcome outcome;
            SwitchMode(in.u8(), reply.data(), outcome);
            break;
        }
        case 13: {
            std::array<uint8_t, kStatusSize> status{};
            GetStatus(status);
            decideStatus(status);
            break;
        }
        case 14:
            Reboot(in.u8());
            break;
        case 15: {
            const ModeSwitchOutcome o = SwitchModeChecked(in.u8());
            FUZZ_CHECK(!o.ok || (!o.frameLost && !o.deviceAbsent));
            break;
        }
        case 16: {
            const int r = TestCommunication();
            FUZZ_CHECK(r >= kStatusReady && r <= kStatusTimedOut);
            break;
        }
        case 17: {
            // A raw transaction with any code and lengths.
            const auto payload = in.bytes(in.range(0, 70));
            std::array<uint8_t, 64> reply{};
            const uint8_t replyLength = static_cast<uint8_t>(in.range(0, 64));
            const CommandOutcome o = Transact(in.u8(), payload.data(), static_cast<uint8_t>(payload.size()), reply.data(),
                                              replyLength, in.u32());
            if (payload.size() > kMaxPayload || replyLength > kMaxReply)
                FUZZ_CHECK(o.kind == CommandOutcome::NotSent);
            break;
        }
        case 18: {
            uint8_t feature[3] = {7, 0, 0};
            GetFeatureReport(in.u8(), feature);
            break;
        }
        default: {
            std::vector<uint8_t> buffer(kSharedBufferSize);
            const int count = in.range(-1, kSharedBufferSize + 8);
            ReadToBuffer(anyAddress(in), count, std::span<uint8_t>(buffer).first(static_cast<size_t>(std::clamp(count, 0, kSharedBufferSize))));
            break;
        }
        }
    }
    return 0;
}
