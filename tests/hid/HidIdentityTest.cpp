// Which enumeration entry is the frame, over lists as hidraw machines show them.
#include "device/HidIdentity.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

using namespace tovrin::device;

namespace {

HidEntry entry(std::string path, uint16_t vid, uint16_t pid, uint16_t page, uint16_t usage)
{
    return HidEntry{std::move(path), vid, pid, page, usage};
}

// A sane machine: a keyboard, then the frame's touch node (digitizer with a
// nested finger collection) and its command node.
std::vector<HidEntry> saneMachine()
{
    return {
        entry("/dev/hidraw0", 0x046D, 0xC31C, 0x0001, 0x0006),
        entry("/dev/hidraw1", 0x1FC9, 0x0055, 0x000D, 0x0004),
        entry("/dev/hidraw1", 0x1FC9, 0x0055, 0x000D, 0x0022),
        entry("/dev/hidraw2", 0x1FC9, 0x0055, 0xFF00, 0x0001),
    };
}

struct ChooseCase {
    const char* name;
    std::vector<HidEntry> entries;
    std::string expectedPath;  // empty: no frame
    uint16_t expectedPid;
};

std::vector<HidEntry> with(std::vector<HidEntry> list, size_t index, HidEntry replacement)
{
    list[index] = std::move(replacement);
    return list;
}

std::vector<HidEntry> without(std::vector<HidEntry> list, size_t index)
{
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(index));
    return list;
}

std::vector<ChooseCase> chooseCases()
{
    const auto sane = saneMachine();
    return {
        {"SaneMachine", sane, "/dev/hidraw2", 0x0055},
        {"VendorCollectionMissing", without(sane, 3), "", 0},
        {"BootLoader", with(sane, 3, entry("/dev/hidraw2", 0x1FC9, 0x0042, 0xFF00, 1)), "/dev/hidraw2", 0x0042},
        {"ProductId4B66", with(sane, 3, entry("/dev/hidraw2", 0x1FC9, 0x4B66, 0xFF00, 1)), "/dev/hidraw2", 0x4B66},
        {"ForeignVendor", with(sane, 3, entry("/dev/hidraw2", 0x1FCA, 0x0055, 0xFF00, 1)), "", 0},
        {"UnknownProductId", with(sane, 3, entry("/dev/hidraw2", 0x1FC9, 0x0056, 0xFF00, 1)), "", 0},
        {"WrongUsage", with(sane, 3, entry("/dev/hidraw2", 0x1FC9, 0x0055, 0xFF00, 2)), "", 0},
        {"WrongUsagePage", with(sane, 3, entry("/dev/hidraw2", 0x1FC9, 0x0055, 0xFF01, 1)), "", 0},
        {"ByteSwappedUsagePage", with(sane, 3, entry("/dev/hidraw2", 0x1FC9, 0x0055, 0x00FF, 1)), "", 0},
        // One node holding the touch collections and the command collection.
        {"VendorCollectionInTouchNode",
         with(without(sane, 3), 2, entry("/dev/hidraw1", 0x1FC9, 0x0055, 0xFF00, 1)), "/dev/hidraw1", 0x0055},
        {"EmptyPathIgnored", with(sane, 3, entry("", 0x1FC9, 0x0055, 0xFF00, 1)), "", 0},
        {"EmptyList", {}, "", 0},
    };
}

void PrintTo(const ChooseCase& c, std::ostream* os)
{
    *os << c.name;
}

class ChooseFrameCollection : public testing::TestWithParam<ChooseCase> {};

TEST_P(ChooseFrameCollection, PicksOnlyTheVendorCollectionOfAFrame)
{
    const ChooseCase& c = GetParam();
    const auto chosen = chooseFrameCollection(c.entries);
    const auto paths = frameVendorPaths(c.entries);
    if (c.expectedPath.empty()) {
        EXPECT_FALSE(chosen.has_value());
        EXPECT_TRUE(paths.empty());
        return;
    }
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->path, c.expectedPath);
    EXPECT_EQ(chosen->productId, c.expectedPid);
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(paths.front(), c.expectedPath);
}

INSTANTIATE_TEST_SUITE_P(Lists, ChooseFrameCollection, testing::ValuesIn(chooseCases()),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(FrameVendorPaths, DuplicatePathsAreListedOnce)
{
    // hidapi lists a node once per collection; a vendor collection that the
    // descriptor repeats must not make us try the node twice.
    auto list = saneMachine();
    list.push_back(entry("/dev/hidraw2", 0x1FC9, 0x0055, 0xFF00, 0x0001));
    list.push_back(entry("/dev/hidraw2", 0x1FC9, 0x0055, 0x000D, 0x0004));
    EXPECT_EQ(frameVendorPaths(list), std::vector<std::string>{"/dev/hidraw2"});
}

TEST(FrameVendorPaths, KeepsEnumerationOrderOfSeveralFrames)
{
    auto list = saneMachine();
    list.insert(list.begin(), entry("/dev/hidraw7", 0x1FC9, 0x0042, 0xFF00, 0x0001));
    EXPECT_EQ(frameVendorPaths(list), (std::vector<std::string>{"/dev/hidraw7", "/dev/hidraw2"}));
    EXPECT_EQ(chooseFrameCollection(list)->path, "/dev/hidraw7");
}

struct ClassifyCase {
    const char* name;
    std::vector<HidEntry> entries;
    std::string path;  // the path that was opened
    int expected;
    uint16_t expectedPid;  // set whenever the path is listed with a frame identity
};

std::vector<ClassifyCase> classifyCases()
{
    const auto sane = saneMachine();
    return {
        {"StillTheFrame", sane, "/dev/hidraw2", kCheckFrameOk, 0x0055},
        {"BootLoaderIsStillTheFrame", with(sane, 3, entry("/dev/hidraw2", 0x1FC9, 0x0042, 0xFF00, 1)), "/dev/hidraw2",
         kCheckFrameOk, 0x0042},
        {"PathNoLongerListedIsGone", without(sane, 3), "/dev/hidraw2", kCheckGone, kNoProductId},
        {"EmptyListIsGone", {}, "/dev/hidraw2", kCheckGone, kNoProductId},
        {"FrameNodeWithoutVendorCollectionIsWrongCollection", sane, "/dev/hidraw1", kCheckWrongCollection, 0x0055},
        {"NodeTakenOverByAKeyboardIsGone", sane, "/dev/hidraw0", kCheckGone, kNoProductId},
        {"NodeTakenOverByAnUnknownProductIsGone", with(sane, 3, entry("/dev/hidraw2", 0x1FC9, 0x0077, 0xFF00, 1)),
         "/dev/hidraw2", kCheckGone, kNoProductId},
        {"NestedVendorCollectionAmongOthersIsTheFrame",
         {entry("/dev/hidraw4", 0x1FC9, 0x4B55, 0x000D, 0x0004), entry("/dev/hidraw4", 0x1FC9, 0x4B55, 0x000D, 0x0022),
          entry("/dev/hidraw4", 0x1FC9, 0x4B55, 0xFF00, 0x0001)},
         "/dev/hidraw4", kCheckFrameOk, 0x4B55},
        {"EmptyPathIsGone", {entry("", 0x1FC9, 0x0055, 0xFF00, 1)}, "", kCheckGone, 0x0055},
    };
}

void PrintTo(const ClassifyCase& c, std::ostream* os)
{
    *os << c.name;
}

class ClassifyOpenPath : public testing::TestWithParam<ClassifyCase> {};

TEST_P(ClassifyOpenPath, TellsTheFrameFromWhatReplacedIt)
{
    const ClassifyCase& c = GetParam();
    uint16_t pid = kNoProductId;
    EXPECT_EQ(classifyOpenPath(c.entries, c.path, pid), c.expected);
    EXPECT_EQ(pid, c.expectedPid);
}

INSTANTIATE_TEST_SUITE_P(Lists, ClassifyOpenPath, testing::ValuesIn(classifyCases()),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
