// The formatter: writes a fresh, empty OBFS volume over a whole card and makes the
// card ready for the cart — menu program, save list, save info file and the default
// speed file.
//
// The card model's partition starts decide which clusters become fences: the cluster
// in which the card's internal partition changes is never given to a file, so no file
// spans a partition start.
#pragma once

#include "obfs/superblock.h"

#include <cstdint>
#include <vector>

// Writes the volume, then the menu program, "savelist.bin", "save_info.dat" (both from
// the program's folder) and "sd_speed.ini". true when every step was carried out and
// the card was pushed to the medium. Refused before anything is written: drive 0, a
// drive that does not open, a drive too small to hold one data cluster. A failed
// write of the superblock, the cluster map, the name-hash table or the directory fails
// the format before the side files; a failed side file shows its message box and
// leaves what was written so far. Sector 0 is cleared first and the superblock written
// last, so a format cut short leaves either no volume or the whole new one.
bool format_card(uint8_t drive, const uint32_t partition_start[PARTITION_ENTRIES], uint8_t speed);

// The partition of current_partition_table that holds this byte address: 0 below the
// first further start, k inside partition k.
uint8_t partition_of(uint32_t byte_address);

// The cluster map of a fresh volume laid out as `sb`, fenced after
// current_partition_table: map_bytes entries, free for the data clusters, fences where
// the partition changes, beyond (0xFF) from the cluster count on.
std::vector<uint8_t> build_fresh_map(const Superblock& sb);
