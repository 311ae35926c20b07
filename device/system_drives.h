// The host's own drives, which each platform finds its own way: whole-disk block
// devices on Linux (linux_system_drives.cpp), \\.\PhysicalDriveN on Windows
// (win32_system_drives.cpp).
#pragma once

#include "device/drive_layer.h"

#include <memory>
#include <string>
#include <vector>

namespace drive_layer {

// Sources for drive numbers 0, 1, ... (at most DRIVE_COUNT), the system disk first;
// an empty entry leaves its number free.
std::vector<std::shared_ptr<DriveSource>> system_drive_sources();

// A source for a whole device the user named by path ("/dev/sdb", "\\.\PhysicalDrive2").
// It counts as removable media, as everything attached by hand does.
std::shared_ptr<DriveSource> attached_device_source(const std::string& path);

}  // namespace drive_layer
