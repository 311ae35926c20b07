// What the copy routines share, inside the transfer subsystem: the diagnostic lines,
// the progress and cancel slots, the mount that starts a routine and the flush that
// ends a copy to the card.
#pragma once

#include "transfer/transfer.h"

#include <cstdint>

namespace copy_steps {

// One diagnostic line (with its "\n") where set_transfer_diagnostics sends them.
void say(const char* line);
// The host-to-card copy's "Copying NN.N%" line, rewritten in place per chunk.
void say_percentage(uint64_t total, uint32_t size);
void end_percentage_line();

bool cancel_requested();
void report_progress(uint32_t bytes);
// Says "copy cancelled." and returns Cancelled.
CopyEnd cancelled();
// What last_copy_end() answers from now on.
void set_last_end(CopyEnd end);

// A usable drive number and a mounted volume, or the diagnostic line why not. With
// `kept`, the volume a batch's previous copy left mounted on this drive is kept when
// the card's superblock shows it unchanged (cOBFS::mount_kept).
bool mount_for_transfer(uint8_t drive, bool kept = false);
// The card's writes so far on the medium, or "fail to flush disk.".
bool card_durable();

}  // namespace copy_steps
