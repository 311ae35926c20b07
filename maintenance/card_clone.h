// Moving to another card: every file of one card (or a chosen set) onto a second card,
// which is formatted for its own card model and size first, with the menu program
// area, the save list, the save info file and the speed file; then what was written is
// read back from the target's medium and compared with what was read from the source.
//
// Both cards are card objects of their own, so the two drives are open side by side
// for the whole clone; the source is only read. The target is built the way the
// formatter builds a volume (FreshVolume): nothing is written before every refusal
// has been made (no volume on the source, a missing name, the same drive twice, a
// target whose layout cannot take the files), and once it starts, the target's
// superblock comes last, so a cut anywhere leaves it either without a volume or with
// the whole new one. A cancel or a failed read of the source after the start still
// seals the files copied so far (whole files only); a failed write or flush of the
// target leaves it without a volume, as a failed format does, since the tables the
// superblock would describe may not be on it.
#pragma once

#include "transfer/copy_job.h"

#include <cstdint>
#include <string>
#include <vector>

class cCard;

enum class CloneOutcome {
    Done,          // every file and the menu area copied and read back alike
    Refused,       // the target holds what it held (`why` says what stood in the way);
                   // nothing was written, or a first write failed and left its volume
    Cancelled,     // stopped between two chunks: the target holds the files copied before
    Failed,        // a read, write or flush failed (the target holds what was sealed, or no volume)
    VerifyFailed,  // all written, but the read-back differs (`failed_file`; "" for the menu area)
};

struct CloneOptions {
    // The names to move; empty: every file. A chosen game (".nds") brings its save
    // (the same name with ".sav") when the source has one, and the save list, the save
    // info file and the speed file always come.
    std::vector<std::string> names;
    // The row of the card model table the target is formatted for; -1: the model its
    // own volume records (a target without a volume then needs a row).
    int model_row = -1;
};

struct CloneReport {
    CloneOutcome outcome = CloneOutcome::Refused;
    // For Refused and Failed: what stood in the way (a text of the translation table,
    // context "maintenance", untranslated) and the card file it names ("" for none).
    const char* why = "";
    std::string subject;
    std::vector<std::string> copied;  // the files on the target, in the order written
    std::string failed_file;          // the file a failed copy or read-back was of
    bool no_volume_left = false;      // Failed after the old volume went, before the new one was sealed
    uint64_t bytes_total = 0;         // file bytes and the menu area, as reported to the job
};

// `job` carries the progress (bytes, out of bytes_total), the cancel flag and the
// diagnostics. The source card object ends mounted on `from`, the target on `to`.
CloneReport clone_card(cCard& source, uint8_t from, cCard& target, uint8_t to, const CloneOptions& options,
                       const CopyJob& job);

// What the clone would copy, in the order it copies it, and the bytes in all: a
// report that is Done with `copied` and `bytes_total` filled, or Refused as
// clone_card would refuse. Mounts the source, opens the target, writes nothing.
CloneReport plan_clone(cCard& source, uint8_t from, cCard& target, uint8_t to, const CloneOptions& options);
