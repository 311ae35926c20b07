// What the copy routines share, inside the transfer subsystem: one copy's card and
// job, with the diagnostic lines, the progress and cancel of that job, the mount that
// starts a routine and the flush that ends a copy to the card.
#pragma once

#include "transfer/copy_job.h"
#include "transfer/transfer.h"

#include <cstdint>

class cCard;

namespace copy_steps {

class Context {
public:
    Context(cCard& card, const CopyJob& job) : card(card), job(job) {}

    cCard& card;
    const CopyJob& job;

    // One diagnostic line (with its "\n") where the job sends them.
    void say(const char* line) const;
    // The host-to-card copy's "Copying NN.N%" line, rewritten in place per chunk.
    void say_percentage(uint64_t total, uint32_t size) const;
    void end_percentage_line() const;

    bool cancel_requested() const;
    void report_progress(uint32_t bytes) const;
    // Says "copy cancelled." and returns Cancelled.
    CopyEnd cancelled() const;

    // A usable drive number and the card's volume mounted on it, or the diagnostic
    // line why not. With `kept`, the volume a batch's previous copy left mounted on
    // this drive is kept when the card's superblock shows it unchanged
    // (cOBFS::mount_kept).
    bool mount_for_transfer(uint8_t drive, bool kept = false) const;
    // The card's writes so far on the medium, or "fail to flush disk.".
    bool card_durable() const;
};

// What last_copy_end() answers from now on (the default job's copies).
void set_default_last_end(CopyEnd end);

}  // namespace copy_steps
