// cAFFile: opening and closing streams. Opening decides the file's run (keeping it,
// replacing it or giving the file its first cluster); closing records size and run in
// the directory entry and pushes tables and entry to the medium.
#include "obfs/af_file.h"

#include "device/sector_io.h"
#include "obfs/allocator.h"
#include "obfs/card.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"

#include <cstring>

namespace {

struct OpenMode {
    char letter = 0;  // r, w or a
    bool plus = false;
};

// Exactly one of r R w W a A anywhere in the text, '+' anywhere; all else is ignored.
bool parse_mode(const char* mode, OpenMode& out) {
    if (!mode) return false;
    for (const char* p = mode; *p; ++p) {
        if (!std::strchr("rRwWaA", *p)) continue;
        if (out.letter) return false;
        out.letter = char(*p | 0x20);
    }
    out.plus = std::strchr(mode, '+') != nullptr;
    return out.letter != 0;
}

// A run that writes may follow without leaving the data area.
bool run_in_data_area(cCard& card, uint32_t first, uint32_t last) {
    return first <= last && last < allocatable_clusters(card);
}

void set_entry_run(DirSector& entry, uint32_t first, uint32_t last, uint32_t size) {
    put_le32(entry.data() + DE_FIRST_CLUSTER, first);
    put_le32(entry.data() + DE_LAST_CLUSTER, last);
    put_le32(entry.data() + DE_SIZE, size);
}

// A present file without clusters gets the first cluster of a run for the hint: the
// tables first (a cut then leaves an unreferenced cluster), then the entry. A file
// without clusters holds no bytes, so its size becomes 0.
uint32_t give_first_cluster(cCard& card, DirSector& entry, uint32_t entry_sector, uint32_t size_hint) {
    cOBFS& vol = card.volume();
    const uint32_t c = find_free_run(card, size_hint);
    if (c == NO_RUN || claim_cluster(card, c) != c) return NO_RUN;
    // The flush's own drive flush follows the map, so the claim is on the medium
    // before the entry that names it.
    if (!vol.flush()) {
        vol.cluster_map[c] = MAP_FREE;
        return NO_RUN;
    }
    set_entry_run(entry, c, c, 0);
    if (!card.disk().write_sectors(entry_sector, 1, entry.data())) {
        vol.cluster_map[c] = MAP_FREE;
        vol.flush();
        return NO_RUN;
    }
    return c;
}

// A new file in the lowest free slot whose first cluster starts a run for the hint,
// written to the card only when the stream closes (see commit_new_entry): until then
// the slot's hash and the run's first cluster are taken in memory alone, and what the
// stream writes lands in clusters the card calls free. A cut before the close leaves
// the card as it was. `slot_named` tells whether the slot's sector on the card still
// holds a name (an entry left behind by a create that was cut off), which decides the
// order of the writes at the close.
uint32_t start_new_entry(cCard& card, const std::string& name, uint32_t size_hint, uint32_t& entry_sector, DirSector& entry,
                         bool& slot_named) {
    cOBFS& vol = card.volume();
    if (!valid_new_name(name)) return NO_RUN;
    const uint32_t slot_sector = find_free_slot(card);
    if (slot_sector == NO_SECTOR) return NO_RUN;
    const uint32_t c = find_free_run(card, size_hint);
    if (c == NO_RUN || !card.disk().read_sector(slot_sector, entry.data())) return NO_RUN;
    slot_named = entry[DE_NAME] != 0;
    if (claim_cluster(card, c) != c) return NO_RUN;
    vol.hash_table[slot_sector - vol.dir_start()] = name_hash(name);
    entry.fill(0);
    std::memcpy(entry.data() + DE_NAME, name.data(), name.size());
    put_le16(entry.data() + DE_ATTRIBUTES, ATTR_ARCHIVE);
    set_entry_run(entry, c, c, 0);
    entry_sector = slot_sector;
    return c;
}

// A new file in the lowest free slot whose first cluster starts a run for the hint.
// The slot is checked before anything is claimed, so a full directory refuses without
// touching the card; create_file takes its cluster back when it fails.
uint32_t create_with_run(cCard& card, const std::string& name, uint32_t size_hint, uint32_t& entry_sector) {
    if (!valid_new_name(name)) return NO_RUN;
    const uint32_t slot_sector = find_free_slot(card);
    if (slot_sector == NO_SECTOR) return NO_RUN;
    const uint32_t c = find_free_run(card, size_hint);
    if (c == NO_RUN || !create_file(card, name, c)) return NO_RUN;
    entry_sector = slot_sector;
    return c;
}

// The run of a replace that keeps the old file: a free run for the hint outside the
// old run (which the map still marks), claimed in memory. The card learns of it when
// the stream closes, and the entry goes on naming the old run until then, so a cut or
// a failure before that leaves the old file whole; the new bytes meanwhile land in
// clusters the card calls free. NO_RUN when there is no such run.
uint32_t claim_run_beside(cCard& card, uint32_t size_hint) {
    const uint32_t c = find_free_run(card, size_hint);
    if (c == NO_RUN) return NO_RUN;
    return claim_cluster(card, c);
}

// Truncation of a present file with clusters to an empty file on a fresh run, when
// the new file needs (some of) the old run's clusters. Whether
// a run exists is decided on a copy of the map in which the old run is already free,
// so a refusal changes nothing. The steps are ordered so that a cut at any point
// leaves no entry naming a free cluster, with a drive flush between the steps whose
// order matters (a card may reorder the writes between two flushes). Clusters of the
// old run that another file's entry also names (a damaged card) are not released.
uint32_t replace_run(cCard& card, DirSector& entry, uint32_t entry_sector, uint32_t size_hint) {
    cOBFS& vol = card.volume();
    const uint32_t old_first = get_le32(entry.data() + DE_FIRST_CLUSTER);
    const uint32_t old_last = get_le32(entry.data() + DE_LAST_CLUSTER);
    std::vector<bool> others;
    if (!clusters_of_other_files(card, entry_sector, others)) return NO_RUN;
    std::vector<uint8_t> released = vol.cluster_map;
    const bool releasable = clear_run_keeping(released, old_first, old_last, others);
    const uint32_t c = releasable
                           ? first_fit_run(released, vol.cluster_count(), vol.cluster_sectors() * 512, size_hint)
                           : find_free_run(card, size_hint);
    if (c == NO_RUN) return NO_RUN;

    if (vol.cluster_map[c] != MAP_FREE) {
        // The new run starts at the old first cluster: point the entry at it alone,
        // then free the rest. Until the tables are written the old run's further
        // clusters stay marked behind the entry, which a later release frees. The
        // entry must be on the medium before new bytes land in the old file's
        // clusters, or a cut could leave the old entry over half-new bytes.
        set_entry_run(entry, c, c, 0);
        if (!card.disk().write_sectors(entry_sector, 1, entry.data()) || !card.disk().flush()) return NO_RUN;
        // The released map stays in memory until the stream closes: on the card the
        // old run's further clusters are marked beyond the entry's run meanwhile, the
        // state a cut may leave anyway, so writing the tables now would buy nothing.
        vol.cluster_map = std::move(released);
        vol.cluster_map[c] = MAP_FIRST;
        return c;
    }
    // A run elsewhere: claim it, then move the entry over, then free the old run, each
    // step on the medium before the next (the flush's drive flush follows its map).
    vol.cluster_map[c] = MAP_FIRST;
    if (!vol.flush()) {
        vol.cluster_map[c] = MAP_FREE;
        return NO_RUN;
    }
    set_entry_run(entry, c, c, 0);
    if (!card.disk().write_sectors(entry_sector, 1, entry.data()) || !card.disk().flush()) {
        vol.cluster_map[c] = MAP_FREE;
        vol.flush();
        return NO_RUN;
    }
    // Bytes the writes to come put into the released clusters cannot harm the old
    // file: the entry that named them has left them on the medium already.
    if (releasable) {
        clear_run_keeping(vol.cluster_map, old_first, old_last, others);
        if (!vol.flush()) return NO_RUN;
    }
    return c;
}

}  // namespace

cAFFile::cAFFile() : card_(default_card()) {}

cAFFile::cAFFile(cCard& card) : card_(card) {}

cAFFile::~cAFFile() {
    // A stream its owner did not close is committed as well as it can be; whoever
    // needs to know whether that worked closes it first.
    close();
}

void cAFFile::reset_to_closed() {
    first_cluster = last_cluster = cur_cluster = NO_CLUSTER;
    size = position = cur_sector = cur_offset = 0;
    std::memset(sector_buf, 0, sizeof sector_buf);
    append_cluster = append_sector = append_offset = 0;
    readable = writable = appending = is_open = 0;
    entry_sector = NO_SECTOR;
    buf_valid = 0;
    old_first_ = old_last_ = NO_CLUSTER;
    entry_pending_ = slot_named_on_card_ = false;
}

bool cAFFile::open(const std::string& name, const char* mode, uint32_t size_hint) {
    // Re-opening an open stream first commits the file it had open.
    close();
    reset_to_closed();
    OpenMode m;
    if (name.empty() || !parse_mode(mode, m)) return false;

    DirSector entry{};
    entry_sector = find_file_entry(card_, name, entry);
    const bool present = entry_sector != NO_SECTOR;
    const bool changes_file = m.letter != 'r' || m.plus;
    if (changes_file && (get_le16(entry.data() + DE_ATTRIBUTES) & ATTR_READONLY)) return false;

    bool ok = false;
    switch (m.letter) {
    case 'r': ok = open_existing(entry, m.plus, size_hint); break;
    case 'w': ok = open_truncated(name, entry, present, m.plus, size_hint); break;
    case 'a': ok = open_appending(name, entry, present, m.plus, size_hint); break;
    }
    if (!ok) {
        reset_to_closed();
        return false;
    }
    is_open = 1;
    return true;
}

bool cAFFile::open_existing(DirSector& entry, bool plus, uint32_t size_hint) {
    if (entry_sector == NO_SECTOR) return false;
    readable = 1;
    writable = plus ? 1 : 0;
    first_cluster = get_le32(entry.data() + DE_FIRST_CLUSTER);
    last_cluster = get_le32(entry.data() + DE_LAST_CLUSTER);
    if (first_cluster == NO_CLUSTER) {
        if (writable) {
            first_cluster = last_cluster = give_first_cluster(card_, entry, entry_sector, size_hint);
            if (first_cluster == NO_RUN) return false;
        }
    } else if (writable ? !run_in_data_area(card_, first_cluster, last_cluster)
                        : first_cluster >= allocatable_clusters(card_)) {
        return false;  // a damaged entry: reads or writes would land outside the data area
    }
    size = get_le32(entry.data() + DE_SIZE);
    cur_cluster = first_cluster;
    // The first sector is read when a partial sector needs it: a stream read in whole
    // sectors never does, and loading the read window here would cost a card a 128 KiB
    // read at every open.
    buf_valid = 0;
    return true;
}

bool cAFFile::open_truncated(const std::string& name, DirSector& entry, bool present, bool plus,
                             uint32_t size_hint) {
    uint32_t c = NO_RUN;
    const uint32_t old_first = get_le32(entry.data() + DE_FIRST_CLUSTER);
    const uint32_t old_last = get_le32(entry.data() + DE_LAST_CLUSTER);
    if (!present) {
        c = start_new_entry(card_, name, size_hint, entry_sector, new_entry_, slot_named_on_card_);
        entry_pending_ = c != NO_RUN;
    } else if (old_first == NO_CLUSTER) {
        c = give_first_cluster(card_, entry, entry_sector, size_hint);
    } else {
        // A damaged entry whose run leaves the data area is replaced the old way: its
        // run could not be released cleanly at close.
        if (run_in_data_area(card_, old_first, old_last)) c = claim_run_beside(card_, size_hint);
        if (c != NO_RUN) {
            old_first_ = old_first;
            old_last_ = old_last;
        } else {
            c = replace_run(card_, entry, entry_sector, size_hint);
        }
    }
    if (c == NO_RUN) return false;
    readable = plus ? 1 : 0;
    writable = 1;
    first_cluster = last_cluster = cur_cluster = c;
    // The empty file's first sector: nothing of it is on the card yet.
    std::memset(sector_buf, 0, sizeof sector_buf);
    buf_valid = 1;
    return true;
}

bool cAFFile::open_appending(const std::string& name, DirSector& entry, bool present, bool plus,
                             uint32_t size_hint) {
    const uint32_t k = card_.volume().cluster_sectors() * 512;
    if (!present) {
        first_cluster = create_with_run(card_, name, size_hint, entry_sector);
        entry.fill(0);
    } else if (get_le32(entry.data() + DE_FIRST_CLUSTER) == NO_CLUSTER) {
        first_cluster = give_first_cluster(card_, entry, entry_sector, size_hint);
    } else {
        first_cluster = get_le32(entry.data() + DE_FIRST_CLUSTER);
        last_cluster = get_le32(entry.data() + DE_LAST_CLUSTER);
        const uint32_t s = get_le32(entry.data() + DE_SIZE);
        // The end of the file must lie inside its run, or appended bytes would land in
        // a cluster that is not the file's.
        if (!run_in_data_area(card_, first_cluster, last_cluster) ||
            uint64_t(s) > uint64_t(last_cluster - first_cluster + 1) * k)
            return false;
    }
    if (first_cluster == NO_RUN) return false;
    if (last_cluster == NO_CLUSTER) last_cluster = first_cluster;
    readable = plus ? 1 : 0;
    appending = 1;

    // The end of the file: the start of the run for an empty file, else just behind
    // the last byte (the end of its cluster when the size fills whole clusters).
    const uint32_t s = get_le32(entry.data() + DE_SIZE);
    uint32_t cluster = first_cluster, sector = 0, offset = 0;
    if (s > 0) {
        const uint32_t index = (s - 1) / k;
        const uint32_t within = s - index * k;
        cluster = first_cluster + index;
        sector = within / 512;
        offset = within % 512;
    }
    size = position = s;
    cur_cluster = append_cluster = cluster;
    cur_sector = append_sector = sector;
    cur_offset = append_offset = offset;
    buf_valid = 0;  // reads of an appending stream always fetch the sector afresh
    return true;
}

bool cAFFile::close() {
    if (!is_open) return true;
    bool committed = true;
    if (writable || appending) {
        bool entry_written = false;
        committed = commit_entry(&entry_written);
        if (keeps_old_until_close()) {
            if (committed)
                committed = release_replaced_run();
            else if (!entry_written)
                discard_new_run();  // the entry still names the old run: keep that file
            // An entry written but not flushed may or may not be on the card: both runs
            // stay marked, which is safe either way and which repair mends.
        }
    }
    is_open = 0;
    old_first_ = old_last_ = NO_CLUSTER;
    return committed;
}

bool cAFFile::discard() {
    if (!is_open) return true;
    if (!(writable || appending) || !keeps_old_until_close()) {
        close();
        return false;
    }
    const bool released = discard_new_run();
    is_open = 0;
    old_first_ = old_last_ = NO_CLUSTER;
    return released;
}

// Tables before entry: a cut in between leaves clusters marked beyond the entry's run
// (what a release expects), never an entry naming free clusters. A drive flush puts
// the file's bytes and the map on the medium before the entry that claims them, and
// one after the entry puts the file there before the close reports it. Tables that did
// not reach the card leave the entry as it was: it must not claim clusters the card's
// map calls free.
bool cAFFile::commit_entry(bool* entry_written) {
    *entry_written = false;
    if (entry_pending_) return commit_new_entry(entry_written);
    cOBFS& vol = card_.volume();
    // A replace beside the old run writes the superblock once, with the release that
    // follows: until then its map CRC may lag behind the map, which a mount tolerates.
    const bool tables = keeps_old_until_close() ? vol.write_tables(false) && card_.disk().flush() : vol.flush();
    if (!tables) return false;
    if (entry_sector == NO_SECTOR || !card_.disk().read_sector(entry_sector, card_.scratch_sector())) return false;
    put_le32(card_.scratch_sector() + DE_SIZE, size);
    put_le32(card_.scratch_sector() + DE_FIRST_CLUSTER, first_cluster);
    put_le32(card_.scratch_sector() + DE_LAST_CLUSTER, last_cluster);
    *entry_written = card_.disk().write_sectors(entry_sector, 1, card_.scratch_sector());
    return *entry_written && card_.disk().flush();
}

// The first writes of a new file's metadata. Its entry is what makes the file: the
// slot's hash alone shows nothing while the slot's sector has no name, so map, hash and
// superblock go out together (one write for map and hash where they meet), one drive
// flush puts them and the file's bytes on the medium, then the entry, then the flush
// that makes it durable. A slot whose sector still holds an old name would show that
// entry as soon as the hash lands: there the entry goes first, invisible while the
// card's hash is 0, and the map reaches the medium before the hash.
bool cAFFile::commit_new_entry(bool* entry_written) {
    cOBFS& vol = card_.volume();
    set_entry_run(new_entry_, first_cluster, last_cluster, size);
    if (slot_named_on_card_) {
        if (!card_.disk().write_sectors(entry_sector, 1, new_entry_.data())) return false;
        *entry_written = true;
        return vol.flush() && card_.disk().flush();
    }
    if (vol.write_tables(true) && card_.disk().flush()) {
        *entry_written = card_.disk().write_sectors(entry_sector, 1, new_entry_.data());
        if (*entry_written) return card_.disk().flush();
    }
    // The file was not made: take it out again, in memory and (as far as the drive
    // still lets us) on the card, the entry's name first, so a failed create leaves
    // no file and no clusters behind.
    const uint32_t slot = entry_sector - vol.dir_start();
    vol.hash_table[slot] = 0;
    clear_run(vol.cluster_map, first_cluster, last_cluster);
    new_entry_[DE_NAME] = 0;
    if (card_.disk().write_sectors(entry_sector, 1, new_entry_.data()) && card_.disk().flush()) vol.flush() && card_.disk().flush();
    return false;
}

// The entry names the new run on the medium now: the old run is nobody's. Clusters of
// it that another file's entry also names (a damaged card) stay marked.
bool cAFFile::release_replaced_run() {
    std::vector<bool> others;
    if (!clusters_of_other_files(card_, entry_sector, others)) return false;
    return release_run_keeping(card_, old_first_, old_last_, others);
}

// The entry still names the old run: the new one was never anyone's file.
bool cAFFile::discard_new_run() {
    cOBFS& vol = card_.volume();
    if (!clear_run(vol.cluster_map, first_cluster, last_cluster)) return false;
    return vol.flush() && card_.disk().flush();
}
