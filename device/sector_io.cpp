// A drive open for file-system work, with its 256-sector read window.
#include "device/sector_io.h"

#include "device/disk_info.h"
#include "device/drive_layer.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t EMPTY_WINDOW = 0xFFFFFFFFu;

uint32_t sectors_of(uint8_t count) { return count == 0 ? WINDOW_SECTORS : count; }

bool reachable(uint32_t sector) { return sector < REACHABLE_SECTORS; }

// Moves `bytes` bytes at the current position, going on after short transfers; a
// transfer that moves nothing fails the whole operation.
template <typename Transfer>
bool transfer_all(uint32_t bytes, Transfer transfer) {
    uint32_t moved = 0;
    while (moved < bytes) {
        uint32_t done = 0;
        if (!transfer(moved, bytes - moved, &done) || done == 0) return false;
        moved += done;
    }
    return true;
}

// At most 4 GiB - 512 bytes in one transfer, all of it reachable.
bool run_fits(uint32_t sector, uint32_t count) {
    return count > 0 && count <= UINT32_MAX / SECTOR_BYTES && sector < REACHABLE_SECTORS &&
           count <= REACHABLE_SECTORS - sector;
}

}  // namespace

cDisk::cDisk() : window_(WINDOW_SECTORS * SECTOR_BYTES, 0), window_start_(EMPTY_WINDOW) {}

cDisk::~cDisk() { close(); }

bool cDisk::is_open() const { return handle_ != nullptr; }

bool cDisk::load_window(uint32_t start) {
    uint32_t count = WINDOW_SECTORS;
    // Near the end of the drive the window holds only the sectors that exist.
    if (drive_sectors_ > start && drive_sectors_ - start < count) count = uint32_t(drive_sectors_ - start);
    ++window_loads_;
    window_start_ = start;
    window_count_ = count;
    if (!read_sectors(start, uint8_t(count == WINDOW_SECTORS ? 0 : count), window_.data())) {
        window_start_ = EMPTY_WINDOW;
        return false;
    }
    return true;
}

bool cDisk::open(uint8_t drive) {
    // Writes still owed a flush go out on the old handle before it is let go; the
    // scope that deferred them hears how that went.
    if (handle_) {
        const bool flushed = !unflushed_ || handle_->flush();
        if (!close() || !flushed) deferred_failed_ = deferring_;
    }
    deferring_ = false;
    drive_ = 255;
    c_disk_info info;
    if (!info.probe(drive)) return false;
    auto handle = drive_layer::open_drive(drive, drive_layer::READ_WRITE, false);
    if (!handle) return false;
    // Only the low 32 bits of the capacity count: the card format measures sizes in
    // 32-bit bytes, so a drive of 4 GiB or more is seen modulo 4 GiB.
    uint32_t size = uint32_t(info.capacity);
    if (size > MAX_DISK_SIZE) return false;
    drop_read_ahead();
    handle_ = std::move(handle);
    drive_ = drive;
    disk_size_ = size;
    drive_sectors_ = info.capacity / SECTOR_BYTES;
    window_start_ = EMPTY_WINDOW;
    window_count_ = 0;
    unflushed_ = false;
    std::memset(window_.data(), 0, window_.size());
    return true;
}

// The transfers behind both kinds of sector count. Only the first sector must be
// reachable, as the 8-bit counts have always had it; runs check their end themselves.
bool cDisk::read_sector_run(uint32_t sector, uint32_t sectors, void* buffer) {
    if (!handle_ || !buffer || !reachable(sector)) return false;
    if (!handle_->seek(uint64_t(sector) * SECTOR_BYTES)) return false;
    auto* out = static_cast<uint8_t*>(buffer);
    return transfer_all(sectors * SECTOR_BYTES, [&](uint32_t at, uint32_t n, uint32_t* done) {
        return handle_->read(out + at, n, done);
    });
}

bool cDisk::read_sector(uint32_t sector, void* buffer) {
    if (!handle_ || !buffer) return false;
    if (window_start_ == EMPTY_WINDOW || sector < window_start_ || sector - window_start_ >= window_count_) {
        if (!load_window(sector)) return false;
    }
    std::memcpy(buffer, window_.data() + size_t(sector - window_start_) * SECTOR_BYTES, SECTOR_BYTES);
    return true;
}

bool cDisk::write_sector_run(uint32_t sector, uint32_t n, const void* buffer) {
    if (!handle_ || !buffer || !reachable(sector)) return false;
    if (!handle_->seek(uint64_t(sector) * SECTOR_BYTES)) return false;
    const auto* in = static_cast<const uint8_t*>(buffer);
    unflushed_ = true;
    drop_read_ahead();
    const bool written = transfer_all(n * SECTOR_BYTES, [&](uint32_t at, uint32_t len, uint32_t* done) {
        return handle_->write(in + at, len, done);
    });
    if (!written && deferring_) deferred_failed_ = true;
    // Write-through: the sectors a write shares with the window are copied into it, so
    // the window goes on showing what the drive holds without a 128 KiB re-read (on a
    // card, several milliseconds after every table or directory write). After a failed
    // write nobody knows which of its sectors changed: the window is dropped, and the
    // next read fetches what the drive really holds.
    if (window_start_ != EMPTY_WINDOW) {
        const uint64_t first = sector, last = uint64_t(sector) + n - 1;
        const uint64_t wfirst = window_start_, wlast = uint64_t(window_start_) + WINDOW_SECTORS - 1;
        if (first <= wlast && last >= wfirst) {
            if (!written) {
                window_start_ = EMPTY_WINDOW;
            } else {
                const uint64_t from = std::max(first, wfirst);
                const uint64_t to = std::min(last, wfirst + window_count_ - 1);
                if (from <= to)
                    std::memcpy(window_.data() + (from - wfirst) * SECTOR_BYTES, in + (from - first) * SECTOR_BYTES,
                                size_t(to - from + 1) * SECTOR_BYTES);
            }
        }
    }
    return written;
}

bool cDisk::refresh_window() {
    if (window_start_ == EMPTY_WINDOW) return false;
    return load_window(window_start_);
}

bool cDisk::read_sectors(uint32_t sector, uint8_t count, void* buffer) {
    return read_sector_run(sector, sectors_of(count), buffer);
}

bool cDisk::write_sectors(uint32_t sector, uint8_t count, const void* buffer) {
    return write_sector_run(sector, sectors_of(count), buffer);
}

bool cDisk::read_run(uint32_t sector, uint32_t count, void* buffer) {
    if (!run_fits(sector, count)) return false;
    if (handle_ && buffer && holds_read_ahead(sector, count)) {
        std::memcpy(buffer, held_.get() + size_t(sector - held_start_) * SECTOR_BYTES, size_t(count) * SECTOR_BYTES);
        return true;
    }
    return read_sector_run(sector, count, buffer);
}

bool cDisk::read_ahead(uint32_t sector, uint32_t count) {
    drop_read_ahead();
    if (!can_read_ahead() || count > READ_AHEAD_SECTORS || !run_fits(sector, count)) return false;
    held_.reset(static_cast<uint8_t*>(host::aligned_alloc(4096, size_t(count) * SECTOR_BYTES)));
    if (!held_ || !read_sector_run(sector, count, held_.get())) {
        held_.reset();
        return false;
    }
    held_start_ = sector;
    held_count_ = count;
    return true;
}

bool cDisk::can_read_ahead() const { return handle_ && !handle_->host_cached(); }

bool cDisk::holds_read_ahead(uint32_t sector, uint32_t count) const {
    return held_count_ > 0 && sector >= held_start_ && count <= held_count_ &&
           sector - held_start_ <= held_count_ - count;
}

void cDisk::drop_read_ahead() {
    held_.reset();
    held_count_ = 0;
}

bool cDisk::write_run(uint32_t sector, uint32_t count, const void* buffer) {
    return run_fits(sector, count) && write_sector_run(sector, count, buffer);
}

// Several layers end their work with a flush (a stream's close, a release, a copy);
// only the first after a write reaches the medium, the others cost nothing.
bool cDisk::flush() {
    if (!handle_) return false;
    if (deferring_) return !deferred_failed_;
    if (!unflushed_) return true;
    if (!handle_->flush()) return false;
    unflushed_ = false;
    return true;
}

void cDisk::prefetch_sectors(uint32_t sector, uint32_t count) {
    if (!handle_ || !reachable(sector)) return;
    const uint32_t reachable_count = std::min(count, REACHABLE_SECTORS - sector);
    handle_->will_need(uint64_t(sector) * SECTOR_BYTES, uint64_t(reachable_count) * SECTOR_BYTES);
}

void cDisk::will_write_sectors(uint32_t sector, uint32_t count) {
    if (!handle_ || !reachable(sector)) return;
    const uint32_t reachable_count = std::min(count, REACHABLE_SECTORS - sector);
    handle_->will_write(uint64_t(sector) * SECTOR_BYTES, uint64_t(reachable_count) * SECTOR_BYTES);
}

bool cDisk::send_to_file(uint64_t offset, uint32_t bytes, host::Descriptor out_fd, uint32_t* done) {
    *done = 0;
    if (!handle_ || offset + bytes > uint64_t(REACHABLE_SECTORS) * SECTOR_BYTES) return false;
    return handle_->send_to_file(offset, bytes, out_fd, done);
}

bool cDisk::close() {
    const bool closed = handle_ && handle_->close();
    handle_.reset();
    window_start_ = EMPTY_WINDOW;
    drop_read_ahead();
    return closed;
}

DeferredFlushes::DeferredFlushes(cDisk& disk) : disk_(disk) {
    disk_.deferring_ = true;
    disk_.deferred_failed_ = false;
}

DeferredFlushes::~DeferredFlushes() { end(); }

bool DeferredFlushes::end() {
    if (!open_) return true;
    open_ = false;
    const bool failed_meanwhile = disk_.deferred_failed_;
    disk_.deferring_ = false;
    disk_.deferred_failed_ = false;
    return disk_.flush() && !failed_meanwhile;
}

// Destroyed at process exit, which closes the drive.
cDisk& default_disk() {
    static cDisk the_disk;
    return the_disk;
}

bool disk_open(uint8_t drive) { return default_disk().open(drive); }
bool disk_read_sectors(uint32_t sector, uint8_t count, void* buffer) {
    return default_disk().read_sectors(sector, count, buffer);
}
bool disk_read_sector(uint32_t sector, void* buffer) { return default_disk().read_sector(sector, buffer); }
bool disk_write_sectors(uint32_t sector, uint8_t count, const void* buffer) {
    return default_disk().write_sectors(sector, count, buffer);
}
bool disk_refresh_window() { return default_disk().refresh_window(); }
bool disk_read_run(uint32_t sector, uint32_t count, void* buffer) {
    return default_disk().read_run(sector, count, buffer);
}
bool disk_write_run(uint32_t sector, uint32_t count, const void* buffer) {
    return default_disk().write_run(sector, count, buffer);
}
uint32_t disk_get_size() { return default_disk().get_size(); }
bool disk_read_ahead(uint32_t sector, uint32_t count) { return default_disk().read_ahead(sector, count); }
bool disk_can_read_ahead() { return default_disk().can_read_ahead(); }
bool disk_holds_read_ahead(uint32_t sector, uint32_t count) {
    return default_disk().holds_read_ahead(sector, count);
}
void disk_drop_read_ahead() { default_disk().drop_read_ahead(); }
bool disk_flush() { return default_disk().flush(); }
void disk_prefetch_sectors(uint32_t sector, uint32_t count) { default_disk().prefetch_sectors(sector, count); }
void disk_will_write_sectors(uint32_t sector, uint32_t count) { default_disk().will_write_sectors(sector, count); }
bool disk_send_to_file(uint64_t offset, uint32_t bytes, host::Descriptor out_fd, uint32_t* done) {
    return default_disk().send_to_file(offset, bytes, out_fd, done);
}
bool disk_close() { return default_disk().close(); }
uint32_t disk_window_start() { return default_disk().window_start(); }
uint64_t disk_window_loads() { return default_disk().window_loads(); }
