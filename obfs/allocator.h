// Cluster allocation on the in-memory cluster map of the mounted volume. Every file
// is one contiguous run; a new file claims the first cluster of the lowest run that
// fits and grows into the following free clusters one at a time.
#pragma once

class cCard;

#include <cstdint>
#include <vector>

constexpr uint8_t MAP_FREE = 0x00;
constexpr uint8_t MAP_FIRST = 0xAC;
constexpr uint8_t MAP_NEXT = 0x02;
constexpr uint8_t MAP_FENCE = 0x80;
constexpr uint8_t MAP_BEYOND = 0xFF;

constexpr uint32_t NO_RUN = 0xFFFFFFFFu;  // the "-1" of the cluster routines

uint32_t find_free_run(cCard& card, uint32_t bytes);
uint32_t find_free_run(uint32_t bytes);
// Clusters that may belong to a file: data clusters (below cluster_count) that the
// mounted map describes. 0 when no volume is mounted.
uint32_t allocatable_clusters(cCard& card);
uint32_t allocatable_clusters();
uint32_t claim_cluster(cCard& card, uint32_t c);
uint32_t claim_cluster(uint32_t c);
uint32_t extend_cluster(cCard& card, uint32_t c);
uint32_t extend_cluster(uint32_t c);
bool release_run(cCard& card, uint32_t first, uint32_t last);
bool release_run(uint32_t first, uint32_t last);

// The in-memory halves of find_free_run and release_run, on any copy of a cluster map:
// a stream open uses them to ask "would the run fit once the old one is released?"
// before it changes anything.
uint32_t first_fit_run(const std::vector<uint8_t>& map, uint32_t cluster_count,
                       uint32_t cluster_bytes, uint32_t bytes);
bool clear_run(std::vector<uint8_t>& map, uint32_t first, uint32_t last);
// first_fit_run, and the run it found marked taken in `map` (first cluster 0xAC, the
// others 0x02) as a stream writing `bytes` would leave it: for planning where several
// files will go before any of them is written. NO_RUN (map unchanged) when none fits.
uint32_t take_first_fit(std::vector<uint8_t>& map, uint32_t cluster_count, uint32_t cluster_bytes, uint32_t bytes);

// Releasing a file's run without harming other files. On a damaged card a file's run
// may overlap another file's, or the clusters after it may be another file's whose
// first cluster lost its 0xAC: `keep` marks the clusters that other files' entries name
// (see clusters_of_other_files in directory.h); they stay as they are, and the scan
// for grown clusters behind the run ends at the first of them.
bool clear_run_keeping(std::vector<uint8_t>& map, uint32_t first, uint32_t last, const std::vector<bool>& keep);
bool release_run_keeping(cCard& card, uint32_t first, uint32_t last, const std::vector<bool>& keep);
bool release_run_keeping(uint32_t first, uint32_t last, const std::vector<bool>& keep);
