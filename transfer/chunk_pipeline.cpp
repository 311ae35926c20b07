#include "transfer/chunk_pipeline.h"

#include <algorithm>
#include <system_error>

ChunkPipeline::ChunkPipeline(size_t count, uint32_t chunk_bytes, ReadFn read, size_t depth)
    : count_(count), read_fn_(std::move(read)) {
    for (size_t i = 0; i < std::max<size_t>(depth, 2); ++i) {
        buffers_.push_back(std::make_unique<AlignedBuffer>(chunk_bytes));
        if (!buffers_.back()->data()) return;
    }
    ready_ = true;
    try {
        thread_ = std::thread(&ChunkPipeline::worker, this);
    } catch (const std::system_error&) {
        // No thread to be had: each chunk is then read when it is asked for.
    }
}

ChunkPipeline::~ChunkPipeline() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void ChunkPipeline::worker() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        // A buffer is free once the chunk `depth` places before was given back.
        changed_.wait(lock, [&] {
            return stop_ || (read_ < count_ && read_ < released_ + buffers_.size() && failed_at_ == SIZE_MAX);
        });
        if (stop_) return;
        const size_t index = read_;
        lock.unlock();
        const bool ok = read_fn_(index, buffers_[index % buffers_.size()]->data());
        lock.lock();
        if (!ok) failed_at_ = index;
        ++read_;
        changed_.notify_all();
        if (read_ == count_ || !ok) return;
    }
}

const uint8_t* ChunkPipeline::next() {
    if (!ready_) return nullptr;
    std::unique_lock<std::mutex> lock(mutex_);
    released_ = handed_;
    changed_.notify_all();
    const size_t index = handed_;
    if (index >= count_ || index >= failed_at_) return nullptr;
    if (!thread_.joinable()) {
        lock.unlock();
        const bool ok = read_fn_(index, buffers_[index % buffers_.size()]->data());
        lock.lock();
        if (!ok) failed_at_ = index;
        read_ = index + 1;
    }
    changed_.wait(lock, [&] { return read_ > index; });
    if (index >= failed_at_) return nullptr;
    ++handed_;
    return buffers_[index % buffers_.size()]->data();
}
