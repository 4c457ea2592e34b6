#include "shell/MessageTexts.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tovrin::shell;

TEST(MessageTexts, ThereAreExactly151NonEmptyTexts)
{
    EXPECT_EQ(kMessageCount, 151);
    const QStringList all = builtinTexts();
    ASSERT_EQ(all.size(), 151);
    for (int id = 0; id < kMessageCount; ++id) {
        const char* t = builtinText(id);
        ASSERT_NE(t, nullptr) << "id " << id;
        EXPECT_GT(std::strlen(t), 0u) << "id " << id;
        EXPECT_EQ(all.at(id), QString::fromUtf8(t)) << "id " << id;
    }
}

TEST(MessageTexts, IdOutOfRangeGivesEmptyText)
{
    for (int id : {-1, 151, 1000}) {
        ASSERT_NE(builtinText(id), nullptr);
        EXPECT_STREQ(builtinText(id), "") << "id " << id;
    }
}

TEST(MessageTexts, TrickyEntriesAreExact)
{
    EXPECT_STREQ(builtinText(0), "Device checking,please wait...");
    EXPECT_STREQ(builtinText(14),
                 "Device Communicate failed, please exit and plug in the device again!");
    EXPECT_STREQ(builtinText(18),
                 "Read flash info failed, please check the conmmnication of the device.");
    EXPECT_STREQ(builtinText(47),
                 "Hint: \n"
                 "Firstly, make sure the bright area stay in the display area(automatically); "
                 "If line selection fails, \n"
                 "please adjust the optical modules. (Press the button re-adjusting or Space key "
                 "to show the new images); \n"
                 "Then do exposure; At last save the info.");
    EXPECT_STREQ(builtinText(55),
                 "Exposure complete.\nOptical Parameters:%1, %2, %3\n 0x%4, 0x%5.");
    EXPECT_STREQ(builtinText(72), "Is save calibration information, please wait... %1%.");
    EXPECT_STREQ(builtinText(86), " <=30 inches");
    EXPECT_STREQ(builtinText(93), " >=96 inches");
    EXPECT_STREQ(builtinText(137),
                 "Firmware does not match,\n"
                 "Please update the firmware to version 1.2.0 of above!");
    EXPECT_STREQ(builtinText(142), "Equipment anomalies. Error code: 0x%1, 0x%2");
    EXPECT_STREQ(builtinText(150), "Cogradient threshold");
}

TEST(MessageTexts, PlaceholdersFillInOrder)
{
    EXPECT_EQ(QString::fromUtf8(builtinText(42)).arg(1).arg(2).arg(30), "FirmwareID: 1.2.30\n");
    EXPECT_EQ(QString::fromUtf8(builtinText(72)).arg(40),
              "Is save calibration information, please wait... 40%.");
}
