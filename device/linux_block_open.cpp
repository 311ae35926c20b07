#include "device/linux_block_open.h"

#include "device/fd_drive_handle.h"
#include "device/linux_udisks.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>

namespace drive_layer {

namespace {

int open_flags(Access access, bool exclusive) {
    return (access == READ_WRITE ? O_RDWR : O_RDONLY) | (access == READ_WRITE && exclusive ? O_EXCL : 0) | O_CLOEXEC;
}

// Device path -> write handles open. Never destroyed: the sector layer's drive is
// closed at process exit, after this file's objects may be gone.
std::mutex& held_mutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}
std::map<std::string, int>& held_handles() {
    static auto* handles = new std::map<std::string, int>;
    return *handles;
}

}  // namespace

int open_block_node(const std::string& path, Access access, bool unbuffered, bool exclusive, bool* direct) {
    *direct = false;
    if (unbuffered) {
        const int fd = ::open(path.c_str(), open_flags(access, exclusive) | O_DIRECT);
        if (fd >= 0) {
            *direct = true;
            return fd;
        }
        if (errno != EINVAL) return -1;
    }
    return ::open(path.c_str(), open_flags(access, exclusive));
}

int open_block_through_udisks(const std::string& path, Access access, bool unbuffered, bool exclusive,
                              bool* direct, OpenRefusal* refusal) {
    // udisks2 takes the access mode as its own argument and only the other flags here.
    const int flags = open_flags(access, exclusive) & ~O_ACCMODE;
    UdisksFailure failure;
    *direct = false;
    int fd = -1;
    if (unbuffered) {
        fd = udisks_open_device(path, access == READ_WRITE, flags | O_DIRECT, &failure);
        *direct = fd >= 0;
    }
    if (fd < 0 && (!unbuffered || failure.problem == UdisksProblem::Failed))
        fd = udisks_open_device(path, access == READ_WRITE, flags, &failure);
    if (fd < 0) *refusal = {open_problem_of(failure.problem), path, {}, failure.text};
    return fd;
}

OpenProblem open_problem_of(UdisksProblem p) {
    switch (p) {
    case UdisksProblem::None: return OpenProblem::None;
    case UdisksProblem::NoService: return OpenProblem::NoUdisks;
    case UdisksProblem::NotAuthorized: return OpenProblem::NotAuthorized;
    case UdisksProblem::Dismissed: return OpenProblem::Dismissed;
    case UdisksProblem::NoAgent: return OpenProblem::NoAgent;
    case UdisksProblem::Busy: return OpenProblem::Busy;
    case UdisksProblem::Failed: return OpenProblem::Failed;
    }
    return OpenProblem::Failed;
}

OpenRefusal refusal_for_errno(const std::string& path, int error) {
    if (error == EBUSY) return {OpenProblem::Busy, path, {}, std::strerror(error)};
    return {OpenProblem::Failed, path, {}, std::strerror(error)};
}

BlockWriteHandle::BlockWriteHandle(std::string path, int fd, bool direct, std::vector<uint8_t> descriptor,
                                   uint32_t media_type)
    : FdDriveHandle(fd, direct, std::move(descriptor), media_type), path_(std::move(path)) {
    std::lock_guard<std::mutex> lock(held_mutex());
    ++held_handles()[path_];
}

BlockWriteHandle::~BlockWriteHandle() {
    std::lock_guard<std::mutex> lock(held_mutex());
    if (--held_handles()[path_] <= 0) held_handles().erase(path_);
}

bool BlockWriteHandle::held(const std::string& path) {
    std::lock_guard<std::mutex> lock(held_mutex());
    return held_handles().count(path) != 0;
}

DeferredReadHandle::DeferredReadHandle(std::string path, bool unbuffered, std::vector<uint8_t> descriptor,
                                       uint32_t media_type, uint64_t sectors)
    : path_(std::move(path)), unbuffered_(unbuffered), descriptor_(std::move(descriptor)),
      media_type_(media_type), sectors_(sectors) {}

bool DeferredReadHandle::opened() {
    if (inner_ || tried_) return inner_ != nullptr;
    tried_ = true;
    bool direct = false;
    OpenRefusal refusal;
    const int fd = open_block_through_udisks(path_, READ, unbuffered_, false, &direct, &refusal);
    if (fd < 0) {
        report_open_refusal(refusal);
        return false;
    }
    inner_ = std::make_unique<FdDriveHandle>(fd, direct, descriptor_, media_type_);
    return inner_->seek(position_);
}

bool DeferredReadHandle::seek(uint64_t byte_offset) {
    position_ = byte_offset;
    return inner_ ? inner_->seek(byte_offset) : true;
}

bool DeferredReadHandle::read(void* buffer, uint32_t length, uint32_t* done) {
    if (done) *done = 0;
    return opened() && inner_->read(buffer, length, done);
}

bool DeferredReadHandle::write(const void*, uint32_t, uint32_t* done) {
    if (done) *done = 0;
    errno = EBADF;  // a read-only handle
    return false;
}

bool DeferredReadHandle::flush() { return inner_ ? inner_->flush() : true; }

bool DeferredReadHandle::query_descriptor(std::vector<uint8_t>& out, size_t capacity) {
    if (capacity < 8) return false;
    out.assign(descriptor_.begin(), descriptor_.begin() + long(std::min(capacity, descriptor_.size())));
    return true;
}

bool DeferredReadHandle::query_geometry(DiskGeometry& out) {
    if (sectors_ == 0) return false;  // a reader without a card
    out = geometry_for_capacity(sectors_ * 512, media_type_);
    return true;
}

}  // namespace drive_layer
