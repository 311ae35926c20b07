#include "maintenance/card_check.h"

#include "common/printable_name.h"
#include "device/sector_io.h"
#include "obfs/allocator.h"
#include "obfs/card.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"
#include "obfs/partition_fences.h"
#include "obfs/superblock_layout.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

constexpr uint32_t NOBODY = 0xFFFFFFFFu;

// Every kind of problem, with what repair does about it (null: it leaves it alone).
struct ProblemKind {
    const char* key;
    const char* repair;
};
constexpr ProblemKind DRIVE_UNOPENED{"drive_unopened", nullptr};
constexpr ProblemKind SECTOR0_UNREADABLE{"sector0_unreadable", nullptr};
constexpr ProblemKind NO_VOLUME{"no_volume", nullptr};
constexpr ProblemKind HEADER_CRC{"header_crc", nullptr};
constexpr ProblemKind SUPERBLOCK_UNUSABLE{"superblock_unusable", nullptr};
constexpr ProblemKind LAYOUT_DEPARTS{"layout_departs", nullptr};
constexpr ProblemKind TABLES_UNREADABLE{"tables_unreadable", nullptr};
constexpr ProblemKind MAP_CRC{"map_crc", "writes the cluster map CRC afresh"};
constexpr ProblemKind SLOT_UNREADABLE{"slot_unreadable", nullptr};
constexpr ProblemKind HASH_ON_EMPTY_SLOT{"hash_on_empty_slot", "clears the hash entry"};
constexpr ProblemKind ENTRY_WITHOUT_HASH{"entry_without_hash", "removes the leftover entry"};
constexpr ProblemKind NAME_UNTERMINATED{"name_unterminated",
                                        "cuts the name to 259 bytes (another name when that one is taken)"};
constexpr ProblemKind WRONG_HASH{"wrong_hash", "sets the hash entry of the slot that keeps the name"};
constexpr ProblemKind SIZE_WITHOUT_CLUSTER{"size_without_cluster", "sets the size to 0"};
constexpr ProblemKind RUN_OUTSIDE{"run_outside_data_area", nullptr};
constexpr ProblemKind SIZE_EXCEEDS_RUN{"size_exceeds_run", "cuts the size to the run"};
constexpr ProblemKind SAME_NAME{"same_name", "renames every slot but the one the name reaches (\"name (2).ext\")"};
constexpr ProblemKind RUNS_OVERLAP{"runs_overlap", nullptr};
constexpr ProblemKind FENCE_IN_RUN{"fence_in_run", nullptr};
constexpr ProblemKind RUN_NOT_MARKED{"run_not_marked", "marks the run in the cluster map"};
constexpr ProblemKind MARKED_BEYOND_DATA_AREA{"marked_beyond_data_area", "resets the map entry"};
constexpr ProblemKind STRAY_FENCE{"stray_fence", "frees the cluster"};
constexpr ProblemKind MISSING_FENCE{"missing_fence", "puts the fence back"};
constexpr ProblemKind UNKNOWN_MAP_CODE{"unknown_map_code", "resets the map entry"};
constexpr ProblemKind ORPHAN_CLUSTERS{"orphan_clusters", "frees the clusters"};
constexpr ProblemKind TABLES_UNWRITTEN{"tables_unwritten", nullptr};


std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    va_list args, again;
    va_start(args, fmt);
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    std::string text(length > 0 ? size_t(length) : 0, '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size() + 1, fmt, again);
    va_end(again);
    return text;
}

// A card name as report lines show it: in quotes, escaped, so that no name can steer
// the terminal or the message box that shows the line.
std::string quoted(const std::string& name) { return "\"" + printable_name(name) + "\""; }

// One directory slot as read from the card.
struct Slot {
    DirSector sector{};
    bool readable = false;
    bool named = false;        // first name byte is not 0
    bool terminated = false;   // a 0 byte within the 260-byte name field
    std::string name;
    uint32_t first = 0, last = 0, size = 0;
    bool visible = false;      // the directory code sees a file here
    bool run_ok = false;       // run lies inside the data area and is ordered
};

bool name_taken(const std::string& name, const std::vector<Slot>& slots) {
    for (const Slot& s : slots)
        if (s.visible && s.terminated && s.name == name) return true;
    return false;
}

// Gives `name` a form that no used slot carries: "base (k).ext".
std::string unused_name(const std::string& name, const std::vector<Slot>& slots) {
    const size_t dot = name.rfind('.');
    const std::string base = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    std::string ext = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
    if (ext.size() > MAX_NAME_BYTES / 2) ext.clear();  // a "dot" deep inside a long name
    for (unsigned k = 2;; ++k) {
        std::string suffix = format(" (%u)", k) + ext;
        std::string candidate = base.substr(0, MAX_NAME_BYTES - std::min<size_t>(suffix.size(), MAX_NAME_BYTES)) + suffix;
        if (!name_taken(candidate, slots) && name_hash(candidate) != 0) return candidate;
    }
}


class Checker {
public:
    Checker(cCard& card, uint8_t drive, bool repair, CardCheckReport& report)
        : card_(card), drive_(drive), repair_(repair), r_(report) {}

    void run();

private:
    // `slot`: the directory slot the problem is about, NOBODY when none.
    void problem(const ProblemKind& kind, uint32_t slot, const std::string& line, bool serious = true) {
        r_.problems.push_back(line);
        CheckProblem record{kind.key, -1, {}, kind.repair};
        if (slot != NOBODY) {
            record.slot = int(slot);
            if (slot < slots_.size()) record.name = slots_[slot].name;
        }
        r_.records.push_back(std::move(record));
        if (serious) ++r_.serious;
    }
    void repaired(const std::string& line) {
        r_.repairs.push_back(line);
        tables_changed_ = true;
    }
    bool check_superblock();
    void read_slots();
    void check_slots();
    void check_names();
    uint32_t rightful_owner(const std::string& name, const std::vector<uint32_t>& claimants) const;
    bool run_confirmed(uint32_t i) const;
    void check_runs();
    void check_map();
    bool write_slot(uint32_t i);
    bool rename_slot(uint32_t i, const std::string& name);
    void terminate_name(uint32_t i);
    std::string label(uint32_t i) const {
        return format("slot %u (%s)", i, quoted(slots_[i].name).c_str());
    }

    cCard& card_;
    uint8_t drive_;
    bool repair_;
    CardCheckReport& r_;
    cOBFS& v_ = card_.volume();
    Superblock sb_;
    uint32_t clusters_ = 0;
    std::vector<Slot> slots_;
    std::vector<uint32_t> owner_;   // owning slot per cluster, NOBODY when none
    bool tables_changed_ = false;
};

bool Checker::check_superblock() {
    if (!card_.disk().open(drive_)) {
        problem(DRIVE_UNOPENED, NOBODY, "the drive does not open");
        return false;
    }
    uint8_t s[512];
    if (!card_.disk().read_sector(0, s)) {
        problem(SECTOR0_UNREADABLE, NOBODY, "sector 0 cannot be read");
        return false;
    }
    switch (check_superblock_header(s)) {
    case SuperblockHeader::NoMagic:
        problem(NO_VOLUME, NOBODY, "no OBFS volume: sector 0 does not begin with \"OBFS\"");
        return false;
    case SuperblockHeader::BadCrc:
        problem(HEADER_CRC, NOBODY, "superblock header CRC does not match");
        return false;
    case SuperblockHeader::Valid:
        break;
    }
    sb_ = Superblock::decode(s);
    if (const char* why = superblock_layout_problem(sb_, card_.disk().get_size())) {
        problem(SUPERBLOCK_UNUSABLE, NOBODY, std::string("superblock: ") + why);
        return false;
    }
    // A volume laid out other than the formatter lays it out for this disk_size, or a
    // partition list out of form, is examined no further: every file would be read
    // from the wrong sectors, and fences set after a damaged list would be wrong.
    std::vector<std::string> departures = layout_departures(sb_);
    for (std::string& line : partition_list_departures(sb_.partition_start)) departures.push_back(std::move(line));
    if (!departures.empty()) {
        for (const std::string& line : departures) problem(LAYOUT_DEPARTS, NOBODY, line);
        r_.layout_departs = true;
        return false;
    }
    if (!v_.mount(drive_)) {
        problem(TABLES_UNREADABLE, NOBODY, "the cluster map or the name-hash table cannot be read");
        return false;
    }
    r_.volume_found = true;
    clusters_ = v_.cluster_count();
    const uint16_t crc = crc16(0, v_.cluster_map.data(), v_.cluster_map.size());
    if (crc != sb_.map_crc) {
        problem(MAP_CRC, NOBODY, format("cluster map CRC is %04X, the superblock says %04X", crc, sb_.map_crc), false);
        if (repair_) repaired("cluster map CRC written afresh");
    }
    return true;
}

void Checker::read_slots() {
    slots_.resize(DIR_SLOTS);
    for (uint32_t i = 0; i < DIR_SLOTS; ++i) {
        Slot& s = slots_[i];
        s.readable = card_.disk().read_sector(sb_.dir_start + i, s.sector.data());
        if (!s.readable) {
            problem(SLOT_UNREADABLE, i, format("slot %u: directory sector %u cannot be read", i, sb_.dir_start + i));
            continue;
        }
        const uint8_t* e = s.sector.data();
        s.named = e[DE_NAME] != 0;
        const void* nul = std::memchr(e + DE_NAME, 0, NAME_FIELD_BYTES);
        s.terminated = nul != nullptr;
        s.name.assign(reinterpret_cast<const char*>(e + DE_NAME),
                      s.terminated ? static_cast<const uint8_t*>(nul) - (e + DE_NAME) : NAME_FIELD_BYTES);
        s.first = get_le32(e + DE_FIRST_CLUSTER);
        s.last = get_le32(e + DE_LAST_CLUSTER);
        s.size = get_le32(e + DE_SIZE);
        s.visible = s.named && v_.hash_table[i] != 0;
    }
}

bool Checker::write_slot(uint32_t i) {
    return card_.disk().write_sectors(sb_.dir_start + i, 1, slots_[i].sector.data());
}

// Gives slot i the (terminated, hashable) name `name` on the card and in the tables;
// false, with the slot as it was, when the sector cannot be written.
bool Checker::rename_slot(uint32_t i, const std::string& name) {
    Slot& s = slots_[i];
    DirSector renamed = s.sector;
    std::memset(renamed.data() + DE_NAME, 0, NAME_FIELD_BYTES);
    std::memcpy(renamed.data() + DE_NAME, name.data(), name.size());
    if (!card_.disk().write_sectors(sb_.dir_start + i, 1, renamed.data())) return false;
    s.sector = renamed;
    s.name = name;
    s.terminated = true;
    v_.hash_table[i] = name_hash(name);
    return true;
}

void Checker::terminate_name(uint32_t i) {
    std::string cut = slots_[i].name.substr(0, MAX_NAME_BYTES);
    if (name_taken(cut, slots_) || name_hash(cut) == 0) cut = unused_name(cut, slots_);
    if (rename_slot(i, cut)) repaired(format("slot %u: name without terminator cut to %s", i, quoted(cut).c_str()));
}

void Checker::check_slots() {
    for (uint32_t i = 0; i < DIR_SLOTS; ++i) {
        Slot& s = slots_[i];
        if (!s.readable) continue;
        const uint32_t h = v_.hash_table[i];
        if (!s.named) {
            if (h != 0) {
                // A delete cut off after its entry was cleared: the slot only stays
                // unused until the hash is cleared.
                problem(HASH_ON_EMPTY_SLOT, i, format("slot %u: hash entry %08X set on an empty slot", i, h), false);
                ++r_.leftover_slots;
                if (repair_) {
                    v_.hash_table[i] = 0;
                    repaired(format("slot %u: hash entry cleared", i));
                }
            }
            continue;
        }
        if (h == 0) {
            // A named entry whose hash is 0 is invisible: a create cut off before
            // its tables reached the card. Its clusters are orphans.
            problem(ENTRY_WITHOUT_HASH, i, format("%s: entry without hash entry (not part of the directory)", label(i).c_str()),
                    false);
            ++r_.leftover_slots;
            if (repair_) {
                s.sector[DE_NAME] = 0;
                if (write_slot(i)) repaired(format("slot %u: leftover entry removed", i));
            }
            continue;
        }
        // A name without terminator is still a file to the directory code, so its run
        // is checked (and kept) like any other; no name can find it, though, so
        // repair gives it one that can.
        if (!s.terminated) {
            problem(NAME_UNTERMINATED, i, format("slot %u: name has no terminator", i));
            if (repair_) terminate_name(i);
        }
        // A wrong hash entry is mended with the names (check_names), where it is
        // decided which slot keeps a name that more than one claims.
        const uint32_t stored = v_.hash_table[i];  // a cut name came with its hash
        const uint32_t expected = s.terminated ? name_hash(s.name) : stored;
        if (stored != expected)
            problem(WRONG_HASH, i,
                    format("%s: hash entry %08X, the name hashes to %08X", label(i).c_str(), stored, expected));
        if (s.first == NO_CLUSTER) {
            if (s.size != 0) {
                problem(SIZE_WITHOUT_CLUSTER, i, format("%s: size %u but no cluster", label(i).c_str(), s.size));
                if (repair_) {
                    put_le32(s.sector.data() + DE_SIZE, 0);
                    if (write_slot(i)) repaired(format("%s: size set to 0", label(i).c_str()));
                }
            }
            continue;
        }
        if (s.first >= clusters_ || s.last >= clusters_ || s.last < s.first) {
            problem(RUN_OUTSIDE, i, format("%s: run %u..%u lies outside the data area (%u clusters)", label(i).c_str(),
                           s.first, s.last, clusters_));
            continue;
        }
        s.run_ok = true;
        const uint64_t room = (uint64_t(s.last) - s.first + 1) * OBFS_CLUSTER_BYTES;
        if (s.size > room) {
            problem(SIZE_EXCEEDS_RUN, i, format("%s: size %u exceeds its run of %llu bytes", label(i).c_str(), s.size,
                           static_cast<unsigned long long>(room)));
            if (repair_) {
                put_le32(s.sector.data() + DE_SIZE, uint32_t(room));
                if (write_slot(i)) repaired(format("%s: size cut to %llu", label(i).c_str(),
                                                   static_cast<unsigned long long>(room)));
            }
        }
    }
}


// Whether the map confirms slot i's run: inside the data area, its first cluster
// marked 0xAC and the others 0x02.
bool Checker::run_confirmed(uint32_t i) const {
    const Slot& s = slots_[i];
    if (!s.run_ok) return false;
    for (uint32_t c = s.first; c <= s.last; ++c)
        if (v_.cluster_map[c] != (c == s.first ? MAP_FIRST : MAP_NEXT)) return false;
    return true;
}

// Of the slots that all carry `name`, the one that keeps it. A lookup reaches the
// lowest slot whose hash entry is the name's: that file stays the one the name
// reaches, whatever lower slot claims the name with a wrong hash entry. When no slot
// is reached, the first whose run the map confirms, else the lowest. NOBODY for a name
// that hashes to 0, which no lookup can ever reach.
uint32_t Checker::rightful_owner(const std::string& name, const std::vector<uint32_t>& claimants) const {
    const uint32_t h = name_hash(name);
    if (h == 0) return NOBODY;
    for (uint32_t i : claimants)
        if (v_.hash_table[i] == h) return i;
    for (uint32_t i : claimants)
        if (run_confirmed(i)) return i;
    return claimants.front();
}

// Names and their hash entries together: repair must never hand a name to other
// bytes than it reached before, so the slot that keeps a name is chosen before any
// hash entry is set, and every other slot carrying the name gets a new one.
void Checker::check_names() {
    std::map<std::string, std::vector<uint32_t>> claimants;
    for (uint32_t i = 0; i < DIR_SLOTS; ++i)
        if (slots_[i].visible && slots_[i].terminated) claimants[slots_[i].name].push_back(i);
    for (const auto& [name, slots] : claimants) {
        const uint32_t keeper = rightful_owner(name, slots);
        const uint32_t h = name_hash(name);
        const bool reached = keeper != NOBODY && v_.hash_table[keeper] == h;
        if (slots.size() > 1) {
            std::string list;
            for (uint32_t i : slots) list += (list.empty() ? "" : ", ") + std::to_string(i);
            problem(SAME_NAME, reached ? keeper : NOBODY,
                    format("slots %s carry the same name %s; lookups find %s", list.c_str(), quoted(name).c_str(),
                           reached ? format("slot %u", keeper).c_str() : "none of them"));
            r_.records.back().name = name;  // also when no slot is reached
        }
        if (!repair_) continue;
        for (uint32_t i : slots) {
            if (i == keeper) continue;
            const std::string renamed = unused_name(name, slots_);
            const std::string why = keeper == NOBODY ? std::string("the name hashes to 0, which no lookup reaches")
                                                     : format("the name stays with slot %u", keeper);
            if (rename_slot(i, renamed))
                repaired(format("slot %u (%s): renamed to %s; %s", i, quoted(name).c_str(), quoted(renamed).c_str(),
                                why.c_str()));
        }
        // Only the keeper carries the name now: its hash entry can point lookups at it.
        if (keeper != NOBODY && !reached) {
            v_.hash_table[keeper] = h;
            repaired(format("%s: hash entry set", label(keeper).c_str()));
        }
    }
}

void Checker::check_runs() {
    owner_.assign(v_.cluster_map.size(), NOBODY);
    for (uint32_t i = 0; i < DIR_SLOTS; ++i) {
        const Slot& s = slots_[i];
        if (!s.visible || !s.run_ok) continue;
        bool overlap = false, fenced = false;
        for (uint32_t c = s.first; c <= s.last; ++c) {
            if (owner_[c] != NOBODY && !overlap) {
                problem(RUNS_OVERLAP, i,
                        format("%s: run %u..%u overlaps the run of slot %u", label(i).c_str(), s.first, s.last,
                               owner_[c]));
                overlap = true;
            }
            if (v_.cluster_map[c] == MAP_FENCE && !fenced) {
                problem(FENCE_IN_RUN, i,
                        format("%s: run %u..%u contains the fence cluster %u", label(i).c_str(), s.first, s.last, c));
                fenced = true;
            }
            if (owner_[c] == NOBODY) owner_[c] = i;
        }
        if (overlap || fenced || run_confirmed(i)) continue;
        problem(RUN_NOT_MARKED, i,
                format("%s: run %u..%u is not marked as used in the cluster map", label(i).c_str(), s.first, s.last));
        if (repair_) {
            for (uint32_t c = s.first; c <= s.last; ++c) v_.cluster_map[c] = c == s.first ? MAP_FIRST : MAP_NEXT;
            repaired(format("%s: run %u..%u marked in the cluster map", label(i).c_str(), s.first, s.last));
        }
    }
}

void Checker::check_map() {
    const std::vector<bool> fence = fence_clusters(sb_.partition_start, sb_.data_start, clusters_);
    std::vector<uint32_t> freed;
    for (uint32_t c = 0; c < v_.cluster_map.size(); ++c) {
        const uint8_t code = v_.cluster_map[c];
        if (c >= clusters_) {
            // Beyond the data area: 0xFF as formatted, or 0x00 after a release ran over it.
            if (code == MAP_BEYOND || code == MAP_FREE) continue;
            problem(MARKED_BEYOND_DATA_AREA, NOBODY, format("cluster %u beyond the data area is marked %02X", c, code));
            if (repair_) {
                v_.cluster_map[c] = MAP_BEYOND;
                repaired(format("cluster %u beyond the data area reset", c));
            }
            continue;
        }
        if (owner_[c] != NOBODY) continue;
        if (code == MAP_FIRST || code == MAP_NEXT) {
            ++r_.orphan_clusters;
            freed.push_back(c);
            continue;
        }
        if (code == MAP_FENCE && !fence[c]) {
            problem(STRAY_FENCE, NOBODY, format("cluster %u is a fence where no partition starts", c));
            if (repair_) {
                v_.cluster_map[c] = MAP_FREE;
                repaired(format("cluster %u: fence removed", c));
            }
        } else if (code == MAP_FREE && fence[c]) {
            problem(MISSING_FENCE, NOBODY,
                    format("cluster %u should be a fence (a partition of the card starts there)", c));
            if (repair_) {
                v_.cluster_map[c] = MAP_FENCE;
                repaired(format("cluster %u: fence put back", c));
            }
        } else if (code != MAP_FREE && code != MAP_FENCE) {
            problem(UNKNOWN_MAP_CODE, NOBODY, format("cluster %u carries the unknown code %02X", c, code));
            if (repair_) {
                v_.cluster_map[c] = fence[c] ? MAP_FENCE : MAP_FREE;
                repaired(format("cluster %u reset", c));
            }
        }
    }
    // Orphans are reported as runs, one line each.
    for (size_t k = 0; k < freed.size();) {
        size_t e = k;
        while (e + 1 < freed.size() && freed[e + 1] == freed[e] + 1) ++e;
        problem(ORPHAN_CLUSTERS, NOBODY,
                format("clusters %u..%u are marked as used but belong to no file", freed[k], freed[e]), false);
        if (repair_) {
            for (size_t j = k; j <= e; ++j) v_.cluster_map[freed[j]] = MAP_FREE;
            repaired(format("clusters %u..%u freed", freed[k], freed[e]));
        }
        k = e + 1;
    }
}

void Checker::run() {
    if (!check_superblock()) return;
    read_slots();
    check_slots();
    check_names();
    check_runs();
    check_map();
    if (repair_ && tables_changed_) {
        if (!v_.flush() || !card_.disk().flush())
            problem(TABLES_UNWRITTEN, NOBODY, "the repaired tables could not be written", false);
    }
}

}  // namespace

CardCheckReport check_card(cCard& card, uint8_t drive, bool repair) {
    CardCheckReport report;
    Checker(card, drive, repair, report).run();
    return report;
}

CardCheckReport check_card(uint8_t drive, bool repair) { return check_card(default_card(), drive, repair); }
