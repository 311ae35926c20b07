#include "device/windows_disk_rules.h"

#include "device/drive_layer.h"

#include <cctype>

namespace drive_layer {

namespace {

constexpr size_t REMOVABLE_AT = 10;
constexpr size_t BUS_TYPE_AT = 28;

uint32_t u32_at(const std::vector<uint8_t>& d, size_t at) {
    if (at + 4 > d.size()) return 0;
    return uint32_t(d[at]) | uint32_t(d[at + 1]) << 8 | uint32_t(d[at + 2]) << 16 | uint32_t(d[at + 3]) << 24;
}

}  // namespace

uint32_t windows_media_type(const std::vector<uint8_t>& descriptor, uint32_t disk_number, bool system_disk,
                            bool attached) {
    if (disk_number == 0 || system_disk) return MEDIA_FIXED;
    if (attached) return MEDIA_REMOVABLE;
    if (descriptor.size() > REMOVABLE_AT && descriptor[REMOVABLE_AT] != 0) return MEDIA_REMOVABLE;
    const uint32_t bus = u32_at(descriptor, BUS_TYPE_AT);
    if (bus == BUS_TYPE_USB || bus == BUS_TYPE_SD || bus == BUS_TYPE_MMC) return MEDIA_REMOVABLE;
    return MEDIA_FIXED;
}

uint32_t physical_drive_number(const std::string& path) {
    static const std::string PREFIX = "\\\\.\\physicaldrive";
    if (path.size() <= PREFIX.size() || path.size() > PREFIX.size() + 3) return UNKNOWN_DISK;
    for (size_t i = 0; i < PREFIX.size(); ++i) {
        char c = char(std::tolower(static_cast<unsigned char>(path[i])));
        if (c == '/') c = '\\';
        if (c != PREFIX[i]) return UNKNOWN_DISK;
    }
    uint32_t n = 0;
    for (size_t i = PREFIX.size(); i < path.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(path[i]))) return UNKNOWN_DISK;
        n = n * 10 + uint32_t(path[i] - '0');
    }
    return n;
}

std::string physical_drive_path(uint32_t disk_number) { return "\\\\.\\PhysicalDrive" + std::to_string(disk_number); }

}  // namespace drive_layer
