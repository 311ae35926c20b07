#include "platform/host_file.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <linux/fs.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace host {

namespace {

int fd_of(Descriptor d) { return int(d); }

Kind kind_of_mode(mode_t mode) {
    if (S_ISREG(mode)) return Kind::Regular;
    if (S_ISDIR(mode)) return Kind::Directory;
    if (S_ISBLK(mode)) return Kind::Device;
    return Kind::Other;
}

void fill_status(const struct stat& st, FileStatus* out) {
    out->kind = kind_of_mode(st.st_mode);
    out->size = st.st_size > 0 ? uint64_t(st.st_size) : 0;
    out->allocated = uint64_t(st.st_blocks) * 512;
    out->device = uint64_t(st.st_dev);
    out->file = uint64_t(st.st_ino);
    out->mtime_sec = int64_t(st.st_mtim.tv_sec);
    out->mtime_nsec = int64_t(st.st_mtim.tv_nsec);
}

}  // namespace

Descriptor open_file(const std::string& path, unsigned flags) {
    const unsigned access = flags & OPEN_READ_WRITE;
    int f = (access == OPEN_READ_WRITE ? O_RDWR : access == OPEN_WRITE ? O_WRONLY : O_RDONLY) | O_CLOEXEC;
    if (flags & OPEN_CREATE_NEW) f |= O_CREAT | O_EXCL;
    if (flags & OPEN_NO_FOLLOW) f |= O_NOFOLLOW;
    if (flags & OPEN_NONBLOCK) f |= O_NONBLOCK;
    if (flags & OPEN_DIRECT) f |= O_DIRECT;
    if (flags & OPEN_WRITE_THROUGH) f |= O_DSYNC;
    const int fd = ::open(path.c_str(), f, 0666);
    if (fd >= 0 && (flags & OPEN_NONBLOCK)) {
        // Only the open was to be non-blocking: reads and writes block as usual.
        const int now = ::fcntl(fd, F_GETFL);
        if (now >= 0) ::fcntl(fd, F_SETFL, now & ~O_NONBLOCK);
    }
    return fd < 0 ? NO_DESCRIPTOR : Descriptor(fd);
}

bool close_file(Descriptor d) { return d >= 0 && ::close(fd_of(d)) == 0; }

int64_t read_at(Descriptor d, void* buffer, size_t length, uint64_t offset) {
    return ::pread(fd_of(d), buffer, length, off_t(offset));
}

int64_t write_at(Descriptor d, const void* buffer, size_t length, uint64_t offset) {
    return ::pwrite(fd_of(d), buffer, length, off_t(offset));
}

int64_t write_two_at(Descriptor d, const void* first, size_t first_length, const void* second,
                     size_t second_length, uint64_t offset) {
    iovec v[2];
    int n = 0;
    if (first_length) v[n++] = {const_cast<void*>(first), first_length};
    if (second_length) v[n++] = {const_cast<void*>(second), second_length};
    return ::pwritev(fd_of(d), v, n, off_t(offset));
}

int64_t write_here(Descriptor d, const void* buffer, size_t length) { return ::write(fd_of(d), buffer, length); }

int64_t position_of(Descriptor d) { return ::lseek(fd_of(d), 0, SEEK_CUR); }

bool set_size(Descriptor d, uint64_t bytes) { return ::ftruncate(fd_of(d), off_t(bytes)) == 0; }

bool sync(Descriptor d) { return ::fsync(fd_of(d)) == 0; }

bool settle(Descriptor d, uint64_t offset, uint64_t length) {
    return ::sync_file_range(fd_of(d), off_t(offset), off_t(length),
                             SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER) == 0;
}

void start_writeback(Descriptor d, uint64_t offset, uint64_t length) {
    ::sync_file_range(fd_of(d), off_t(offset), off_t(length), SYNC_FILE_RANGE_WRITE);
}

void will_need(Descriptor d, uint64_t offset, uint64_t length) {
    ::posix_fadvise(fd_of(d), off_t(offset), off_t(length), POSIX_FADV_WILLNEED);
}

void done_with(Descriptor d, uint64_t offset, uint64_t length) {
    ::posix_fadvise(fd_of(d), off_t(offset), off_t(length), POSIX_FADV_DONTNEED);
}

void reading_sequentially(Descriptor d) { ::posix_fadvise(fd_of(d), 0, 0, POSIX_FADV_SEQUENTIAL); }

void reading_once(Descriptor d) { ::posix_fadvise(fd_of(d), 0, 0, POSIX_FADV_NOREUSE); }

bool drop_direct(Descriptor* d) {
    const int flags = ::fcntl(fd_of(*d), F_GETFL);
    return flags >= 0 && ::fcntl(fd_of(*d), F_SETFL, flags & ~O_DIRECT) == 0;
}

int64_t send_file(Descriptor out, Descriptor in, uint64_t* offset, size_t count) {
    off_t at = off_t(*offset);
    const ssize_t n = ::sendfile(fd_of(out), fd_of(in), &at, count);
    *offset = uint64_t(at);
    return n;
}

bool status_of(const std::string& path, FileStatus* out) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    fill_status(st, out);
    return true;
}

bool status_of(Descriptor d, FileStatus* out) {
    struct stat st {};
    if (::fstat(fd_of(d), &st) != 0) return false;
    fill_status(st, out);
    return true;
}

Kind kind_of(const std::string& path) {
    FileStatus st;
    return status_of(path, &st) ? st.kind : Kind::Missing;
}

bool measure(Descriptor d, uint64_t* bytes) {
    struct stat st {};
    if (::fstat(fd_of(d), &st) != 0) return false;
    if (S_ISBLK(st.st_mode)) return ::ioctl(fd_of(d), BLKGETSIZE64, bytes) == 0;
    *bytes = st.st_size > 0 ? uint64_t(st.st_size) : 0;
    return true;
}

uint32_t logical_block_size(Descriptor d) {
    struct stat st {};
    int block = 0;
    if (::fstat(fd_of(d), &st) == 0 && S_ISBLK(st.st_mode) && ::ioctl(fd_of(d), BLKSSZGET, &block) == 0 &&
        block > 512)
        return uint32_t(block);
    return 512;
}

bool last_open_found_no_medium() { return errno == ENOMEDIUM; }

bool remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool rename_file(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

void sync_folder_of(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    ::fsync(dir);
    ::close(dir);
}

void* aligned_alloc(size_t alignment, size_t bytes) {
    void* p = nullptr;
    return ::posix_memalign(&p, alignment, bytes) == 0 ? p : nullptr;
}

void aligned_free(void* memory) { std::free(memory); }

std::string error_text(int error) { return std::strerror(error); }

}  // namespace host
