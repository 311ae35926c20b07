#include "device/win32_disk_source.h"

#include "device/drive_refusal.h"
#include "device/fd_drive_handle.h"
#include "device/windows_disk_rules.h"
#include "platform/win32_text.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>

namespace drive_layer {

namespace {

HANDLE handle_of(host::Descriptor d) { return reinterpret_cast<HANDLE>(d); }

// Disk numbers under a volume (a spanned or mirrored volume has several).
std::vector<uint32_t> disks_of_volume(const std::wstring& volume_path) {
    std::vector<uint32_t> disks;
    HANDLE h = CreateFileW(volume_path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return disks;
    alignas(8) uint8_t buffer[sizeof(VOLUME_DISK_EXTENTS) + 31 * sizeof(DISK_EXTENT)] = {};
    DWORD returned = 0;
    if (DeviceIoControl(h, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, buffer, sizeof buffer, &returned,
                        nullptr)) {
        const auto* extents = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(buffer);
        for (DWORD i = 0; i < extents->NumberOfDiskExtents && i < 32; ++i)
            disks.push_back(extents->Extents[i].DiskNumber);
    }
    CloseHandle(h);
    return disks;
}

class HostDiskQueries : public DiskQueries {
public:
    bool descriptor(host::Descriptor disk, std::vector<uint8_t>* out) override {
        STORAGE_PROPERTY_QUERY query{};
        query.PropertyId = StorageDeviceProperty;
        query.QueryType = PropertyStandardQuery;
        std::vector<uint8_t> buffer(1024);
        DWORD returned = 0;
        if (!DeviceIoControl(handle_of(disk), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer.data(),
                             DWORD(buffer.size()), &returned, nullptr))
            return false;
        buffer.resize(returned);
        *out = std::move(buffer);
        return true;
    }

    // The host layer asks the disk for its length, and for its geometry where the
    // driver knows no length.
    bool length(host::Descriptor disk, uint64_t* bytes) override { return host::measure(disk, bytes) && *bytes > 0; }

    bool volumes_on_disk(uint32_t disk_number, std::vector<std::string>* volumes) override {
        if (disk_number == UNKNOWN_DISK) return false;
        wchar_t name[MAX_PATH + 1] = {};
        HANDLE find = FindFirstVolumeW(name, MAX_PATH);
        if (find == INVALID_HANDLE_VALUE) return false;
        do {
            // "\\?\Volume{...}\" names the root folder; the volume itself has no
            // trailing backslash.
            std::wstring volume = name;
            if (!volume.empty() && volume.back() == L'\\') volume.pop_back();
            const std::vector<uint32_t> disks = disks_of_volume(volume);
            if (std::find(disks.begin(), disks.end(), disk_number) != disks.end())
                volumes->push_back(host::win32::narrow(volume));
        } while (FindNextVolumeW(find, name, MAX_PATH));
        FindVolumeClose(find);
        return true;
    }

    std::vector<uint32_t> system_disks() override {
        wchar_t windows[MAX_PATH + 1] = {};
        const UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH);
        if (n < 2 || windows[1] != L':') return {};
        return disks_of_volume(std::wstring(L"\\\\.\\") + windows[0] + L":");
    }
};

// Volumes of a disk, locked and dismounted for as long as this lives.
class LockedVolumes {
public:
    LockedVolumes() = default;
    ~LockedVolumes() {
        for (host::Descriptor v : handles_) host::close_file(v);
    }
    LockedVolumes(const LockedVolumes&) = delete;
    LockedVolumes& operator=(const LockedVolumes&) = delete;

    // false, with the refusal filled in, when a volume would not lock.
    bool lock(const std::string& volume, OpenRefusal* refusal) {
        const host::Descriptor v = host::open_file(volume, host::OPEN_READ_WRITE);
        if (v == host::NO_DESCRIPTOR) {
            refusal->problem = OpenProblem::Failed;
            refusal->detail = volume + ": " + host::error_text(errno);
            return false;
        }
        DWORD returned = 0;
        if (!DeviceIoControl(handle_of(v), FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr)) {
            // Files are open on the volume (an Explorer window counts).
            host::close_file(v);
            refusal->problem = OpenProblem::Busy;
            refusal->mount_points = {volume};
            return false;
        }
        handles_.push_back(v);
        // Locked, so no file can be open on it: the dismount cannot lose data.
        DeviceIoControl(handle_of(v), FSCTL_DISMOUNT_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr);
        return true;
    }

private:
    std::vector<host::Descriptor> handles_;
};

class Win32DiskHandle : public FdDriveHandle {
public:
    Win32DiskHandle(host::Descriptor fd, std::vector<uint8_t> descriptor, uint32_t media_type, uint64_t bytes,
                    std::unique_ptr<LockedVolumes> locks)
        : FdDriveHandle(fd, true, std::move(descriptor), media_type),
          media_type_(media_type),
          bytes_(bytes),
          locks_(std::move(locks)) {
        set_medium_bytes(bytes);
    }
    // The size measured at open: the disk requests are not asked again on every probe.
    bool query_geometry(DiskGeometry& out) override {
        if (bytes_ < 512) return false;
        out = geometry_for_capacity(bytes_, media_type_);
        return true;
    }

private:
    uint32_t media_type_;
    uint64_t bytes_;
    std::unique_ptr<LockedVolumes> locks_;  // released after the disk handle closes
};

}  // namespace

std::shared_ptr<DiskQueries> windows_disk_queries() { return std::make_shared<HostDiskQueries>(); }

Win32DiskSource::Win32DiskSource(std::string path, uint32_t disk_number, bool system_disk, bool attached,
                                 std::shared_ptr<DiskQueries> queries)
    : path_(std::move(path)),
      disk_number_(disk_number),
      system_disk_(system_disk),
      attached_(attached),
      queries_(std::move(queries)) {}

DriveState Win32DiskSource::state() const {
    DriveState state;
    std::vector<std::string> volumes;
    if (queries_->volumes_on_disk(disk_number_, &volumes)) state.mount_points = std::move(volumes);
    return state;
}

std::unique_ptr<DriveHandle> Win32DiskSource::open(Access access, bool) {
    auto locks = std::make_unique<LockedVolumes>();
    if (access == READ_WRITE) {
        OpenRefusal refusal{OpenProblem::None, path_, {}, {}};
        // The host's own disks are never written, whatever opened them.
        if (disk_number_ == 0 || system_disk_) {
            refusal.problem = OpenProblem::SystemDisk;
            report_open_refusal(refusal);
            return nullptr;
        }
        std::vector<std::string> volumes;
        if (!queries_->volumes_on_disk(disk_number_, &volumes)) {
            refusal.problem = OpenProblem::Failed;
            refusal.detail = "cannot tell which volumes lie on it";
            report_open_refusal(refusal);
            return nullptr;
        }
        for (const std::string& volume : volumes) {
            if (!locks->lock(volume, &refusal)) {
                report_open_refusal(refusal);
                return nullptr;
            }
        }
    }
    const unsigned flags = (access == READ_WRITE ? host::OPEN_READ_WRITE : host::OPEN_READ) | host::OPEN_DIRECT |
                           host::OPEN_WRITE_THROUGH;
    const host::Descriptor fd = host::open_file(path_, flags);
    if (fd == host::NO_DESCRIPTOR) return nullptr;  // absent, no permission
    std::vector<uint8_t> descriptor;
    uint64_t bytes = 0;
    // A reader without a card opens but has no length.
    if (!queries_->descriptor(fd, &descriptor) || !queries_->length(fd, &bytes)) {
        host::close_file(fd);
        return nullptr;
    }
    const uint32_t media = windows_media_type(descriptor, disk_number_, system_disk_, attached_);
    return std::make_unique<Win32DiskHandle>(fd, std::move(descriptor), media, bytes, std::move(locks));
}

}  // namespace drive_layer
