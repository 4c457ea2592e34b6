// Which enumeration entry is the frame, over lists as hidraw machines show them.
#include "device/HidIdentity.h"

#include <gtest/gtest.h>

#include <functional>
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

// ---- The open node's own identity ------------------------------------------

// Report descriptors as frames and other devices present them.
const std::vector<uint8_t> kVendor = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x03, 0x09, 0x01,
                                      0x75, 0x08, 0x95, 0x3F, 0x81, 0x02, 0x09, 0x01, 0x91, 0x02, 0xC0};
const std::vector<uint8_t> kMouse = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00,
                                     0x05, 0x09, 0x19, 0x01, 0x29, 0x03, 0x81, 0x02, 0xC0, 0xC0};

std::vector<uint8_t> join(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct UsageCase {
    const char* name;
    std::vector<uint8_t> descriptor;
    std::vector<HidUsage> expected;
};

class CollectionUsages : public testing::TestWithParam<UsageCase> {};

TEST_P(CollectionUsages, ListsEveryCollectionWithItsUsage)
{
    EXPECT_EQ(collectionUsages(GetParam().descriptor), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Descriptors, CollectionUsages,
    testing::Values(
        UsageCase{"vendorCollection", kVendor, {{0xFF00, 1}}},
        UsageCase{"mouseWithNestedPointer", kMouse, {{0x0001, 2}, {0x0001, 1}}},
        UsageCase{"vendorBehindMouse", join(kMouse, kVendor), {{0x0001, 2}, {0x0001, 1}, {0xFF00, 1}}},
        // A four-byte usage carries its own page.
        UsageCase{"extendedUsage", {0x0B, 0x01, 0x00, 0x00, 0xFF, 0xA1, 0x01, 0xC0}, {{0xFF00, 1}}},
        // A collection without a usage since the last main item lists nothing.
        UsageCase{"usageSpentByAnInput", {0x06, 0x00, 0xFF, 0x09, 0x01, 0x81, 0x02, 0xA1, 0x01, 0xC0}, {}},
        // Long items are stepped over whole.
        UsageCase{"longItemSkipped", join({0xFE, 0x02, 0x10, 0x09, 0x01}, kVendor), {{0xFF00, 1}}},
        // A cut descriptor gives what stood before the cut, nothing past it.
        UsageCase{"truncatedItem", join(kMouse, {0x06, 0x00}), {{0x0001, 2}, {0x0001, 1}}},
        UsageCase{"truncatedLongItem", {0xFE}, {}},
        UsageCase{"empty", {}, {}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ParseHidId, ReadsVendorAndProductOfAHidDevice)
{
    uint16_t vid = 0, pid = 0;
    ASSERT_TRUE(parseHidId("0003:00001FC9:00004B66", vid, pid));
    EXPECT_EQ(vid, 0x1FC9);
    EXPECT_EQ(pid, 0x4B66);
    EXPECT_FALSE(parseHidId("", vid, pid));
    EXPECT_FALSE(parseHidId("0003:00001FC9", vid, pid));
    EXPECT_FALSE(parseHidId("0003:00011FC9:00000055", vid, pid)) << "beyond 16 bits";
    EXPECT_FALSE(parseHidId("0003:00001FC9:00000055x", vid, pid));
}

HidNodeIdentity openedFrame()
{
    return HidNodeIdentity{true, "0003:1FC9:0055.0007", 0x1FC9, 0x0055, true};
}

struct NodeCase {
    const char* name;
    std::function<void(HidNodeIdentity&)> change;  // applied to the node as it is now
    int expected;
    uint16_t expectedPid;  // kNoProductId: left as it was
};

class ClassifyOpenNode : public testing::TestWithParam<NodeCase> {};

TEST_P(ClassifyOpenNode, TellsTheOpenFrameFromWhatBecameOfItsNode)
{
    HidNodeIdentity now = openedFrame();
    GetParam().change(now);
    uint16_t pid = kNoProductId;
    EXPECT_EQ(classifyOpenNode(openedFrame(), now, pid), GetParam().expected);
    EXPECT_EQ(pid, GetParam().expectedPid);
}

INSTANTIATE_TEST_SUITE_P(
    Nodes, ClassifyOpenNode,
    testing::Values(
        NodeCase{"unchanged", [](HidNodeIdentity&) {}, kCheckFrameOk, 0x0055},
        NodeCase{"nodeRemoved", [](HidNodeIdentity& n) { n = {}; }, kCheckGone, kNoProductId},
        NodeCase{"replugGotTheSameNode", [](HidNodeIdentity& n) { n.instance = "0003:1FC9:0055.0008"; },
                 kCheckGone, kNoProductId},
        NodeCase{"foreignVendor", [](HidNodeIdentity& n) { n.vendorId = 0x1FCA; }, kCheckGone, kNoProductId},
        NodeCase{"unknownProduct", [](HidNodeIdentity& n) { n.productId = 0x0077; }, kCheckGone, kNoProductId},
        NodeCase{"vendorCollectionGone", [](HidNodeIdentity& n) { n.vendorCollection = false; },
                 kCheckWrongCollection, 0x0055}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ClassifyOpenNode, AnInstanceUnknownAtOpeningIsNotHeldAgainstTheNode)
{
    HidNodeIdentity opened = openedFrame();
    opened.instance.clear();
    uint16_t pid = 0;
    EXPECT_EQ(classifyOpenNode(opened, openedFrame(), pid), kCheckFrameOk);
}

} // namespace
