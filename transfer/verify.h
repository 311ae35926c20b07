// Verify after write: a copied file is read back from the medium once it has been
// flushed — the card through a direct read of its own (no read window, no host
// cache), a host file after its cached pages were dropped — and its checksum compared
// with the checksum of the bytes the copy read from the source. The source is not
// read a second time, so a check costs one read of the file.
#pragma once

#include "common/checksum.h"

#include <cstddef>
#include <cstdint>
#include <string>

class cCard;

// Whether the default job's copies check what they wrote (its CopyJob::verify). A
// batch with a job of its own (obtool's --verify, the window's 写入后校验) carries its
// own switch and needs neither.
void set_verify_after_write(bool on);
bool verify_after_write();

// The checksum a copy and its read-back compare: the stream cut into chunks of CHUNK
// bytes, each chunk summed on its own and the chunks' sums summed in order. A chunk's
// sum can so be worked out where the chunk is read (the copy's read-ahead threads do,
// while the card is written) instead of in the copying thread.
class ChunkedChecksum {
public:
    static constexpr uint32_t CHUNK = 512u << 10;
    static uint64_t chunk_sum(const void* bytes, size_t length);
    // The next `length` bytes of the stream. `precomputed`, when given, is the
    // chunk_sum of exactly these bytes, taken when they are one whole chunk.
    void add(const void* bytes, size_t length, const uint64_t* precomputed = nullptr);
    uint64_t value() const;
    uint64_t length() const { return length_; }

private:
    void end_chunk(uint64_t sum);
    StreamChecksum chunk_sums_;
    StreamChecksum current_;  // the chunk not yet complete
    uint64_t length_ = 0;
};

// Reads card file `card_name` of the volume mounted on `card` back from the medium
// (its entry and its bytes) and compares with `source`. false on a mismatch or when
// the read fails.
bool verify_card_file(cCard& card, const std::string& card_name, const ChunkedChecksum& source);

// Reads host file `path` back past the host's cache and compares with `source`.
bool verify_host_file(const std::string& path, const ChunkedChecksum& source);
