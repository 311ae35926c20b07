#include "transfer/host_flush_group.h"

HostFlushGroup::~HostFlushGroup() { flush(); }

bool HostFlushGroup::add(HostWriter file) {
    bytes_ += file.start_writeback();
    files_.push_back(std::move(file));
    return files_.size() < MAX_FILES && bytes_ < MAX_BYTES;
}

std::vector<std::string> HostFlushGroup::flush() {
    std::vector<std::string> failed;
    for (HostWriter& file : files_)
        if (!file.finish()) failed.push_back(file.path());
    files_.clear();
    bytes_ = 0;
    return failed;
}
