#include "transfer/read_ahead.h"

#include "transfer/verify.h"

#include <algorithm>
#include <system_error>

namespace {

// Four chunks in flight or waiting, read by two threads: two requests keep the disk
// busy, and the card writes of the current chunk overlap both.
constexpr size_t DEPTH = 4;
constexpr size_t WORKERS = 2;

}  // namespace

ReadAhead::ReadAhead(HostReader& reader, uint32_t chunk, bool sum_chunks)
    : reader_(reader), chunk_(chunk), sum_chunks_(sum_chunks), slots_(DEPTH) {
    for (size_t i = 0; i < DEPTH; ++i) {
        buffers_.push_back(std::make_unique<AlignedBuffer>(chunk));
        if (!buffers_.back()->data()) return;
    }
    ready_ = true;
    start_workers();
}

ReadAhead::~ReadAhead() { stop_workers(); }

void ReadAhead::start_workers() {
    try {
        for (size_t i = 0; i < WORKERS; ++i) workers_.emplace_back(&ReadAhead::worker, this);
    } catch (const std::system_error&) {
        // No threads to be had: every chunk is then read when it is asked for.
        stop_workers();
    }
}

void ReadAhead::stop_workers() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : workers_) t.join();
    workers_.clear();
}

void ReadAhead::worker() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        // A chunk's slot is free once the chunk DEPTH places before it was given back.
        changed_.wait(lock, [&] { return stop_ || (next_to_read_ < oldest_ + DEPTH && next_to_read_ <= end_index_); });
        if (stop_) return;
        const uint64_t index = next_to_read_++;
        lock.unlock();
        const Slot result = read_chunk(index);
        lock.lock();
        slots_[index % DEPTH] = result;
        if (!result.ok || result.got < chunk_) end_index_ = std::min(end_index_, index);
        changed_.notify_all();
    }
}

ReadAhead::Slot ReadAhead::read_chunk(uint64_t index) {
    Slot result;
    result.index = index;
    result.ok = reader_.read_at(index * chunk_, buffers_[index % DEPTH]->data(), chunk_, &result.got);
    // Summed here, on the helper, while the copying thread writes the chunks before.
    const uint32_t piece = ChunkedChecksum::CHUNK;
    if (sum_chunks_ && result.ok && result.got == chunk_ && chunk_ % piece == 0 &&
        chunk_ / piece <= MAX_SUMMED_PIECES) {
        for (uint32_t i = 0; i < chunk_ / piece; ++i)
            result.sums[i] = ChunkedChecksum::chunk_sum(buffers_[index % DEPTH]->data() + size_t(i) * piece, piece);
        result.summed = true;
    }
    return result;
}

bool ReadAhead::next(const uint8_t** data, uint32_t* got) {
    *got = 0;
    *data = nullptr;
    last_.summed = false;
    if (!ready_ || failed_) return false;
    if (after_end_) {
        if (!reader_.read_at(tail_offset_, buffers_[0]->data(), chunk_, got)) return false;
        tail_offset_ += *got;
        *data = buffers_[0]->data();
        return true;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (handed_out_) {
        ++oldest_;
        changed_.notify_all();
    }
    const uint64_t index = oldest_;
    const size_t slot = size_t(index % DEPTH);
    if (workers_.empty()) {
        // Without helpers: read this chunk here.
        lock.unlock();
        const Slot result = read_chunk(index);
        lock.lock();
        slots_[slot] = result;
    }
    changed_.wait(lock, [&] { return slots_[slot].index == index; });
    const Slot result = slots_[slot];
    handed_out_ = true;
    if (!result.ok) {
        failed_ = true;  // nothing behind a failed chunk is ever read
        return false;
    }
    *data = buffers_[slot]->data();
    *got = result.got;
    last_ = result;
    if (result.got < chunk_) {
        // The end as the file stood: the helpers stop, and further calls read on from
        // here into the first buffer (the caller is done with this chunk by then).
        lock.unlock();
        stop_workers();
        after_end_ = true;
        tail_offset_ = index * chunk_ + result.got;
    }
    return true;
}
