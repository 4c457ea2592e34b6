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

TEST(MessageTexts, PlaceholdersFillInOrder)
{
    EXPECT_EQ(QString::fromUtf8(builtinText(42)).arg(1).arg(2).arg(30), "FirmwareID: 1.2.30\n");
    EXPECT_EQ(QString::fromUtf8(builtinText(72)).arg(40),
              "Is save calibration information, please wait... 40%.");
}
