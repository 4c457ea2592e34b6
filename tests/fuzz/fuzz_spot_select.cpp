// Touch-spot selection from any spot reports: background lists, the vote
// over the last 20 frames, the false-spot deletion for any grid point and
// column, and the key chooser. Counts stay in their arrays, the vote comes
// out ordered by width, a chosen spot is one of the spots offered.
#include "FuzzSupport.h"

#include "calibration/math/SpotSelect.h"
#include "keys/core/KeyChooser.h"

using namespace tovrin;
using namespace tovrin::calib;

namespace {

SpotReport report(fuzz::FuzzInput& in)
{
    SpotReport r;
    r.count = static_cast<int8_t>(in.u8());  // negative and beyond 5 too
    for (Spot& s : r.spots) {
        s.position = in.u16() % 1500;
        s.width = in.u8() % 40;
        s.strength = in.u8();
        s.flag = in.u8() & 1;
    }
    return r;
}

bool offered(const SpotReport& r, const Spot& s)
{
    for (int i = 0; i < r.valid(); ++i)
        if (r.spots[static_cast<size_t>(i)].position == s.position)
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzInput in(data, size);
    BackgroundList background[2];
    TouchHistory history;
    PointTable table[2];
    for (int frame = 0; frame < 40 && !in.empty(); ++frame) {
        const SpotReport left = report(in), right = report(in);
        switch (in.u8() % 4) {
        case 0:
            AccumulateBackground(left, right, background[0], background[1]);
            FUZZ_CHECK(background[0].count >= 0 && background[0].count <= kBackgroundSpots);
            FUZZ_CHECK(background[1].count >= 0 && background[1].count <= kBackgroundSpots);
            break;
        case 1:
            history.push(left);
            break;
        case 2: {
            SpotReport sorted = VoteAndSort(history);
            FUZZ_CHECK(sorted.valid() == sorted.count);
            for (int i = 1; i < sorted.valid(); ++i)
                FUZZ_CHECK(sorted.spots[static_cast<size_t>(i - 1)].width >= sorted.spots[static_cast<size_t>(i)].width);
            const Side side = (in.u8() & 1) ? Side::Right : Side::Left;
            const int point = in.range(0, kGridPoints - 1);
            const int column = in.u8() & 1 ? columnTypeOf16(point) : columnTypeOf4(point % 4);
            const SpotReport before = sorted;
            const Spot chosen = FalsePotDel(background[static_cast<int>(side)], sorted, side, column,
                                            table[static_cast<int>(side)], point,
                                            in.u8() & 1 ? SpotMode::Release : SpotMode::Capture, in.u8() & 1);
            // A chosen spot is one offered, or a split finger merged
            // between two of them.
            if (chosen.flag == 1) {
                FUZZ_CHECK(before.valid() > 0);
                int low = 65535, high = 0;
                for (int i = 0; i < before.valid(); ++i) {
                    low = std::min<int>(low, before.spots[static_cast<size_t>(i)].position);
                    high = std::max<int>(high, before.spots[static_cast<size_t>(i)].position);
                }
                FUZZ_CHECK(chosen.position >= low && chosen.position <= high);
            }
            AccumulateDeletedSpots(sorted, background[static_cast<int>(side)]);
            FUZZ_CHECK(background[static_cast<int>(side)].count <= kBackgroundSpots);
            break;
        }
        default: {
            SpotReport spots = left;
            const int edge = in.range(0, 5);
            const std::optional<int> p = keys::chooseKeySpot(spots, in.u8() & 1 ? Side::Right : Side::Left,
                                                             keys::keyEdgeType(edge));
            if (p)
                FUZZ_CHECK(offered(left, Spot{static_cast<uint16_t>(*p), 0, 0, 0}));
            break;
        }
        }
    }
    return 0;
}
