// Reading ahead of the one who consumes: a helper thread reads chunk after chunk, in
// order, into a few buffers of its own, while the caller works on the chunk before
// (sums or compares it). Verify and backup read the card and the host this way, so a
// check costs the time of the reads alone.
#pragma once

#include "transfer/host_io.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class ChunkPipeline {
public:
    // Fills `buffer` with chunk `index`; false when it cannot be read.
    using ReadFn = std::function<bool(size_t index, uint8_t* buffer)>;

    // `count` chunks of at most `chunk_bytes` each, `depth` buffers (at least 2).
    ChunkPipeline(size_t count, uint32_t chunk_bytes, ReadFn read, size_t depth = 3);
    ~ChunkPipeline();
    ChunkPipeline(const ChunkPipeline&) = delete;
    ChunkPipeline& operator=(const ChunkPipeline&) = delete;

    // false when the buffers could not be had.
    bool ready() const { return ready_; }
    // The next chunk in order, valid until the next call; null when it could not be
    // read (nothing after it is read either) or when all `count` were handed out.
    const uint8_t* next();

private:
    void worker();

    const size_t count_;
    const ReadFn read_fn_;
    std::vector<std::unique_ptr<AlignedBuffer>> buffers_;
    bool ready_ = false;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
    bool stop_ = false;
    size_t read_ = 0;          // chunks read (or tried) by the helper
    size_t handed_ = 0;        // chunks handed to the caller
    size_t released_ = 0;      // chunks the caller is done with
    size_t failed_at_ = SIZE_MAX;
};
