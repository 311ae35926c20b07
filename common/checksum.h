// The checksum every read-back compares (verify after write, backups): XXH3, 64 bits
// (xxHash, from Debian's libxxhash-dev, compiled in from its header so the Windows
// build has it too). A stream fed in pieces of any size sums as the same bytes in one
// piece; the length is part of the sum, so a stream with a zero byte appended differs.
#pragma once

#include <cstddef>
#include <cstdint>

class StreamChecksum {
public:
    StreamChecksum();
    StreamChecksum(const StreamChecksum& other);
    StreamChecksum& operator=(const StreamChecksum& other);

    void add(const void* bytes, size_t length);
    uint64_t value() const;
    uint64_t length() const { return length_; }

    // The sum of `length` bytes in one piece.
    static uint64_t of(const void* bytes, size_t length);

private:
    // xxHash's streaming state, kept here so that its header stays in checksum.cpp.
    static constexpr size_t STATE_BYTES = 576;
    alignas(64) unsigned char state_[STATE_BYTES];
    uint64_t length_ = 0;
};
