// The OBFS volume: the process-wide object that mounts a card's volume, keeps its
// cluster map and name-hash table in memory, and writes them back with fresh
// checksums after every change.
#pragma once

#include "obfs/superblock.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Partition starts of the mounted (or being formatted) card; read only by partition_of.
extern uint32_t current_partition_table[PARTITION_ENTRIES];

class cOBFS {
public:
    uint8_t mounted = 0;
    uint8_t superblock[512] = {};
    std::vector<uint32_t> hash_table;  // 1024 entries while mounted
    std::vector<uint8_t> cluster_map;  // map_bytes entries while mounted

    bool mount(uint8_t drive);
    // The mount of a copy that follows another on the same drive within one batch: when
    // this volume is mounted on `drive` and sector 0 still reads as the superblock it
    // last read or wrote (every change of the tables rewrites it, the map's checksum
    // with it), the tables in memory are still the card's, and one sector read replaces
    // a whole mount. Anything else (another card, a changed one, a failed read) mounts
    // afresh.
    bool mount_kept(uint8_t drive);
    // Takes on a volume being built on the open drive (a format) from its tables in
    // memory: an empty name-hash table and `map`. Until release_superblock(), flush()
    // keeps the superblock in memory (with fresh checksums) and off the card, where
    // it would make a half-built volume mountable.
    void adopt_new(uint8_t drive, const uint8_t new_superblock[512], std::vector<uint8_t> map);
    void release_superblock() { superblock_held_ = false; }
    bool load_tables();
    // Writes the sectors of the map, the name-hash table and the superblock that differ
    // from the card's, with fresh checksums, and a drive flush after the map: the map
    // is on the medium before the hash table and before whatever the caller writes
    // next.
    bool flush();
    // The same without any drive flush, the hash sectors following on from the map's:
    // for a caller whose hash change makes nothing visible by itself (a slot whose entry
    // on the card has no name) and who orders the writes against its own. Without
    // `with_superblock` the superblock (its map CRC) stays in memory for a later write.
    bool write_tables(bool with_superblock);
    uint32_t cluster_to_sector(uint32_t c) const;
    uint32_t cluster_count() const;

    // Decoded superblock fields of the mounted volume.
    Superblock header() const { return Superblock::decode(superblock); }
    uint32_t cluster_sectors() const;
    uint32_t dir_start() const;
    uint32_t data_start() const;
    uint32_t map_bytes() const;
    uint8_t drive() const { return drive_; }

private:
    enum class MapOrder { BeforeHash, WithHash };
    bool write_changes(MapOrder order, bool with_superblock);
    void forget_card_copy();
    bool tables_as_on_card() const;

    uint8_t drive_ = 255;
    bool superblock_held_ = false;
    // What the card holds in the table areas and sector 0, as last read or written: a
    // flush writes only the sectors that differ. Empty after a failed write (the card
    // may then hold anything there), and a flush writes them whole again.
    std::vector<uint8_t> card_map_, card_hash_, card_superblock_;
};

// The one volume of the process, created on first use.
cOBFS& volume();

// Why a superblock that passed magic and header CRC cannot be used safely by this
// system (nullptr when it can): layout limits checked at mount and by the card check.
const char* superblock_layout_problem(const Superblock& sb, uint32_t drive_size);
