#include "obfs/partition_fences.h"

uint8_t partition_index(const uint32_t table[PARTITION_ENTRIES], uint32_t byte_address) {
    uint8_t count = 0;
    for (uint32_t i = 1; i < PARTITION_ENTRIES; ++i) {
        if (table[i] == 0xFFFFFFFFu || table[i] > byte_address) break;
        ++count;
    }
    return count;
}

std::vector<bool> fence_clusters(const uint32_t table[PARTITION_ENTRIES], uint32_t data_start,
                                 uint32_t cluster_count) {
    std::vector<bool> fence(cluster_count, false);
    auto first_byte = [&](uint32_t i) { return (data_start + OBFS_CLUSTER_SECTORS * i) * 512u; };
    for (uint32_t i = 1; i < cluster_count; ++i)
        if (partition_index(table, first_byte(i)) != partition_index(table, first_byte(i - 1))) fence[i - 1] = true;
    return fence;
}
