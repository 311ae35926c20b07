// Compacting a card: the plan from the card's tables, then one safe move per file.
#include "maintenance/compact_card.h"

#include "device/sector_io.h"
#include "maintenance/card_check.h"
#include "obfs/allocator.h"
#include "obfs/card.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The files of the mounted volume that own clusters; false when a directory sector
// cannot be read (enumeration would take that for the end of the directory).
bool read_files(cCard& card, std::vector<CompactFile>& files) {
    const cOBFS& vol = card.volume();
    files.clear();
    DirSector entry{};
    for (uint32_t i = 0; i < DIR_SLOTS; ++i) {
        if (vol.hash_table[i] == 0) continue;
        if (!card.disk().read_sector(vol.dir_start() + i, entry.data())) return false;
        if (entry[DE_NAME] == 0) continue;
        CompactFile f;
        f.slot = i;
        f.name.assign(reinterpret_cast<const char*>(entry.data() + DE_NAME),
                      strnlen(reinterpret_cast<const char*>(entry.data() + DE_NAME), MAX_NAME_BYTES));
        f.first = get_le32(entry.data() + DE_FIRST_CLUSTER);
        f.last = get_le32(entry.data() + DE_LAST_CLUSTER);
        f.size = get_le32(entry.data() + DE_SIZE);
        if (f.first != NO_CLUSTER) files.push_back(std::move(f));
    }
    return true;
}

// The map as compaction sees it: clusters that no file owns are free (a cut operation
// may have left them marked), fences and the end of the data area stay.
std::vector<uint8_t> map_without_orphans(cCard& card, const std::vector<CompactFile>& files) {
    const cOBFS& vol = card.volume();
    std::vector<uint8_t> map = vol.cluster_map;
    const uint32_t n = std::min<uint32_t>(vol.cluster_count(), uint32_t(map.size()));
    std::vector<bool> owned(n, false);
    for (const CompactFile& f : files)
        for (uint32_t c = f.first; c <= f.last && c < n; ++c) owned[c] = true;
    for (uint32_t c = 0; c < n; ++c)
        if (!owned[c] && map[c] != MAP_FENCE && map[c] != MAP_BEYOND) map[c] = MAP_FREE;
    return map;
}

bool mount_and_read(cCard& card, uint8_t drive, std::vector<CompactFile>& files) {
    return card.volume().mount(drive) && read_files(card, files);
}

// The tables, then the drive: on the medium before the next step's writes.
bool tables_durable(cCard& card) { return card.volume().flush() && card.disk().flush(); }

class Mover {
public:
    Mover(cCard& card, const CompactProgressFn& progress, uint64_t total)
        : card_(card), progress_(progress), total_(total) {}

    // One move; false when a transfer failed or the entry is not what the plan saw.
    bool move(const CompactMove& m) {
        cOBFS& vol = card_.volume();
        const uint32_t entry_sector = vol.dir_start() + m.slot;
        DirSector entry{};
        if (!card_.disk().read_sector(entry_sector, entry.data()) || entry[DE_NAME] == 0 ||
            get_le32(entry.data() + DE_FIRST_CLUSTER) != m.from_first ||
            get_le32(entry.data() + DE_LAST_CLUSTER) != m.from_last)
            return false;
        // 1. The bytes into the new run, which the map calls free and no entry names:
        //    a cut here changes nothing that anyone reads.
        if (!copy_bytes(m)) return false;
        // 2. The map claims the new run. The flush's drive flush between map and hash
        //    table also puts the copied bytes on the medium before the entry below.
        vol.cluster_map[m.to_first] = MAP_FIRST;
        for (uint32_t c = m.to_first + 1; c <= m.to_last(); ++c) vol.cluster_map[c] = MAP_NEXT;
        if (!tables_durable(card_)) return false;
        // 3. The entry switches: from here the file reads from its new place, and its
        //    old run is clusters no file owns.
        put_le32(entry.data() + DE_FIRST_CLUSTER, m.to_first);
        put_le32(entry.data() + DE_LAST_CLUSTER, m.to_last());
        if (!card_.disk().write_sectors(entry_sector, 1, entry.data()) || !card_.disk().flush()) return false;
        // 4. The old run is freed.
        for (uint32_t c = m.from_first; c <= m.from_last; ++c) vol.cluster_map[c] = MAP_FREE;
        return tables_durable(card_);
    }

    uint64_t done() const { return done_; }

private:
    bool copy_bytes(const CompactMove& m) {
        cOBFS& vol = card_.volume();
        const uint32_t sectors = m.bytes / SECTOR_BYTES;
        const uint32_t from = vol.cluster_to_sector(m.from_first), to = vol.cluster_to_sector(m.to_first);
        card_.disk().will_write_sectors(to, sectors);
        for (uint32_t at = 0; at < sectors;) {
            const uint32_t n = std::min(COPY_SECTORS, sectors - at);
            if (!card_.disk().read_run(from + at, n, buffer_.data()) || !card_.disk().write_run(to + at, n, buffer_.data()))
                return false;
            at += n;
            done_ += uint64_t(n) * SECTOR_BYTES;
            if (progress_) progress_(done_, total_, m.name);
        }
        return true;
    }

    cCard& card_;
    const CompactProgressFn& progress_;
    uint64_t total_;
    uint64_t done_ = 0;
    // A card charges for every command: a move goes 1 MiB at a time.
    static constexpr uint32_t COPY_SECTORS = 2048;
    std::vector<uint8_t> buffer_ = std::vector<uint8_t>(COPY_SECTORS * SECTOR_BYTES);
};

}  // namespace

bool plan_card_compaction(cCard& card, uint8_t drive, CompactPlan& plan, uint64_t* slide_bytes) {
    std::vector<CompactFile> files;
    if (!mount_and_read(card, drive, files)) return false;
    const std::vector<uint8_t> map = map_without_orphans(card, files);
    plan = plan_compaction(map, card.volume().cluster_count(), files);
    if (slide_bytes) *slide_bytes = slide_down_bytes(map, card.volume().cluster_count(), files);
    return true;
}

CompactReport compact_card(cCard& card, uint8_t drive, const std::atomic<bool>* cancel, const CompactProgressFn& progress) {
    CompactReport report;
    // Files are moved only on a card whose runs can be trusted: overlapping runs or
    // runs outside the data area would have one file's move overwrite another.
    const CardCheckReport check = check_card(card, drive, false);
    if (!check.volume_found) return report;
    if (check.serious != 0) {
        report.outcome = CompactOutcome::Damaged;
        return report;
    }
    std::vector<CompactFile> files;
    if (!mount_and_read(card, drive, files)) return report;
    cOBFS& vol = card.volume();
    std::vector<uint8_t> map = map_without_orphans(card, files);
    report.plan = plan_compaction(map, vol.cluster_count(), files);
    report.outcome = CompactOutcome::Done;
    // Clusters a cut operation left marked are freed with the first table write (a
    // card with nothing to move gets that write on its own).
    const bool orphans = map != vol.cluster_map;
    vol.cluster_map = std::move(map);
    if (report.plan.moves.empty() && orphans && !tables_durable(card)) report.outcome = CompactOutcome::Failed;

    Mover mover(card, progress, report.plan.bytes_moved);
    for (const CompactMove& m : report.plan.moves) {
        if (cancel && cancel->load()) {
            report.outcome = CompactOutcome::Cancelled;
            break;
        }
        if (!mover.move(m)) {
            report.outcome = CompactOutcome::Failed;
            report.failed_file = m.name;
            // What the card holds now is what counts: the tables in memory may be
            // ahead of it.
            vol.mount(drive);
            break;
        }
        ++report.moves_done;
    }
    report.bytes_done = mover.done();
    return report;
}

bool plan_card_compaction(uint8_t drive, CompactPlan& plan, uint64_t* slide_bytes) {
    return plan_card_compaction(default_card(), drive, plan, slide_bytes);
}

CompactReport compact_card(uint8_t drive, const std::atomic<bool>* cancel, const CompactProgressFn& progress) {
    return compact_card(default_card(), drive, cancel, progress);
}
