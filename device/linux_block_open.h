// Opening a Linux block device node: directly when the user may, else through udisks2.
// Write opens are exclusive (O_EXCL), so nothing can mount the disk or open it
// exclusively while a copy or a format runs, and a disk in such use is refused.
#pragma once

#include "device/drive_layer.h"
#include "device/drive_refusal.h"
#include "device/fd_drive_handle.h"
#include "device/linux_udisks.h"

#include <memory>
#include <string>
#include <vector>

namespace drive_layer {

// The node itself. -1 with errno set on failure; `direct` tells whether the
// descriptor does direct I/O. `exclusive` asks for O_EXCL (write opens only).
int open_block_node(const std::string& path, Access access, bool unbuffered, bool exclusive, bool* direct);

// Through udisks2, with the same flags. -1 with `refusal` filled on failure.
int open_block_through_udisks(const std::string& path, Access access, bool unbuffered, bool exclusive,
                              bool* direct, OpenRefusal* refusal);

// A write handle on a block device. The first one of this process on a device holds
// the exclusive claim; later ones (the menu program installer beside the sector layer)
// open within it, since the kernel would refuse a second exclusive open.
class BlockWriteHandle : public FdDriveHandle {
public:
    BlockWriteHandle(std::string path, int fd, bool direct, std::vector<uint8_t> descriptor, uint32_t media_type);
    ~BlockWriteHandle() override;
    // Whether this process holds a write handle on `path` now.
    static bool held(const std::string& path);

private:
    std::string path_;
};

// What a udisks2 failure means to the user.
OpenProblem open_problem_of(UdisksProblem problem);

// What an errno of a failed open means to the user.
OpenRefusal refusal_for_errno(const std::string& path, int error);

// A read-only handle for a device the user may not open directly: the probe's
// questions are answered from what sysfs tells, and the device is opened through
// udisks2 (which may ask for a password) on the first read.
class DeferredReadHandle : public DriveHandle {
public:
    DeferredReadHandle(std::string path, bool unbuffered, std::vector<uint8_t> descriptor, uint32_t media_type,
                       uint64_t sectors);

    bool seek(uint64_t byte_offset) override;
    bool read(void* buffer, uint32_t length, uint32_t* done) override;
    bool write(const void*, uint32_t, uint32_t* done) override;
    bool flush() override;
    bool query_descriptor(std::vector<uint8_t>& out, size_t capacity) override;
    bool query_geometry(DiskGeometry& out) override;

private:
    bool opened();

    std::string path_;
    bool unbuffered_;
    std::vector<uint8_t> descriptor_;
    uint32_t media_type_;
    uint64_t sectors_;
    uint64_t position_ = 0;
    bool tried_ = false;
    std::unique_ptr<DriveHandle> inner_;
};

}  // namespace drive_layer
