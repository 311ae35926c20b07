// The card check: examines an OBFS volume and reports each problem in one line, and
// in repair mode mends what can be mended without touching any file's bytes.
//
// What repair does:
// - clusters marked as used that no file owns (orphans, left by a write that was cut
//   off) are freed;
// - a file's run that the map does not show as used is marked (first 0xAC, then 0x02),
//   so the clusters of a committed file can never be handed to another file;
// - hash entries are made to match the names (set for a named slot, cleared for an
//   empty one); an entry without its hash (a create that was cut off) is removed;
// - a file size larger than its run is cut to the run; a file without clusters gets
//   size 0;
// - map entries with codes no volume uses, and file codes beyond the data area, are
//   reset; missing fences on free clusters are put back, fences where the partition
//   starts put none are freed;
// - of two files with the same name the lower slot's file is the one every lookup
//   finds; repair keeps it and gives the higher slot's file a new name ("name (2).ext"),
//   reported in its own line;
// - the map and superblock CRCs are written fresh.
// Overlapping runs, runs outside the data area, fences inside a run and names without
// a terminator are reported but left alone: mending them would mean choosing which
// file's bytes are right.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CardCheckReport {
    bool volume_found = false;       // the superblock is a usable OBFS superblock
    std::vector<std::string> problems;   // one line per problem found
    std::vector<std::string> repairs;    // one line per change made (repair mode)
    unsigned orphan_clusters = 0;        // used clusters that no file owns
    unsigned serious = 0;                // problems other than orphans and the map CRC
    bool clean() const { return volume_found && problems.empty(); }
};

// Checks the volume on `drive`; with `repair` mends what it can and writes it back.
// The volume is left mounted on the drive when it mounts.
CardCheckReport check_card(uint8_t drive, bool repair);
