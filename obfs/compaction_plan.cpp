// Compaction planning in three steps per fence region: choose the files that stay,
// share the holes between them exactly among the files that move, then order the
// moves so that each lands on free clusters away from its own run. Several such plans
// are made and weighed.
#include "obfs/compaction_plan.h"

#include "obfs/allocator.h"
#include "obfs/superblock.h"

#include <algorithm>
#include <numeric>
#include <random>
#include <set>

namespace {

constexpr int NOBODY = -1;
constexpr int BARRIER = -2;

uint32_t run_length(const CompactFile& f) { return f.last - f.first + 1; }

// Who holds each cluster: a file's index, NOBODY (free) or BARRIER.
std::vector<int> owners_of(const std::vector<uint8_t>& map, uint32_t cluster_count,
                           const std::vector<CompactFile>& files) {
    const uint32_t n = uint32_t(std::min<size_t>(cluster_count, map.size()));
    std::vector<int> owner(n, NOBODY);
    for (uint32_t c = 0; c < n; ++c)
        if (map[c] == MAP_FENCE || map[c] == MAP_BEYOND) owner[c] = BARRIER;
    for (size_t i = 0; i < files.size(); ++i)
        for (uint32_t c = files[i].first; c <= files[i].last && c < n; ++c) owner[c] = int(i);
    return owner;
}

struct Region {
    uint32_t start = 0, end = 0;  // clusters [start, end)
};

std::vector<Region> regions_of(const std::vector<int>& owner) {
    std::vector<Region> out;
    const uint32_t n = uint32_t(owner.size());
    for (uint32_t c = 0; c < n;) {
        if (owner[c] == BARRIER) {
            ++c;
            continue;
        }
        Region r{c, c};
        while (r.end < n && owner[r.end] != BARRIER) ++r.end;
        out.push_back(r);
        c = r.end;
    }
    return out;
}

// Files of the plan: runs that lie inside one region and inside the data area.
std::vector<size_t> files_in(const Region& r, const std::vector<CompactFile>& files) {
    std::vector<size_t> out;
    for (size_t i = 0; i < files.size(); ++i)
        if (files[i].first >= r.start && files[i].last < r.end && files[i].first <= files[i].last) out.push_back(i);
    std::sort(out.begin(), out.end(), [&](size_t a, size_t b) { return files[a].first < files[b].first; });
    return out;
}

void free_run_stats(const std::vector<int>& owner, uint32_t* runs, uint32_t* largest) {
    *runs = 0;
    *largest = 0;
    uint32_t length = 0;
    for (size_t c = 0; c <= owner.size(); ++c) {
        if (c < owner.size() && owner[c] == NOBODY) {
            ++length;
            continue;
        }
        if (length) {
            ++*runs;
            *largest = std::max(*largest, length);
        }
        length = 0;
    }
}

// A set of pool entries whose runs add up to exactly `length` clusters (0/1 knapsack
// by reachability; larger entries come first in the pool and are taken first).
bool exact_fill(const std::vector<size_t>& pool, const std::vector<CompactFile>& files, uint32_t length,
                std::vector<size_t>* chosen) {
    chosen->clear();
    if (length == 0) return true;
    uint64_t total = 0;
    for (size_t f : pool) total += run_length(files[f]);
    if (total < length) return false;
    std::vector<int> reached_by(size_t(length) + 1, NOBODY);
    reached_by[0] = BARRIER;  // the empty set
    for (size_t k = 0; k < pool.size() && reached_by[length] == NOBODY; ++k) {
        const uint32_t n = run_length(files[pool[k]]);
        if (n > length) continue;
        for (uint32_t s = length; s >= n; --s)
            if (reached_by[s] == NOBODY && reached_by[s - n] != NOBODY) reached_by[s] = int(k);
    }
    if (reached_by[length] == NOBODY) return false;
    for (uint32_t s = length; s > 0;) {
        const size_t k = size_t(reached_by[s]);
        chosen->push_back(pool[k]);
        s -= run_length(files[pool[k]]);
    }
    return true;
}

struct Segment {
    bool gap = true;
    uint32_t start = 0, length = 0;
    size_t file = 0;                 // the file that stays (anchors)
    std::vector<size_t> fill;        // the files that go into it (gaps)
};

// Where each file of a region ends: files that already lie inside the packed part
// stay, the holes between them are filled exactly; a hole that no set of files fills
// takes in the smaller file beside it, which then moves too.
enum class AnchorRule { SmallerNeighbour, RightNeighbour, PackedPrefix };

// With `random`, the pool is tried in a shuffled order and the neighbour that joins a
// hole is picked at random: other sharings, for the search among plans.
std::vector<Segment> share_out(const Region& r, const std::vector<size_t>& in_region,
                               const std::vector<CompactFile>& files, AnchorRule rule,
                               std::mt19937* random = nullptr) {
    uint32_t used = 0;
    for (size_t f : in_region) used += run_length(files[f]);
    const uint32_t boundary = r.start + used;
    std::vector<Segment> segs;
    std::vector<size_t> pool;
    uint32_t at = r.start;
    bool prefix = true;  // still in the files packed from the region's start
    for (size_t f : in_region) {
        prefix = prefix && files[f].first == at;
        if (files[f].last >= boundary || (rule == AnchorRule::PackedPrefix && !prefix)) {
            pool.push_back(f);
            continue;
        }
        if (files[f].first > at) segs.push_back({true, at, files[f].first - at, 0, {}});
        segs.push_back({false, files[f].first, run_length(files[f]), f, {}});
        at = files[f].last + 1;
    }
    if (at < boundary) segs.push_back({true, at, boundary - at, 0, {}});

    const auto cost = [&](size_t f) { return std::make_pair(compact_copy_bytes(files[f]), run_length(files[f])); };
    const auto by_size_down = [&](size_t a, size_t b) { return run_length(files[a]) > run_length(files[b]); };
    // Joins segs[from..to] into one gap; what they held goes back to the pool.
    const auto merge = [&](size_t from, size_t to) {
        Segment joined{true, segs[from].start, 0, 0, {}};
        for (size_t i = from; i <= to; ++i) {
            joined.length += segs[i].length;
            if (!segs[i].gap) pool.push_back(segs[i].file);
            pool.insert(pool.end(), segs[i].fill.begin(), segs[i].fill.end());
        }
        segs.erase(segs.begin() + std::ptrdiff_t(from), segs.begin() + std::ptrdiff_t(to) + 1);
        segs.insert(segs.begin() + std::ptrdiff_t(from), joined);
    };
    for (size_t i = 0; i < segs.size();) {
        if (!segs[i].gap) {
            ++i;
            continue;
        }
        if (random)
            std::shuffle(pool.begin(), pool.end(), *random);
        else
            std::sort(pool.begin(), pool.end(), by_size_down);
        std::vector<size_t> chosen;
        if (exact_fill(pool, files, segs[i].length, &chosen)) {
            for (size_t f : chosen) pool.erase(std::find(pool.begin(), pool.end(), f));
            segs[i].fill = chosen;
            ++i;
            continue;
        }
        const bool has_left = i > 0, has_right = i + 1 < segs.size();
        if (!has_left && !has_right) break;  // cannot happen: the pool then fills the last gap
        const auto left_is_cheaper = [&] {
            if (random) return (*random)() % 2 == 0;
            return rule == AnchorRule::SmallerNeighbour && cost(segs[i - 1].file) <= cost(segs[i + 1].file);
        };
        const bool take_left = has_left && (!has_right || left_is_cheaper());
        if (take_left) {
            const size_t from = (i >= 2 && segs[i - 2].gap) ? i - 2 : i - 1;
            merge(from, i);
            i = from;
        } else {
            const size_t to = (i + 2 < segs.size() && segs[i + 2].gap) ? i + 2 : i + 1;
            merge(i, to);
        }
    }
    return segs;
}

struct Target {
    size_t file;
    uint32_t to;
};

bool overlaps(uint32_t a_first, uint32_t a_last, uint32_t b_first, uint32_t b_last) {
    return a_first <= b_last && b_first <= a_last;
}

enum class FillOrder { InsideFirst, InsideLast, LargestFirst, SmallestFirst, AwayFromOwnRun };

// The order AwayFromOwnRun: the files inside the hole in their order, each put where
// it need not step aside first — where it stands (files from outside filling the room
// before it exactly), in the room before it when that is at least its length, or past
// its own run with files from outside put before it — and the files from outside that
// are left at the end.
std::vector<size_t> order_away_from_own_runs(uint32_t start, const std::vector<size_t>& inside,
                                             std::vector<size_t> outside, const std::vector<CompactFile>& files) {
    std::sort(outside.begin(), outside.end(), [&](size_t a, size_t b) { return run_length(files[a]) > run_length(files[b]); });
    std::vector<size_t> out;
    uint32_t at = start;
    const auto put = [&](size_t f) {
        out.push_back(f);
        at += run_length(files[f]);
        const auto it = std::find(outside.begin(), outside.end(), f);
        if (it != outside.end()) outside.erase(it);
    };
    for (size_t f : inside) {
        const CompactFile& file = files[f];
        std::vector<size_t> chosen;
        if (file.first > at && exact_fill(outside, files, file.first - at, &chosen)) {
            for (size_t c : chosen) put(c);
        } else if (at + run_length(file) > file.first) {
            // Not room enough before it: files from outside first, largest first, until
            // it lands past its own run (when there are enough of them).
            uint64_t room = 0;
            for (size_t c : outside) room += run_length(files[c]);
            if (at + room > file.last)
                while (at <= file.last) put(outside.front());
        }
        put(f);
    }
    for (size_t c : std::vector<size_t>(outside)) put(c);
    return out;
}

// The order of the files within a filled hole. Files that already lie inside it keep
// their order; the orders differ in how many files land on their own run (which then
// need a stop elsewhere) and in what waits for what.
std::vector<Target> place_in(const Segment& gap, const std::vector<CompactFile>& files, FillOrder order) {
    std::vector<size_t> inside, outside;
    const uint32_t gap_last = gap.start + gap.length - 1;
    for (size_t f : gap.fill)
        (overlaps(files[f].first, files[f].last, gap.start, gap_last) ? inside : outside).push_back(f);
    const auto by_position = [&](size_t a, size_t b) { return files[a].first < files[b].first; };
    std::sort(inside.begin(), inside.end(), by_position);
    std::sort(outside.begin(), outside.end(), by_position);
    std::vector<size_t> all;
    if (order == FillOrder::AwayFromOwnRun) {
        all = order_away_from_own_runs(gap.start, inside, outside, files);
    } else if (order == FillOrder::InsideLast) {
        all = outside;
        all.insert(all.end(), inside.begin(), inside.end());
    } else {
        all = inside;
        all.insert(all.end(), outside.begin(), outside.end());
    }
    if (order == FillOrder::LargestFirst || order == FillOrder::SmallestFirst)
        std::stable_sort(all.begin(), all.end(), [&](size_t a, size_t b) {
            return order == FillOrder::LargestFirst ? run_length(files[a]) > run_length(files[b])
                                                    : run_length(files[a]) < run_length(files[b]);
        });
    std::vector<Target> out;
    uint32_t at = gap.start;
    for (size_t f : all) {
        out.push_back({f, at});
        at += run_length(files[f]);
    }
    return out;
}

// The order of the moves: any file whose target is free and away from its own run
// goes; when none can, a file in the way steps aside into free clusters that no
// target needs — of the smaller such files, the one after whose step the most of the
// remaining work can go ahead.
class Sequencer {
public:
    Sequencer(std::vector<Target> targets, std::vector<CompactFile> files, std::vector<int> owner)
        : targets_(std::move(targets)), files_(std::move(files)), owner_(std::move(owner)) {
        std::sort(targets_.begin(), targets_.end(), [](const Target& a, const Target& b) { return a.to < b.to; });
    }

    void run(CompactPlan& plan) {
        while (true) {
            go_ahead();
            if (targets_.empty()) break;
            std::vector<std::pair<size_t, uint32_t>> steps = steps_aside();
            if (steps.empty()) {
                // No room to step aside: the plan ends after the last move that left
                // no file on a stop, so it never leaves a file worse placed.
                plan_.complete = false;
                plan_.moves.resize(settled_moves_);
                plan_.bytes_moved = settled_bytes_;
                break;
            }
            size_t chosen = 0;
            uint64_t best_score = UINT64_MAX;
            for (size_t k = 0; k < steps.size() && steps.size() > 1; ++k) {
                Sequencer trial = *this;
                trial.move(steps[k].first, steps[k].second, true);
                trial.go_ahead();
                const uint64_t score = trial.plan_.bytes_moved + trial.waiting_bytes();
                if (score < best_score) {
                    best_score = score;
                    chosen = k;
                }
            }
            move(steps[chosen].first, steps[chosen].second, true);
        }
        plan.moves = std::move(plan_.moves);
        plan.bytes_moved = plan_.bytes_moved;
        plan.complete = plan_.complete;
    }

private:
    static constexpr size_t STEPS_TRIED = 6;

    bool free_at(uint32_t first, uint32_t n) const {
        for (uint32_t c = first; c < first + n; ++c)
            if (owner_[c] != NOBODY) return false;
        return true;
    }

    void move(size_t t, uint32_t to, bool detour) {
        const size_t f = targets_[t].file;
        CompactFile& file = files_[f];
        const uint32_t n = run_length(file);
        CompactMove m{file.slot, file.name, file.first, file.last, to, compact_copy_bytes(file), detour};
        for (uint32_t c = file.first; c <= file.last; ++c) owner_[c] = NOBODY;
        for (uint32_t c = to; c < to + n; ++c) owner_[c] = int(f);
        file.first = to;
        file.last = to + n - 1;
        plan_.bytes_moved += m.bytes;
        plan_.moves.push_back(std::move(m));
        if (detour) {
            files_aside_.insert(f);
        } else {
            files_aside_.erase(f);
            targets_.erase(targets_.begin() + std::ptrdiff_t(t));
        }
        if (files_aside_.empty()) {
            settled_moves_ = plan_.moves.size();
            settled_bytes_ = plan_.bytes_moved;
        }
    }

    // Every move whose target is free, until none is.
    void go_ahead() {
        for (bool moved = true; moved;) {
            moved = false;
            for (size_t i = 0; i < targets_.size();) {
                const CompactFile& file = files_[targets_[i].file];
                const uint32_t n = run_length(file), to = targets_[i].to;
                if (free_at(to, n) && !overlaps(to, to + n - 1, file.first, file.last)) {
                    move(i, to, false);
                    moved = true;
                } else {
                    ++i;
                }
            }
        }
    }

    uint64_t waiting_bytes() const {
        uint64_t bytes = 0;
        for (const Target& t : targets_) bytes += compact_copy_bytes(files_[t.file]);
        return bytes;
    }

    // The smaller files in the way of a waiting target (their own included), each with
    // the best-fitting free room that no target needs. Once aside a file is in nobody's
    // way, so stepping aside always ends.
    std::vector<std::pair<size_t, uint32_t>> steps_aside() const {
        std::vector<bool> wanted(owner_.size(), false);
        for (const Target& t : targets_)
            for (uint32_t c = t.to; c < t.to + run_length(files_[t.file]); ++c) wanted[c] = true;
        std::vector<std::pair<uint32_t, uint32_t>> room;  // start, length
        for (uint32_t c = 0; c < owner_.size();) {
            if (owner_[c] != NOBODY || wanted[c]) {
                ++c;
                continue;
            }
            uint32_t e = c;
            while (e < owner_.size() && owner_[e] == NOBODY && !wanted[e]) ++e;
            room.emplace_back(c, e - c);
            c = e;
        }
        std::vector<size_t> in_the_way;
        for (size_t i = 0; i < targets_.size(); ++i) {
            const CompactFile& file = files_[targets_[i].file];
            bool blocks = false;
            for (uint32_t c = file.first; c <= file.last && !blocks; ++c) blocks = wanted[c];
            if (blocks) in_the_way.push_back(i);
        }
        // A file whose target overlaps its own run needs a stop anyway: such files are
        // tried first, then the smaller ones.
        const auto key = [&](size_t i) {
            const CompactFile& file = files_[targets_[i].file];
            const uint32_t to = targets_[i].to;
            const bool must_stop = overlaps(to, to + run_length(file) - 1, file.first, file.last);
            return std::make_pair(!must_stop, compact_copy_bytes(file));
        };
        std::sort(in_the_way.begin(), in_the_way.end(), [&](size_t a, size_t b) { return key(a) < key(b); });
        std::vector<std::pair<size_t, uint32_t>> out;
        for (size_t i : in_the_way) {
            const uint32_t n = run_length(files_[targets_[i].file]);
            uint32_t fit_len = UINT32_MAX, fit_at = 0;
            for (const auto& [start, length] : room)
                if (length >= n && length < fit_len) {
                    fit_len = length;
                    fit_at = start;
                }
            if (fit_len == UINT32_MAX) continue;
            out.emplace_back(i, fit_at);
            if (out.size() == STEPS_TRIED) break;
        }
        return out;
    }

    std::vector<Target> targets_;
    std::vector<CompactFile> files_;
    std::vector<int> owner_;
    CompactPlan plan_;
    std::set<size_t> files_aside_;   // files standing on a stop
    size_t settled_moves_ = 0;       // the plan up to the last moment with no file aside
    uint64_t settled_bytes_ = 0;
};

// The moves of the plan played on `owner`.
void play_moves(const CompactPlan& plan, std::vector<int>& owner) {
    for (const CompactMove& m : plan.moves) {
        const int f = owner[m.from_first];
        for (uint32_t c = m.from_first; c <= m.from_last; ++c) owner[c] = NOBODY;
        for (uint32_t c = m.to_first; c <= m.to_last(); ++c) owner[c] = f;
    }
}

void sequence_moves(std::vector<Target> targets, std::vector<CompactFile> files, std::vector<int>& owner,
                    CompactPlan& plan) {
    Sequencer sequencer(std::move(targets), std::move(files), owner);
    sequencer.run(plan);
    play_moves(plan, owner);
}

}  // namespace

uint32_t compact_copy_bytes(const CompactFile& file) {
    const uint64_t run = uint64_t(run_length(file)) * OBFS_CLUSTER_BYTES;
    const uint64_t sectors = (uint64_t(file.size) + 511) / 512 * 512;
    return uint32_t(std::min(run, sectors));
}

namespace {

// Whether `plan` beats `best`: complete first, then fewer free runs left, then fewer
// bytes moved.
bool better_plan(const CompactPlan& plan, const CompactPlan& best) {
    if (plan.complete != best.complete) return plan.complete;
    if (plan.free_runs_after != best.free_runs_after) return plan.free_runs_after < best.free_runs_after;
    return plan.bytes_moved < best.bytes_moved;
}

// The plan that moves the files of `gaps` into them in `order`.
CompactPlan plan_filling(const std::vector<Segment>& gaps, const std::vector<CompactFile>& files,
                         const std::vector<int>& owner_before, FillOrder order) {
    std::vector<Target> targets;
    for (const Segment& s : gaps)
        for (const Target& t : place_in(s, files, order))
            if (t.to != files[t.file].first) targets.push_back(t);
    CompactPlan plan;
    std::vector<int> owner = owner_before;
    free_run_stats(owner, &plan.free_runs_before, &plan.largest_free_before);
    sequence_moves(std::move(targets), files, owner, plan);
    free_run_stats(owner, &plan.free_runs_after, &plan.largest_free_after);
    return plan;
}

// Sharings of the holes tried at random after the fixed ones, and the clusters of
// plan work they may take in all (a sequencing costs about its moves times the card).
constexpr int RANDOM_SHARINGS = 64;
constexpr uint64_t RANDOM_SEARCH_BUDGET = 400000000;

}  // namespace

namespace {

// The best plan of the sharings above for the files where they stand now.
CompactPlan plan_by_sharing(const std::vector<int>& owner_before, const std::vector<CompactFile>& files) {
    const std::vector<Region> regions = regions_of(owner_before);
    // A few ways to choose the files that stay and to order the holes' fillings, then
    // sharings at random; the cheapest complete plan wins.
    CompactPlan best;
    bool have_best = false;
    const auto try_sharing = [&](AnchorRule rule, std::mt19937* random) {
        std::vector<Segment> gaps;
        for (const Region& r : regions)
            for (Segment& s : share_out(r, files_in(r, files), files, rule, random))
                if (s.gap && !s.fill.empty()) gaps.push_back(std::move(s));
        for (FillOrder order : {FillOrder::InsideFirst, FillOrder::InsideLast, FillOrder::LargestFirst,
                                FillOrder::SmallestFirst, FillOrder::AwayFromOwnRun}) {
            CompactPlan plan = plan_filling(gaps, files, owner_before, order);
            if (!have_best || better_plan(plan, best)) {
                best = std::move(plan);
                have_best = true;
            }
        }
    };
    for (AnchorRule rule : {AnchorRule::SmallerNeighbour, AnchorRule::RightNeighbour, AnchorRule::PackedPrefix})
        try_sharing(rule, nullptr);
    if (best.moves.empty()) return best;
    std::mt19937 random(20261210);  // fixed: the same card always gets the same plan
    const uint64_t work = uint64_t(owner_before.size()) * (best.moves.size() + 1);
    for (int k = 0; k < RANDOM_SHARINGS && uint64_t(k) * work < RANDOM_SEARCH_BUDGET; ++k)
        try_sharing(k % 2 ? AnchorRule::SmallerNeighbour : AnchorRule::RightNeighbour, &random);
    return best;
}

// Which files the first step puts into holes: those that must leave the top of their
// region anyway, or also any other file that fills a hole exactly.
enum class HoleFill { MustMoveOnly, AlsoExactFits };

// A first step before the sharing: files from the top of each region, largest first,
// each straight into the hole below the packed part's end that it fits best. Every
// such move lands on free clusters below the file, so it is safe on its own, and a
// file that must move anyway moves once. `files` and `owner` follow the moves.
std::vector<CompactMove> fill_holes_from_top(std::vector<CompactFile>& files, std::vector<int>& owner, HoleFill which) {
    std::vector<CompactMove> moves;
    for (const Region& r : regions_of(owner)) {
        const std::vector<size_t> in_region = files_in(r, files);
        uint32_t used = 0;
        for (size_t f : in_region) used += run_length(files[f]);
        const uint32_t boundary = r.start + used;
        std::vector<size_t> order = in_region;
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return std::make_pair(run_length(files[a]), files[a].first) > std::make_pair(run_length(files[b]), files[b].first);
        });
        for (size_t f : order) {
            CompactFile& file = files[f];
            const uint32_t n = run_length(file);
            const bool must_move = file.last >= boundary;
            // The holes below the file and below the packed part's end.
            uint32_t fit_at = 0, fit_len = UINT32_MAX;
            for (uint32_t c = r.start; c < std::min(boundary, file.first);) {
                if (owner[c] != NOBODY) {
                    ++c;
                    continue;
                }
                uint32_t e = c;
                while (e < boundary && e < file.first && owner[e] == NOBODY) ++e;
                const uint32_t len = e - c;
                if (len >= n && len < fit_len && (must_move || len == n)) {
                    fit_len = len;
                    fit_at = c;
                }
                c = e;
            }
            if (fit_len == UINT32_MAX || (!must_move && which == HoleFill::MustMoveOnly)) continue;
            moves.push_back({file.slot, file.name, file.first, file.last, fit_at, compact_copy_bytes(file), false});
            for (uint32_t c = file.first; c <= file.last; ++c) owner[c] = NOBODY;
            for (uint32_t c = fit_at; c < fit_at + n; ++c) owner[c] = int(f);
            file.first = fit_at;
            file.last = fit_at + n - 1;
        }
    }
    return moves;
}

}  // namespace

CompactPlan plan_compaction(const std::vector<uint8_t>& map, uint32_t cluster_count,
                            const std::vector<CompactFile>& files) {
    const std::vector<int> owner_before = owners_of(map, cluster_count, files);
    CompactPlan best = plan_by_sharing(owner_before, files);
    // Sliding down in order, made safe, is the reference: never settle for less.
    CompactPlan slide = safe_slide_down_plan(map, cluster_count, files);
    if (better_plan(slide, best)) best = std::move(slide);
    // The same after a first step of files put straight into holes; the cheaper wins.
    for (HoleFill which : {HoleFill::MustMoveOnly, HoleFill::AlsoExactFits}) {
        std::vector<CompactFile> moved = files;
        std::vector<int> owner = owner_before;
        std::vector<CompactMove> first = fill_holes_from_top(moved, owner, which);
        if (first.empty()) continue;
        CompactPlan rest = plan_by_sharing(owner, moved);
        CompactPlan plan;
        plan.moves = std::move(first);
        for (const CompactMove& m : plan.moves) plan.bytes_moved += m.bytes;
        plan.moves.insert(plan.moves.end(), rest.moves.begin(), rest.moves.end());
        plan.bytes_moved += rest.bytes_moved;
        plan.complete = rest.complete;
        plan.free_runs_before = best.free_runs_before;
        plan.largest_free_before = best.largest_free_before;
        plan.free_runs_after = rest.free_runs_after;
        plan.largest_free_after = rest.largest_free_after;
        if (better_plan(plan, best)) best = std::move(plan);
    }
    return best;
}

uint64_t slide_down_bytes(const std::vector<uint8_t>& map, uint32_t cluster_count,
                          const std::vector<CompactFile>& files) {
    uint64_t bytes = 0;
    for (const Region& r : regions_of(owners_of(map, cluster_count, files))) {
        uint32_t at = r.start;
        for (size_t f : files_in(r, files)) {
            if (files[f].first != at) bytes += compact_copy_bytes(files[f]);
            at += run_length(files[f]);
        }
    }
    return bytes;
}

CompactPlan safe_slide_down_plan(const std::vector<uint8_t>& map, uint32_t cluster_count,
                                 const std::vector<CompactFile>& files) {
    std::vector<int> owner = owners_of(map, cluster_count, files);
    std::vector<Target> targets;
    for (const Region& r : regions_of(owner))
        for (const Segment& s : share_out(r, files_in(r, files), files, AnchorRule::PackedPrefix))
            if (s.gap)
                for (const Target& t : place_in(s, files, FillOrder::InsideFirst))
                    if (t.to != files[t.file].first) targets.push_back(t);
    CompactPlan plan;
    free_run_stats(owner, &plan.free_runs_before, &plan.largest_free_before);
    sequence_moves(std::move(targets), files, owner, plan);
    free_run_stats(owner, &plan.free_runs_after, &plan.largest_free_after);
    return plan;
}
