#include "obfs/superblock.h"

#include <cstring>

Superblock Superblock::decode(const uint8_t s[512]) {
    Superblock sb;
    std::memcpy(sb.magic, s + SB_MAGIC, 4);
    sb.disk_size = get_le32(s + SB_DISK_SIZE);
    sb.cluster_sectors = get_le32(s + SB_CLUSTER_SECTORS);
    for (uint32_t i = 0; i < PARTITION_ENTRIES; ++i)
        sb.partition_start[i] = get_le32(s + SB_PARTITION_START + 4 * i);
    sb.map_start = get_le32(s + SB_MAP_START);
    sb.map_bytes = get_le32(s + SB_MAP_BYTES);
    sb.map_crc = get_le16(s + SB_MAP_CRC);
    sb.hash_start = get_le32(s + SB_HASH_START);
    sb.hash_bytes = get_le32(s + SB_HASH_BYTES);
    sb.dir_start = get_le32(s + SB_DIR_START);
    sb.dir_count = get_le32(s + SB_DIR_COUNT);
    sb.data_start = get_le32(s + SB_DATA_START);
    sb.header_crc = get_le16(s + SB_HEADER_CRC);
    return sb;
}

void Superblock::encode(uint8_t s[512]) const {
    std::memcpy(s + SB_MAGIC, magic, 4);
    put_le32(s + SB_DISK_SIZE, disk_size);
    put_le32(s + SB_CLUSTER_SECTORS, cluster_sectors);
    for (uint32_t i = 0; i < PARTITION_ENTRIES; ++i)
        put_le32(s + SB_PARTITION_START + 4 * i, partition_start[i]);
    put_le32(s + SB_MAP_START, map_start);
    put_le32(s + SB_MAP_BYTES, map_bytes);
    put_le16(s + SB_MAP_CRC, map_crc);
    put_le32(s + SB_HASH_START, hash_start);
    put_le32(s + SB_HASH_BYTES, hash_bytes);
    put_le32(s + SB_DIR_START, dir_start);
    put_le32(s + SB_DIR_COUNT, dir_count);
    put_le32(s + SB_DATA_START, data_start);
    put_le16(s + SB_HEADER_CRC, header_crc);
}

Superblock Superblock::layout_for(uint32_t disk_size) {
    Superblock sb;
    sb.disk_size = disk_size;
    // One map byte per 128 KiB of the whole drive (fixed areas included), in whole sectors.
    uint32_t entries = disk_size / OBFS_CLUSTER_BYTES;
    sb.map_bytes = (entries + 511) / 512 * 512;
    sb.map_start = OBFS_MAP_START;
    sb.hash_start = sb.map_start + sb.map_bytes / 512;
    sb.hash_bytes = OBFS_HASH_BYTES;
    sb.dir_start = sb.hash_start + OBFS_HASH_BYTES / 512;
    sb.dir_count = OBFS_DIR_COUNT;
    sb.data_start = sb.dir_start + OBFS_DIR_COUNT;
    return sb;
}

uint32_t Superblock::cluster_count() const {
    return (disk_size - data_start * 512u) >> OBFS_CLUSTER_SHIFT;
}
