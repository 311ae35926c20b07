// Whether a superblock describes the volume the formatter would have written for its
// disk_size. The header CRC only says that sector 0 is intact as written; a card laid
// out by anything else (a shifted data area, a map of another size, a partition list
// out of order) would make every reader find the wrong sectors, and a repair move
// fences or files after a table it cannot trust.
#pragma once

#include "obfs/superblock.h"

#include <string>
#include <vector>

// One line per field where `sb` departs from Superblock::layout_for(sb.disk_size):
// cluster size and the start and size of map, name-hash table, directory and data area.
// Empty when the layout is the formatter's.
std::vector<std::string> layout_departures(const Superblock& sb);

// One line per entry that breaks the form of a partition list: entry 0 is 0, further
// starts ascend, the first 0xFFFFFFFF ends the list and fills the rest.
std::vector<std::string> partition_list_departures(const uint32_t table[PARTITION_ENTRIES]);
