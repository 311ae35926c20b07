// Sector access: a drive open for file-system work.
//
// Multi-sector reads and all writes go straight to the drive; single-sector reads are
// served from a 256-sector (128 KiB) read window into which every write copies the
// sectors it shares with it; a write that fails drops the window (part of it may have
// landed). Sector counts are 8-bit with 0 meaning 256; only the first 2 GiB
// (sectors below 0x400000) are reachable.
//
// cDisk is one such drive with its window, its read-ahead and its owed flushes; each
// open card (obfs/card.h) has its own, and one thread at a time uses it. The disk_*
// routines are the same operations on the default drive, default_disk(), which the
// default card uses: callers that know of one card only keep working through them.
#pragma once

#include "platform/host_file.h"

#include <cstdint>
#include <memory>
#include <vector>

constexpr uint32_t SECTOR_BYTES = 512;
constexpr uint32_t WINDOW_SECTORS = 256;
constexpr uint32_t MAX_DISK_SIZE = 0x80000000u;   // 2 GiB
constexpr uint32_t REACHABLE_SECTORS = 0x400000u; // sectors 0 .. 0x3FFFFF

namespace drive_layer {
class DriveHandle;
}

// Several files that lie back to back, read by one batch, come in one drive transfer:
// a card charges for every command and for every read that does not follow on from
// the one before. read_ahead reads `count` sectors (at most READ_AHEAD_SECTORS) from
// `sector` and holds them; a later read_run wholly inside them is served from memory.
// Any write, open, close and drop_read_ahead let them go, so nothing this process
// changed on the drive is ever served from the old bytes. false, with nothing held,
// when the transfer failed or no memory is to be had, and on a drive read through the
// host's cache: the host reads ahead and merges requests itself, and does so in the
// background, where this read would wait.
constexpr uint32_t READ_AHEAD_SECTORS = 0x4000;  // 8 MiB

class cDisk {
public:
    cDisk();
    // Closes the drive: writes it still holds back reach it first.
    ~cDisk();
    cDisk(const cDisk&) = delete;
    cDisk& operator=(const cDisk&) = delete;

    bool open(uint8_t drive);
    bool read_sectors(uint32_t sector, uint8_t count, void* buffer);
    bool read_sector(uint32_t sector, void* buffer);
    bool write_sectors(uint32_t sector, uint8_t count, const void* buffer);
    bool refresh_window();
    // Like read_sectors and write_sectors for runs of any length, in one drive
    // transfer: a card charges for every command, and a file's clusters lie back to back.
    bool read_run(uint32_t sector, uint32_t count, void* buffer);
    bool write_run(uint32_t sector, uint32_t count, const void* buffer);
    uint32_t get_size() const { return disk_size_; }
    // The drive number last opened (255 before the first open or after a failed one).
    uint8_t drive() const { return drive_; }
    bool is_open() const;

    bool read_ahead(uint32_t sector, uint32_t count);
    // Whether read_ahead can hold anything on the drive that is open.
    bool can_read_ahead() const;
    // Whether the sectors held cover `count` sectors from `sector`.
    bool holds_read_ahead(uint32_t sector, uint32_t count) const;
    void drop_read_ahead();

    // Pushes everything written so far to the medium (the drive layer's flush), so a
    // card pulled out afterwards holds it. false when no drive is open or the flush
    // failed.
    bool flush();
    // A hint that `count` sectors from `sector` will be read soon; the drive may fetch
    // them in the background. Changes nothing and reports nothing.
    void prefetch_sectors(uint32_t sector, uint32_t count);
    // A hint that `count` sectors from `sector` are about to be written in order; the
    // drive may prepare for them in the background. Changes nothing and reports nothing.
    void will_write_sectors(uint32_t sector, uint32_t count);
    // Copies `bytes` bytes of the drive from byte `offset` into the host file `out_fd`
    // at its position, inside the host where the drive allows (no buffer of ours in
    // between). false when the drive cannot or a transfer failed; `done` receives the
    // bytes that reached the file either way, and the rest can be read the ordinary way.
    bool send_to_file(uint64_t offset, uint32_t bytes, host::Descriptor out_fd, uint32_t* done);
    // Closes the drive: writes a drive still holds back reach it first. false when they
    // did not (or no drive was open).
    bool close();

    // Introspection for tests and the benchmarks.
    uint32_t window_start() const { return window_start_; }   // 0xFFFFFFFF when empty
    uint64_t window_loads() const { return window_loads_; }   // window (re)loads so far

private:
    friend class DeferredFlushes;
    bool load_window(uint32_t start);
    bool read_sector_run(uint32_t sector, uint32_t sectors, void* buffer);
    bool write_sector_run(uint32_t sector, uint32_t n, const void* buffer);

    std::unique_ptr<drive_layer::DriveHandle> handle_;
    uint8_t drive_ = 255;
    uint32_t disk_size_ = 0;
    uint64_t drive_sectors_ = 0;  // real size of the medium, for the shortened window
    std::vector<uint8_t> window_;
    uint32_t window_start_;
    uint32_t window_count_ = 0;   // sectors held: 256, fewer near the end of the drive
    uint64_t window_loads_ = 0;
    // Sectors read ahead for a batch (read_ahead); aligned for direct transfers.
    std::unique_ptr<uint8_t, host::AlignedFree> held_;
    uint32_t held_start_ = 0;
    uint32_t held_count_ = 0;     // 0: nothing held
    bool unflushed_ = false;      // written since the last flush to the medium
    bool deferring_ = false;      // flushes wait for the end of a DeferredFlushes scope
    bool deferred_failed_ = false;  // what that end must report besides its own flush
};

// The drive of the default card, for the disk_* routines below.
cDisk& default_disk();

bool disk_open(uint8_t drive);
bool disk_read_sectors(uint32_t sector, uint8_t count, void* buffer);
bool disk_read_sector(uint32_t sector, void* buffer);
bool disk_write_sectors(uint32_t sector, uint8_t count, const void* buffer);
bool disk_refresh_window();
bool disk_read_run(uint32_t sector, uint32_t count, void* buffer);
bool disk_write_run(uint32_t sector, uint32_t count, const void* buffer);
uint32_t disk_get_size();
bool disk_read_ahead(uint32_t sector, uint32_t count);
bool disk_can_read_ahead();
bool disk_holds_read_ahead(uint32_t sector, uint32_t count);
void disk_drop_read_ahead();
bool disk_flush();
void disk_prefetch_sectors(uint32_t sector, uint32_t count);
void disk_will_write_sectors(uint32_t sector, uint32_t count);
bool disk_send_to_file(uint64_t offset, uint32_t bytes, host::Descriptor out_fd, uint32_t* done);
bool disk_close();

// Building a volume from scratch (a format) makes it valid only with its last write,
// the superblock: until then the order of the other writes does not matter, and the
// flushes that keep that order elsewhere can wait. While a DeferredFlushes scope is
// open on a drive, its flush() owes its flush to the scope's end and says only whether
// every write since the scope began succeeded (no later flush can make a failed one
// good). end() carries out the one flush owed and returns its real result: false also
// when a write failed during the scope, or when the drive was reopened meanwhile and
// the old handle's flush failed. A scope its owner did not end ends with its destructor.
class DeferredFlushes {
public:
    DeferredFlushes() : DeferredFlushes(default_disk()) {}
    explicit DeferredFlushes(cDisk& disk);
    ~DeferredFlushes();
    DeferredFlushes(const DeferredFlushes&) = delete;
    DeferredFlushes& operator=(const DeferredFlushes&) = delete;
    bool end();

private:
    cDisk& disk_;
    bool open_ = true;
};

// Introspection of the default drive, for tests and the benchmarks.
uint32_t disk_window_start();     // 0xFFFFFFFF when the window is empty
uint64_t disk_window_loads();     // number of window (re)loads since start-up
