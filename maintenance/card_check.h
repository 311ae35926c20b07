// The card check: examines an OBFS volume and reports each problem in one line, and
// in repair mode mends what can be mended without touching any file's bytes.
//
// What an interrupted write leaves behind (the card pulled out or the power lost
// mid-copy or mid-delete) counts as harmless: clusters marked as used that no file
// owns, a map CRC that the tables' last write did not reach, and a directory slot
// whose entry and hash entry disagree about being used (a named entry without its
// hash, or a hash on an empty entry). None of these can hide or overwrite a file.
// Everything else counts as serious.
//
// What repair does:
// - clusters marked as used that no file owns (orphans) are freed;
// - a file's run that the map does not show as used is marked (first 0xAC, then 0x02),
//   so the clusters of a committed file can never be handed to another file;
// - hash entries are made to match the names (set for a named slot, cleared for an
//   empty one); an entry without its hash (a create that was cut off) is removed;
// - a file size larger than its run is cut to the run; a file without clusters gets
//   size 0;
// - a name without terminator (all 260 bytes used) is cut to its first 259 bytes, so
//   the file can be found, copied and deleted again; when that name is taken it gets
//   the form below; the change is reported in its own line;
// - map entries with codes no volume uses, and file codes beyond the data area, are
//   reset; missing fences on free clusters are put back, fences where the partition
//   starts put none are freed;
// - of two files with the same name the lower slot's file is the one every lookup
//   finds; repair keeps it and gives the higher slot's file a new name ("name (2).ext"),
//   reported in its own line;
// - the map and superblock CRCs are written fresh.
// Overlapping runs, runs outside the data area and fences inside a run are reported but
// left alone: mending them would mean choosing which file's bytes are right.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CardCheckReport {
    bool volume_found = false;       // the superblock is a usable OBFS superblock
    std::vector<std::string> problems;   // one line per problem found
    std::vector<std::string> repairs;    // one line per change made (repair mode)
    unsigned orphan_clusters = 0;        // used clusters that no file owns
    unsigned leftover_slots = 0;         // slots whose entry and hash entry disagree
    unsigned serious = 0;                // problems other than the harmless ones above
    bool clean() const { return volume_found && problems.empty(); }
};

// Checks the volume on `drive`; with `repair` mends what it can and writes it back.
// The volume is left mounted on the drive when it mounts.
CardCheckReport check_card(uint8_t drive, bool repair);
