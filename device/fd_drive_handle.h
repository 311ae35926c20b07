// A drive handle on a host file descriptor: a whole-disk block device or a card image
// file. Transfers use positioned reads and writes at the handle's own position, go on
// after interrupted and partial transfers, and never move bytes past the end of the
// medium as measured when the handle was opened (an image file does not grow).
#pragma once

#include "device/drive_layer.h"
#include "platform/host_file.h"

#include <cstdint>
#include <string>
#include <vector>

namespace drive_layer {

// Opens `path` for the given access, close-on-exec. With `unbuffered` it asks for
// direct I/O and falls back to ordinary I/O when the file system refuses it;
// `direct` tells which one was granted. NO_DESCRIPTOR with errno set on failure.
host::Descriptor open_drive_fd(const std::string& path, Access access, bool unbuffered, bool* direct);

// Size in bytes of what the descriptor holds: BLKGETSIZE64 for a block device, the
// file size for anything else. false when it cannot be measured.
bool measure_fd(host::Descriptor fd, uint64_t* bytes);

class FdDriveHandle : public DriveHandle {
public:
    // Takes ownership of `fd`. `descriptor` answers the property query, `media_type`
    // the geometry query; `direct` says the descriptor was opened for direct I/O.
    FdDriveHandle(host::Descriptor fd, bool direct, std::vector<uint8_t> descriptor, uint32_t media_type);
    ~FdDriveHandle() override;
    FdDriveHandle(const FdDriveHandle&) = delete;
    FdDriveHandle& operator=(const FdDriveHandle&) = delete;

    bool seek(uint64_t byte_offset) override;
    // A read that starts at or after the end of the medium succeeds and moves nothing;
    // one that runs over the end moves what exists. A write moves what fits and fails
    // (no space) when anything is left over.
    bool read(void* buffer, uint32_t length, uint32_t* done) override;
    bool write(const void* buffer, uint32_t length, uint32_t* done) override;
    bool flush() override;
    bool close() override;
    bool host_cached() const override { return !direct_; }
    // Lets the host read the range into its cache in the background (buffered only).
    void will_need(uint64_t offset, uint64_t length) override;
    // Image files: fetches the pages the range only partly covers (its first and last),
    // which the writes to come would otherwise wait for.
    void will_write(uint64_t offset, uint64_t length) override;
    // Buffered handles: drops the range's clean pages from the host's cache.
    void forget_cached(uint64_t offset, uint64_t length) override;
    // Buffered handles only (sendfile reads through the host's cache).
    bool send_to_file(uint64_t offset, uint32_t length, host::Descriptor out_fd, uint32_t* done) override;
    bool query_descriptor(std::vector<uint8_t>& out, size_t capacity) override;
    // Fails when the medium measures 0 bytes (a reader without a card).
    bool query_geometry(DiskGeometry& out) override;

    bool direct() const { return direct_; }
    // For sources that know the medium's size better than the host's measure of it.
    void set_medium_bytes(uint64_t bytes) { limit_ = bytes; }

private:
    bool transfer(bool writing, uint8_t* buffer, uint32_t length, uint32_t* done);
    bool write_holding_tail(const uint8_t* buffer, uint32_t length, uint64_t offset, size_t* moved);
    bool put_held_tail();
    void start_writeback(uint64_t offset, uint64_t length);
    bool bounced(bool writing, uint8_t* buffer, uint64_t offset, uint32_t length, uint32_t* done);
    bool aligned(const void* buffer, uint64_t offset, uint64_t length) const;
    void drop_direct();

    host::Descriptor fd_ = host::NO_DESCRIPTOR;
    bool direct_ = false;
    uint32_t align_ = 512;       // what direct I/O needs of offsets, lengths and buffers
    uint64_t position_ = 0;
    uint64_t limit_ = 0;         // medium size when opened
    std::vector<uint8_t> descriptor_;
    uint32_t media_type_ = MEDIA_UNKNOWN;

    // Image files live on host file systems with 4 KiB pages, and a card's clusters
    // start 512 bytes past a page boundary (data_start is odd), so every buffered write
    // of whole clusters would end inside a page that the host must first read from its
    // disk to merge. A write's bytes after its last page boundary are held here and
    // written in front of the next write when that one follows on directly, so a run
    // of sequential writes merges only its first page. The held bytes reach the file
    // before any read, any write elsewhere, a flush and the handle's end; an error in
    // writing them is reported there, as the host reports a buffered write's errors,
    // and again by the next flush or close, whichever call first heard of it.
    bool hold_tails_ = false;
    bool held_write_failed_ = false;  // since the last flush or close
    std::vector<uint8_t> held_;
    uint64_t held_at_ = 0;
};

}  // namespace drive_layer
