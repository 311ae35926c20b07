// Reading a drive's medium past every cache, for checks that what was written really
// is there: a second, read-only handle of its own (so the sector layer's read window
// plays no part), opened for direct I/O where the host allows it and otherwise told
// to forget what the host cached of each range before reading it.
#pragma once

#include "device/drive_layer.h"

#include <cstdint>
#include <memory>

class MediumReader {
public:
    MediumReader() = default;
    ~MediumReader();
    MediumReader(const MediumReader&) = delete;
    MediumReader& operator=(const MediumReader&) = delete;

    // false when drive `drive` does not open.
    bool open(uint8_t drive);
    // Fills `length` bytes from byte `offset`; false on a failed or short read.
    bool read(uint64_t offset, void* buffer, uint32_t length);
    // An aligned scratch buffer of at least `bytes` bytes, kept by the reader (null
    // when it cannot be had).
    uint8_t* scratch(uint32_t bytes);

private:
    std::unique_ptr<drive_layer::DriveHandle> handle_;
    uint8_t* scratch_ = nullptr;
    uint32_t scratch_bytes_ = 0;
};
