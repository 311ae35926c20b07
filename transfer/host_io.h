// Host-side file access for the copy routines: a source read that keeps the host's
// page cache clean, a destination write that reaches the host's disk when it closes,
// and the aligned chunk buffers that unbuffered reads need.
#pragma once

#include "platform/host_file.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// A heap buffer aligned for unbuffered (O_DIRECT) transfers; data() is null when the
// allocation failed. Its contents start undefined: a buffer may be one a finished copy
// gave back.
class AlignedBuffer {
public:
    explicit AlignedBuffer(size_t bytes);
    ~AlignedBuffer();
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    uint8_t* data() const { return data_; }

private:
    uint8_t* data_ = nullptr;
    size_t bytes_ = 0;
};

// Reads one regular host file front to back without filling the page cache: unbuffered
// where the file system takes it, otherwise buffered with each chunk dropped from the
// cache right after it was read (where the host lets a program say so).
class HostReader {
public:
    ~HostReader() { close(); }
    // false when the path does not open or is no regular file (a folder, a device).
    bool open(const std::string& path);
    uint64_t size() const { return size_; }
    // Fills up to `want` bytes (a multiple of 4096 while unbuffered) into an
    // AlignedBuffer from the current position and advances it; `*got` < want only at
    // the end of the file. false on a read error.
    bool read(void* buffer, uint32_t want, uint32_t* got);
    // The same at an explicit offset, leaving the position alone; several threads may
    // call it at once.
    bool read_at(uint64_t offset, void* buffer, uint32_t want, uint32_t* got);
    void close();
    bool unbuffered() const { return direct_; }
    // Whether `path` still names the file this reader opened, unchanged since: the
    // same file (device and file number), size and modification time.
    bool still_names(const std::string& path) const;

private:
    void drop_direct();
    host::Descriptor fd_ = host::NO_DESCRIPTOR;
    uint64_t device_ = 0, inode_ = 0;
    int64_t mtime_sec_ = 0, mtime_nsec_ = 0;
    std::atomic<bool> direct_{false};
    uint64_t size_ = 0;
    uint64_t offset_ = 0;
};

// Writes one host file: create() makes it (or empties an existing regular file; a
// symbolic link, folder or device at the path is refused), finish() syncs it to the
// disk and closes it, discard() closes and removes it.
class HostWriter {
public:
    HostWriter() = default;
    ~HostWriter();
    HostWriter(HostWriter&& other) noexcept;
    HostWriter& operator=(HostWriter&& other) noexcept;
    bool create(const std::string& path);
    bool write_all(const void* buffer, uint32_t length);
    // The open file, for transfers the host does itself (NO_DESCRIPTOR when none is
    // open); they write at the file's position, as write_all does.
    host::Descriptor fd() const { return fd_; }
    // Starts sending what was written to the disk, without waiting; returns the
    // file's size so far.
    uint64_t start_writeback();
    bool finish();
    void discard();
    const std::string& path() const { return path_; }

private:
    host::Descriptor fd_ = host::NO_DESCRIPTOR;
    std::string path_;
};
