// The superblock of an OBFS volume (sector 0), decoded from and encoded to its packed
// little-endian bytes field by field.
#pragma once

#include "common/byte_order.h"
#include "common/superblock_header.h"

#include <cstdint>

constexpr uint32_t SB_DISK_SIZE = 0x10;
constexpr uint32_t SB_CLUSTER_SECTORS = 0x14;
constexpr uint32_t SB_PARTITION_START = 0x18;
constexpr uint32_t SB_MAP_START = 0x58;
constexpr uint32_t SB_MAP_BYTES = 0x5C;
constexpr uint32_t SB_MAP_CRC = 0x60;
constexpr uint32_t SB_HASH_START = 0x62;
constexpr uint32_t SB_HASH_BYTES = 0x66;
constexpr uint32_t SB_DIR_START = 0x6A;
constexpr uint32_t SB_DIR_COUNT = 0x6E;
constexpr uint32_t SB_DATA_START = 0x72;

constexpr uint32_t OBFS_MENU_START = 1;        // menu program area: sectors 1..8192
constexpr uint32_t OBFS_MAP_START = 8193;
constexpr uint32_t OBFS_CLUSTER_SECTORS = 256;
constexpr uint32_t OBFS_CLUSTER_BYTES = 131072;
constexpr uint32_t OBFS_CLUSTER_SHIFT = 17;
constexpr uint32_t OBFS_HASH_BYTES = 4096;
constexpr uint32_t OBFS_DIR_COUNT = 1024;
constexpr uint32_t PARTITION_ENTRIES = 16;
constexpr uint32_t NO_CLUSTER = 0xFFFFFFFFu;

struct Superblock {
    char magic[4] = {'O', 'B', 'F', 'S'};
    uint32_t disk_size = 0;
    uint32_t cluster_sectors = OBFS_CLUSTER_SECTORS;
    uint32_t partition_start[PARTITION_ENTRIES] = {};
    uint32_t map_start = OBFS_MAP_START;
    uint32_t map_bytes = 0;
    uint16_t map_crc = 0;
    uint32_t hash_start = 0;
    uint32_t hash_bytes = OBFS_HASH_BYTES;
    uint32_t dir_start = 0;
    uint32_t dir_count = OBFS_DIR_COUNT;
    uint32_t data_start = 0;
    uint16_t header_crc = 0;

    static Superblock decode(const uint8_t sector[512]);
    // Writes the fields into `sector`; bytes not covered by a field are left alone.
    void encode(uint8_t sector[512]) const;
    // The layout a fresh volume of `disk_size` bytes gets: map right after the menu
    // program area, then hash table, directory and data area.
    static Superblock layout_for(uint32_t disk_size);
    // Number of data clusters: (disk_size - data_start * 512) >> 17, unsigned 32-bit.
    uint32_t cluster_count() const;
};
