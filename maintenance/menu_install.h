// Installation of the cart's menu program into the menu program area: bytes 512 to
// 4,194,815 of the card (sectors 1..8192), between the superblock and the cluster
// map. The area lies outside the volume, so nothing of the volume is touched and no
// field records the program.
//
// The installer reaches the card through a drive handle of its own, opened without
// the host's page cache, separate from the sector layer's handle and read window. The
// handle is process-wide: it stays open after an installation and is closed by the
// next open_menu_drive. One thread at a time.
#pragma once

#include <cstdint>
#include <string>

constexpr uint32_t MENU_AREA_OFFSET = 512;           // byte 512 = sector 1
constexpr uint32_t MENU_AREA_BYTES = 4194304;        // sectors 1..8192
constexpr uint32_t MENU_CHUNK_BYTES = 32768;

// Copies "obmenu2.nds" from the program's folder into the menu program area of the
// drive. true when the whole file was written and pushed to the medium.
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
