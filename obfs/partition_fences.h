// Fences: the clusters in which the card's internal partitions change. A file that
// spanned a partition start would be slow or broken on the cart, so these clusters
// are never given to a file.
#pragma once

#include "obfs/superblock.h"

#include <cstdint>
#include <vector>

// Index of the partition holding `byte_address`: how many of entries 1..15 of `table`
// lie at or below it, counting up to the first 0xFFFFFFFF or larger entry.
uint8_t partition_index(const uint32_t table[PARTITION_ENTRIES], uint32_t byte_address);

// For each data cluster, whether it is a fence: cluster i-1 is one when clusters i-1
// and i begin in different partitions.
std::vector<bool> fence_clusters(const uint32_t table[PARTITION_ENTRIES], uint32_t data_start,
                                 uint32_t cluster_count);
