#include "obfs/obfs.h"

#include "device/sector_io.h"

#include <algorithm>
#include <cstring>
#include <new>

uint32_t current_partition_table[PARTITION_ENTRIES] = {};

cOBFS& volume() {
    static cOBFS the_volume;
    return the_volume;
}

// The largest cluster map a volume can need: one byte per 128 KiB of 2 GiB.
constexpr uint32_t MAX_MAP_BYTES = MAX_DISK_SIZE >> OBFS_CLUSTER_SHIFT;

const char* superblock_layout_problem(const Superblock& sb, uint32_t drive_size) {
    if (sb.cluster_sectors != OBFS_CLUSTER_SECTORS) return "cluster size is not 256 sectors";
    if (sb.hash_bytes != OBFS_HASH_BYTES) return "name-hash table is not 4096 bytes";
    if (sb.dir_count != OBFS_DIR_COUNT) return "directory is not 1024 sectors";
    if (sb.map_bytes == 0 || sb.map_bytes % 512 != 0 || sb.map_bytes > MAX_MAP_BYTES)
        return "cluster map size is not a whole number of sectors within 16384 bytes";
    if (sb.disk_size > drive_size) return "volume is larger than the drive";
    // Areas in order, none overlapping another or the menu program area, all reachable.
    const uint64_t map_end = uint64_t(sb.map_start) + sb.map_bytes / 512;
    if (sb.map_start < OBFS_MAP_START || sb.hash_start < map_end ||
        sb.dir_start < uint64_t(sb.hash_start) + OBFS_HASH_BYTES / 512 ||
        sb.data_start < uint64_t(sb.dir_start) + OBFS_DIR_COUNT)
        return "volume areas are out of order or overlap";
    if (uint64_t(sb.data_start) * 512 + OBFS_CLUSTER_BYTES > sb.disk_size)
        return "volume has no room for a data cluster";
    if (sb.map_bytes < sb.cluster_count()) return "cluster map is smaller than the data area";
    return nullptr;
}

void cOBFS::adopt_new(uint8_t drive, const uint8_t new_superblock[512], std::vector<uint8_t> map) {
    std::memcpy(superblock, new_superblock, sizeof superblock);
    std::memcpy(current_partition_table, header().partition_start, sizeof current_partition_table);
    cluster_map = std::move(map);
    hash_table.assign(OBFS_DIR_COUNT, 0);
    drive_ = drive;
    mounted = 1;
    superblock_held_ = true;
    forget_card_copy();  // a new volume: its first flush writes the tables whole
}

void cOBFS::forget_card_copy() {
    card_map_.clear();
    card_hash_.clear();
    card_superblock_.clear();
}

bool cOBFS::mount(uint8_t drive) {
    mounted = 0;
    drive_ = 255;
    superblock_held_ = false;
    forget_card_copy();
    if (!disk_open(drive)) return false;
    // One sector, past the read window: a window at sector 0 would hold the menu
    // program area, which no volume operation reads, and cost a card a 128 KiB read.
    if (!disk_read_sectors(0, 1, superblock)) return false;
    if (!superblock_header_valid(superblock)) return false;
    // A superblock that checks out but describes a layout this system cannot handle
    // safely (hostile or foreign card) is treated like no volume at all.
    const Superblock sb = header();
    if (superblock_layout_problem(sb, disk_get_size())) return false;
    std::memcpy(current_partition_table, sb.partition_start, sizeof current_partition_table);
    try {
        cluster_map.assign(sb.map_bytes, 0);
        hash_table.assign(OBFS_DIR_COUNT, 0);
    } catch (const std::bad_alloc&) {
        cluster_map.clear();
        hash_table.clear();
        return false;
    }
    drive_ = drive;
    mounted = 1;
    mounted = load_tables() ? 1 : 0;
    if (mounted) {
        card_superblock_.assign(superblock, superblock + sizeof superblock);
        card_map_ = cluster_map;
        card_hash_.resize(OBFS_HASH_BYTES);
        for (uint32_t i = 0; i < OBFS_DIR_COUNT; ++i) put_le32(card_hash_.data() + 4 * i, hash_table[i]);
    }
    return mounted == 1;
}

bool cOBFS::tables_as_on_card() const {
    if (card_superblock_.size() != sizeof superblock || card_map_ != cluster_map ||
        card_hash_.size() != hash_table.size() * 4)
        return false;
    if (std::memcmp(card_superblock_.data(), superblock, sizeof superblock) != 0) return false;
    for (size_t i = 0; i < hash_table.size(); ++i)
        if (get_le32(card_hash_.data() + 4 * i) != hash_table[i]) return false;
    return true;
}

bool cOBFS::mount_kept(uint8_t drive) {
    // The tables in memory must be what this volume last read from or wrote to the
    // card: a change that never reached it (a failed write) rules the shortcut out.
    if (mounted && drive_ == drive && !superblock_held_ && tables_as_on_card()) {
        uint8_t now[512];
        // Past the read window: its copy of sector 0 could be older than the card's.
        if (disk_read_sectors(0, 1, now) && std::memcmp(now, superblock, sizeof now) == 0) return true;
    }
    return mount(drive);
}

bool cOBFS::load_tables() {
    if (!mounted) return false;
    const Superblock sb = header();
    uint8_t sector[512];
    for (uint32_t o = 0; o < sb.map_bytes; o += 512) {
        if (!disk_read_sector(sb.map_start + o / 512, sector)) return false;
        std::memcpy(cluster_map.data() + o, sector, std::min<uint32_t>(512, sb.map_bytes - o));
    }
    for (uint32_t o = 0; o < sb.hash_bytes; o += 512) {
        if (!disk_read_sector(sb.hash_start + o / 512, sector)) return false;
        for (uint32_t i = 0; i < 128; ++i) hash_table[o / 4 + i] = get_le32(sector + 4 * i);
    }
    return true;
}

namespace {

// Writes whole sectors from `start`, at most 256 sectors per call.
bool write_area(uint32_t start, const uint8_t* bytes, uint32_t sectors) {
    for (uint32_t done = 0; done < sectors;) {
        uint32_t n = std::min<uint32_t>(256, sectors - done);
        if (!disk_write_sectors(start + done, uint8_t(n == 256 ? 0 : n), bytes + size_t(done) * 512))
            return false;
        done += n;
    }
    return true;
}

// Changed sectors this close together go in one write: rewriting the unchanged sectors
// between them costs a card less than a second write that does not follow on from the
// first (about 2 ms on a slow card, against 0.8 ms for 16 KiB at 20 MB/s).
constexpr uint32_t JOINED_GAP_SECTORS = 32;

// Sectors [first, end) of a table.
struct SectorSpan {
    uint32_t first = 0, end = 0;
};

bool sector_differs(const uint8_t* a, const uint8_t* b, uint32_t i) {
    return std::memcmp(a + size_t(i) * 512, b + size_t(i) * 512, 512) != 0;
}

// The writes that bring a table of `sectors` sectors from `on_card` to `now`: its
// changed sectors, neighbours joined across short gaps. With nothing known of the
// card's copy (empty `on_card`), the whole table.
std::vector<SectorSpan> changed_spans(const uint8_t* now, const std::vector<uint8_t>& on_card, uint32_t sectors) {
    if (on_card.size() != size_t(sectors) * 512) return {{0, sectors}};
    std::vector<SectorSpan> spans;
    for (uint32_t i = 0; i < sectors; ++i) {
        if (!sector_differs(now, on_card.data(), i)) continue;
        if (!spans.empty() && i - spans.back().end <= JOINED_GAP_SECTORS)
            spans.back().end = i + 1;
        else
            spans.push_back({i, i + 1});
    }
    return spans;
}

// Writes the spans of a table and keeps `on_card`, the card's copy of it, up to date.
bool write_table(uint32_t start, const uint8_t* bytes, const std::vector<SectorSpan>& spans, uint32_t sectors,
                 std::vector<uint8_t>& on_card) {
    if (on_card.size() != size_t(sectors) * 512) on_card.clear();
    for (const SectorSpan& span : spans) {
        if (!write_area(start + span.first, bytes + size_t(span.first) * 512, span.end - span.first)) {
            on_card.clear();  // part of the write may have landed
            return false;
        }
        if (!on_card.empty())
            std::memcpy(on_card.data() + size_t(span.first) * 512, bytes + size_t(span.first) * 512,
                        size_t(span.end - span.first) * 512);
    }
    if (on_card.empty()) on_card.assign(bytes, bytes + size_t(sectors) * 512);
    return true;
}

// The map's last span and the hash table's first, which meet at the tables' boundary,
// in one write starting at `map_start`; the card's copies of both follow.
bool write_joined(uint32_t map_start, const uint8_t* map, SectorSpan m, std::vector<uint8_t>& card_map,
                  const uint8_t* hash, SectorSpan h, std::vector<uint8_t>& card_hash) {
    std::vector<uint8_t> both(map + size_t(m.first) * 512, map + size_t(m.end) * 512);
    both.insert(both.end(), hash, hash + size_t(h.end) * 512);
    if (!write_area(map_start + m.first, both.data(), m.end - m.first + h.end)) {
        card_map.clear();  // part of the write may have landed
        card_hash.clear();
        return false;
    }
    if (card_map.size() >= size_t(m.end) * 512)
        std::memcpy(card_map.data() + size_t(m.first) * 512, both.data(), size_t(m.end - m.first) * 512);
    if (card_hash.size() >= size_t(h.end) * 512)
        std::memcpy(card_hash.data(), both.data() + size_t(m.end - m.first) * 512, size_t(h.end) * 512);
    return true;
}

}  // namespace

bool cOBFS::flush() { return write_changes(MapOrder::BeforeHash, true); }

bool cOBFS::write_tables(bool with_superblock) { return write_changes(MapOrder::WithHash, with_superblock); }

bool cOBFS::write_changes(MapOrder order, bool with_superblock) {
    if (!mounted) return false;
    const Superblock sb = header();
    const uint32_t map_sectors = sb.map_bytes / 512, hash_sectors = sb.hash_bytes / 512;
    std::vector<uint8_t> hash_bytes(OBFS_HASH_BYTES);
    for (uint32_t i = 0; i < OBFS_DIR_COUNT; ++i) put_le32(hash_bytes.data() + 4 * i, hash_table[i]);
    std::vector<SectorSpan> map_spans = changed_spans(cluster_map.data(), card_map_, map_sectors);
    std::vector<SectorSpan> hash_spans = changed_spans(hash_bytes.data(), card_hash_, hash_sectors);
    // The hash table lies right behind the map: when the last map write ends a short way
    // before the table's end and the first hash write starts a short way in, both reach
    // the boundary, and the hash write follows on from the map's.
    if (!map_spans.empty() && !hash_spans.empty() && sb.hash_start == sb.map_start + map_sectors &&
        (map_sectors - map_spans.back().end) + hash_spans.front().first <= JOINED_GAP_SECTORS) {
        map_spans.back().end = map_sectors;
        hash_spans.front().first = 0;
    }
    const bool joined = !map_spans.empty() && !hash_spans.empty() && map_spans.back().end == map_sectors &&
                        hash_spans.front().first == 0 && sb.hash_start == sb.map_start + map_sectors;
    if (order == MapOrder::WithHash && joined) {
        // Nothing to order between them: the joined spans go out in one command.
        if (!write_joined(sb.map_start, cluster_map.data(), map_spans.back(), card_map_, hash_bytes.data(),
                          hash_spans.front(), card_hash_))
            return false;
        map_spans.pop_back();
        hash_spans.erase(hash_spans.begin());
    }
    if (!write_table(sb.map_start, cluster_map.data(), map_spans, map_sectors, card_map_)) return false;
    // The map reaches the medium before the hash table: a hash entry is what makes a
    // slot a file, and a new file's clusters must be marked by then, or a cut between
    // the two (or a drive that reorders them) would show a file whose clusters are free.
    // Callers count on this drive flush for their own next write too (an entry that
    // names the clusters just marked).
    if (order == MapOrder::BeforeHash && !disk_flush()) return false;
    if (!write_table(sb.hash_start, hash_bytes.data(), hash_spans, hash_sectors, card_hash_)) return false;
    put_le16(superblock + SB_MAP_CRC, crc16(0, cluster_map.data(), sb.map_bytes));
    // The header CRC covers the map CRC at 0x60, so it is computed second.
    seal_superblock_header(superblock);
    if (superblock_held_ || !with_superblock) return true;
    // A superblock the card already holds (the map, and so its CRC, did not change).
    if (card_superblock_.size() == sizeof superblock &&
        std::memcmp(card_superblock_.data(), superblock, sizeof superblock) == 0)
        return true;
    card_superblock_.clear();
    if (!disk_write_sectors(0, 1, superblock)) return false;
    card_superblock_.assign(superblock, superblock + sizeof superblock);
    return true;
}

uint32_t cOBFS::cluster_to_sector(uint32_t c) const { return c * cluster_sectors() + data_start(); }

uint32_t cOBFS::cluster_count() const {
    return (get_le32(superblock + SB_DISK_SIZE) - data_start() * 512u) >> OBFS_CLUSTER_SHIFT;
}

uint32_t cOBFS::cluster_sectors() const { return get_le32(superblock + SB_CLUSTER_SECTORS); }
uint32_t cOBFS::dir_start() const { return get_le32(superblock + SB_DIR_START); }
uint32_t cOBFS::data_start() const { return get_le32(superblock + SB_DATA_START); }
uint32_t cOBFS::map_bytes() const { return get_le32(superblock + SB_MAP_BYTES); }
