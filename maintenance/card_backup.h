// Backup and restore of a whole card.
//
// A backup is a card image: a sparse host file as large as the volume, holding the
// superblock, the menu program area, the tables and the directory, and every cluster
// the map gives to a file; free clusters stay holes. (The areas are copied in whole
// 4 KiB blocks, for direct reads, so a few sectors of free clusters beside them come
// along; a piece that holds only zeros stays a hole too.) It mounts as a card itself
// (`obtool --image OUT.img ls`). Its superblock is written last and the file takes its
// name only when complete and checked, so a cut-off backup never looks like one.
//
// A restore writes a backup's areas (and only those) onto a card at least as large.
// It first makes the card's superblock invalid, and writes the backup's superblock
// only after everything else was written and read back correctly: a restore that is
// cancelled, cut or fails leaves a card that does not mount, never one that looks
// valid with wrong contents.
#pragma once

class cCard;

#include "obfs/superblock.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct CardExtent {
    uint64_t offset = 0;   // bytes from the start of the card
    uint64_t length = 0;
};

// The areas of a volume that hold anything: sector 0 up to the data area, and the
// clusters the map marks as a file's (adjacent ones joined).
std::vector<CardExtent> volume_extents(const Superblock& sb, const std::vector<uint8_t>& map);

enum class CardImageOutcome {
    Done,
    NoVolume,       // backup: the drive holds no usable volume
    NotABackup,     // restore: the file is no card image this system can use
    CardTooSmall,   // restore: the card is smaller than the backup's volume
    BadTarget,      // backup: the output would overwrite the card itself or a non-file
    Cancelled,
    Failed,         // a read, write or flush failed (see `why`)
    VerifyFailed,   // what was written did not read back the same
};

struct CardImageReport {
    CardImageOutcome outcome = CardImageOutcome::Failed;
    uint64_t bytes_read = 0;      // from the source, the read-back not counted
    uint64_t bytes_written = 0;
    std::string why;              // an English diagnostic for failures
};

// Called with the bytes done so far (copy, then read-back) and the total of both.
using CardImageProgressFn = std::function<void(uint64_t done, uint64_t total)>;

// Writes the volume on `drive` into the card image `out_path` (replacing a file
// there once the new backup is complete). `cancel` (may be null) is looked at between
// chunks; a cancelled or failed backup leaves no file behind and an older file at
// `out_path` as it was.
CardImageReport backup_card(cCard& card, uint8_t drive, const std::string& out_path, const std::atomic<bool>* cancel,
                            const CardImageProgressFn& progress = {});
CardImageReport backup_card(uint8_t drive, const std::string& out_path, const std::atomic<bool>* cancel,
                            const CardImageProgressFn& progress = {});

// Checks, changing nothing, whether `in_path` is a backup that fits the card in
// `drive`: Done, NotABackup, CardTooSmall or Failed (the drive does not open).
CardImageReport check_restore(cCard& card, uint8_t drive, const std::string& in_path);
CardImageReport check_restore(uint8_t drive, const std::string& in_path);

// Writes the backup `in_path` onto the card in `drive` and checks it (see above).
CardImageReport restore_card(cCard& card, uint8_t drive, const std::string& in_path, const std::atomic<bool>* cancel,
                             const CardImageProgressFn& progress = {});
// The three above without a card argument work on the default card.
CardImageReport restore_card(uint8_t drive, const std::string& in_path, const std::atomic<bool>* cancel,
                             const CardImageProgressFn& progress = {});
