#include "device/fd_drive_handle.h"

#include "platform/host_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace drive_layer {

namespace {

// Direct transfers that the caller's buffer cannot serve go through this much aligned
// memory at a time.
constexpr uint32_t BOUNCE_BYTES = 1u << 20;

// The page size of the host's cache, which buffered writes to image files are cut at.
constexpr uint64_t HOST_PAGE = 4096;

// Buffered writes of at least this much are sent on to the medium at once rather than
// when the host gets round to it: the card receives a file's bytes while the copy
// goes on, and the flush that ends the copy has little left to wait for. Smaller
// writes (table sectors) wait for that flush.
constexpr uint64_t STREAM_WRITEBACK_MIN = 64 * 1024;

// Writes the two pieces `first` and `second` back to back at `offset`, going on after
// interruptions and partial writes. `*moved` counts the bytes that reached the file.
bool write_two_fully(host::Descriptor fd, const uint8_t* first, size_t first_len, const uint8_t* second, size_t second_len,
                     uint64_t offset, size_t* moved) {
    *moved = 0;
    const size_t total = first_len + second_len;
    while (*moved < total) {
        const size_t from_first = *moved < first_len ? first_len - *moved : 0;
        const size_t into_second = *moved > first_len ? *moved - first_len : 0;
        const int64_t r = host::write_two_at(fd, first + (first_len - from_first), from_first, second + into_second,
                                             second_len - into_second, offset + *moved);
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (r == 0) {
            errno = ENOSPC;
            return false;
        }
        *moved += size_t(r);
    }
    return true;
}

// Positioned transfer of `length` bytes, going on after interruptions and partial
// transfers. Stops early (still true) when a read reaches the end of the file.
bool transfer_fully(host::Descriptor fd, bool writing, uint8_t* buffer, size_t length, uint64_t offset, size_t* moved) {
    *moved = 0;
    while (*moved < length) {
        const int64_t r = writing ? host::write_at(fd, buffer + *moved, length - *moved, offset + *moved)
                                  : host::read_at(fd, buffer + *moved, length - *moved, offset + *moved);
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (r == 0) {
            if (!writing) return true;
            errno = ENOSPC;
            return false;
        }
        *moved += size_t(r);
    }
    return true;
}

}  // namespace

host::Descriptor open_drive_fd(const std::string& path, Access access, bool unbuffered, bool* direct) {
    const unsigned flags = access == READ_WRITE ? host::OPEN_READ_WRITE : host::OPEN_READ;
    if (direct) *direct = false;
    if (unbuffered) {
        const host::Descriptor fd = host::open_file(path, flags | host::OPEN_DIRECT);
        if (fd != host::NO_DESCRIPTOR) {
            if (direct) *direct = true;
            return fd;
        }
        // Some file systems (tmpfs among them) have no direct I/O: go buffered.
        if (errno != EINVAL) return host::NO_DESCRIPTOR;
    }
    return host::open_file(path, flags);
}

bool measure_fd(host::Descriptor fd, uint64_t* bytes) { return host::measure(fd, bytes); }

FdDriveHandle::FdDriveHandle(host::Descriptor fd, bool direct, std::vector<uint8_t> descriptor, uint32_t media_type)
    : fd_(fd), direct_(direct), descriptor_(std::move(descriptor)), media_type_(media_type) {
    if (!measure_fd(fd_, &limit_)) limit_ = 0;
    host::FileStatus st;
    const bool known = host::status_of(fd_, &st);
    align_ = host::logical_block_size(fd_);
    hold_tails_ = known && st.kind == host::Kind::Regular && !direct_;
}

FdDriveHandle::~FdDriveHandle() { close(); }

bool FdDriveHandle::close() {
    if (fd_ == host::NO_DESCRIPTOR) return false;
    const bool held_written = put_held_tail();
    const bool closed = host::close_file(fd_);
    fd_ = host::NO_DESCRIPTOR;
    const bool reported = !held_write_failed_;
    held_write_failed_ = false;
    return held_written && closed && reported;
}

bool FdDriveHandle::seek(uint64_t byte_offset) {
    if (byte_offset > uint64_t(INT64_MAX)) return false;
    position_ = byte_offset;
    return true;
}

bool FdDriveHandle::read(void* buffer, uint32_t length, uint32_t* done) {
    return transfer(false, static_cast<uint8_t*>(buffer), length, done);
}

bool FdDriveHandle::write(const void* buffer, uint32_t length, uint32_t* done) {
    // The buffer is only read from when writing; transfer() shares code with reads.
    return transfer(true, const_cast<uint8_t*>(static_cast<const uint8_t*>(buffer)), length, done);
}

bool FdDriveHandle::flush() {
    if (fd_ < 0) return false;
    const bool held_written = put_held_tail();
    const bool synced = host::sync(fd_);
    const bool none_failed = !held_write_failed_;
    held_write_failed_ = false;
    return synced && held_written && none_failed;
}

void FdDriveHandle::will_write(uint64_t offset, uint64_t length) {
    if (!hold_tails_ || length == 0 || offset >= limit_) return;
    const uint64_t end = std::min(offset + length, limit_);
    if (offset % HOST_PAGE != 0) host::will_need(fd_, offset - offset % HOST_PAGE, HOST_PAGE);
    if (end % HOST_PAGE != 0) host::will_need(fd_, end - end % HOST_PAGE, HOST_PAGE);
}

bool FdDriveHandle::put_held_tail() {
    if (held_.empty()) return true;
    size_t moved = 0;
    const bool ok = transfer_fully(fd_, true, held_.data(), held_.size(), held_at_, &moved);
    held_.clear();
    if (!ok) held_write_failed_ = true;
    return ok;
}

bool FdDriveHandle::write_holding_tail(const uint8_t* buffer, uint32_t length, uint64_t offset, size_t* moved) {
    *moved = 0;
    if (!held_.empty() && held_at_ + held_.size() != offset && !put_held_tail()) return false;
    // What is written now runs from `start` (the held bytes, if any, come first) to
    // `cut`: the last page boundary inside the write, when bytes follow it.
    const uint64_t start = held_.empty() ? offset : held_at_;
    const uint64_t end = offset + length;
    const uint64_t boundary = end - end % HOST_PAGE;
    const uint64_t cut = (end % HOST_PAGE != 0 && boundary > start) ? boundary : end;
    size_t written = 0;
    const bool ok = write_two_fully(fd_, held_.data(), held_.size(), buffer, size_t(cut - offset), start, &written);
    const size_t held_before = held_.size();
    held_.clear();
    if (!ok && written < held_before) held_write_failed_ = true;
    if (!ok) {
        *moved = written > held_before ? written - held_before : 0;
        return false;
    }
    held_.assign(buffer + (cut - offset), buffer + length);
    held_at_ = cut;
    *moved = length;
    start_writeback(start, cut - start);
    return true;
}

void FdDriveHandle::start_writeback(uint64_t offset, uint64_t length) {
    if (direct_ || length < STREAM_WRITEBACK_MIN) return;
    host::start_writeback(fd_, offset, length);
}

bool FdDriveHandle::send_to_file(uint64_t offset, uint32_t length, host::Descriptor out_fd, uint32_t* done) {
    *done = 0;
    if (direct_ || !put_held_tail()) return false;
    const uint64_t end = std::min(offset + length, limit_);
    uint64_t at = offset;
    while (at < end) {
        const int64_t n = host::send_file(out_fd, fd_, &at, size_t(end - at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        *done += uint32_t(n);
    }
    return *done == length;
}

void FdDriveHandle::will_need(uint64_t offset, uint64_t length) {
    if (direct_ || offset >= limit_) return;
    host::will_need(fd_, offset, std::min(length, limit_ - offset));
}

void FdDriveHandle::forget_cached(uint64_t offset, uint64_t length) {
    if (direct_ || offset >= limit_) return;
    host::done_with(fd_, offset, std::min(length, limit_ - offset));
}

bool FdDriveHandle::query_descriptor(std::vector<uint8_t>& out, size_t capacity) {
    // Like the platform's query, a buffer too small for the Version and Size words
    // is refused; a larger one receives as much of the descriptor as fits.
    if (capacity < 8) return false;
    out.assign(descriptor_.begin(), descriptor_.begin() + std::min(capacity, descriptor_.size()));
    return true;
}

bool FdDriveHandle::query_geometry(DiskGeometry& out) {
    uint64_t bytes = 0;
    if (!measure_fd(fd_, &bytes) || bytes < 512) return false;
    out = geometry_for_capacity(bytes, media_type_);
    return true;
}

bool FdDriveHandle::aligned(const void* buffer, uint64_t offset, uint64_t length) const {
    return reinterpret_cast<uintptr_t>(buffer) % align_ == 0 && offset % align_ == 0 && length % align_ == 0;
}

void FdDriveHandle::drop_direct() {
    if (host::drop_direct(&fd_)) direct_ = false;
}

bool FdDriveHandle::transfer(bool writing, uint8_t* buffer, uint32_t length, uint32_t* done) {
    uint32_t moved_total = 0;
    if (done) *done = 0;
    if (fd_ == host::NO_DESCRIPTOR || (!buffer && length)) return false;
    if (position_ >= limit_) {
        if (writing && length) {
            errno = ENOSPC;
            return false;
        }
        return true;
    }
    const uint32_t want = uint32_t(std::min<uint64_t>(length, limit_ - position_));
    if (!writing && !put_held_tail()) return false;
    bool ok;
    if (hold_tails_ && writing) {
        size_t moved = 0;
        ok = write_holding_tail(buffer, want, position_, &moved);
        moved_total = uint32_t(moved);
    } else if (writing && !direct_) {
        size_t moved = 0;
        ok = transfer_fully(fd_, true, buffer, want, position_, &moved);
        moved_total = uint32_t(moved);
        if (ok) start_writeback(position_, moved);
    } else if (direct_ && !aligned(buffer, position_, want)) {
        ok = bounced(writing, buffer, position_, want, &moved_total);
    } else {
        size_t moved = 0;
        ok = transfer_fully(fd_, writing, buffer, want, position_, &moved);
        moved_total = uint32_t(moved);
    }
    if (!ok && direct_ && errno == EINVAL && moved_total == 0) {
        // The device wants a coarser alignment than we know of: go on buffered.
        drop_direct();
        size_t moved = 0;
        ok = transfer_fully(fd_, writing, buffer, want, position_, &moved);
        moved_total = uint32_t(moved);
    }
    position_ += moved_total;
    if (done) *done = moved_total;
    if (ok && writing && want < length) {
        errno = ENOSPC;
        return false;
    }
    return ok;
}

// A direct transfer whose buffer, position or length does not suit the device: the
// aligned span around each piece goes through aligned memory. A write that covers
// only part of the span's first or last block reads that span first, so the bytes
// around the caller's range stay as they were.
bool FdDriveHandle::bounced(bool writing, uint8_t* buffer, uint64_t offset, uint32_t length, uint32_t* done) {
    const uint64_t a = align_;
    void* raw = host::aligned_alloc(std::max<size_t>(a, 4096), BOUNCE_BYTES);
    if (!raw) {
        errno = ENOMEM;
        return false;
    }
    std::unique_ptr<uint8_t, host::AlignedFree> bounce(static_cast<uint8_t*>(raw));
    *done = 0;
    uint64_t at = offset;
    uint32_t left = length;
    while (left > 0) {
        const uint64_t first = at - at % a;
        const uint32_t piece = uint32_t(std::min<uint64_t>(left, BOUNCE_BYTES - 2 * a));
        const uint64_t end = at + piece;
        const uint64_t last = (end + a - 1) / a * a;
        const size_t span = size_t(last - first), head = size_t(at - first);
        uint8_t* caller = buffer + (at - offset);
        size_t moved = 0;
        if (writing) {
            if (last > limit_) {
                // The tail block of an image whose size is not a whole number of
                // blocks: a direct write would grow the file, so finish buffered.
                drop_direct();
                const bool ok = transfer_fully(fd_, true, caller, left, at, &moved);
                *done += uint32_t(moved);
                return ok;
            }
            if (head != 0 || end != last) {
                if (!transfer_fully(fd_, false, bounce.get(), span, first, &moved)) return false;
                std::memset(bounce.get() + moved, 0, span - moved);
            }
            std::memcpy(bounce.get() + head, caller, piece);
            const bool ok = transfer_fully(fd_, true, bounce.get(), span, first, &moved);
            const size_t reached = moved > head ? std::min<size_t>(moved - head, piece) : 0;
            *done += uint32_t(reached);
            if (!ok) return false;
        } else {
            if (!transfer_fully(fd_, false, bounce.get(), span, first, &moved)) return false;
            const size_t got = moved > head ? std::min<size_t>(moved - head, piece) : 0;
            std::memcpy(caller, bounce.get() + head, got);
            *done += uint32_t(got);
            if (got < piece) return true;  // end of the medium
        }
        at += piece;
        left -= piece;
    }
    return true;
}

}  // namespace drive_layer
