#include "device/system_drives.h"

#include "device/win32_disk_source.h"
#include "device/windows_disk_rules.h"

#include <algorithm>

namespace drive_layer {

std::vector<std::shared_ptr<DriveSource>> system_drive_sources() {
    // Drive N is \\.\PhysicalDriveN, as Windows numbers its disks; numbers without a
    // disk simply fail to open.
    const std::shared_ptr<DiskQueries> queries = windows_disk_queries();
    const std::vector<uint32_t> system = queries->system_disks();
    std::vector<std::shared_ptr<DriveSource>> sources;
    for (uint32_t n = 0; n < DRIVE_COUNT; ++n) {
        const bool system_disk = std::find(system.begin(), system.end(), n) != system.end();
        sources.push_back(std::make_shared<Win32DiskSource>(physical_drive_path(n), n, system_disk, false, queries));
    }
    return sources;
}

std::shared_ptr<DriveSource> attached_device_source(const std::string& path) {
    const std::shared_ptr<DiskQueries> queries = windows_disk_queries();
    const uint32_t n = physical_drive_number(path);
    const std::vector<uint32_t> system = queries->system_disks();
    const bool system_disk = std::find(system.begin(), system.end(), n) != system.end();
    return std::make_shared<Win32DiskSource>(path, n, system_disk, true, queries);
}

}  // namespace drive_layer
