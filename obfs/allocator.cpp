// Cluster allocation: first fit over the in-memory cluster map, growth one cluster at
// a time, and release of a whole run.
#include "obfs/allocator.h"

#include "device/sector_io.h"
#include "obfs/card.h"
#include "obfs/obfs.h"

#include <algorithm>

uint32_t first_fit_run(const std::vector<uint8_t>& map, uint32_t cluster_count,
                       uint32_t cluster_bytes, uint32_t bytes) {
    const uint32_t clusters = uint32_t(std::min<size_t>(cluster_count, map.size()));
    uint32_t run_start = 0;
    uint64_t run_bytes = 0;
    bool in_run = false;
    for (uint32_t i = 0; i < clusters; ++i) {
        if (map[i] != MAP_FREE) {
            in_run = false;
            run_bytes = 0;
            continue;
        }
        if (!in_run) {
            in_run = true;
            run_start = i;
        }
        run_bytes += cluster_bytes;
        if (run_bytes >= bytes) return run_start;
    }
    return NO_RUN;
}

uint32_t take_first_fit(std::vector<uint8_t>& map, uint32_t cluster_count, uint32_t cluster_bytes, uint32_t bytes) {
    const uint32_t at = first_fit_run(map, cluster_count, cluster_bytes, bytes);
    if (at == NO_RUN) return NO_RUN;
    const uint32_t n = bytes == 0 ? 1 : uint32_t((uint64_t(bytes) + cluster_bytes - 1) / cluster_bytes);
    map[at] = MAP_FIRST;
    for (uint32_t c = at + 1; c < at + n; ++c) map[c] = MAP_NEXT;
    return at;
}

bool clear_run_keeping(std::vector<uint8_t>& map, uint32_t first, uint32_t last, const std::vector<bool>& keep) {
    const size_t map_bytes = map.size();
    if (first >= map_bytes || last < first || last >= map_bytes) return false;
    const auto kept = [&](size_t i) { return i < keep.size() && keep[i]; };
    for (size_t i = first; i <= last; ++i)
        if (!kept(i)) map[i] = MAP_FREE;
    // A stream that grew the file marked clusters beyond the entry's last cluster;
    // they end at the next file's first cluster or at a fence.
    for (size_t i = size_t(last) + 1; i < map_bytes; ++i) {
        if (map[i] == MAP_FIRST || map[i] == MAP_FENCE || kept(i)) break;
        map[i] = MAP_FREE;
    }
    return true;
}

bool clear_run(std::vector<uint8_t>& map, uint32_t first, uint32_t last) {
    return clear_run_keeping(map, first, last, {});
}

uint32_t find_free_run(cCard& card, uint32_t bytes) {
    const cOBFS& vol = card.volume();
    if (!vol.mounted) return NO_RUN;
    return first_fit_run(vol.cluster_map, vol.cluster_count(), vol.cluster_sectors() * 512, bytes);
}

uint32_t allocatable_clusters(cCard& card) {
    const cOBFS& vol = card.volume();
    if (!vol.mounted) return 0;
    return uint32_t(std::min<size_t>(vol.cluster_count(), vol.cluster_map.size()));
}

uint32_t claim_cluster(cCard& card, uint32_t c) {
    cOBFS& vol = card.volume();
    // Clusters at or beyond the data area are never given to a file, whatever the
    // map says there (a release may have turned their 0xFF into 0x00).
    if (!vol.mounted || c >= allocatable_clusters(card)) return NO_RUN;
    if (vol.cluster_map[c] != MAP_FREE) return NO_RUN;
    vol.cluster_map[c] = MAP_FIRST;
    return c;
}

uint32_t extend_cluster(cCard& card, uint32_t c) {
    cOBFS& vol = card.volume();
    if (!vol.mounted) return NO_RUN;
    // c >= limit also covers the no-cluster value, whose c + 1 would wrap to 0.
    const uint32_t limit = allocatable_clusters(card);
    if (c >= limit || c + 1 >= limit || vol.cluster_map[c + 1] != MAP_FREE) return c;
    vol.cluster_map[c + 1] = MAP_NEXT;
    return c + 1;
}

bool release_run_keeping(cCard& card, uint32_t first, uint32_t last, const std::vector<bool>& keep) {
    cOBFS& vol = card.volume();
    if (!vol.mounted || !clear_run_keeping(vol.cluster_map, first, last, keep)) return false;
    // The freed run must be on the medium before the caller reports success, and
    // before anything is written into the freed clusters. Freeing orders nothing
    // against the hash table: the entry that named the run left it first.
    return vol.write_tables(true) && card.disk().flush();
}

bool release_run(cCard& card, uint32_t first, uint32_t last) { return release_run_keeping(card, first, last, {}); }

// The same on the default card.
uint32_t find_free_run(uint32_t bytes) { return find_free_run(default_card(), bytes); }
uint32_t allocatable_clusters() { return allocatable_clusters(default_card()); }
uint32_t claim_cluster(uint32_t c) { return claim_cluster(default_card(), c); }
uint32_t extend_cluster(uint32_t c) { return extend_cluster(default_card(), c); }
bool release_run(uint32_t first, uint32_t last) { return release_run(default_card(), first, last); }
bool release_run_keeping(uint32_t first, uint32_t last, const std::vector<bool>& keep) { return release_run_keeping(default_card(), first, last, keep); }
