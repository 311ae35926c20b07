// The formatter: writes a fresh, empty OBFS volume over a whole card and makes the
// card ready for the cart — menu program, save list, save info file and the default
// speed file.
//
// The card model's partition starts decide which clusters become fences: the cluster
// in which the card's internal partition changes is never given to a file, so no file
// spans a partition start.
#pragma once

#include "device/sector_io.h"
#include "obfs/superblock.h"

#include <cstdint>
#include <optional>
#include <vector>

class cCard;
struct CopyJob;

// Writes the volume, then the menu program, "savelist.bin", "save_info.dat" (both from
// the program's folder) and "sd_speed.ini". true when every step was carried out and
// the card was pushed to the medium. Refused before anything is written: drive 0, a
// drive that does not open, a drive too small to hold one data cluster. A failed
// write of the superblock, the cluster map, the name-hash table or the directory fails
// the format before the side files; a failed side file shows its message box and
// leaves what was written so far. Sector 0 is cleared first and the superblock written
// last, so a format cut short leaves either no volume or the whole new one.
// The card object is left with the new volume mounted; the side files are copied
// under `job` (its diagnostics; nothing of a format is read back).
bool format_card(cCard& card, const CopyJob& job, uint8_t drive, const uint32_t partition_start[PARTITION_ENTRIES],
                 uint8_t speed);
// The same on the default card, its side files copied under the default job.
bool format_card(uint8_t drive, const uint32_t partition_start[PARTITION_ENTRIES], uint8_t speed);

// The partition of current_partition_table (the default card's) that holds this byte
// address: 0 below the first further start, k inside partition k.
uint8_t partition_of(uint32_t byte_address);

// The cluster map of a fresh volume laid out as `sb`, fenced after `partition_start`:
// map_bytes entries, free for the data clusters, fences where the partition changes,
// beyond (0xFF) from the cluster count on.
std::vector<uint8_t> build_fresh_map(const Superblock& sb, const uint32_t partition_start[PARTITION_ENTRIES]);
// The same fenced after current_partition_table.
std::vector<uint8_t> build_fresh_map(const Superblock& sb);

// The layout, the fenced map (and its CRC in `sb`) of a fresh volume on a drive of
// `disk_size` bytes; false when the drive cannot hold one data cluster.
bool fresh_volume_layout(uint32_t disk_size, const uint32_t partition_start[PARTITION_ENTRIES], Superblock* sb,
                         std::vector<uint8_t>* map);

// A volume being built over a whole card, the way the formatter builds it. begin()
// clears sector 0 (flushed), writes the fenced map, the empty name-hash table and the
// empty directory, and leaves the card object with the new volume mounted in memory
// and its superblock held back: what goes onto the volume next (the formatter's side
// files, a clone's files and menu area) needs no flushes of its own. seal() writes the
// superblock once all of it is on the medium. A cut anywhere leaves either no volume
// or the whole new one.
class FreshVolume {
public:
    explicit FreshVolume(cCard& card);
    ~FreshVolume();
    FreshVolume(const FreshVolume&) = delete;
    FreshVolume& operator=(const FreshVolume&) = delete;

    // false, with its diagnostic line: refused before any write (drive 0, a drive that
    // does not open, one too small for a data cluster) or a failed write of the tables.
    bool begin(uint8_t drive, const uint32_t partition_start[PARTITION_ENTRIES]);
    // Whether begin() got as far as writing, so the card's old volume is gone.
    bool old_volume_gone() const { return old_volume_gone_; }
    // The superblock, after everything written since begin() reached the medium; false
    // when that or the superblock's write failed (the card then holds no volume).
    bool seal();

private:
    cCard& card_;
    std::optional<DeferredFlushes> deferred_;
    bool old_volume_gone_ = false;
};
