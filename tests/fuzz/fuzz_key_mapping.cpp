// A stored calibration record (any bytes) as the key calibration uses it:
// the touch mapping it carries, key corners mapped through it, the key
// rectangles of a layout, the area they span and the corner search over
// it, which runs the same to the bit on both of its paths.
#include "FuzzSupport.h"

#include "calibration/math/Evaluation.h"
#include "keys/core/KeyLayout.h"
#include "keys/core/KeyRectangles.h"
#include "records/CalibrationRecord.h"

using namespace tovrin;
using namespace tovrin::keys;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzInput in(data, size);
    const uint8_t how = in.u8();
    const auto bytes = in.array<records::kCalInfoSize>();
    records::CalInfo record = records::CalInfo::decode(bytes);
    const calib::TouchMapper mapper = mapperOfRecord(record);

    KeyConfiguration configuration;
    for (Edge e : kEdgeOrder) {
        EdgeGroups& g = configuration.edge(e);
        g.groupCount = in.range(-1, 4);
        for (int& k : g.keys)
            k = in.range(-1, 24);
    }
    const int width = in.range(1, 4000);
    const int height = in.range(1, 4000);
    if (checkConfiguration(configuration) == LayoutCheck::Ok) {
        KeyDepiction depiction = layOutKeys(configuration, width, height);
        std::vector<int32_t> left, right;
        for (size_t i = 0; i < depiction.targets.size(); ++i) {
            left.push_back(static_cast<int32_t>(in.u16() % 1400));
            right.push_back(static_cast<int32_t>(in.u16() % 1400));
        }
        if (mapTargets(depiction.targets, left, right, mapper)) {
            const EdgeRects rects = buildKeyRectangles(depiction);
            for (Edge e : kEdgeOrder)
                FUZZ_CHECK(static_cast<int>(rects[static_cast<size_t>(e - 1)].size()) == depiction.keyCount(e));
            records::CalInfo slave = record;
            applyKeyLayout(slave, rects);
            FUZZ_CHECK(records::CalInfo::decode(slave.encode()) == slave);
            const KeyArea area = keyArea(rects, width, height);
            if (how & 1) {
                calib::setSearchPath(calib::SearchPath::Portable);
                const calib::CornerWindow portable = calib::SearchCorners(mapper, area);
                calib::setSearchPath(calib::SearchPath::Avx2);
                const calib::CornerWindow fast = calib::SearchCorners(mapper, area);
                calib::setSearchPath(calib::SearchPath::Automatic);
                FUZZ_CHECK(portable == fast);
            }
        }
    }
    // The screen search and the widening by the last line, on any record.
    if (how & 2) {
        calib::setSearchPath(calib::SearchPath::Portable);
        const calib::CornerWindow portable = calib::SearchCorners(mapper, width, height);
        calib::setSearchPath(calib::SearchPath::Avx2);
        const calib::CornerWindow fast = calib::SearchCorners(mapper, width, height);
        calib::setSearchPath(calib::SearchPath::Automatic);
        FUZZ_CHECK(portable == fast);
        const auto line = in.array<calib::kSensorColumns>();
        int start = portable.leftStart, end = portable.leftEnd;
        calib::WidenByImage(start, end, line);
        FUZZ_CHECK(start <= portable.leftStart && end >= portable.leftEnd);
    }
    return 0;
}
