// Which host disks may be cards, which one is the system disk, and what stands on a
// disk before anything writes to it. The rules work on a BlockTree, so tests give
// them made-up sysfs and mount tables (a btrfs root, an eMMC laptop, LVM on LUKS).
#pragma once

#include "device/linux_block_tree.h"

#include <string>
#include <vector>

namespace drive_layer {

// Every block device a disk stands for: the disk, its partitions, and whatever is
// built on them (device-mapper and md devices, their partitions), found through the
// holders links.
std::vector<std::string> devices_on_disk(const BlockTree& tree, const std::string& disk);

// The whole disks under a block device: a partition's disk, and through dm/md slaves
// and loop backing files the disks below. Empty when none can be told (tmpfs, ZFS).
std::vector<std::string> disks_below(const BlockTree& tree, const std::string& name,
                                     const std::vector<MountEntry>& mounts);

// The block devices a mount stands on: its device numbers, else its source (btrfs
// reports an anonymous number), and for an overlay the devices of the mounts that hold
// its upper and lower folders.
std::vector<std::string> mount_devices(const BlockTree& tree, const MountEntry& mount,
                                       const std::vector<MountEntry>& mounts);

// The disks that hold "/", in listing order (several for RAID or LVM over two disks);
// empty when no disk holds it (a container on tmpfs).
std::vector<std::string> root_disks(const BlockTree& tree, const std::vector<MountEntry>& mounts);

// What stands on one disk right now.
struct DiskUse {
    std::vector<std::string> mount_points;    // every mount of the disk and what is built on it
    std::vector<std::string> mounted_devices; // "/dev/sdb1": what to unmount, one per device
    std::vector<std::string> swaps;           // active swap on it (devices or files)
    std::vector<std::string> holders;         // dm/md devices built on the disk or its partitions
    std::vector<std::string> system_mounts;   // of mount_points: /, /boot, /usr, /home, /var...
    // A system disk is never a card: it holds a system file system, swap, or a dm/md
    // member (an LVM, RAID or encrypted volume), mounted or not.
    bool system() const { return !system_mounts.empty() || !swaps.empty() || !holders.empty(); }
    bool mounted() const { return !mount_points.empty(); }
};
DiskUse disk_use(const BlockTree& tree, const std::string& disk);

// True for the mount points that belong to the running system.
bool is_system_mount_point(const std::string& mount_point);

// Whether a whole disk may hold a card by where it sits: sysfs calls its medium
// removable, or it hangs off a USB bus, or it is an SD card on the MMC bus. Built-in
// eMMC (device/type "MMC") never counts, whatever its removable flag says.
bool is_removable_disk(const BlockTree& tree, const std::string& disk);

}  // namespace drive_layer
