// The Linux side of the drive table: which block devices count as disks, their
// order, and what the table is filled with at start.
#include "device/drive_layer.h"
#include "device/linux_block_source.h"
#include "support/test_cards.h"

#include <gtest/gtest.h>

using namespace drive_layer;

TEST(LinuxDisks, AttachPathRefusesACharacterDevice) {
    DriveTable table;
    std::string error;
    EXPECT_FALSE(table.attach_path(5, "/dev/null", &error));
    EXPECT_EQ(table.source(5), nullptr);
    EXPECT_FALSE(error.empty());
}

TEST(LinuxDisks, ListedNames) {
    for (const char* name : {"sda", "sdaa", "mmcblk0", "mmcblk12", "nvme0n1", "nvme10n2", "vda", "hdc", "xvdb"})
        EXPECT_TRUE(is_listed_disk_name(name)) << name;
    for (const char* name : {"sda1", "mmcblk0p1", "mmcblk0boot0", "mmcblk0rpmb", "nvme0n1p2", "nvme0c0n1", "nvme0",
                             "loop0", "ram0", "zram0", "dm-0", "sr0", "md127", "nbd0", "vda1", "sd", "sdA", ""})
        EXPECT_FALSE(is_listed_disk_name(name)) << name;
}

TEST(LinuxDisks, StableOrderWithTheSystemDiskFirst) {
    const std::vector<std::string> found = {"vdb",     "sdaa",  "loop0", "sdb",      "nvme1n1", "mmcblk10",
                                            "nvme0n1", "sda",   "sdz",   "mmcblk2",  "zram0",   "xvda",
                                            "hda",     "sda1",  "vda",   "nvme0n10", "dm-0"};
    const std::vector<std::string> expected = {"sda",     "sdb",      "sdz",     "sdaa", "mmcblk2", "mmcblk10",
                                               "nvme0n1", "nvme0n10", "nvme1n1", "vda",  "vdb",     "hda",
                                               "xvda"};
    EXPECT_EQ(order_disk_names(found, ""), expected);
    EXPECT_EQ(order_disk_names(found, "dm-0"), expected);  // an unlisted root changes nothing
    std::vector<std::string> rooted = expected;
    rooted.erase(rooted.begin() + 7);
    rooted.insert(rooted.begin(), "nvme0n10");
    EXPECT_EQ(order_disk_names(found, "nvme0n10"), rooted);
}

TEST(LinuxDisks, HostListHoldsOnlyWholeDisksWithTheRootDiskFirst) {
    const std::vector<std::string> disks = system_disk_names();
    for (const std::string& name : disks) EXPECT_TRUE(is_listed_disk_name(name)) << name;
    const std::string root = root_disk_name();
    if (root.empty()) GTEST_SKIP() << "the root file system is not on a block device here";
    ASSERT_FALSE(disks.empty());
    EXPECT_EQ(disks.front(), root);
}

TEST(LinuxDisks, SystemDrivesFillTheTableInOrder) {
    DriveTable table;
    table.load_system_drives();
    const std::vector<std::string> disks = system_disk_names();
    const std::string root = root_disk_name();
    // Without a root disk, drive 0 stays empty and the disks start at 1.
    const unsigned first = root.empty() ? 1 : 0;
    if (first) {
        EXPECT_EQ(table.source(0), nullptr);
    }
    for (unsigned n = first; n < DRIVE_COUNT; ++n) {
        auto source = table.source(n);
        if (n - first >= disks.size()) {
            EXPECT_EQ(source, nullptr);
            continue;
        }
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(source->describe(), "/dev/" + disks[n - first]);
    }
    if (disks.empty()) GTEST_SKIP() << "no whole disks visible in /sys/block";
    if (root.empty()) return;
    // Attached by path, the system disk is still no card.
    LinuxBlockSource attached("/dev/" + root, root, true);
    EXPECT_EQ(attached.media_type(), MEDIA_FIXED);
    const auto d = attached.descriptor();
    EXPECT_EQ(d[10], 0);
}
