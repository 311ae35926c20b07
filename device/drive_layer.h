// The drive layer: the one place where this program meets raw drives.
//
// The card code thinks in numbered physical drives (0..15) that it opens, positions,
// reads and writes, and asks two questions: "who are you" (a storage descriptor with
// vendor, product and serial strings) and "what are you" (a disk geometry with a media
// type). This layer answers those questions for three kinds of source behind a drive
// number: real whole-disk block devices, card image files attached as drives, and a
// scriptable fake for tests. The probe and the sector layer talk only to this layer.
#pragma once

#include "platform/host_file.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace drive_layer {

// Media types of the geometry record.
constexpr uint32_t MEDIA_UNKNOWN = 0;
constexpr uint32_t MEDIA_REMOVABLE = 11;
constexpr uint32_t MEDIA_FIXED = 12;

constexpr unsigned DRIVE_COUNT = 16;

// The 24-byte disk geometry record: cylinders (64-bit), media type, tracks per
// cylinder, sectors per track, bytes per sector.
struct DiskGeometry {
    int64_t cylinders = 0;
    uint32_t media_type = MEDIA_UNKNOWN;
    uint32_t tracks_per_cylinder = 0;
    uint32_t sectors_per_track = 0;
    uint32_t bytes_per_sector = 0;
};

// Geometry that multiplies out to exactly `capacity` bytes (one track per cylinder,
// one 512-byte sector per track) with the given media type.
DiskGeometry geometry_for_capacity(uint64_t capacity, uint32_t media_type);

// Builds the bytes of a storage device descriptor as the storage-property query
// returns it: a 36-byte header followed by the NUL-terminated strings. Offsets of
// absent strings are 0. Layout (little-endian):
//   0 Version u32, 4 Size u32, 8 DeviceType u8, 9 DeviceTypeModifier u8,
//   10 RemovableMedia u8, 11 CommandQueueing u8, 12 VendorIdOffset u32,
//   16 ProductIdOffset u32, 20 ProductRevisionOffset u32, 24 SerialNumberOffset u32,
//   28 BusType u32, 32 RawPropertiesLength u32, 36.. strings.
constexpr size_t DESCRIPTOR_HEADER_BYTES = 36;
constexpr size_t DESCRIPTOR_BUFFER_BYTES = 551;  // what the probe asks for
std::vector<uint8_t> make_descriptor(const std::string* vendor, const std::string* product,
                                     const std::string* serial, bool removable);

// A descriptor from plain texts, an empty text being absent. The probe drops the last
// two characters of the vendor text (the platform pads vendor fields with filler), so
// the vendor is stored followed by a separating space and two filler spaces: the
// identity then reads "Vendor Product".
std::vector<uint8_t> make_identity_descriptor(const std::string& vendor, const std::string& product,
                                              const std::string& serial, bool removable);

enum Access : unsigned { READ = 1, READ_WRITE = 3 };

// An open drive: the analogue of a raw drive handle. Positions are byte offsets.
class DriveHandle {
public:
    virtual ~DriveHandle() = default;
    virtual bool seek(uint64_t byte_offset) = 0;
    // Reads/writes at the current position and advances it. `done` receives the
    // number of bytes that really moved (may be short at the end of the medium).
    virtual bool read(void* buffer, uint32_t length, uint32_t* done) = 0;
    virtual bool write(const void* buffer, uint32_t length, uint32_t* done) = 0;
    // Pushes written data to the medium (fsync on Linux, FlushFileBuffers on Windows).
    // false also when a write that the handle held back and put out later failed since
    // the last flush.
    virtual bool flush() = 0;
    // Lets go of the drive: writes still held back go out first. false when one of
    // them failed or failed earlier without being reported by a flush. The handle is
    // unusable afterwards; destroying it without close() closes it unheard.
    virtual bool close() { return true; }
    // Whether transfers go through the host's cache, which reads ahead and merges
    // requests itself (a buffered file or device), rather than each read or write
    // reaching the medium as it is.
    virtual bool host_cached() const { return false; }
    // A hint that the bytes at [offset, offset + length) will be read soon: a source
    // that can fetch them in the background does, the others ignore it.
    virtual void will_need(uint64_t /*offset*/, uint64_t /*length*/) {}
    // A hint that [offset, offset + length) is about to be written front to back: a
    // source that must merge partly written blocks can fetch those in the background.
    virtual void will_write(uint64_t /*offset*/, uint64_t /*length*/) {}
    // A hint that the host should forget what it cached of [offset, offset + length),
    // so the next read of it comes from the medium (a read-back check). A source
    // without a cache of its own ignores it.
    virtual void forget_cached(uint64_t /*offset*/, uint64_t /*length*/) {}
    // Copies `length` bytes of the medium from `offset` into the host file `out`, at
    // and past that file's position, without passing them through a buffer of ours.
    // false when the source cannot do this (the default) or a transfer failed; `done`
    // receives the bytes that reached the file either way, so the caller can go on
    // from there with ordinary reads.
    virtual bool send_to_file(uint64_t /*offset*/, uint32_t /*length*/, host::Descriptor /*out*/, uint32_t* done) {
        *done = 0;
        return false;
    }
    // The storage-property query: descriptor bytes, at most `capacity` of them.
    virtual bool query_descriptor(std::vector<uint8_t>& out, size_t capacity) = 0;
    // The geometry query; fails when the reader holds no medium.
    virtual bool query_geometry(DiskGeometry& out) = 0;
};

// What a listing shows of a drive beyond its probe: the file systems the host has
// mounted from it, and whether it refuses writes (an SD card's lock switch). Each is
// unknown (empty) where the platform cannot tell.
struct DriveState {
    std::optional<std::vector<std::string>> mount_points;
    std::optional<bool> read_only;
};

// Something that can stand behind a drive number.
class DriveSource {
public:
    virtual ~DriveSource() = default;
    // Null when the drive cannot be opened (absent, locked, vanished).
    // `unbuffered` asks to bypass the host's page cache where the platform allows.
    virtual std::unique_ptr<DriveHandle> open(Access access, bool unbuffered) = 0;
    // Short text for diagnostics ("/dev/sdb", "card.img", "fake").
    virtual std::string describe() const = 0;
    // Asked of the host now; opens nothing.
    virtual DriveState state() const { return {}; }
};

// Drive numbers 0..15 mapped to sources.
class DriveTable {
public:
    // Forgets every source and maps the host's own whole-disk block devices:
    // drive 0 is the disk holding the root file system, the others follow.
    void load_system_drives();
    // The same again after disks came or went, leaving the numbers attached by hand
    // (attach, attach_path) as they are.
    void reload_system_drives();
    void clear();
    // Attaches a source as drive n (replacing what was there). false when n >= 16.
    bool attach(unsigned n, std::shared_ptr<DriveSource> source);
    // Attaches an image file or a block device path. An attached source counts as
    // removable media. false (with a reason in `error`) when the path is unusable.
    bool attach_path(unsigned n, const std::string& path, std::string* error = nullptr);
    void detach(unsigned n);
    std::shared_ptr<DriveSource> source(unsigned n) const;

private:
    // The drive watch probes on the event loop's thread while a copy worker opens
    // drives, so lookups and attachments are serialised.
    mutable std::mutex mutex_;
    std::shared_ptr<DriveSource> sources_[DRIVE_COUNT];
    bool attached_[DRIVE_COUNT] = {};
};

// The process-wide table. Empty until someone loads or attaches drives.
DriveTable& drive_table();

// Opens drive n through the table; null when it has no source or will not open.
std::unique_ptr<DriveHandle> open_drive(unsigned n, Access access, bool unbuffered);

// Parses "N=PATH" as given to --drive. false with a reason when malformed
// (N must be 1..15: drive 0 is the system disk's place).
bool parse_drive_option(const std::string& text, unsigned* n, std::string* path, std::string* error);

}  // namespace drive_layer
