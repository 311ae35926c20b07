// Installation of the cart's menu program into the menu program area: bytes 512 to
// 4,194,815 of the card (sectors 1..8192), between the superblock and the cluster
// map. The area lies outside the volume, so nothing of the volume is touched and no
// field records the program.
//
// The installer reaches the card through a drive handle of its own (cMenuDrive),
// opened without the host's page cache, separate from the card's sector access and
// read window. An installation on a card object opens one for the time it writes;
// open_menu_drive, write_menu_area and close_menu_drive work one kept for the default
// card, which stays open after an installation and is closed by the next
// open_menu_drive. One thread at a time.
#pragma once

#include "platform/host_file.h"

#include <cstdint>
#include <memory>
#include <string>

class cCard;
class cDisk;
namespace drive_layer {
class DriveHandle;
}

constexpr uint32_t MENU_AREA_OFFSET = 512;           // byte 512 = sector 1
constexpr uint32_t MENU_AREA_BYTES = 4194304;        // sectors 1..8192
constexpr uint32_t MENU_CHUNK_BYTES = 32768;

// A drive handle for the menu program area, with its aligned chunk buffer.
class cMenuDrive {
public:
    cMenuDrive();
    ~cMenuDrive();
    cMenuDrive(const cMenuDrive&) = delete;
    cMenuDrive& operator=(const cMenuDrive&) = delete;

    // Opens the drive (closing the one before): it must be accepted by the probe and
    // measure at most 2 GiB in the low 32 bits of its capacity. The writes `card_disk`
    // (the card's own access to that drive) still holds back go out first, so none of
    // them can land after what this handle writes.
    bool open(uint8_t drive, cDisk& card_disk);
    // Writes the host file into the area in whole 32 KiB chunks (the last one padded
    // with zeros), then flushes to the medium. A file larger than the area is refused
    // before anything is written.
    bool write(const std::string& path);
    void close();

private:
    std::unique_ptr<drive_layer::DriveHandle> handle_;
    std::unique_ptr<uint8_t, host::AlignedFree> chunk_;
};

// Copies "obmenu2.nds" from the program's folder into the menu program area of the
// card's drive. true when the whole file was written and pushed to the medium.
bool install_menu_program(cCard& card, uint8_t drive);
// The same for the default card, through its kept menu drive handle.
bool install_menu_program(uint8_t drive);

// Opens the menu drive handle on the drive (closing the one before): the drive must be
// accepted by the probe and measure at most 2 GiB in the low 32 bits of its capacity.
bool open_menu_drive(uint8_t drive);

// Writes the host file into the menu program area through the menu drive handle, in
// whole 32 KiB chunks (the last one padded with zeros), then flushes to the medium.
// A file larger than the area is refused before anything is written.
bool write_menu_area(const std::string& path);

// Closes the menu drive handle if it is open.
void close_menu_drive();
