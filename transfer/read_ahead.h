// Read-ahead for the unbuffered host read: while one chunk goes to the card, helper
// threads already read the next ones. Unbuffered reads get no read-ahead from the
// kernel, so without this the disk would sit idle during every card write and serve
// one request at a time.
#pragma once

#include "transfer/host_io.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class ReadAhead {
public:
    // Reads `reader` front to back in chunks of `chunk` bytes (a multiple of 4096).
    // With `sum_chunks`, the helper that reads a whole chunk also works out the
    // ChunkedChecksum::chunk_sum of each ChunkedChecksum::CHUNK bytes of it (a chunk of
    // up to MAX_SUMMED_PIECES of them), for verify after write.
    ReadAhead(HostReader& reader, uint32_t chunk, bool sum_chunks = false);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // false when the chunk buffers could not be had.
    bool ready() const { return ready_; }
    // The next chunk in file order, valid until the next call: `*got` < chunk only at
    // the end of the file, and 0 once nothing more is there. false on a read error.
    // After the end has been seen once, each call reads afresh from where the file
    // ended, so a file that grows while it is copied is read to its new end.
    bool next(const uint8_t** data, uint32_t* got);
    // The chunk_sum of piece `piece` (ChunkedChecksum::CHUNK bytes each) of the chunk
    // the last next() handed out, when a helper worked it out (null otherwise).
    const uint64_t* chunk_sum(size_t piece = 0) const {
        return last_.summed && piece < MAX_SUMMED_PIECES ? &last_.sums[piece] : nullptr;
    }

    static constexpr size_t MAX_SUMMED_PIECES = 4;

private:
    struct Slot {
        uint64_t index = UINT64_MAX;
        bool ok = false;
        uint32_t got = 0;
        bool summed = false;
        std::array<uint64_t, MAX_SUMMED_PIECES> sums{};
    };
    void start_workers();
    void stop_workers();
    void worker();
    Slot read_chunk(uint64_t index);  // into the chunk's own buffer

    HostReader& reader_;
    const uint32_t chunk_;
    const bool sum_chunks_;
    Slot last_;  // the sums of the chunk last handed out
    std::vector<std::unique_ptr<AlignedBuffer>> buffers_;
    std::vector<Slot> slots_;
    bool ready_ = false;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::thread> workers_;
    bool stop_ = false;
    uint64_t next_to_read_ = 0;     // next chunk index a worker takes
    uint64_t oldest_ = 0;           // oldest chunk not yet given back by the caller
    uint64_t end_index_ = UINT64_MAX;  // first chunk that was short or failed
    bool handed_out_ = false;
    bool failed_ = false;

    // After the end: plain reads from this offset on.
    bool after_end_ = false;
    uint64_t tail_offset_ = 0;
};
