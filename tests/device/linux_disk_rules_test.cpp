// The Linux disk rules on made-up hosts: sysfs, /dev links and the mount and swap
// tables written into a folder the rules are pointed at.
#include "device/disk_info.h"
#include "device/linux_block_source.h"
#include "device/linux_disk_rules.h"
#include "support/fake_host_tree.h"

#include <gtest/gtest.h>


using namespace drive_layer;
using namespace testcards;

TEST(MountTables, EscapesOptionalFieldsAndSwaps) {
    const auto mounts = parse_mountinfo(
        "36 35 98:0 /mnt1 /mnt/my\\040card rw,noatime master:1 shared:7 - ext3 /dev/root rw,errors=continue\n"
        "garbage line\n"
        "37 35 0:40 / /run rw - tmpfs tmpfs rw\n");
    ASSERT_EQ(mounts.size(), 2u);
    EXPECT_EQ(mounts[0].major, 98u);
    EXPECT_EQ(mounts[0].minor, 0u);
    EXPECT_EQ(mounts[0].mount_point, "/mnt/my card");
    EXPECT_EQ(mounts[0].fs_type, "ext3");
    EXPECT_EQ(mounts[0].source, "/dev/root");
    EXPECT_EQ(mounts[1].super_options, "rw");
    EXPECT_EQ(parse_swaps("Filename Type Size Used Priority\n/dev/sda3 partition 1 0 -2\n/swap\\040file file 1 0 -3\n"),
              (std::vector<std::string>{"/dev/sda3", "/swap file"}));
    EXPECT_EQ(mount_option("rw,lowerdir=/a:/b,upperdir=/c,workdir=/d", "upperdir"), "/c");
    EXPECT_EQ(mount_option("rw,lowerdir=/a:/b", "dir"), "");
}

TEST(RootDisk, Ext4OnAPartition) {
    FakeHost h;
    h.disk("sda", PCI_SATA, "8:0");
    h.partition("sda", "sda1", "8:1");
    h.partition("sda", "sda2", "8:2");
    h.disk("sdb", USB_READER, "8:16", "1");
    h.mountinfo(mount_line(1, "8:2", "/", "ext4", "/dev/sda2") + mount_line(2, "8:1", "/boot/efi", "vfat", "/dev/sda1"));
    const BlockTree tree(h.root());
    EXPECT_EQ(root_disks(tree, tree.mounts()), std::vector<std::string>{"sda"});
    EXPECT_TRUE(disk_use(tree, "sda").system());
    EXPECT_FALSE(disk_use(tree, "sdb").system());
}

TEST(RootDisk, BtrfsRootWithAnAnonymousDeviceNumber) {
    // btrfs reports 0:NN; only the source names the device. The first disk listed
    // (a card in a USB reader as sda) must not become drive 0.
    FakeHost h;
    h.disk("sda", USB_READER, "8:0", "1");
    h.disk("nvme0n1", PCI_NVME, "259:0");
    h.partition("nvme0n1", "nvme0n1p1", "259:1");
    h.partition("nvme0n1", "nvme0n1p2", "259:2");
    h.nodes({"nvme0n1p2", "nvme0n1p1", "sda"});
    h.mountinfo(mount_line(1, "0:31", "/", "btrfs", "/dev/nvme0n1p2", "rw,subvol=/@") +
                mount_line(2, "0:31", "/home", "btrfs", "/dev/nvme0n1p2", "rw,subvol=/@home"));
    const BlockTree tree(h.root());
    EXPECT_EQ(root_disks(tree, tree.mounts()), std::vector<std::string>{"nvme0n1"});
    const DiskUse use = disk_use(tree, "nvme0n1");
    EXPECT_EQ(use.mount_points, (std::vector<std::string>{"/", "/home"}));
    EXPECT_TRUE(use.system());

    HostTreeScope scope(h.root());
    EXPECT_EQ(root_disk_name(), "nvme0n1");
    EXPECT_EQ(system_disk_names(), (std::vector<std::string>{"nvme0n1", "sda"}));
    DriveTable table;
    table.load_system_drives();
    EXPECT_EQ(table.source(0)->describe(), "/dev/nvme0n1");
    EXPECT_EQ(table.source(1)->describe(), "/dev/sda");
    LinuxBlockSource card("/dev/sda", "sda", false), system("/dev/nvme0n1", "nvme0n1", false);
    EXPECT_EQ(card.media_type(), MEDIA_REMOVABLE);
    EXPECT_EQ(system.media_type(), MEDIA_FIXED);
    // Attached by path, the system disk is still no card.
    EXPECT_EQ(LinuxBlockSource("/dev/nvme0n1", "nvme0n1", true).media_type(), MEDIA_FIXED);
}

TEST(RootDisk, LvmOnLuksThroughDeviceMapperSlaves) {
    FakeHost h;
    h.disk("sda", PCI_SATA, "8:0");
    h.partition("sda", "sda1", "8:1");
    h.partition("sda", "sda2", "8:2");
    h.virtual_device("dm-0", {"sda2"}, "254:0", "sda2_crypt");
    h.virtual_device("dm-1", {"dm-0"}, "254:1", "vg-root");
    h.virtual_device("dm-2", {"dm-0"}, "254:2", "vg-swap");
    h.disk("sdb", USB_READER, "8:16", "1");
    h.mountinfo(mount_line(1, "254:1", "/", "ext4", "/dev/mapper/vg-root") +
                mount_line(2, "8:1", "/boot", "ext2", "/dev/sda1"));
    h.swaps("/dev/dm-2 partition 1000 0 -2\n");
    const BlockTree tree(h.root());
    EXPECT_EQ(root_disks(tree, tree.mounts()), std::vector<std::string>{"sda"});
    const DiskUse use = disk_use(tree, "sda");
    EXPECT_EQ(use.mount_points, (std::vector<std::string>{"/", "/boot"}));
    EXPECT_EQ(use.swaps, std::vector<std::string>{"/dev/dm-2"});
    EXPECT_EQ(use.holders, (std::vector<std::string>{"dm-0", "dm-1", "dm-2"}));
    EXPECT_TRUE(use.system());
    EXPECT_EQ(tree.resolve_device("/dev/mapper/vg-root"), "dm-1");
}

TEST(RootDisk, RaidOverTwoDisksMakesBothSystemDisks) {
    FakeHost h;
    h.disk("sda", PCI_SATA, "8:0");
    h.disk("sdb", PCI_SATA, "8:16");
    h.partition("sda", "sda1", "8:1");
    h.partition("sdb", "sdb1", "8:17");
    h.virtual_device("md0", {"sda1", "sdb1"}, "9:0");
    h.mountinfo(mount_line(1, "9:0", "/", "ext4", "/dev/md0"));
    const BlockTree tree(h.root());
    EXPECT_EQ(root_disks(tree, tree.mounts()), (std::vector<std::string>{"sda", "sdb"}));
    EXPECT_TRUE(disk_use(tree, "sdb").system());
}

TEST(RootDisk, OverlayRootsFollowTheirFoldersAndLoopFiles) {
    // A live system: / is an overlay of a squashfs (a loop over a file on the stick)
    // and a tmpfs; the stick is the system disk.
    FakeHost h;
    h.disk("sda", PCI_SATA, "8:0");
    h.disk("sdb", USB_READER, "8:16", "1");
    h.partition("sdb", "sdb1", "8:17");
    h.virtual_device("loop0", {}, "7:0");
    h.attribute("loop0", "loop/backing_file", "/run/live/medium/live/filesystem.squashfs");
    h.mountinfo(mount_line(1, "8:17", "/run/live/medium", "iso9660", "/dev/sdb1") +
                mount_line(2, "7:0", "/run/live/rootfs/filesystem.squashfs", "squashfs", "/dev/loop0") +
                mount_line(3, "0:27", "/run/live/overlay", "tmpfs", "tmpfs") +
                mount_line(4, "0:28", "/", "overlay", "overlay",
                           "rw,lowerdir=/run/live/rootfs/filesystem.squashfs/,upperdir=/run/live/overlay/rw,"
                           "workdir=/run/live/overlay/work"));
    const BlockTree tree(h.root());
    EXPECT_EQ(root_disks(tree, tree.mounts()), std::vector<std::string>{"sdb"});

    // A container on tmpfs: no disk holds "/", and drive 0 stays empty rather than
    // going to the first disk.
    h.mountinfo(mount_line(1, "0:27", "/", "overlay", "overlay", "rw,lowerdir=/l,upperdir=/u,workdir=/w") +
                mount_line(2, "0:30", "/u", "tmpfs", "tmpfs"));
    EXPECT_TRUE(root_disks(tree, tree.mounts()).empty());
    HostTreeScope scope(h.root());
    DriveTable table;
    table.load_system_drives();
    EXPECT_EQ(table.source(0), nullptr);
    EXPECT_EQ(table.source(1)->describe(), "/dev/sda");
}

TEST(CardDisks, AnEmmcLaptopOffersOnlyItsSdSlot) {
    FakeHost h;
    h.disk("mmcblk0", MMC_EMMC, "179:0");   // soldered eMMC, 16 GiB: under the card limit
    h.attribute("mmcblk0", "device/type", "MMC");
    h.partition("mmcblk0", "mmcblk0p2", "179:2");
    h.disk("mmcblk1", MMC_SD, "179:256");
    h.attribute("mmcblk1", "device/type", "SD");
    h.disk("sdb", USB_READER, "8:16");      // a reader that calls its medium fixed
    h.disk("sdc", PCI_SATA, "8:32", "1");    // a hot-plug bay that says removable
    h.disk("sdd", PCI_SATA, "8:48");
    h.mountinfo(mount_line(1, "179:2", "/", "ext4", "/dev/mmcblk0p2"));
    const BlockTree tree(h.root());
    EXPECT_FALSE(is_removable_disk(tree, "mmcblk0"));
    h.attribute("mmcblk0", "removable", "1");  // a removable flag does not make eMMC a card
    EXPECT_FALSE(is_removable_disk(tree, "mmcblk0"));
    EXPECT_TRUE(is_removable_disk(tree, "mmcblk1"));
    EXPECT_TRUE(is_removable_disk(tree, "sdb"));
    EXPECT_TRUE(is_removable_disk(tree, "sdc"));
    EXPECT_FALSE(is_removable_disk(tree, "sdd"));

    HostTreeScope scope(h.root());
    EXPECT_EQ(LinuxBlockSource("/dev/mmcblk0", "mmcblk0", false).media_type(), MEDIA_FIXED);
    EXPECT_EQ(LinuxBlockSource("/dev/mmcblk1", "mmcblk1", false).media_type(), MEDIA_REMOVABLE);
    EXPECT_EQ(system_disk_names().front(), "mmcblk0");
}

TEST(DiskUse, MountsOfPartitionsAndVolumesBuiltOnThemAndSwapFiles) {
    FakeHost h;
    h.disk("sda", PCI_SATA, "8:0");
    h.partition("sda", "sda1", "8:1");
    h.disk("sdb", USB_READER, "8:16", "1");
    h.partition("sdb", "sdb1", "8:17");
    h.partition("sdb", "sdb2", "8:18");
    h.disk("sdc", USB_READER, "8:32", "1");
    h.mountinfo(mount_line(1, "8:1", "/", "ext4", "/dev/sda1") +
                mount_line(2, "8:17", "/media/u/CARD", "vfat", "/dev/sdb1") +
                mount_line(3, "8:17", "/mnt/again", "vfat", "/dev/sdb1") +
                mount_line(4, "8:18", "/media/u/DATA", "ext4", "/dev/sdb2") +
                mount_line(5, "8:32", "/media/u/WHOLE", "vfat", "/dev/sdc"));
    const BlockTree tree(h.root());
    DiskUse use = disk_use(tree, "sdb");
    EXPECT_EQ(use.mount_points, (std::vector<std::string>{"/media/u/CARD", "/mnt/again", "/media/u/DATA"}));
    EXPECT_EQ(use.mounted_devices, (std::vector<std::string>{"/dev/sdb1", "/dev/sdb2"}));
    EXPECT_TRUE(use.mounted());
    EXPECT_FALSE(use.system());
    EXPECT_EQ(disk_use(tree, "sdc").mount_points, std::vector<std::string>{"/media/u/WHOLE"});

    // A swap file on the stick makes it a system disk; so does an open encrypted volume.
    h.swaps("/media/u/DATA/swapfile file 1000 0 -2\n");
    EXPECT_EQ(disk_use(tree, "sdb").swaps, std::vector<std::string>{"/media/u/DATA/swapfile"});
    EXPECT_TRUE(disk_use(tree, "sdb").system());
    EXPECT_FALSE(disk_use(tree, "sdc").system());
    h.virtual_device("dm-3", {"sdc"}, "254:3", "luks-card");
    EXPECT_TRUE(disk_use(tree, "sdc").system());
}
