#include "device/system_drives.h"

#include "device/linux_block_source.h"

#include <sys/stat.h>

namespace drive_layer {

std::vector<std::shared_ptr<DriveSource>> system_drive_sources() {
    std::vector<std::shared_ptr<DriveSource>> sources;
    // Drive 0 is the system disk's place: when no disk holds the root file system it
    // stays empty rather than going to a disk that might be a card.
    if (root_disk_name().empty()) sources.push_back(nullptr);
    for (const std::string& disk : system_disk_names())
        sources.push_back(std::make_shared<LinuxBlockSource>("/dev/" + disk, disk, false));
    return sources;
}

std::shared_ptr<DriveSource> attached_device_source(const std::string& path) {
    struct stat st {};
    const std::string sysfs_name = ::stat(path.c_str(), &st) == 0 ? block_name_of(st.st_rdev) : std::string();
    return std::make_shared<LinuxBlockSource>(path, sysfs_name, true);
}

}  // namespace drive_layer
