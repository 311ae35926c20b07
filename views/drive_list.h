// Which drives the drive list offers: every drive number 0..15 that the probe accepts,
// in number order, each with its caption. Also the cheap count the once-a-second drive
// watch compares.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DriveEntry {
    std::string caption;   // "%d - %5I64d MB, %-24s %s"
    uint8_t drive = 0;     // the entry's data value
};

// Probes drives 0..15 with a fresh probe record each; one entry per accepted drive.
std::vector<DriveEntry> list_card_drives();

// Number of acceptable drives; probes only, never touches the volume.
uint8_t count_card_drives();
