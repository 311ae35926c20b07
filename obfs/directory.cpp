// The flat directory: lookups through the in-memory name-hash table, enumeration in
// slot order, creation in the lowest free slot and deletion.
#include "obfs/directory.h"

#include "device/sector_io.h"
#include "obfs/card_name.h"
#include "obfs/allocator.h"
#include "obfs/card.h"
#include "obfs/obfs.h"

#include <cstring>

namespace {

constexpr int NO_SLOT = -1;

// A stored name matches when its bytes up to the first 0 equal the name exactly.
bool entry_matches(const DirSector& entry, const std::string& name) {
    return std::memcmp(entry.data() + DE_NAME, name.data(), name.size()) == 0 &&
           entry[DE_NAME + name.size()] == 0;
}

// A name that could be stored in an entry: 1..259 bytes without a 0 byte in them.
bool storable(const std::string& name) {
    return !name.empty() && name.size() <= MAX_NAME_BYTES && name.find('\0') == std::string::npos;
}

// The slot of `name`, its entry sector in `entry`; NO_SLOT when the volume is not
// mounted, the name cannot be stored, a directory sector cannot be read or nothing
// matches. Only the slots whose hash equals the name's are read.
int lookup_slot(cCard& card, const std::string& name, DirSector& entry) {
    const cOBFS& vol = card.volume();
    if (!vol.mounted || !storable(name)) return NO_SLOT;
    const uint32_t h = name_hash(name);
    if (h == 0) return NO_SLOT;  // 0 marks a free slot: such a name is never stored
    for (uint32_t i = 0; i < DIR_SLOTS; ++i) {
        if (vol.hash_table[i] != h) continue;
        if (!card.disk().read_sector(vol.dir_start() + i, entry.data())) return NO_SLOT;
        if (entry[DE_NAME] != 0 && entry_matches(entry, name)) return int(i);
    }
    return NO_SLOT;
}

}  // namespace

uint32_t name_hash(const uint8_t* bytes, size_t length) {
    const uint32_t len = uint32_t(length);
    uint32_t h = len;
    const uint32_t step = (len >> 5) + 1;
    for (uint32_t i = len; i >= step; i -= step) h ^= (h << 5) + (h >> 2) + bytes[i - 1];
    return h;
}

uint32_t name_hash(const std::string& name) {
    return name_hash(reinterpret_cast<const uint8_t*>(name.data()), name.size());
}

bool valid_new_name(const std::string& name) { return card_name_problem(name) == nullptr; }

uint32_t find_file_entry(cCard& card, const std::string& name, DirSector& entry) {
    const int slot = lookup_slot(card, name, entry);
    if (slot == NO_SLOT) {
        entry.fill(0);
        return NO_SECTOR;
    }
    return card.volume().dir_start() + uint32_t(slot);
}

DirSector find_file(cCard& card, const std::string& name) {
    DirSector entry{};
    find_file_entry(card, name, entry);
    return entry;
}

bool file_exists(cCard& card, const std::string& name) { return find_file(card, name)[DE_NAME] != 0; }

uint32_t find_file_sector(cCard& card, const std::string& name) {
    DirSector entry{};
    return find_file_entry(card, name, entry);
}

int find_next(cCard& card, int slot, AF_FIND_DATA_T& out) {
    const cOBFS& vol = card.volume();
    if (!vol.mounted || slot < 0 || uint32_t(slot) >= DIR_SLOTS) return -1;
    DirSector entry{};
    for (uint32_t i = uint32_t(slot); i < DIR_SLOTS; ++i) {
        if (vol.hash_table[i] == 0) continue;
        if (!card.disk().read_sector(vol.dir_start() + i, entry.data())) return -1;
        if (entry[DE_NAME] == 0) continue;
        std::memcpy(out.name, entry.data() + DE_NAME, NAME_FIELD_BYTES);
        // A well-formed entry ends its name within the field; a damaged one must not
        // hand callers an unterminated string.
        out.name[NAME_FIELD_BYTES - 1] = 0;
        out.attributes = get_le16(entry.data() + DE_ATTRIBUTES);
        out.size = get_le32(entry.data() + DE_SIZE);
        out.reserved[0] = out.reserved[1] = out.reserved[2] = 0;
        out.first_cluster = get_le32(entry.data() + DE_FIRST_CLUSTER);
        out.last_cluster = get_le32(entry.data() + DE_LAST_CLUSTER);
        return int(i);
    }
    return -1;
}

int find_first(cCard& card, AF_FIND_DATA_T& out) { return find_next(card, 0, out); }

uint32_t find_free_slot(cCard& card) {
    const cOBFS& vol = card.volume();
    if (!vol.mounted) return NO_SECTOR;
    for (uint32_t i = 0; i < DIR_SLOTS; ++i)
        if (vol.hash_table[i] == 0) return vol.dir_start() + i;
    return NO_SECTOR;
}

bool clusters_of_other_files(cCard& card, uint32_t except_sector, std::vector<bool>& named) {
    const cOBFS& vol = card.volume();
    named.assign(vol.cluster_map.size(), false);
    if (!vol.mounted) return false;
    DirSector entry{};
    for (uint32_t i = 0; i < DIR_SLOTS; ++i) {
        if (vol.hash_table[i] == 0 || vol.dir_start() + i == except_sector) continue;
        if (!card.disk().read_sector(vol.dir_start() + i, entry.data())) return false;
        if (entry[DE_NAME] == 0) continue;
        const uint32_t first = get_le32(entry.data() + DE_FIRST_CLUSTER);
        const uint32_t last = get_le32(entry.data() + DE_LAST_CLUSTER);
        for (size_t c = first; c <= last && c < named.size(); ++c) named[c] = true;
    }
    return true;
}

bool create_file(cCard& card, const std::string& name, uint32_t first_cluster) {
    cOBFS& vol = card.volume();
    if (!vol.mounted || !valid_new_name(name)) return false;
    if (first_cluster != NO_CLUSTER && first_cluster >= allocatable_clusters(card)) return false;

    DirSector entry{};
    std::memcpy(entry.data() + DE_NAME, name.data(), name.size());
    put_le16(entry.data() + DE_ATTRIBUTES, ATTR_ARCHIVE);
    put_le32(entry.data() + DE_FIRST_CLUSTER, first_cluster);
    put_le32(entry.data() + DE_LAST_CLUSTER, first_cluster);
    put_le32(entry.data() + DE_SIZE, 0);

    const uint32_t sector = find_free_slot(card);
    if (sector == NO_SECTOR) return false;
    const uint32_t slot = sector - vol.dir_start();
    vol.hash_table[slot] = name_hash(name);
    // The entry reaches the medium before the hash entry that makes the slot a file
    // (the flush below, like every flush, puts a drive flush between the map and the
    // hash table), so a cut in between leaves a named entry that nothing sees.
    if (!card.disk().write_sectors(sector, 1, entry.data())) {
        vol.hash_table[slot] = 0;  // the slot stays free: nothing reached the card
        return false;
    }
    if (first_cluster == NO_CLUSTER) return true;  // the hash reaches the card with the next flush

    const uint8_t map_before = vol.cluster_map[first_cluster];
    vol.cluster_map[first_cluster] = MAP_FIRST;
    if (vol.flush()) return true;
    // The tables did not reach the card: take the file out again, in memory and (as far
    // as the drive still lets us) on the card, so a failed create leaves no file behind.
    vol.cluster_map[first_cluster] = map_before;
    vol.hash_table[slot] = 0;
    entry[DE_NAME] = 0;
    card.disk().write_sectors(sector, 1, entry.data());
    vol.flush();
    return false;
}

bool delete_file(cCard& card, const std::string& name) {
    cOBFS& vol = card.volume();
    if (!vol.mounted || name.empty()) return false;
    DirSector entry{};
    const int slot = lookup_slot(card, name, entry);
    if (slot == NO_SLOT) return false;
    const uint32_t sector = vol.dir_start() + uint32_t(slot);
    // On a damaged card the run may overlap another file's: those clusters stay marked.
    std::vector<bool> others;
    if (!clusters_of_other_files(card, sector, others)) return false;
    const uint32_t saved_hash = vol.hash_table[slot];
    vol.hash_table[slot] = 0;
    // Only the first name byte is cleared; the rest of the entry stays on the card. The
    // entry goes first and reaches the medium before the map frees its clusters, so
    // no moment shows a file whose clusters are free.
    entry[DE_NAME] = 0;
    if (!card.disk().write_sectors(sector, 1, entry.data()) || !card.disk().flush()) {
        vol.hash_table[slot] = saved_hash;  // the file may still be on the card
        return false;
    }
    const uint32_t first = get_le32(entry.data() + DE_FIRST_CLUSTER);
    const uint32_t last = get_le32(entry.data() + DE_LAST_CLUSTER);
    // The release flushes the tables and the drive itself; a file without clusters (or
    // with a run outside the map) still needs its hash-table change written.
    if (first != NO_CLUSTER && release_run_keeping(card, first, last, others)) return true;
    return vol.flush() && card.disk().flush();
}

// The same on the default card.
DirSector find_file(const std::string& name) { return find_file(default_card(), name); }
uint32_t find_file_entry(const std::string& name, DirSector& entry) { return find_file_entry(default_card(), name, entry); }
bool file_exists(const std::string& name) { return file_exists(default_card(), name); }
uint32_t find_file_sector(const std::string& name) { return find_file_sector(default_card(), name); }
int find_first(AF_FIND_DATA_T& out) { return find_first(default_card(), out); }
int find_next(int slot, AF_FIND_DATA_T& out) { return find_next(default_card(), slot, out); }
uint32_t find_free_slot() { return find_free_slot(default_card()); }
bool create_file(const std::string& name, uint32_t first_cluster) { return create_file(default_card(), name, first_cluster); }
bool delete_file(const std::string& name) { return delete_file(default_card(), name); }
bool clusters_of_other_files(uint32_t except_sector, std::vector<bool>& named) { return clusters_of_other_files(default_card(), except_sector, named); }
