// Physical disks of a Windows host as drives: \\.\PhysicalDriveN.
//
// Identity, removable media and bus type come from the storage descriptor, the size
// from the disk's length (its geometry where the driver knows no length). Transfers
// are unbuffered and written through, so a write has reached the card when it
// returns. Before a disk is opened for writing, every volume on it is locked and
// dismounted, so Windows neither holds stale file system data over what this program
// writes nor writes its own over it; the lock is held while the disk is open.
#pragma once

#include "device/drive_layer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace drive_layer {

// The disk requests, behind a seam: tests stand in for them where the host answers
// none (wine).
class DiskQueries {
public:
    virtual ~DiskQueries() = default;
    // The storage device descriptor (IOCTL_STORAGE_QUERY_PROPERTY) of an open disk.
    virtual bool descriptor(host::Descriptor disk, std::vector<uint8_t>* out) = 0;
    // Bytes on the disk (IOCTL_DISK_GET_LENGTH_INFO, else the geometry's product).
    virtual bool length(host::Descriptor disk, uint64_t* bytes) = 0;
    // The volumes with an extent on disk `disk_number` ("\\?\Volume{...}"); false
    // when that cannot be told.
    virtual bool volumes_on_disk(uint32_t disk_number, std::vector<std::string>* volumes) = 0;
    // Disk numbers that hold the Windows volume.
    virtual std::vector<uint32_t> system_disks() = 0;
};

// The host's own answers.
std::shared_ptr<DiskQueries> windows_disk_queries();

class Win32DiskSource : public DriveSource {
public:
    // `disk_number` is N of \\.\PhysicalDriveN (UNKNOWN_DISK for other device paths,
    // which can then only be read). `system_disk`: the disk holds the Windows volume.
    Win32DiskSource(std::string path, uint32_t disk_number, bool system_disk, bool attached,
                    std::shared_ptr<DiskQueries> queries);

    // Always unbuffered and written through, whatever `unbuffered` says.
    std::unique_ptr<DriveHandle> open(Access access, bool unbuffered) override;
    std::string describe() const override { return path_; }
    // The volumes Windows mounted from the disk ("\\?\Volume{...}"); whether the disk
    // refuses writes is not told.
    DriveState state() const override;

private:
    std::string path_;
    uint32_t disk_number_;
    bool system_disk_;
    bool attached_;
    std::shared_ptr<DiskQueries> queries_;
};

}  // namespace drive_layer
