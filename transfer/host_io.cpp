#include "transfer/host_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

namespace {

// Unbuffered transfers need buffers aligned to the logical block size of the host
// disk; 4096 covers every disk in use.
constexpr size_t DIRECT_ALIGNMENT = 4096;

// Chunk buffers given back by finished copies, kept for the next one. A batch of
// small files would otherwise map, fault in and unmap megabytes of fresh pages per
// file, which costs more than reading a small file does. Bounded, so a copy never
// keeps more than a few chunks' worth of memory after it ended.
class SpareBuffers {
public:
    // Never destroyed: chunk buffers may still be given back while the process exits.
    static SpareBuffers& instance() {
        static SpareBuffers* spares = new SpareBuffers;
        return *spares;
    }
    void* take(size_t bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (size_t i = 0; i < kept_.size(); ++i) {
            if (kept_[i].bytes != bytes) continue;
            void* p = kept_[i].memory;
            kept_.erase(kept_.begin() + long(i));
            kept_bytes_ -= bytes;
            return p;
        }
        return nullptr;
    }
    // false when the buffer does not fit the bound; the caller frees it then.
    bool keep(void* memory, size_t bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (kept_bytes_ + bytes > MAX_KEPT_BYTES) return false;
        kept_.push_back({memory, bytes});
        kept_bytes_ += bytes;
        return true;
    }
private:
    static constexpr size_t MAX_KEPT_BYTES = size_t(6) << 20;
    struct Kept {
        void* memory;
        size_t bytes;
    };
    std::mutex mutex_;
    std::vector<Kept> kept_;
    size_t kept_bytes_ = 0;
};

}  // namespace

AlignedBuffer::AlignedBuffer(size_t bytes) : bytes_(bytes) {
    data_ = static_cast<uint8_t*>(SpareBuffers::instance().take(bytes));
    if (data_) return;
    void* p = nullptr;
    if (posix_memalign(&p, DIRECT_ALIGNMENT, bytes) == 0) data_ = static_cast<uint8_t*>(p);
}

AlignedBuffer::~AlignedBuffer() {
    if (data_ && !SpareBuffers::instance().keep(data_, bytes_)) std::free(data_);
}

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
    device_ = uint64_t(st.st_dev);
    inode_ = uint64_t(st.st_ino);
    mtime_sec_ = int64_t(st.st_mtim.tv_sec);
    mtime_nsec_ = int64_t(st.st_mtim.tv_nsec);
    offset_ = 0;
    if (!direct_) posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
}

bool HostReader::still_names(const std::string& path) const {
    if (fd_ < 0) return false;
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_dev) == device_ &&
           uint64_t(st.st_ino) == inode_ && uint64_t(st.st_size) == size_ &&
           int64_t(st.st_mtim.tv_sec) == mtime_sec_ && int64_t(st.st_mtim.tv_nsec) == mtime_nsec_;
}

void HostReader::drop_direct() {
    const int flags = fcntl(fd_, F_GETFL);
    if (flags >= 0) fcntl(fd_, F_SETFL, flags & ~O_DIRECT);
    direct_ = false;
    posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

bool HostReader::read(void* buffer, uint32_t want, uint32_t* got) {
    if (!read_at(offset_, buffer, want, got)) return false;
    offset_ += *got;
    return true;
}

bool HostReader::read_at(uint64_t offset, void* buffer, uint32_t want, uint32_t* got) {
    *got = 0;
    if (fd_ < 0) return false;
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (*got < want) {
        const ssize_t n = pread(fd_, bytes + *got, want - *got, off_t(offset + *got));
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
    if (!direct_ && *got > 0) posix_fadvise(fd_, off_t(offset), off_t(*got), POSIX_FADV_DONTNEED);
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

HostWriter::HostWriter(HostWriter&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

HostWriter& HostWriter::operator=(HostWriter&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

uint64_t HostWriter::start_writeback() {
    if (fd_ < 0) return 0;
    ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
    const off_t end = ::lseek(fd_, 0, SEEK_CUR);
    return end > 0 ? uint64_t(end) : 0;
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
