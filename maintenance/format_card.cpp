#include "maintenance/format_card.h"

#include "device/sector_io.h"
#include "maintenance/maintenance_messages.h"
#include "maintenance/menu_install.h"
#include "maintenance/side_files.h"
#include "maintenance/speed_file.h"
#include "obfs/allocator.h"
#include "obfs/obfs.h"
#include "obfs/partition_fences.h"
#include "transfer/transfer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t DIR_BLOCK_SECTORS = 256;  // the directory goes out in four 128 KiB writes

// Sector counts of the sector layer are 8-bit, 0 meaning 256.
uint8_t sector_count(uint32_t sectors) { return uint8_t(sectors == 256 ? 0 : sectors); }

// Sector 0 without a volume: while the new tables go out the card must not mount with
// the old superblock, whose old directory would then name clusters the new map calls
// free. The drive flush keeps a reordering card from writing the tables first.
bool retire_old_superblock() {
    static const uint8_t no_volume[SECTOR_BYTES] = {};
    return disk_write_sectors(0, 1, no_volume) && disk_flush();
}

// Map and name-hash table: without either the card holds no volume.
bool write_tables(const Superblock& sb, const std::vector<uint8_t>& map) {
    static const uint8_t zero_hash[OBFS_HASH_BYTES] = {};
    return disk_write_sectors(sb.map_start, sector_count(sb.map_bytes / SECTOR_BYTES), map.data()) &&
           disk_write_sectors(sb.hash_start, sector_count(OBFS_HASH_BYTES / SECTOR_BYTES), zero_hash);
}

// The superblock goes last, once everything it describes is on the medium: the
// volume's writes so far, whose flushes were deferred, are flushed first (a failed
// one leaves the card without a volume rather than with one that may lack its
// tables). It carries the checksums of the tables as the side files left them.
bool seal_volume(DeferredFlushes& deferred) {
    cOBFS& vol = volume();
    vol.release_superblock();
    if (deferred.end() && disk_write_sectors(0, 1, vol.superblock) && disk_flush()) return true;
    vol.mounted = 0;  // the card holds no volume
    return false;
}

// A copy of a side file onto the volume being built: only a complete one counts.
bool copy_side_file(const char* name) {
    return copy_win_to_mounted_ob(beside_program(name)) && last_copy_end() == CopyEnd::Complete;
}

// 1024 empty directory entries. A block that fails is reported and the next one is
// still written, but the format fails: the old entries in that block would show as
// files whose clusters the new map calls free.
bool write_empty_directory(uint32_t dir_start) {
    static const uint8_t zero_block[DIR_BLOCK_SECTORS * SECTOR_BYTES] = {};
    bool all_written = true;
    for (uint32_t block = 0; block < OBFS_DIR_COUNT / DIR_BLOCK_SECTORS; ++block) {
        if (!disk_write_sectors(dir_start + block * DIR_BLOCK_SECTORS,
                                sector_count(DIR_BLOCK_SECTORS), zero_block)) {
            std::printf("what\n");
            all_written = false;
        }
    }
    return all_written;
}

// The menu program and the side files from the program's folder, onto the volume
// being built; the message for what failed (null when all went well).
const MaintMessage* fill_new_volume(uint8_t drive, uint8_t speed) {
    if (!install_menu_program(drive)) return &maint_msg::MENU_FAILED;
    if (!copy_side_file(SAVE_LIST_FILE)) return &maint_msg::SAVELIST_FAILED;
    if (!copy_side_file(SAVE_INFO_FILE)) return &maint_msg::SAVEINFO_FAILED;
    if (!write_speed_file(speed)) return &maint_msg::FORMAT_SPEED_FAILED;
    return nullptr;
}

}  // namespace

uint8_t partition_of(uint32_t byte_address) {
    return partition_index(current_partition_table, byte_address);
}

std::vector<uint8_t> build_fresh_map(const Superblock& sb) {
    std::vector<uint8_t> map(sb.map_bytes, MAP_BEYOND);
    const uint32_t clusters = std::min<uint32_t>(sb.cluster_count(), sb.map_bytes);
    // The cluster before a partition change contains the new partition's start (or
    // ends right before it): a file there would span two partitions.
    const std::vector<bool> fence = fence_clusters(current_partition_table, sb.data_start, clusters);
    for (uint32_t i = 0; i < clusters; ++i) map[i] = fence[i] ? MAP_FENCE : MAP_FREE;
    return map;
}

bool format_card(uint8_t drive, const uint32_t partition_start[PARTITION_ENTRIES], uint8_t speed) {
    if (drive == 0) {
        std::printf("invalid drive number.\n");
        return false;
    }
    // Whatever the volume object holds in memory describes a card as it was; the drive
    // is about to be reopened, and nothing may write those tables to it.
    volume().mounted = 0;
    if (!disk_open(drive)) {
        std::printf("Initialize disk fail\n");
        return false;
    }
    const uint32_t disk_size = disk_get_size();
    Superblock sb = Superblock::layout_for(disk_size);
    sb.disk_size = disk_size;
    // Without one whole data cluster the cluster count would come from a negative
    // difference; such a drive holds no volume.
    if (uint64_t(disk_size) < uint64_t(sb.data_start) * SECTOR_BYTES + OBFS_CLUSTER_BYTES) {
        std::printf("disk too small for a volume.\n");
        return false;
    }
    std::memcpy(sb.partition_start, partition_start, sizeof sb.partition_start);
    std::memcpy(current_partition_table, partition_start, sizeof sb.partition_start);

    const std::vector<uint8_t> map = build_fresh_map(sb);
    sb.map_crc = crc16(0, map.data(), map.size());
    uint8_t superblock[SECTOR_BYTES] = {};
    sb.encode(superblock);
    sb.header_crc = crc16(0, superblock, SB_HEADER_CRC_SPAN);
    sb.encode(superblock);

    // Order on the card: no volume (flushed); then map, name-hash table, directory,
    // menu program and side files; then, once all of that is on the medium, the
    // superblock. A format cut anywhere leaves either no volume or the whole new one,
    // side files included, so the writes in between need no flushes among themselves.
    if (!retire_old_superblock()) {
        std::printf("fail to write the volume tables.\n");
        return false;
    }
    DeferredFlushes deferred;
    if (!write_tables(sb, map)) {
        std::printf("fail to write the volume tables.\n");
        return false;
    }
    if (!write_empty_directory(sb.dir_start)) return false;
    volume().adopt_new(drive, superblock, map);
    const MaintMessage* failure = fill_new_volume(drive, speed);
    // A volume whose menu program or side file failed is still sealed: the card then
    // holds an empty (or partly filled) volume, and the message says what is missing.
    if (!seal_volume(deferred)) {
        std::printf("fail to write the volume tables.\n");
        if (failure) show_maint_message(*failure);
        return false;
    }
    if (failure) {
        show_maint_message(*failure);
        return false;
    }
    return true;
}
