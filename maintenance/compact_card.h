// Compacting a card: moves files (as planned by plan_compaction) so that the free
// space of each fence region becomes one run at its end.
//
// Each move is safe against a cut at any write: the bytes go to a free run away from
// the file's own, the map claims that run, the directory entry switches to it, and
// only then is the old run freed — each step on the medium before the next. A cut
// leaves every file readable in its old or its new place, and at most clusters that
// no file owns (which the check counts as harmless and repair frees).
#pragma once

#include "obfs/compaction_plan.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

class cCard;

enum class CompactOutcome {
    NoVolume,    // the drive holds no usable volume: nothing changed
    Damaged,     // the check found serious problems: refused, nothing changed
    Done,        // every planned move made (possibly none were needed)
    Cancelled,   // stopped between two files: consistent, partly compacted
    Failed,      // a read, write or flush failed; the card is consistent up to the move
};

struct CompactReport {
    CompactOutcome outcome = CompactOutcome::NoVolume;
    CompactPlan plan;
    size_t moves_done = 0;
    uint64_t bytes_done = 0;
    std::string failed_file;   // the file whose move failed
};

// Called after every chunk with the bytes moved so far, the plan's total and the file
// being moved.
using CompactProgressFn = std::function<void(uint64_t done, uint64_t total, const std::string& file)>;

// Reads the volume on `drive` and plans its compaction without changing anything.
// false when the drive holds no volume or its directory cannot be read. `slide_bytes`
// (when given) receives what sliding every file down would copy instead.
bool plan_card_compaction(cCard& card, uint8_t drive, CompactPlan& plan, uint64_t* slide_bytes = nullptr);
bool plan_card_compaction(uint8_t drive, CompactPlan& plan, uint64_t* slide_bytes = nullptr);

// Compacts the volume on `drive`. `cancel` (may be null) is looked at before each file.
CompactReport compact_card(cCard& card, uint8_t drive, const std::atomic<bool>* cancel,
                           const CompactProgressFn& progress = {});
// The same on the default card.
CompactReport compact_card(uint8_t drive, const std::atomic<bool>* cancel, const CompactProgressFn& progress = {});
