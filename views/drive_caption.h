// The caption of one entry of the drive list, shared by the main window and obtool.
#pragma once

#include <cstdint>
#include <string>

class c_disk_info;

// "Unknown", "Removable Disk", "Hard Disk", or "Floppy Disk" for any other code.
const char* DriveTypeText(uint32_t media_type);

// "%d - %5I64d MB, %-24s %s": drive number, size in MiB (truncated), identity padded
// to 24 characters, and the media type text.
std::string drive_caption(const c_disk_info& info);
