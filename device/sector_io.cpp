// The process-wide drive for file-system work and its 256-sector read window.
#include "device/sector_io.h"

#include "device/disk_info.h"
#include "device/drive_layer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr uint32_t EMPTY_WINDOW = 0xFFFFFFFFu;

struct OpenDrive {
    std::unique_ptr<drive_layer::DriveHandle> handle;
    uint32_t disk_size = 0;
    uint64_t drive_sectors = 0;  // real size of the medium, for the shortened window
    std::vector<uint8_t> window = std::vector<uint8_t>(WINDOW_SECTORS * SECTOR_BYTES, 0);
    uint32_t window_start = EMPTY_WINDOW;
    uint32_t window_count = 0;   // sectors held: 256, fewer near the end of the drive
    uint64_t window_loads = 0;
    // Sectors read ahead for a batch (disk_read_ahead); aligned for direct transfers.
    std::unique_ptr<uint8_t, host::AlignedFree> held;
    uint32_t held_start = 0;
    uint32_t held_count = 0;     // 0: nothing held
    bool unflushed = false;      // written since the last flush to the medium
    bool deferring = false;      // flushes wait for the end of a DeferredFlushes scope
    bool deferred_failed = false;  // what that end must report besides its own flush
};

// Destroyed at process exit, which closes the drive.
OpenDrive g;

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

bool load_window(uint32_t start) {
    uint32_t count = WINDOW_SECTORS;
    // Near the end of the drive the window holds only the sectors that exist.
    if (g.drive_sectors > start && g.drive_sectors - start < count)
        count = uint32_t(g.drive_sectors - start);
    ++g.window_loads;
    g.window_start = start;
    g.window_count = count;
    if (!disk_read_sectors(start, uint8_t(count == WINDOW_SECTORS ? 0 : count), g.window.data())) {
        g.window_start = EMPTY_WINDOW;
        return false;
    }
    return true;
}

}  // namespace

bool disk_open(uint8_t drive) {
    // Writes still owed a flush go out on the old handle before it is let go; the
    // scope that deferred them hears how that went.
    if (g.handle) {
        const bool flushed = !g.unflushed || g.handle->flush();
        if (!disk_close() || !flushed) g.deferred_failed = g.deferring;
    }
    g.deferring = false;
    c_disk_info info;
    if (!info.probe(drive)) return false;
    auto handle = drive_layer::open_drive(drive, drive_layer::READ_WRITE, false);
    if (!handle) return false;
    // Only the low 32 bits of the capacity count: the card format measures sizes in
    // 32-bit bytes, so a drive of 4 GiB or more is seen modulo 4 GiB.
    uint32_t size = uint32_t(info.capacity);
    if (size > MAX_DISK_SIZE) return false;
    disk_drop_read_ahead();
    g.handle = std::move(handle);
    g.disk_size = size;
    g.drive_sectors = info.capacity / SECTOR_BYTES;
    g.window_start = EMPTY_WINDOW;
    g.window_count = 0;
    g.unflushed = false;
    std::memset(g.window.data(), 0, g.window.size());
    return true;
}

// The transfers behind both kinds of sector count. Only the first sector must be
// reachable, as the 8-bit counts have always had it; runs check their end themselves.
static bool read_sector_run(uint32_t sector, uint32_t sectors, void* buffer) {
    if (!g.handle || !buffer || !reachable(sector)) return false;
    if (!g.handle->seek(uint64_t(sector) * SECTOR_BYTES)) return false;
    auto* out = static_cast<uint8_t*>(buffer);
    return transfer_all(sectors * SECTOR_BYTES, [&](uint32_t at, uint32_t n, uint32_t* done) {
        return g.handle->read(out + at, n, done);
    });
}

bool disk_read_sector(uint32_t sector, void* buffer) {
    if (!g.handle || !buffer) return false;
    if (g.window_start == EMPTY_WINDOW || sector < g.window_start ||
        sector - g.window_start >= g.window_count) {
        if (!load_window(sector)) return false;
    }
    std::memcpy(buffer, g.window.data() + size_t(sector - g.window_start) * SECTOR_BYTES, SECTOR_BYTES);
    return true;
}

static bool write_sector_run(uint32_t sector, uint32_t n, const void* buffer) {
    if (!g.handle || !buffer || !reachable(sector)) return false;
    if (!g.handle->seek(uint64_t(sector) * SECTOR_BYTES)) return false;
    const auto* in = static_cast<const uint8_t*>(buffer);
    g.unflushed = true;
    disk_drop_read_ahead();
    const bool written = transfer_all(n * SECTOR_BYTES, [&](uint32_t at, uint32_t len, uint32_t* done) {
        return g.handle->write(in + at, len, done);
    });
    if (!written && g.deferring) g.deferred_failed = true;
    // Write-through: the sectors a write shares with the window are copied into it, so
    // the window goes on showing what the drive holds without a 128 KiB re-read (on a
    // card, several milliseconds after every table or directory write). After a failed
    // write nobody knows which of its sectors changed: the window is dropped, and the
    // next read fetches what the drive really holds.
    if (g.window_start != EMPTY_WINDOW) {
        const uint64_t first = sector, last = uint64_t(sector) + n - 1;
        const uint64_t wfirst = g.window_start, wlast = uint64_t(g.window_start) + WINDOW_SECTORS - 1;
        if (first <= wlast && last >= wfirst) {
            if (!written) {
                g.window_start = EMPTY_WINDOW;
            } else {
                const uint64_t from = std::max(first, wfirst);
                const uint64_t to = std::min(last, wfirst + g.window_count - 1);
                if (from <= to)
                    std::memcpy(g.window.data() + (from - wfirst) * SECTOR_BYTES, in + (from - first) * SECTOR_BYTES,
                                size_t(to - from + 1) * SECTOR_BYTES);
            }
        }
    }
    return written;
}

bool disk_refresh_window() {
    if (g.window_start == EMPTY_WINDOW) return false;
    return load_window(g.window_start);
}

bool disk_read_sectors(uint32_t sector, uint8_t count, void* buffer) {
    return read_sector_run(sector, sectors_of(count), buffer);
}

bool disk_write_sectors(uint32_t sector, uint8_t count, const void* buffer) {
    return write_sector_run(sector, sectors_of(count), buffer);
}

// At most 4 GiB - 512 bytes in one transfer, all of it reachable.
static bool run_fits(uint32_t sector, uint32_t count) {
    return count > 0 && count <= UINT32_MAX / SECTOR_BYTES && sector < REACHABLE_SECTORS &&
           count <= REACHABLE_SECTORS - sector;
}

bool disk_read_run(uint32_t sector, uint32_t count, void* buffer) {
    if (!run_fits(sector, count)) return false;
    if (g.handle && buffer && disk_holds_read_ahead(sector, count)) {
        std::memcpy(buffer, g.held.get() + size_t(sector - g.held_start) * SECTOR_BYTES, size_t(count) * SECTOR_BYTES);
        return true;
    }
    return read_sector_run(sector, count, buffer);
}

bool disk_read_ahead(uint32_t sector, uint32_t count) {
    disk_drop_read_ahead();
    if (!disk_can_read_ahead() || count > READ_AHEAD_SECTORS || !run_fits(sector, count)) return false;
    g.held.reset(static_cast<uint8_t*>(host::aligned_alloc(4096, size_t(count) * SECTOR_BYTES)));
    if (!g.held || !read_sector_run(sector, count, g.held.get())) {
        g.held.reset();
        return false;
    }
    g.held_start = sector;
    g.held_count = count;
    return true;
}

bool disk_can_read_ahead() { return g.handle && !g.handle->host_cached(); }

bool disk_holds_read_ahead(uint32_t sector, uint32_t count) {
    return g.held_count > 0 && sector >= g.held_start && count <= g.held_count &&
           sector - g.held_start <= g.held_count - count;
}

void disk_drop_read_ahead() {
    g.held.reset();
    g.held_count = 0;
}

bool disk_write_run(uint32_t sector, uint32_t count, const void* buffer) {
    return run_fits(sector, count) && write_sector_run(sector, count, buffer);
}

uint32_t disk_get_size() { return g.disk_size; }

// Several layers end their work with a flush (a stream's close, a release, a copy);
// only the first after a write reaches the medium, the others cost nothing.
bool disk_flush() {
    if (!g.handle) return false;
    if (g.deferring) return !g.deferred_failed;
    if (!g.unflushed) return true;
    if (!g.handle->flush()) return false;
    g.unflushed = false;
    return true;
}

void disk_prefetch_sectors(uint32_t sector, uint32_t count) {
    if (!g.handle || !reachable(sector)) return;
    const uint32_t reachable_count = std::min(count, REACHABLE_SECTORS - sector);
    g.handle->will_need(uint64_t(sector) * SECTOR_BYTES, uint64_t(reachable_count) * SECTOR_BYTES);
}

void disk_will_write_sectors(uint32_t sector, uint32_t count) {
    if (!g.handle || !reachable(sector)) return;
    const uint32_t reachable_count = std::min(count, REACHABLE_SECTORS - sector);
    g.handle->will_write(uint64_t(sector) * SECTOR_BYTES, uint64_t(reachable_count) * SECTOR_BYTES);
}

bool disk_send_to_file(uint64_t offset, uint32_t bytes, host::Descriptor out_fd, uint32_t* done) {
    *done = 0;
    if (!g.handle || offset + bytes > uint64_t(REACHABLE_SECTORS) * SECTOR_BYTES) return false;
    return g.handle->send_to_file(offset, bytes, out_fd, done);
}

DeferredFlushes::DeferredFlushes() {
    g.deferring = true;
    g.deferred_failed = false;
}

DeferredFlushes::~DeferredFlushes() { end(); }

bool DeferredFlushes::end() {
    if (!open_) return true;
    open_ = false;
    const bool failed_meanwhile = g.deferred_failed;
    g.deferring = false;
    g.deferred_failed = false;
    return disk_flush() && !failed_meanwhile;
}

bool disk_close() {
    const bool closed = g.handle && g.handle->close();
    g.handle.reset();
    g.window_start = EMPTY_WINDOW;
    disk_drop_read_ahead();
    return closed;
}

uint32_t disk_window_start() { return g.window_start; }

uint64_t disk_window_loads() { return g.window_loads; }
