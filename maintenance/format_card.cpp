#include "maintenance/format_card.h"

#include "device/sector_io.h"
#include "maintenance/maintenance_messages.h"
#include "maintenance/menu_install.h"
#include "maintenance/side_files.h"
#include "maintenance/speed_file.h"
#include "obfs/allocator.h"
#include "obfs/card.h"
#include "obfs/obfs.h"
#include "obfs/partition_fences.h"
#include "transfer/copy_batch.h"
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
bool retire_old_superblock(cDisk& disk) {
    static const uint8_t no_volume[SECTOR_BYTES] = {};
    return disk.write_sectors(0, 1, no_volume) && disk.flush();
}

// Map and name-hash table: without either the card holds no volume.
bool write_tables(cDisk& disk, const Superblock& sb, const std::vector<uint8_t>& map) {
    static const uint8_t zero_hash[OBFS_HASH_BYTES] = {};
    return disk.write_sectors(sb.map_start, sector_count(sb.map_bytes / SECTOR_BYTES), map.data()) &&
           disk.write_sectors(sb.hash_start, sector_count(OBFS_HASH_BYTES / SECTOR_BYTES), zero_hash);
}

// The superblock goes last, once everything it describes is on the medium: the
// volume's writes so far, whose flushes were deferred, are flushed first (a failed
// one leaves the card without a volume rather than with one that may lack its
// tables). It carries the checksums of the tables as the side files left them.
bool seal_volume(cCard& card, DeferredFlushes& deferred) {
    cOBFS& vol = card.volume();
    vol.release_superblock();
    if (deferred.end() && card.disk().write_sectors(0, 1, vol.superblock) && card.disk().flush()) return true;
    vol.mounted = 0;  // the card holds no volume
    return false;
}

// A copy of a side file onto the volume being built: only a complete one counts.
bool copy_side_file(cCard& card, const CopyJob& job, const char* name) {
    CopyBatch one(card, job);
    return one.copy_to_mounted_card(beside_program(name)) == CopyEnd::Complete;
}

// 1024 empty directory entries. A block that fails is reported and the next one is
// still written, but the format fails: the old entries in that block would show as
// files whose clusters the new map calls free.
bool write_empty_directory(cDisk& disk, uint32_t dir_start) {
    static const uint8_t zero_block[DIR_BLOCK_SECTORS * SECTOR_BYTES] = {};
    bool all_written = true;
    for (uint32_t block = 0; block < OBFS_DIR_COUNT / DIR_BLOCK_SECTORS; ++block) {
        if (!disk.write_sectors(dir_start + block * DIR_BLOCK_SECTORS,
                                sector_count(DIR_BLOCK_SECTORS), zero_block)) {
            std::printf("what\n");
            all_written = false;
        }
    }
    return all_written;
}

// The menu program and the side files from the program's folder, onto the volume
// being built; the message for what failed (null when all went well).
const MaintMessage* fill_new_volume(cCard& card, const CopyJob& job, uint8_t drive, uint8_t speed) {
    const bool menu = &card == &default_card() ? install_menu_program(drive) : install_menu_program(card, drive);
    if (!menu) return &maint_msg::MENU_FAILED;
    if (!copy_side_file(card, job, SAVE_LIST_FILE)) return &maint_msg::SAVELIST_FAILED;
    if (!copy_side_file(card, job, SAVE_INFO_FILE)) return &maint_msg::SAVEINFO_FAILED;
    if (!write_speed_file(card, speed)) return &maint_msg::FORMAT_SPEED_FAILED;
    return nullptr;
}

}  // namespace

uint8_t partition_of(uint32_t byte_address) {
    return partition_index(current_partition_table, byte_address);
}

std::vector<uint8_t> build_fresh_map(const Superblock& sb) { return build_fresh_map(sb, current_partition_table); }

std::vector<uint8_t> build_fresh_map(const Superblock& sb, const uint32_t partition_start[PARTITION_ENTRIES]) {
    std::vector<uint8_t> map(sb.map_bytes, MAP_BEYOND);
    const uint32_t clusters = std::min<uint32_t>(sb.cluster_count(), sb.map_bytes);
    // The cluster before a partition change contains the new partition's start (or
    // ends right before it): a file there would span two partitions.
    const std::vector<bool> fence = fence_clusters(partition_start, sb.data_start, clusters);
    for (uint32_t i = 0; i < clusters; ++i) map[i] = fence[i] ? MAP_FENCE : MAP_FREE;
    return map;
}

bool format_card(uint8_t drive, const uint32_t partition_start[PARTITION_ENTRIES], uint8_t speed) {
    return format_card(default_card(), default_copy_job(), drive, partition_start, speed);
}

bool fresh_volume_layout(uint32_t disk_size, const uint32_t partition_start[PARTITION_ENTRIES], Superblock* sb,
                         std::vector<uint8_t>* map) {
    *sb = Superblock::layout_for(disk_size);
    sb->disk_size = disk_size;
    // Without one whole data cluster the cluster count would come from a negative
    // difference; such a drive holds no volume.
    if (uint64_t(disk_size) < uint64_t(sb->data_start) * SECTOR_BYTES + OBFS_CLUSTER_BYTES) return false;
    std::memcpy(sb->partition_start, partition_start, sizeof sb->partition_start);
    *map = build_fresh_map(*sb, partition_start);
    sb->map_crc = crc16(0, map->data(), map->size());
    return true;
}

FreshVolume::FreshVolume(cCard& card) : card_(card) {}

FreshVolume::~FreshVolume() = default;

bool FreshVolume::begin(uint8_t drive, const uint32_t partition_start[PARTITION_ENTRIES]) {
    cDisk& disk = card_.disk();
    if (drive == 0) {
        std::printf("invalid drive number.\n");
        return false;
    }
    // Whatever the volume object holds in memory describes a card as it was; the drive
    // is about to be reopened, and nothing may write those tables to it.
    card_.volume().mounted = 0;
    if (!disk.open(drive)) {
        std::printf("Initialize disk fail\n");
        return false;
    }
    Superblock sb;
    std::vector<uint8_t> map;
    if (!fresh_volume_layout(disk.get_size(), partition_start, &sb, &map)) {
        std::printf("disk too small for a volume.\n");
        return false;
    }
    uint8_t superblock[SECTOR_BYTES] = {};
    sb.encode(superblock);
    seal_superblock_header(superblock);

    // Order on the card: no volume (flushed); then map, name-hash table, directory and
    // whatever the caller puts on the volume; then, once all of that is on the medium,
    // the superblock. A cut anywhere leaves either no volume or the whole new one, so
    // the writes in between need no flushes among themselves.
    old_volume_gone_ = true;
    if (!retire_old_superblock(disk)) {
        std::printf("fail to write the volume tables.\n");
        return false;
    }
    deferred_.emplace(disk);
    if (!write_tables(disk, sb, map)) {
        std::printf("fail to write the volume tables.\n");
        return false;
    }
    if (!write_empty_directory(disk, sb.dir_start)) return false;
    card_.volume().adopt_new(drive, superblock, map);  // takes on the partition table too
    return true;
}

bool FreshVolume::seal() {
    if (!deferred_ || !card_.volume().mounted) return false;
    if (seal_volume(card_, *deferred_)) return true;
    std::printf("fail to write the volume tables.\n");
    return false;
}

bool format_card(cCard& card, const CopyJob& job, uint8_t drive, const uint32_t partition_start[PARTITION_ENTRIES],
                 uint8_t speed) {
    FreshVolume fresh(card);
    if (!fresh.begin(drive, partition_start)) return false;
    const MaintMessage* failure = fill_new_volume(card, job, drive, speed);
    // A volume whose menu program or side file failed is still sealed: the card then
    // holds an empty (or partly filled) volume, and the message says what is missing.
    if (!fresh.seal()) {
        if (failure) show_maint_message(*failure);
        return false;
    }
    if (failure) {
        show_maint_message(*failure);
        return false;
    }
    return true;
}
