// Host files that a batch of copies from the card has written, waiting to be synced
// and closed together.
//
// A sync of a new host file waits for the host file system to commit its journal,
// and one commit per small file costs more than copying the file does. The group
// starts each file's writeback as it joins, and when it is flushed it syncs them all
// one after the other: the first sync commits the allocations of every file in the
// group, so the others find theirs on the disk already. Each file is closed right
// after its own sync, so a copy's host file is still synced when it closes.
#pragma once

#include "transfer/host_io.h"

#include <cstddef>
#include <string>
#include <vector>

class HostFlushGroup {
public:
    HostFlushGroup() = default;
    ~HostFlushGroup();  // flushes what is left (the end of the process)
    HostFlushGroup(const HostFlushGroup&) = delete;
    HostFlushGroup& operator=(const HostFlushGroup&) = delete;

    // Takes a written file (its writeback starts now). false when the group is full
    // and should be flushed before the next copy.
    bool add(HostWriter file);
    // Syncs and closes every file held; the paths of those whose sync or close failed.
    std::vector<std::string> flush();
    bool empty() const { return files_.empty(); }

private:
    // Bounded so that a long batch keeps only a few descriptors open and a host file's
    // sync is never far behind its copy.
    static constexpr size_t MAX_FILES = 16;
    static constexpr uint64_t MAX_BYTES = uint64_t(64) << 20;
    std::vector<HostWriter> files_;
    uint64_t bytes_ = 0;
};
