#include "common/checksum.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstring>

namespace {

XXH3_state_t* state_in(unsigned char* bytes) { return reinterpret_cast<XXH3_state_t*>(bytes); }
const XXH3_state_t* state_in(const unsigned char* bytes) { return reinterpret_cast<const XXH3_state_t*>(bytes); }

}  // namespace

StreamChecksum::StreamChecksum() {
    static_assert(sizeof(XXH3_state_t) <= STATE_BYTES && alignof(XXH3_state_t) <= alignof(StreamChecksum),
                  "xxHash's state fits its place");
    XXH3_64bits_reset(state_in(state_));
}

StreamChecksum::StreamChecksum(const StreamChecksum& other) : length_(other.length_) {
    XXH3_copyState(state_in(state_), state_in(other.state_));
}

StreamChecksum& StreamChecksum::operator=(const StreamChecksum& other) {
    XXH3_copyState(state_in(state_), state_in(other.state_));
    length_ = other.length_;
    return *this;
}

void StreamChecksum::add(const void* bytes, size_t length) {
    if (length == 0) return;   // an empty piece may come without a buffer
    XXH3_64bits_update(state_in(state_), bytes, length);
    length_ += length;
}

uint64_t StreamChecksum::value() const { return XXH3_64bits_digest(state_in(state_)); }

uint64_t StreamChecksum::of(const void* bytes, size_t length) { return XXH3_64bits(bytes, length); }
