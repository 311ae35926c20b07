// Whole-disk block devices of a Linux host as drives.
//
// Identity comes from sysfs (vendor, model, serial), the size from the device itself.
// A drive counts as removable media when sysfs says so, when it sits on the USB bus or
// is an SD card on the MMC bus (built-in card readers often claim to be fixed), or when
// the user attached it by path; a disk the running system stands on never does.
// Writes go only to a disk with nothing mounted on it, opened exclusively; a user who
// may not open the node gets it through udisks2.
#pragma once

#include "device/drive_layer.h"
#include "device/linux_block_tree.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace drive_layer {

class LinuxBlockSource : public DriveSource {
public:
    // `device_path` is what gets opened ("/dev/sdb"); `sysfs_name` names the entry
    // below /sys/block that describes it ("sdb"), empty when unknown.
    LinuxBlockSource(std::string device_path, std::string sysfs_name, bool attached);

    // A write open first makes sure nothing is mounted on the disk (asking to unmount,
    // or refusing, as the unmount policy says) and tells the user why it fails.
    std::unique_ptr<DriveHandle> open(Access access, bool unbuffered) override;
    std::string describe() const override { return device_path_; }
    // The mounts of the disk and what is built on it; read-only as the kernel has it
    // (a card reader reports a card's lock switch so).
    DriveState state() const override;

    // What the descriptor and geometry queries will say, read from sysfs now.
    std::vector<uint8_t> descriptor() const;
    uint32_t media_type() const;

private:
    bool clear_for_writing() const;
    uint64_t sysfs_sectors() const;   // the size sysfs gives, in 512-byte sectors

    std::string device_path_;
    std::string sysfs_name_;
    bool attached_;
};

// True for names of whole disks that may be listed as drives: sd*, mmcblk*, nvme*n*,
// vd*, hd*, xvd*; never partitions, eMMC boot and RPMB areas, loop, ram, zram,
// device-mapper, optical, md or network block devices.
bool is_listed_disk_name(const std::string& name);

// Keeps the listed names and puts them in a stable order: by family (sd, mmcblk,
// nvme, vd, hd, xvd), then naturally within it (sdz before sdaa, mmcblk2 before
// mmcblk10). The disk `root_disk`, when listed, moves to the front.
std::vector<std::string> order_disk_names(std::vector<std::string> names, const std::string& root_disk);

// Points the disk rules at another tree than "/" (made-up sysfs and mount tables in
// tests); "/" points them back at the host.
void set_host_tree_root(const std::string& root);
BlockTree host_tree();

// The whole disk that holds the root file system, found from the mount table through
// partitions, dm/md slaves, overlay folders and loop files ("" when no disk holds it).
std::string root_disk_name();

// The /sys/block name of a block device number ("sdb1" for a partition), "" if none.
std::string block_name_of(dev_t device);

// The host's listed whole disks, the root disk first.
std::vector<std::string> system_disk_names();

}  // namespace drive_layer
