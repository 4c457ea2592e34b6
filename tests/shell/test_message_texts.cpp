#include "shell/MessageTexts.h"

#include <gtest/gtest.h>

using namespace tovrin::shell;

TEST(MessageTexts, IdOutOfRangeGivesEmptyText)
{
    for (int id : {-1, kMessageCount, 1000}) {
        ASSERT_NE(builtinText(id), nullptr);
        EXPECT_STREQ(builtinText(id), "") << "id " << id;
    }
}

TEST(MessageTexts, PlaceholdersFillInOrder)
{
    EXPECT_EQ(QString::fromUtf8(builtinText(42)).arg(1).arg(2).arg(30), "FirmwareID: 1.2.30\n");
    EXPECT_EQ(QString::fromUtf8(builtinText(72)).arg(40),
              "Is save calibration information, please wait... 40%.");
}
