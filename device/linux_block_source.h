// Whole-disk block devices of a Linux host as drives.
//
// Identity comes from sysfs (vendor, model, serial), the size from the device itself.
// A drive counts as removable media when sysfs says so, when it sits on the USB or
// MMC bus (built-in card readers often claim to be fixed), or when the user attached
// it by path.
#pragma once

#include "device/drive_layer.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace drive_layer {

class LinuxBlockSource : public DriveSource {
public:
    // `device_path` is what gets opened ("/dev/sdb"); `sysfs_name` names the entry
    // below /sys/block that describes it ("sdb"), empty when unknown.
    LinuxBlockSource(std::string device_path, std::string sysfs_name, bool attached);

    std::unique_ptr<DriveHandle> open(Access access, bool unbuffered) override;
    std::string describe() const override { return device_path_; }

    // What the descriptor and geometry queries will say, read from sysfs now.
    std::vector<uint8_t> descriptor() const;
    uint32_t media_type() const;

private:
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

// The whole disk that holds the root file system ("" when it cannot be told, as in
// containers and on overlay file systems).
std::string root_disk_name();

// The /sys/block name of a block device number ("sdb1" for a partition), "" if none.
std::string block_name_of(dev_t device);

// The host's listed whole disks, system disk first.
std::vector<std::string> system_disk_names();

}  // namespace drive_layer
