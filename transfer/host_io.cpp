#include "transfer/host_io.h"

#include <cerrno>
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
    data_ = static_cast<uint8_t*>(host::aligned_alloc(DIRECT_ALIGNMENT, bytes));
}

AlignedBuffer::~AlignedBuffer() {
    if (data_ && !SpareBuffers::instance().keep(data_, bytes_)) host::aligned_free(data_);
}

bool HostReader::open(const std::string& path) {
    close();
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below, and
    // the flag means nothing to a regular file.
    constexpr unsigned flags = host::OPEN_READ | host::OPEN_NONBLOCK;
    fd_ = host::open_file(path, flags | host::OPEN_DIRECT);
    direct_ = fd_ != host::NO_DESCRIPTOR;
    // File systems without direct I/O refuse the flag at open time.
    if (fd_ == host::NO_DESCRIPTOR && errno == EINVAL) fd_ = host::open_file(path, flags);
    if (fd_ == host::NO_DESCRIPTOR) return false;
    host::FileStatus st;
    if (!host::status_of(fd_, &st) || st.kind != host::Kind::Regular) {
        close();
        return false;
    }
    size_ = st.size;
    device_ = st.device;
    inode_ = st.file;
    mtime_sec_ = st.mtime_sec;
    mtime_nsec_ = st.mtime_nsec;
    offset_ = 0;
    if (!direct_) host::reading_sequentially(fd_);
    return true;
}

bool HostReader::still_names(const std::string& path) const {
    if (fd_ == host::NO_DESCRIPTOR) return false;
    host::FileStatus st;
    return host::status_of(path, &st) && st.kind == host::Kind::Regular && st.device == device_ &&
           st.file == inode_ && st.size == size_ && st.mtime_sec == mtime_sec_ && st.mtime_nsec == mtime_nsec_;
}

void HostReader::drop_direct() {
    host::drop_direct(&fd_);
    direct_ = false;
    host::reading_sequentially(fd_);
}

bool HostReader::read(void* buffer, uint32_t want, uint32_t* got) {
    if (!read_at(offset_, buffer, want, got)) return false;
    offset_ += *got;
    return true;
}

bool HostReader::read_at(uint64_t offset, void* buffer, uint32_t want, uint32_t* got) {
    *got = 0;
    if (fd_ == host::NO_DESCRIPTOR) return false;
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (*got < want) {
        const int64_t n = host::read_at(fd_, bytes + *got, want - *got, offset + *got);
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
    if (!direct_ && *got > 0) host::done_with(fd_, offset, *got);
    return true;
}

void HostReader::close() {
    if (fd_ != host::NO_DESCRIPTOR) host::close_file(fd_);
    fd_ = host::NO_DESCRIPTOR;
    direct_ = false;
}

HostWriter::~HostWriter() {
    if (fd_ != host::NO_DESCRIPTOR) host::close_file(fd_);
}

HostWriter::HostWriter(HostWriter&& other) noexcept
    : fd_(std::exchange(other.fd_, host::NO_DESCRIPTOR)), path_(std::move(other.path_)) {}

HostWriter& HostWriter::operator=(HostWriter&& other) noexcept {
    if (this != &other) {
        if (fd_ != host::NO_DESCRIPTOR) host::close_file(fd_);
        fd_ = std::exchange(other.fd_, host::NO_DESCRIPTOR);
        path_ = std::move(other.path_);
    }
    return *this;
}

uint64_t HostWriter::start_writeback() {
    if (fd_ == host::NO_DESCRIPTOR) return 0;
    host::start_writeback(fd_, 0, 0);
    const int64_t end = host::position_of(fd_);
    return end > 0 ? uint64_t(end) : 0;
}

bool HostWriter::create(const std::string& path) {
    path_ = path;
    // No following: a link planted under the file's name must not send the bytes
    // elsewhere. Non-blocking open: opening a FIFO for writing must not hang (the
    // writes block as usual).
    constexpr unsigned flags = host::OPEN_WRITE | host::OPEN_NO_FOLLOW | host::OPEN_NONBLOCK;
    bool made = true;
    fd_ = host::open_file(path, flags | host::OPEN_CREATE_NEW);
    if (fd_ == host::NO_DESCRIPTOR && errno == EEXIST) {
        made = false;
        fd_ = host::open_file(path, flags);
    }
    if (fd_ == host::NO_DESCRIPTOR) return false;
    host::FileStatus st;
    const bool usable = host::status_of(fd_, &st) && st.kind == host::Kind::Regular && host::set_size(fd_, 0);
    if (!usable) {
        host::close_file(fd_);
        fd_ = host::NO_DESCRIPTOR;
        if (made) host::remove_file(path);
        return false;
    }
    return true;
}

bool HostWriter::write_all(const void* buffer, uint32_t length) {
    if (fd_ == host::NO_DESCRIPTOR) return false;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < length) {
        const int64_t n = host::write_here(fd_, bytes + done, length - done);
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
    if (fd_ == host::NO_DESCRIPTOR) return false;
    const bool synced = host::sync(fd_);
    const bool closed = host::close_file(fd_);
    fd_ = host::NO_DESCRIPTOR;
    return synced && closed;
}

void HostWriter::discard() {
    if (fd_ != host::NO_DESCRIPTOR) host::close_file(fd_);
    fd_ = host::NO_DESCRIPTOR;
    if (!path_.empty()) host::remove_file(path_);
}
