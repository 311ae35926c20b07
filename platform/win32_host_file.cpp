#include "platform/host_file.h"

#include "platform/win32_text.h"

#include <windows.h>
#include <winioctl.h>

#include <malloc.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace host {

namespace {

HANDLE handle_of(Descriptor d) { return reinterpret_cast<HANDLE>(d); }

thread_local DWORD last_open_error = 0;

// One ReadFile/WriteFile moves at most this much, so the count fits a DWORD.
constexpr size_t MAX_PIECE = 0x40000000;

OVERLAPPED at_offset(uint64_t offset) {
    OVERLAPPED o{};
    o.Offset = DWORD(offset);
    o.OffsetHigh = DWORD(offset >> 32);
    return o;
}

bool is_device_path(const std::string& path) {
    return path.size() > 4 && (path.compare(0, 4, "\\\\.\\") == 0 || path.compare(0, 4, "//./") == 0);
}

int64_t filetime_ticks(const FILETIME& t) { return (int64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

void fill_from_info(const BY_HANDLE_FILE_INFORMATION& info, FileStatus* out) {
    out->kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::Directory : Kind::Regular;
    out->size = (uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    out->device = info.dwVolumeSerialNumber;
    out->file = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    const int64_t ticks = filetime_ticks(info.ftLastWriteTime);  // 100 ns since 1601
    out->mtime_sec = ticks / 10000000;
    out->mtime_nsec = (ticks % 10000000) * 100;
}

bool device_length(HANDLE h, uint64_t* bytes) {
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    if (DeviceIoControl(h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned, nullptr)) {
        *bytes = uint64_t(length.Length.QuadPart);
        return true;
    }
    // Older drivers answer only the geometry request.
    DISK_GEOMETRY g{};
    if (DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &g, sizeof g, &returned, nullptr)) {
        *bytes = uint64_t(g.Cylinders.QuadPart) * g.TracksPerCylinder * g.SectorsPerTrack * g.BytesPerSector;
        return true;
    }
    return false;
}

// Whether a handle is a disk or volume rather than a file: disks answer the length
// request, files have file information.
bool is_device_handle(HANDLE h) {
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    if (DeviceIoControl(h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned, nullptr))
        return true;
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileType(h) == FILE_TYPE_DISK && !GetFileInformationByHandle(h, &info);
}

}  // namespace

Descriptor open_file(const std::string& path, unsigned flags) {
    const unsigned access = flags & OPEN_READ_WRITE;
    DWORD desired = 0;
    if (access & OPEN_READ) desired |= GENERIC_READ;
    if (access & OPEN_WRITE) desired |= GENERIC_WRITE;
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    if (flags & OPEN_DIRECT) attributes |= FILE_FLAG_NO_BUFFERING;
    if (flags & OPEN_WRITE_THROUGH) attributes |= FILE_FLAG_WRITE_THROUGH;
    if (flags & OPEN_NO_FOLLOW) attributes |= FILE_FLAG_OPEN_REPARSE_POINT;
    const DWORD disposition = (flags & OPEN_CREATE_NEW) ? CREATE_NEW : OPEN_EXISTING;
    HANDLE h = CreateFileW(win32::widen(path).c_str(), desired, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, disposition, attributes, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        last_open_error = GetLastError();
        win32::set_errno_from(last_open_error);
        return NO_DESCRIPTOR;
    }
    if (flags & OPEN_NO_FOLLOW) {
        // A link planted under the name is refused rather than followed.
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            CloseHandle(h);
            errno = ELOOP;
            return NO_DESCRIPTOR;
        }
    }
    return reinterpret_cast<Descriptor>(h);
}

bool close_file(Descriptor d) { return d != NO_DESCRIPTOR && CloseHandle(handle_of(d)); }

int64_t read_at(Descriptor d, void* buffer, size_t length, uint64_t offset) {
    OVERLAPPED o = at_offset(offset);
    DWORD got = 0;
    if (!ReadFile(handle_of(d), buffer, DWORD(std::min(length, MAX_PIECE)), &got, &o)) {
        const DWORD code = GetLastError();
        if (code == ERROR_HANDLE_EOF) return 0;
        win32::set_errno_from(code);
        return -1;
    }
    return got;
}

int64_t write_at(Descriptor d, const void* buffer, size_t length, uint64_t offset) {
    OVERLAPPED o = at_offset(offset);
    DWORD put = 0;
    if (!WriteFile(handle_of(d), buffer, DWORD(std::min(length, MAX_PIECE)), &put, &o)) {
        win32::set_errno_from_last_error();
        return -1;
    }
    return put;
}

int64_t write_two_at(Descriptor d, const void* first, size_t first_length, const void* second,
                     size_t second_length, uint64_t offset) {
    int64_t total = 0;
    if (first_length) {
        total = write_at(d, first, first_length, offset);
        if (total < int64_t(first_length)) return total;
    }
    if (!second_length) return total;
    const int64_t more = write_at(d, second, second_length, offset + uint64_t(total));
    if (more < 0) return total > 0 ? total : -1;
    return total + more;
}

int64_t write_here(Descriptor d, const void* buffer, size_t length) {
    DWORD put = 0;
    if (!WriteFile(handle_of(d), buffer, DWORD(std::min(length, MAX_PIECE)), &put, nullptr)) {
        win32::set_errno_from_last_error();
        return -1;
    }
    return put;
}

int64_t position_of(Descriptor d) {
    LARGE_INTEGER zero{}, at{};
    if (!SetFilePointerEx(handle_of(d), zero, &at, FILE_CURRENT)) return -1;
    return at.QuadPart;
}

bool set_size(Descriptor d, uint64_t bytes) {
    HANDLE h = handle_of(d);
    LARGE_INTEGER zero{}, was{}, to{};
    if (!SetFilePointerEx(h, zero, &was, FILE_CURRENT)) return false;
    // A sparse file takes no space until sectors are written, like a Linux hole.
    DWORD returned = 0;
    if (bytes > 0) DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    to.QuadPart = LONGLONG(bytes);
    const bool ok = SetFilePointerEx(h, to, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    if (!ok) win32::set_errno_from_last_error();
    SetFilePointerEx(h, was, nullptr, FILE_BEGIN);
    return ok;
}

bool sync(Descriptor d) {
    if (FlushFileBuffers(handle_of(d))) return true;
    win32::set_errno_from_last_error();
    return false;
}

bool settle(Descriptor d, uint64_t, uint64_t) { return sync(d); }

// Windows has no counterpart to these cache hints worth the calls: its cache manager
// reads ahead by itself, and an unbuffered handle bypasses it.
void start_writeback(Descriptor, uint64_t, uint64_t) {}
void will_need(Descriptor, uint64_t, uint64_t) {}
void done_with(Descriptor, uint64_t, uint64_t) {}
void reading_sequentially(Descriptor) {}
void reading_once(Descriptor) {}

bool drop_direct(Descriptor* d) {
    // A handle keeps its caching mode for life: open the same file again without it.
    // The access of the old handle is not to be asked for, so read-write is tried
    // before read-only.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    for (DWORD access : {GENERIC_READ | GENERIC_WRITE, DWORD(GENERIC_READ)}) {
        HANDLE h = ReOpenFile(handle_of(*d), access, share, 0);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_of(*d));
            *d = reinterpret_cast<Descriptor>(h);
            return true;
        }
    }
    win32::set_errno_from_last_error();
    return false;
}

int64_t send_file(Descriptor, Descriptor, uint64_t*, size_t) {
    errno = ENOSYS;
    return -1;
}

bool status_of(Descriptor d, FileStatus* out) {
    *out = FileStatus{};
    HANDLE h = handle_of(d);
    if (is_device_handle(h)) {
        out->kind = Kind::Device;
        return true;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) {
        const DWORD type = GetFileType(h);
        if (type == FILE_TYPE_PIPE || type == FILE_TYPE_CHAR) {
            out->kind = Kind::Other;
            return true;
        }
        win32::set_errno_from_last_error();
        return false;
    }
    fill_from_info(info, out);
    FILE_STANDARD_INFO standard{};
    const bool known = GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard);
    // A file deleted while others hold it open keeps its name until they close it:
    // it is gone all the same.
    if (known && standard.DeletePending) {
        *out = FileStatus{};
        errno = ENOENT;
        return false;
    }
    out->allocated = known ? uint64_t(standard.AllocationSize.QuadPart) : out->size;
    return true;
}

bool status_of(const std::string& path, FileStatus* out) {
    *out = FileStatus{};
    // No access asked: this works for folders (with backup semantics) and for files
    // that others hold open, and follows links as stat() does.
    HANDLE h = CreateFileW(win32::widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        win32::set_errno_from_last_error();
        return false;
    }
    bool ok;
    if (is_device_path(path)) {
        out->kind = Kind::Device;
        ok = true;
    } else {
        ok = status_of(reinterpret_cast<Descriptor>(h), out);
    }
    CloseHandle(h);
    return ok;
}

Kind kind_of(const std::string& path) {
    FileStatus st;
    return status_of(path, &st) ? st.kind : Kind::Missing;
}

bool measure(Descriptor d, uint64_t* bytes) {
    HANDLE h = handle_of(d);
    LARGE_INTEGER size{};
    if (!is_device_handle(h) && GetFileSizeEx(h, &size)) {
        *bytes = uint64_t(size.QuadPart);
        return true;
    }
    if (device_length(h, bytes)) return true;
    win32::set_errno_from_last_error();
    return false;
}

uint32_t logical_block_size(Descriptor d) {
    HANDLE h = handle_of(d);
    DISK_GEOMETRY g{};
    DWORD returned = 0;
    if (DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &g, sizeof g, &returned, nullptr) &&
        g.BytesPerSector > 512)
        return g.BytesPerSector;
    // An unbuffered file wants the sector size of the disk below its volume; 4096 is
    // a multiple of every sector size in use.
    return is_device_handle(h) ? 512 : 4096;
}

bool last_open_found_no_medium() {
    return last_open_error == ERROR_NOT_READY || last_open_error == ERROR_NO_MEDIA_IN_DRIVE;
}

bool remove_file(const std::string& path) {
    if (DeleteFileW(win32::widen(path).c_str())) return true;
    win32::set_errno_from_last_error();
    return false;
}

bool rename_file(const std::string& from, const std::string& to) {
    // Written through: the new name is on the disk when the call returns.
    if (MoveFileExW(win32::widen(from).c_str(), win32::widen(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    win32::set_errno_from_last_error();
    return false;
}

void sync_folder_of(const std::string&) {}

void* aligned_alloc(size_t alignment, size_t bytes) { return _aligned_malloc(bytes, alignment); }

void aligned_free(void* memory) { _aligned_free(memory); }

std::string error_text(int error) { return std::strerror(error); }

}  // namespace host
