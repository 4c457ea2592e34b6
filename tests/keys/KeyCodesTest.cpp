// Key codes from Tovrin_Key.ini and the key code block in the Master's
// flash: the block's bytes, refused configurations, the write on the
// simulated frame.
#include "keys/core/KeyCodes.h"

#include "tests/support/SimLinkTest.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/Files.h"
#include "tests/support/FrameLink.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace tovrin;
using namespace tovrin::keys;

namespace {

class KeyCodesTest : public ::testing::Test {
protected:
    void write(const char* text)
    {
        ASSERT_TRUE(tovrin::test::writeFile(QStringLiteral("Tovrin_Key.ini"), text));
    }
    test::InTemporaryFolder folder;
};

// The block: the count, then each code high byte first; a missing code is
// the default 255.
TEST_F(KeyCodesTest, TheBlockOfWhatTheIniSays)
{
    const std::pair<const char*, std::vector<uint8_t>> rows[] = {
        {"[Key_Value]\nKeyCnt=3\nKey_1=0x1b\nKey_2=70\nKey_3=E0A5\n", {3, 0, 0x00, 0x1B, 0x00, 0x70, 0xE0, 0xA5}},
        {"[Key_Value]\nKeyCnt=2\nKey_1=1\n", {2, 0, 0x00, 0x01, 0x02, 0x55}},
        {"[Key_Value]\nKeyCnt= 0 \n", {0, 0}}};
    for (const auto& [ini, block] : rows) {
        write(ini);
        const KeyCodes c = readKeyCodes();
        ASSERT_TRUE(c.ok) << ini;
        EXPECT_FALSE(c.keepFrameCodes) << ini;
        EXPECT_EQ(c.block(), block) << ini;
    }
}

TEST_F(KeyCodesTest, WithoutTheFileTheFrameKeepsItsCodes)
{
    const KeyCodes c = readKeyCodes();
    ASSERT_TRUE(c.ok);
    EXPECT_TRUE(c.keepFrameCodes);
    EXPECT_TRUE(c.codes.empty());
}

struct Bad {
    const char* name;
    const char* ini;
};

class RefusedCodes : public KeyCodesTest, public ::testing::WithParamInterface<Bad> {};

TEST_P(RefusedCodes, NothingToStore)
{
    write(GetParam().ini);
    const KeyCodes c = readKeyCodes();
    EXPECT_FALSE(c.ok);
    EXPECT_FALSE(c.problem.isEmpty());
    EXPECT_TRUE(c.codes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Ini, RefusedCodes,
    ::testing::Values(Bad{"count_1000", "[Key_Value]\nKeyCnt=1000\n"},
                      Bad{"count_256", "[Key_Value]\nKeyCnt=256\n"},
                      Bad{"negative_count", "[Key_Value]\nKeyCnt=-2\n"},
                      Bad{"hexadecimal_count", "[Key_Value]\nKeyCnt=0x2\nKey_1=1b\nKey_2=1c\n"},
                      Bad{"word_count", "[Key_Value]\nKeyCnt=abc\n"},
                      Bad{"empty_count", "[Key_Value]\nKeyCnt=\n"},
                      Bad{"signed_count", "[Key_Value]\nKeyCnt=+2\nKey_1=1b\nKey_2=1c\n"},
                      Bad{"missing_count", "[Key_Value]\nKey_1=1b\n"},
                      Bad{"empty_file", ""},
                      Bad{"not_hexadecimal", "[Key_Value]\nKeyCnt=2\nKey_1=1b\nKey_2=enter\n"},
                      Bad{"seventeen_bits", "[Key_Value]\nKeyCnt=1\nKey_1=0x1FFFF\n"},
                      Bad{"empty_code", "[Key_Value]\nKeyCnt=1\nKey_1=\n"},
                      Bad{"signed_code", "[Key_Value]\nKeyCnt=1\nKey_1=-1\n"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(KeyCode, StrictHexadecimal)
{
    uint16_t code = 0;
    EXPECT_TRUE(parseKeyCode(QStringLiteral(" 0XfFfF "), code));
    EXPECT_EQ(code, 0xFFFF);
    EXPECT_FALSE(parseKeyCode(QStringLiteral("0x"), code));
    EXPECT_FALSE(parseKeyCode(QStringLiteral("12 34"), code));
    EXPECT_FALSE(parseKeyCode(QStringLiteral("g1"), code));
}

class KeyCodeBlockWrite : public test::SimLinkTest {};

TEST_F(KeyCodeBlockWrite, ErasedWrittenAndReadBackAtMaster0x19000)
{
    frame->setFlash(sim::Unit::Master, 0x19000, std::vector<uint8_t>(16, 0x00));  // old contents, all bits clear
    const std::vector<uint8_t> block{3, 0, 0x00, 0x1B, 0x00, 0x70, 0xE0, 0xA5};
    EXPECT_TRUE(writeKeyCodeBlock(block));
    EXPECT_EQ(frame->readFlash(sim::Unit::Master, 0x19000, 10),
              (std::vector<uint8_t>{3, 0, 0x00, 0x1B, 0x00, 0x70, 0xE0, 0xA5, 0xFF, 0xFF}));
    EXPECT_EQ(frame->commandsSeen(13), 1u);   // one erase
    EXPECT_EQ(frame->commandsSeen(9), 2u);    // the codes, then the header
    EXPECT_EQ(frame->commandsSeen(28), 0u);   // nothing on the Slave
    EXPECT_EQ(frame->flashByte(sim::Unit::Slave, 0x19000), 0xFF);
}

// Pulled at any report of the write, the block reads as no codes (its
// header erased) or as the whole new block: never a count over codes that
// are erased or half written, even when the codes take two reports.
TEST_F(KeyCodeBlockWrite, APullNeverLeavesACountOverMissingCodes)
{
    std::vector<uint8_t> block{40, 0};
    for (int k = 0; k < 40; ++k) {
        block.push_back(static_cast<uint8_t>(k));
        block.push_back(static_cast<uint8_t>(0xA0 + k));
    }
    const std::vector<uint8_t> old{2, 0, 0x00, 0x1B, 0x00, 0x70};
    for (uint64_t n = 1; n <= 6; ++n) {
        SCOPED_TRACE(n);
        frame->plug();
        ASSERT_TRUE(tovrin::test::openFrameLink());
        frame->eraseSector(sim::Unit::Master, 0x19000);
        frame->setFlash(sim::Unit::Master, 0x19000, old);
        frame->vanishAtOutputReport(n);
        const bool written = writeKeyCodeBlock(block);
        frame->plug();
        const auto left = frame->readFlash(sim::Unit::Master, 0x19000, block.size());
        if (written) {
            EXPECT_EQ(left, block);
            continue;
        }
        const bool oldBlock = std::equal(old.begin(), old.end(), left.begin());
        EXPECT_TRUE(oldBlock || (left[0] == 0xFF && left[1] == 0xFF) || left == block)
            << "header " << int(left[0]) << " " << int(left[1]);
    }
}

TEST_F(KeyCodeBlockWrite, AFailedEraseWritesNothingAWriteThatReadsBackWrongFails)
{
    frame->answerNextWithStatus(0xFF, 1, 13);
    EXPECT_FALSE(writeKeyCodeBlock({1, 0, 0x12, 0x34}));
    EXPECT_EQ(frame->commandsSeen(9), 0u);
    frame->setFlash(sim::Unit::Master, 0x19000, std::vector<uint8_t>(4, 0x00));
    frame->answerNextWithStatus(0x22, 1, 13);  // erase acknowledged, not done
    EXPECT_FALSE(writeKeyCodeBlock({1, 0, 0x12, 0x34}));
}

} // namespace
