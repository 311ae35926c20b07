// Compaction planning: which files move where so that the free clusters of each fence
// region become one run at the region's end. Pure: it works on a copy of the cluster
// map and the files' runs, and touches no card.
//
// Every move it plans is one a power cut cannot harm: a file goes to a run that is
// free at that point of the plan and does not overlap its own run, so its old bytes
// stay whole until its entry has switched. Files that sit where the packed layout
// wants them stay; the holes between them are filled exactly with files from further
// up; when no set of files fills a hole exactly, the smaller file beside it is moved
// out of the way too, so large files move only when nothing smaller will do. Several
// plans are weighed and the cheapest complete one wins: with and without a first step
// that puts the files that must leave the top straight into the holes they fit best,
// different sharings of the holes (some drawn at random from a fixed seed, so a card
// always gets the same plan), and sliding every file down in order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CompactFile {
    uint32_t slot = 0;       // directory slot
    std::string name;
    uint32_t first = 0;      // its run of clusters
    uint32_t last = 0;
    uint32_t size = 0;       // bytes
};

struct CompactMove {
    uint32_t slot = 0;
    std::string name;
    uint32_t from_first = 0, from_last = 0;
    uint32_t to_first = 0;   // the new run: to_first .. to_first + (from_last - from_first)
    uint32_t bytes = 0;      // bytes copied: the file's size in whole sectors
    bool detour = false;     // a stop out of another file's way, not the file's last place
    uint32_t to_last() const { return to_first + (from_last - from_first); }
};

struct CompactPlan {
    std::vector<CompactMove> moves;
    uint64_t bytes_moved = 0;
    // Whether the moves reach the packed layout; false when a region lacked the free
    // room to get a file out of another's way (the moves still help and are safe).
    bool complete = true;
    uint32_t free_runs_before = 0, free_runs_after = 0;
    uint32_t largest_free_before = 0, largest_free_after = 0;  // clusters
};

// `map` holds the cluster map; clusters coded as fences or beyond the data area (and
// every cluster from `cluster_count` on) are barriers that split the card into
// regions. A cluster that no file of `files` owns counts as free, whatever its code.
CompactPlan plan_compaction(const std::vector<uint8_t>& map, uint32_t cluster_count,
                            const std::vector<CompactFile>& files);

// The reference the plan is measured by: the bytes that sliding every file down, in
// order of position, to the start of its region would copy if a file could be
// written over its own run (one copy per file that changes place).
uint64_t slide_down_bytes(const std::vector<uint8_t>& map, uint32_t cluster_count,
                          const std::vector<CompactFile>& files);
// The same slide done safely: a file whose new place overlaps its old one goes by way
// of free room elsewhere (two copies). Incomplete where that room is lacking.
CompactPlan safe_slide_down_plan(const std::vector<uint8_t>& map, uint32_t cluster_count,
                                 const std::vector<CompactFile>& files);

// The bytes a move of `file` copies: its size rounded up to whole sectors, at most
// its run.
uint32_t compact_copy_bytes(const CompactFile& file);
