// Host files and raw devices behind one small interface, so the subsystems above never
// call the operating system themselves. linux_host_file.cpp serves Linux,
// win32_host_file.cpp serves Windows; the build picks one.
//
// Paths are UTF-8 everywhere in this program. The Windows side turns them into UTF-16
// at its system calls, so host folders with Chinese names work there too.
//
// Failures return false or -1 and leave an errno value behind (the Windows side
// translates its own error codes into the nearest errno), so callers keep their
// usual EINTR/EINVAL/ENOSPC decisions on both platforms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace host {

// An open host file or device: a file descriptor on POSIX hosts, a HANDLE on Windows.
using Descriptor = intptr_t;
constexpr Descriptor NO_DESCRIPTOR = -1;

// How to open. One of READ/WRITE/READ_WRITE, plus any of the others.
enum OpenFlag : unsigned {
    OPEN_READ = 1,
    OPEN_WRITE = 2,
    OPEN_READ_WRITE = 3,
    OPEN_CREATE_NEW = 1u << 2,  // create; fail with EEXIST when the path exists
    OPEN_NO_FOLLOW = 1u << 3,   // a symbolic link at the path is refused
    OPEN_NONBLOCK = 1u << 4,    // opening a FIFO must not wait for its other end
    OPEN_DIRECT = 1u << 5,      // bypass the host's cache (EINVAL where not possible)
    OPEN_WRITE_THROUGH = 1u << 6,  // each write reaches the medium before it returns
};

Descriptor open_file(const std::string& path, unsigned flags);
bool close_file(Descriptor d);

// Positioned transfers: the bytes moved (possibly fewer than asked), 0 at the end of
// the file, -1 on failure. They leave no position behind that others rely on; several
// threads may read the same descriptor at once.
int64_t read_at(Descriptor d, void* buffer, size_t length, uint64_t offset);
int64_t write_at(Descriptor d, const void* buffer, size_t length, uint64_t offset);
// Two pieces back to back at `offset` in one call where the host has one.
int64_t write_two_at(Descriptor d, const void* first, size_t first_length, const void* second,
                     size_t second_length, uint64_t offset);
// The whole of `length` bytes at `offset`, going on after interruptions and partial
// transfers (host_file_whole.cpp, the same on every host). false on a failure, and
// for a read also when the file ends first.
bool read_all_at(Descriptor d, void* buffer, size_t length, uint64_t offset);
bool write_all_at(Descriptor d, const void* buffer, size_t length, uint64_t offset);
// At and past the descriptor's own position, as a plain write does.
int64_t write_here(Descriptor d, const void* buffer, size_t length);
// The descriptor's own position (its file size after sequential writes), -1 if unknown.
int64_t position_of(Descriptor d);
bool set_size(Descriptor d, uint64_t bytes);
// Data and metadata on the medium.
bool sync(Descriptor d);
// Waits until the written bytes of [offset, offset + length) are on the medium. Where
// the host cannot wait for a range (Windows), the whole file is flushed.
bool settle(Descriptor d, uint64_t offset, uint64_t length);

// Hints; each does nothing where the host has no such thing.
void start_writeback(Descriptor d, uint64_t offset, uint64_t length);  // length 0 = to the end
void will_need(Descriptor d, uint64_t offset, uint64_t length);
void done_with(Descriptor d, uint64_t offset, uint64_t length);  // drop from the cache
void reading_sequentially(Descriptor d);
void reading_once(Descriptor d);

// Turns cache bypass off for a descriptor opened with OPEN_DIRECT. The descriptor may
// be replaced by a new one for the same file; false leaves it as it was.
bool drop_direct(Descriptor* d);

// Copies `count` bytes of `in` from `*offset` into `out` at its own position inside
// the host, advancing `*offset`. The bytes moved, -1 on failure; -1 with ENOSYS where
// the host cannot do it (callers then copy through a buffer).
int64_t send_file(Descriptor out, Descriptor in, uint64_t* offset, size_t count);

enum class Kind { Missing, Regular, Directory, Device, Other };

struct FileStatus {
    Kind kind = Kind::Missing;
    uint64_t size = 0;        // bytes of a regular file
    uint64_t allocated = 0;   // bytes it takes on its disk (less than size when sparse)
    uint64_t device = 0;      // with `file`: which file this is, for "still the same file"
    uint64_t file = 0;
    int64_t mtime_sec = 0;
    int64_t mtime_nsec = 0;
};

// Follows symbolic links. false (errno set) when the path cannot be examined.
bool status_of(const std::string& path, FileStatus* out);
bool status_of(Descriptor d, FileStatus* out);
Kind kind_of(const std::string& path);  // Missing when it cannot be examined

// Bytes a descriptor holds: a device's capacity, a file's size. false when unknown.
bool measure(Descriptor d, uint64_t* bytes);
// A device's logical block size (512 for files and whenever the host does not say).
uint32_t logical_block_size(Descriptor d);
// Whether the last failed open found a reader without a medium in it.
bool last_open_found_no_medium();

bool remove_file(const std::string& path);
// Gives the file `from` the name `to` in one step, replacing a file of that name.
bool rename_file(const std::string& from, const std::string& to);
// Makes a name just given in the folder holding `path` (a rename, a new file) reach
// the disk. Nothing to do where the rename itself is written through.
void sync_folder_of(const std::string& path);

// Memory aligned for unbuffered transfers; null when none is to be had.
void* aligned_alloc(size_t alignment, size_t bytes);
void aligned_free(void* memory);
// For a std::unique_ptr that owns such memory.
struct AlignedFree {
    void operator()(void* memory) const { aligned_free(memory); }
};

// The text of an errno value.
std::string error_text(int error);

}  // namespace host
