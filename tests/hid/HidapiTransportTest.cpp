// The real transport while nothing is open: every call must refuse cleanly,
// since the detection thread and workers may call it after an unplug.
#include "device/HidapiTransport.h"

#include <gtest/gtest.h>

#include <array>

using namespace tovrin::device;

TEST(HidapiTransportClosed, RefusesEveryTransfer)
{
    HidapiTransport t;
    EXPECT_FALSE(t.isOpen());
    EXPECT_TRUE(t.path().empty());

    std::array<uint8_t, kReportSize> report{};
    report.fill(0xAA);
    EXPECT_EQ(t.read(report.data(), 10), IoResult::NotConnected);
    for (uint8_t b : report)
        ASSERT_EQ(b, 0) << "a failed read must not leave old bytes behind";

    report[0] = 3;
    EXPECT_EQ(t.write(report.data(), 10), IoResult::NotConnected);

    std::array<uint8_t, kFeatureReportSize> feature{7, 0, 0};
    EXPECT_FALSE(t.getFeature(feature.data()));

    uint16_t pid = 0x1234;
    EXPECT_EQ(t.check(pid), kCheckGone);

    t.close();
    t.close();
    EXPECT_FALSE(t.isOpen());
}
