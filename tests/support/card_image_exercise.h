// Feeds one card image, in a compact form that fuzzers can mutate, to everything that
// reads cards: mount, enumeration, the card contents rows, reading every file, and the
// card check with repair followed by a second check; then, on a fresh copy of the same
// image, to what writes cards: a file rewritten, one deleted, one appended to, a new one
// created, and the check again.
//
// Compact image: u32 drive capacity (little-endian, clamped to 1..64 MiB), then any
// number of records of u32 sector number + 512 sector bytes. Sectors not given are 0.
// Bit 31 of the capacity word asks for the superblock's header CRC to be made to
// match, so that mutated layout fields get past the CRC and reach the layout checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

void exercise_card_image(const uint8_t* data, size_t size);

// Builds the compact form of the sectors of a fake drive that are not all zero
// (for seed corpora).
std::vector<uint8_t> compact_image(uint64_t capacity, const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& sectors);
