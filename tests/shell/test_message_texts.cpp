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
