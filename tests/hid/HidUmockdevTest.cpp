// The real hidapi enumeration and udev monitor against a faked sysfs
// (umockdev). These cases give their nodes no device file, so nothing can be
// opened: they cover what the machine lists and how we pick from it. Reports
// through an opened node are the hidraw bridge's tests (tests/hidraw/).
//
// Run under umockdev-wrapper (main() in tests/support/UmockdevMain.cpp).
#include "device/HidIdentity.h"
#include "device/HidapiTransport.h"
#include "device/UdevMonitor.h"
#include "tests/support/FakeHid.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>
#include <umockdev.h>

#include <string>
#include <vector>

using namespace tovrin::device;
using tovrin::test::kFrameDescriptor;
using tovrin::test::kKeyboardDescriptor;

namespace {

// Mouse with its nested pointer collection (usage page 1, usage 1).
const std::vector<uint8_t> kMouseDescriptor = {
    0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00,
    0x05, 0x09, 0x19, 0x01, 0x29, 0x03, 0x15, 0x00, 0x25, 0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02,
    0xC0, 0xC0,
};

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class FakeSysfs : public testing::Test {
protected:
    void SetUp() override { m_bed = umockdev_testbed_new(); }
    void TearDown() override
    {
        for (gchar* p : m_paths)
            g_free(p);
        g_object_unref(m_bed);
    }

    // A HID device with one hidraw node, as the kernel shows a USB interface.
    // Returns the sysfs path of the hidraw node.
    std::string addHid(int index, uint16_t vid, uint16_t pid, std::vector<uint8_t> descriptor)
    {
        const tovrin::test::FakeHidPaths p = tovrin::test::addFakeHid(m_bed, index, index + 1, vid, pid, std::move(descriptor));
        m_paths.push_back(p.hid);
        m_paths.push_back(p.raw);
        return p.raw;
    }

    UMockdevTestbed* m_bed = nullptr;
    std::vector<gchar*> m_paths;
};

// One device on the machine (vendor 0: none at all), and the product ID of
// the frame found on it (0: no frame, and open() must leave nothing open).
struct ListedCase {
    const char* name;
    uint16_t vid, pid;
    uint16_t foundPid;
};

class FakeSysfsListing : public FakeSysfs, public testing::WithParamInterface<ListedCase> {};

TEST_P(FakeSysfsListing, FrameIsFoundByItsIdentity)
{
    const ListedCase& c = GetParam();
    if (c.vid)
        addHid(0, c.vid, c.pid, kFrameDescriptor);
    const auto chosen = chooseFrameCollection(HidapiTransport::enumerateFrameEntries());
    if (c.foundPid) {
        ASSERT_TRUE(chosen.has_value());
        EXPECT_EQ(chosen->path, "/dev/hidraw0");
        EXPECT_EQ(chosen->productId, c.foundPid);
        EXPECT_EQ(chosen->usagePage, 0xFF00);
        EXPECT_EQ(chosen->usage, 1);
        return;
    }
    EXPECT_FALSE(chosen.has_value());
    HidapiTransport t;
    uint16_t pid = 0;
    EXPECT_FALSE(t.open(pid));
    EXPECT_EQ(pid, kNoProductId);
    EXPECT_FALSE(t.isOpen());
    EXPECT_EQ(t.check(pid), kCheckGone);
}

INSTANTIATE_TEST_SUITE_P(Devices, FakeSysfsListing,
                         testing::Values(ListedCase{"Frame", 0x1FC9, 0x0055, 0x0055},
                                         ListedCase{"BootLoader", 0x1FC9, 0x0042, kBootLoaderProductId},
                                         ListedCase{"ForeignVendor", 0x1FCA, 0x0055, 0},
                                         ListedCase{"UnknownProductId", 0x1FC9, 0x0077, 0},
                                         ListedCase{"NoDevice", 0, 0, 0}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(FakeSysfs, VendorCollectionMissingIsNoFrame)
{
    addHid(0, 0x1FC9, 0x0055, kKeyboardDescriptor);
    addHid(1, 0x1FC9, 0x0055, kMouseDescriptor);
    const auto entries = HidapiTransport::enumerateFrameEntries();
    EXPECT_GE(entries.size(), 2u) << "the frame's other nodes are listed";
    EXPECT_FALSE(chooseFrameCollection(entries).has_value());

    HidapiTransport t;
    uint16_t pid = 0;
    EXPECT_FALSE(t.open(pid));
    EXPECT_EQ(pid, kNoProductId);
    EXPECT_FALSE(t.isOpen());
}

TEST_F(FakeSysfs, CommandNodeAmongTheFramesOtherNodes)
{
    addHid(0, 0x1FC9, 0x4B66, kMouseDescriptor);
    addHid(1, 0x1FC9, 0x4B66, kFrameDescriptor);
    addHid(2, 0x1FC9, 0x4B66, kKeyboardDescriptor);
    const auto entries = HidapiTransport::enumerateFrameEntries();
    EXPECT_EQ(frameVendorPaths(entries), std::vector<std::string>{"/dev/hidraw1"});
    uint16_t pid = 0;
    EXPECT_EQ(classifyOpenPath(entries, "/dev/hidraw0", pid), kCheckWrongCollection);
    EXPECT_EQ(classifyOpenPath(entries, "/dev/hidraw1", pid), kCheckFrameOk);
    EXPECT_EQ(pid, 0x4B66);
}

TEST_F(FakeSysfs, VendorCollectionBehindOthersInOneNode)
{
    // hidraw lists each collection of the descriptor, the nested pointer
    // collection too, all under the one path.
    addHid(0, 0x1FC9, 0x0066, kMouseDescriptor + kFrameDescriptor);
    const auto entries = HidapiTransport::enumerateFrameEntries();
    EXPECT_GE(entries.size(), 3u);
    EXPECT_EQ(frameVendorPaths(entries), std::vector<std::string>{"/dev/hidraw0"});
}

TEST_F(FakeSysfs, UnpluggedFrameIsNoLongerListed)
{
    const std::string raw = addHid(0, 0x1FC9, 0x0055, kFrameDescriptor);
    ASSERT_TRUE(chooseFrameCollection(HidapiTransport::enumerateFrameEntries()).has_value());
    umockdev_testbed_remove_device(m_bed, raw.c_str());
    uint16_t pid = 0;
    EXPECT_EQ(classifyOpenPath(HidapiTransport::enumerateFrameEntries(), "/dev/hidraw0", pid), kCheckGone);
}

TEST_F(FakeSysfs, TheOpenNodeIsReadFromItsOwnEntry)
{
    addHid(0, 0x046D, 0xC31C, kKeyboardDescriptor);
    addHid(1, 0x1FC9, 0x4B55, kMouseDescriptor + kFrameDescriptor);
    const HidNodeIdentity node = HidapiTransport::readNode("/dev/hidraw1");
    EXPECT_TRUE(node.present);
    EXPECT_EQ(node.instance, "0003:1FC9:4B55.0002");
    EXPECT_EQ(node.vendorId, 0x1FC9);
    EXPECT_EQ(node.productId, 0x4B55);
    EXPECT_TRUE(node.vendorCollection);
    EXPECT_FALSE(HidapiTransport::readNode("/dev/hidraw0").vendorCollection);
    EXPECT_FALSE(HidapiTransport::readNode("/dev/hidraw5").present);
}

TEST_F(FakeSysfs, ReCheckFollowsWhatBecomesOfTheOpenNode)
{
    const std::string raw = addHid(0, 0x1FC9, 0x0055, kFrameDescriptor);
    const HidNodeIdentity opened = HidapiTransport::readNode("/dev/hidraw0");
    uint16_t pid = 0;
    // Other devices coming and going are not looked at.
    const std::string other = addHid(3, 0x1FC9, 0x0066, kFrameDescriptor);
    EXPECT_EQ(classifyOpenNode(opened, HidapiTransport::readNode("/dev/hidraw0"), pid), kCheckFrameOk);
    umockdev_testbed_remove_device(m_bed, other.c_str());
    EXPECT_EQ(classifyOpenNode(opened, HidapiTransport::readNode("/dev/hidraw0"), pid), kCheckFrameOk);
    EXPECT_EQ(pid, 0x0055);
    // Unplugged: the node is gone.
    umockdev_testbed_remove_device(m_bed, raw.c_str());
    EXPECT_EQ(classifyOpenNode(opened, HidapiTransport::readNode("/dev/hidraw0"), pid), kCheckGone);
}

TEST_F(FakeSysfs, MonitorIgnoresOtherSubsystems)
{
    UdevMonitor monitor;
    if (!monitor.isActive())
        GTEST_SKIP() << "no udev monitor in this environment";
    QSignalSpy added(&monitor, &UdevMonitor::deviceAdded);

    gchar* input = umockdev_testbed_add_device(m_bed, "input", "event0", nullptr, nullptr,
                                               "DEVNAME", "/dev/input/event0", nullptr);
    m_paths.push_back(input);
    umockdev_testbed_uevent(m_bed, input, "add");
    // An event of our subsystem behind it proves the first one was seen and dropped.
    const std::string raw = addHid(0, 0x1FC9, 0x0055, kFrameDescriptor);
    umockdev_testbed_uevent(m_bed, raw.c_str(), "add");
    ASSERT_TRUE(added.count() > 0 || added.wait(5000));
    QCoreApplication::processEvents();  // whatever else is already queued
    // umockdev may announce a new device by itself as well, so count nodes, not events.
    for (const QList<QVariant>& args : added)
        EXPECT_EQ(args.at(0).toString(), QStringLiteral("/dev/hidraw0"));
}

} // namespace
