// The drive probe: decides whether a physical drive may be a card.
//
// It opens the drive read-only for a moment, asks for the identity strings and the
// geometry, and accepts only removable media of at most 21 GiB. It never reads or
// writes sectors.
#pragma once

#include "device/drive_layer.h"

#include <cstdint>
#include <string>

// Largest capacity a card drive may have: 21 GiB (exactly that is accepted).
constexpr uint64_t MAX_CARD_CAPACITY = 0x540000000ULL;

class c_disk_info {
public:
    uint8_t drive = 255;
    uint32_t media_type = 0;
    std::string identity;
    std::string serial;
    uint64_t capacity = 0;
    drive_layer::DiskGeometry geometry;  // as last returned; reset() leaves it alone

    // true = acceptable card drive, record filled; false = refused, record reset.
    bool probe(uint8_t drive_number);
    // true when the drive opened and both requests succeeded.
    bool query(uint8_t drive_number);
    bool read_identity(drive_layer::DriveHandle& handle);
    bool read_geometry(drive_layer::DriveHandle& handle);
    void reset();
};
