// Which Windows disks may be cards: decided from the storage descriptor that the
// disk's driver returns, apart from the Windows calls so it is tested on any host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace drive_layer {

// Bus types of the storage descriptor (offset 28) that card readers sit on.
constexpr uint32_t BUS_TYPE_USB = 7;
constexpr uint32_t BUS_TYPE_SD = 0xC;
constexpr uint32_t BUS_TYPE_MMC = 0xD;

constexpr uint32_t UNKNOWN_DISK = 0xFFFFFFFFu;

// The media type a Windows disk gets in the geometry record: fixed for disk 0 and for a
// disk that holds the Windows or boot volume, whatever it says of itself; removable
// when the descriptor says so, when it sits on the USB, SD or MMC bus (built-in
// readers often call their media fixed), or when the user attached it by path.
uint32_t windows_media_type(const std::vector<uint8_t>& descriptor, uint32_t disk_number, bool system_disk,
                            bool attached);

// The disk number in "\\.\PhysicalDriveN" (any case, "/" for "\"), or UNKNOWN_DISK.
uint32_t physical_drive_number(const std::string& path);

// "\\.\PhysicalDriveN".
std::string physical_drive_path(uint32_t disk_number);

}  // namespace drive_layer
