// What the copies of one job (a batch, a clone, one obtool command) report to and
// obey: where their progress goes, the flag that cancels them, where their diagnostic
// lines go, and whether they read back what they wrote. The job's owner fills it
// before its copies start and keeps it alive until they have ended; the copies only
// read it, on the thread that runs them (the cancel flag may be set from any thread).
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

// Called on the copying thread after every chunk with the bytes moved by it; it must
// return before the next chunk is read.
using CopyProgressFn = void (*)(void* context, uint32_t bytes);

struct CopyJob {
    CopyProgressFn progress = nullptr;   // null: no progress is reported
    void* progress_context = nullptr;
    // While set, the copies look at it before they change anything and again between
    // chunks (see set_copy_cancel_flag in transfer.h for what a cancelled copy leaves).
    const std::atomic<bool>* cancel = nullptr;
    // Where the diagnostic lines go (nullptr silences them), and whether the
    // host-to-card copy rewrites its "Copying NN.N%" line per chunk.
    std::FILE* diagnostics = stdout;
    bool percentage_line = true;
    // Verify after write (verify.h): each copy is read back from its medium.
    bool verify = false;
};
