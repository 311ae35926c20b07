#include "transfer/host_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

// Unbuffered transfers need buffers aligned to the logical block size of the host
// disk; 4096 covers every disk in use.
constexpr size_t DIRECT_ALIGNMENT = 4096;

}  // namespace

AlignedBuffer::AlignedBuffer(size_t bytes) {
    void* p = nullptr;
    if (posix_memalign(&p, DIRECT_ALIGNMENT, bytes) == 0) data_ = static_cast<uint8_t*>(p);
}

AlignedBuffer::~AlignedBuffer() { std::free(data_); }

bool HostReader::open(const std::string& path) {
    close();
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below, and
    // the flag means nothing to a regular file.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_DIRECT);
    direct_ = fd_ >= 0;
    // File systems without direct I/O refuse the flag at open time.
    if (fd_ < 0 && errno == EINVAL) fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) return false;
    struct stat st {};
    if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        close();
        return false;
    }
    size_ = uint64_t(st.st_size);
    offset_ = 0;
    if (!direct_) posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
}

void HostReader::drop_direct() {
    const int flags = fcntl(fd_, F_GETFL);
    if (flags >= 0) fcntl(fd_, F_SETFL, flags & ~O_DIRECT);
    direct_ = false;
    posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

bool HostReader::read(void* buffer, uint32_t want, uint32_t* got) {
    *got = 0;
    if (fd_ < 0) return false;
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (*got < want) {
        const ssize_t n = pread(fd_, bytes + *got, want - *got, off_t(offset_ + *got));
        if (n < 0) {
            if (errno == EINTR) continue;
            // Some file systems accept O_DIRECT at open and refuse it on the read, and
            // a short read leaves the next one unaligned: go on buffered.
            if (errno == EINVAL && direct_) {
                drop_direct();
                continue;
            }
            return false;
        }
        if (n == 0) break;
        *got += uint32_t(n);
    }
    if (!direct_ && *got > 0) posix_fadvise(fd_, off_t(offset_), off_t(*got), POSIX_FADV_DONTNEED);
    offset_ += *got;
    return true;
}

void HostReader::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    direct_ = false;
}

HostWriter::~HostWriter() {
    if (fd_ >= 0) ::close(fd_);
}

bool HostWriter::create(const std::string& path) {
    path_ = path;
    // O_NOFOLLOW: a link planted under the file's name must not send the bytes
    // elsewhere. O_NONBLOCK: opening a FIFO for writing must not hang; only a regular
    // file is ever written, so the flag does nothing to the writes.
    bool made = true;
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
    if (fd_ < 0 && errno == EEXIST) {
        made = false;
        fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    }
    if (fd_ < 0) return false;
    struct stat st {};
    const bool usable = fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && ftruncate(fd_, 0) == 0;
    if (!usable) {
        ::close(fd_);
        fd_ = -1;
        if (made) unlink(path.c_str());
        return false;
    }
    const int flags = fcntl(fd_, F_GETFL);
    if (flags >= 0) fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
    return true;
}

bool HostWriter::write_all(const void* buffer, uint32_t length) {
    if (fd_ < 0) return false;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd_, bytes + done, length - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        done += uint32_t(n);
    }
    return true;
}

bool HostWriter::finish() {
    if (fd_ < 0) return false;
    const bool synced = fsync(fd_) == 0;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    return synced && closed;
}

void HostWriter::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!path_.empty()) unlink(path_.c_str());
}
