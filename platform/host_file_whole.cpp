// Whole positioned transfers on top of each host's single calls.
#include "platform/host_file.h"

#include <cerrno>
#include <cstdint>

namespace host {

bool read_all_at(Descriptor d, void* buffer, size_t length, uint64_t offset) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    for (size_t got = 0; got < length;) {
        const int64_t r = read_at(d, bytes + got, length - got, offset + got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        got += size_t(r);
    }
    return true;
}

bool write_all_at(Descriptor d, const void* buffer, size_t length, uint64_t offset) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    for (size_t put = 0; put < length;) {
        const int64_t r = write_at(d, bytes + put, length - put, offset + put);
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) errno = ENOSPC;
        if (r <= 0) return false;
        put += size_t(r);
    }
    return true;
}

}  // namespace host
