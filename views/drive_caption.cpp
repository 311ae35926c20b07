#include "views/drive_caption.h"

#include "device/disk_info.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <vector>

const char* DriveTypeText(uint32_t media_type) {
    switch (media_type) {
    case drive_layer::MEDIA_UNKNOWN: return "Unknown";
    case drive_layer::MEDIA_REMOVABLE: return "Removable Disk";
    case drive_layer::MEDIA_FIXED: return "Hard Disk";
    default: return "Floppy Disk";
    }
}

std::string drive_caption(const c_disk_info& info) {
    const uint64_t mib = info.capacity / 1024 / 1024;
    // Drive number, MiB count, separators and the type text take well under 80 chars.
    std::vector<char> text(info.identity.size() + 80);
    const int length = std::snprintf(text.data(), text.size(), "%d - %5" PRIu64 " MB, %-24s %s", int(info.drive),
                                     mib, info.identity.c_str(), DriveTypeText(info.media_type));
    if (length < 0) return {};
    return std::string(text.data(), std::min(size_t(length), text.size() - 1));
}
