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
// A volume is examined only when its superblock is the one the formatter would write
// for its disk_size (cluster size, every area's start and size) with a partition list
// in form (0 first, ascending, 0xFFFFFFFF to the end). Otherwise the departures are
// reported and nothing else is looked at or changed: files would be read from the
// wrong sectors, and fences set after a damaged list would be wrong.
//
// What repair does:
// - clusters marked as used that no file owns (orphans) are freed;
// - a file's run that the map does not show as used is marked (first 0xAC, then 0x02),
//   so the clusters of a committed file can never be handed to another file;
// - hash entries are made to match the names (set for a named slot, cleared for an
//   empty one); an entry without its hash (a create that was cut off) is removed;
// - a name keeps reaching the file it reached before: when several slots carry one
//   name, the one a lookup finds (the lowest whose hash entry is the name's) keeps it;
//   when none is found, the first whose run the map confirms, else the lowest; every
//   other slot gets a new name ("name (2).ext"), reported with the slot that kept it;
// - a file size larger than its run is cut to the run; a file without clusters gets
//   size 0;
// - a name without terminator (all 260 bytes used) is cut to its first 259 bytes, so
//   the file can be found, copied and deleted again; when that name is taken it gets
//   the form above; the change is reported in its own line;
// - map entries with codes no volume uses, and file codes beyond the data area, are
//   reset; missing fences on free clusters are put back, fences where the partition
//   starts put none are freed;
// - the map and superblock CRCs are written fresh.
// Names in report lines are quoted and escaped (common/printable_name.h).
// Overlapping runs, runs outside the data area and fences inside a run are reported but
// left alone: mending them would mean choosing which file's bytes are right.
#pragma once

class cCard;

#include <cstdint>
#include <string>
#include <vector>

// One problem as a record, for scripts (obtool check --json): what kind it is, the
// directory slot and card name it concerns, and what repair does about it.
struct CheckProblem {
    const char* kind = "";         // a stable key, e.g. "orphan_clusters" (see the man page)
    int slot = -1;                 // the directory slot, -1 when the problem is not one slot's
    std::string name;              // that slot's card name as stored, "" when none
    const char* repair = nullptr;  // what repair does, null when it leaves the problem alone
};

struct CardCheckReport {
    bool volume_found = false;       // a volume the check could examine
    bool layout_departs = false;     // the superblock is intact but not laid out as the
                                     // formatter lays it out: reported, nothing examined
    std::vector<std::string> problems;   // one line per problem found
    std::vector<CheckProblem> records;   // the same problems as records, in the same order
    std::vector<std::string> repairs;    // one line per change made (repair mode)
    unsigned orphan_clusters = 0;        // used clusters that no file owns
    unsigned leftover_slots = 0;         // slots whose entry and hash entry disagree
    unsigned serious = 0;                // problems other than the harmless ones above
    bool clean() const { return volume_found && problems.empty(); }
};

// Checks the volume on `drive`; with `repair` mends what it can and writes it back.
// The volume is left mounted on the drive when it mounts.
CardCheckReport check_card(cCard& card, uint8_t drive, bool repair);
// The same on the default card.
CardCheckReport check_card(uint8_t drive, bool repair);
