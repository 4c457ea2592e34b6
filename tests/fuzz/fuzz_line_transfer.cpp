// Packed and plain line transfers of both units, every reply from the input:
// the frames stay inside their buffers, a stream that would pass 640 bytes
// ends the frame, and every transfer ends.
#include "FuzzSupport.h"

#include "leveling/core/LineTransfer.h"

using namespace tovrin;
using namespace tovrin::leveling;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzInput in(data, size);
    const uint8_t how = in.u8();
    const int lineNum = 1 + in.u8() % 11;
    fuzz::FuzzFrame frame(in);

    std::atomic<int> ready{0};
    FrameBuffers buffers(ready);
    FUZZ_CHECK(buffers.open());
    int checks = 0;
    FetchHooks hooks;
    hooks.check = [&] { return ++checks < 4000 && !frame.transport().gone(); };
    LineTransfer transfer((how & 1) ? LineTransfer::Policy::Preview : LineTransfer::Policy::Leveling);
    switch ((how >> 1) % 4) {
    case 0: {
        // A frame that came whole never had a stream longer than a line.
        const FetchOutcome o = transfer.fetchCompressed(buffers, hooks);
        if (o == FetchOutcome::Complete)
            for (int unit : {0, 1})
                FUZZ_CHECK(transfer.streamLength(unit) <= kMaxStream);
        break;
    }
    case 1:
        transfer.fetchPlain(buffers, levelingFramePlan(lineNum, (how & 16) != 0, (how & 32) != 0), hooks);
        break;
    case 2:
        transfer.fetchPlain(buffers, previewFramePlan(lineNum, (how & 16) != 0), hooks);
        break;
    default: {
        std::array<uint8_t, 640> master{}, slave{};
        readLastLines((how & 16) ? kRegionBExtended : 0, master, slave);
        break;
    }
    }
    buffers.publish();
    FrameBytes a{}, b{};
    buffers.take(a, b);
    buffers.close();
    return 0;
}
