// The kind of bytes at each place of a volume, for the card model's counts: the
// superblock, the menu program area, the cluster map, the name-hash table, the
// directory and the data area, as the superblock lays them out.
#pragma once

#include "testing/card_model.h"
#include "obfs/superblock.h"

#include <vector>

std::vector<drive_layer::CardArea> volume_areas(const Superblock& sb);
