// Moving single files between the host and the card, and deleting card files.
//
// Each routine takes a drive number, mounts the default card's volume on it (whatever
// was mounted before) and leaves it mounted afterwards, and runs with the settings of
// the default job below (progress, cancel flag, diagnostics, verify). A copy on a card
// object of its own, with a job of its own, is a CopyBatch (copy_batch.h). They run
// synchronously on the calling thread; only one thread at a time may use a card. They
// print short English diagnostic lines (standard output unless redirected); what the
// user sees of a failure comes from the callers, which act on the results.
//
// Results: the copy routines return true once the copy has started (both files open),
// also when it stopped early; false when it never started and nothing was changed.
// delete_ob_file returns 0 when the file was deleted and 1 otherwise.
//
// Every copy to the card and every delete leaves the card flushed to the medium before
// the routine returns; a copy to the host is synced to the host's disk as its host
// file closes — at the end of the copy, or within a batch together with other host
// files of the batch, by the batch's end at the latest.
#pragma once

#include "transfer/copy_job.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

class cCard;

// Chunk sizes: the progress steps of a copy to the card, 512 KiB (a multiple of any
// host sector size, so its reads can bypass the host's cache), and card reads of 2 MiB.
constexpr uint32_t WIN_TO_OB_CHUNK = 0x80000;
constexpr uint32_t OB_TO_WIN_CHUNK = 0x200000;
// What a copy to the card reads from the host and writes to the card at a time: a
// card charges for every command, and the progress bar still moves every 512 KiB.
constexpr uint32_t CARD_WRITE_CHUNK = 2 * WIN_TO_OB_CHUNK;

// The default job: the settings of the routines that take only a drive number (and
// of a CopyBatch made without a job). Its owner is whoever calls these; a job of its
// own needs none of them.
CopyJob& default_copy_job();

// Fills the default job's progress slot (null callback empties it).
void set_copy_callback(CopyProgressFn callback, void* context);

// Cancelling: while a flag is installed, the copy routines look at it before they
// change anything and again between chunks. When it reads true they stop, remove the
// partial destination (the card file is deleted, the host file unlinked), print
// "copy cancelled.\n" and return true — the copy had been asked for and was dropped
// on purpose, which is no refusal. A card file of the same name that the copy was to
// replace stays when the copy wrote beside it, and is gone with it when the new file
// needed its clusters (a nearly full card). nullptr uninstalls the flag. The flag itself may be set
// from any thread; the default job's slot is set by the copying thread's owner.
void set_copy_cancel_flag(const std::atomic<bool>* flag);

// How the last copy routine call ended, for callers that want more than true/false
// (obtool's exit status, a progress window's summary).
enum class CopyEnd {
    Complete,   // every byte of the source reached the destination
    Refused,    // false was returned: nothing started, nothing changed
    Stopped,    // true was returned but the copy did not complete (read/write failure,
                // no room to grow, a source that shrank, a card file that could not be
                // committed). A card file it was to replace and that it wrote beside
                // stays as it was; otherwise the destination keeps the bytes copied so far
    Cancelled,  // the cancel flag stopped it; the partial destination was removed
    VerifyFailed,  // true was returned, every byte was written, but the read-back
                   // (verify after write, see verify.h) did not match the source; the
                   // destination stays for inspection
};
// How the last copy of the default job ended (a batch of its own answers for itself).
CopyEnd last_copy_end();

// Where the default job's diagnostic lines go (standard output by default; nullptr
// silences them), and whether its host-to-card copy rewrites its "Copying NN.N%" line.
void set_transfer_diagnostics(std::FILE* out, bool percentage_line = true);

// Copies the host file `source_path` onto the card in `drive` under the name
// file_name_of(source_path), replacing a card file of that name. Host files of 4 GiB
// or more are refused like files that do not fit.
bool copy_win_to_ob(const std::string& source_path, uint8_t drive);

// The same onto the volume that is mounted already, without mounting it afresh: for
// a volume that is being built (a format's side files), whose superblock is not on the
// card yet. false, with nothing changed, when no volume is mounted.
bool copy_win_to_mounted_ob(const std::string& source_path);

// Copies the card file `card_name` of `drive` into the host file `dest_path`
// (created, or emptied when it exists). The card file is opened first, so a refused
// copy leaves the host as it was; a card name that could not be a host file name
// ("", ".", "..", separators, control bytes) is refused before anything happens.
// Only a regular file is ever written at dest_path; a symbolic link there is refused.
bool copy_ob_to_win(uint8_t drive, const std::string& card_name, const std::string& dest_path);

// Batches of copies (a head start for the next file, host files synced together)
// are CopyBatch objects (copy_batch.h); each routine above is a batch of one.

// Deletes the card file named exactly `card_name`: 0 = deleted, 1 = not deleted.
int delete_ob_file(uint8_t drive, const std::string& card_name);
// The same on `card`, its lines said where `job` says.
int delete_ob_file(cCard& card, const CopyJob& job, uint8_t drive, const std::string& card_name);
