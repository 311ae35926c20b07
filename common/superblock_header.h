// The two checks that make sector 0 an OBFS superblock at all: the magic "OBFS" and
// the CRC-16 of its first 118 bytes. The mount, the card check, the backup reader and
// obtool's explanation of a card without volume all ask the same question here.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t SB_MAGIC = 0x00;
constexpr uint32_t SB_HEADER_CRC = 0x76;
constexpr uint32_t SB_HEADER_CRC_SPAN = 0x76;  // the header CRC covers bytes 0x00..0x75

// CRC-16/ARC: reflected polynomial 0xA001, no final exclusive-or.
uint16_t crc16(uint16_t start, const uint8_t* bytes, size_t length);

enum class SuperblockHeader { Valid, NoMagic, BadCrc };
SuperblockHeader check_superblock_header(const uint8_t sector[512]);
inline bool superblock_header_valid(const uint8_t sector[512]) {
    return check_superblock_header(sector) == SuperblockHeader::Valid;
}
// Sets the header CRC over the bytes before it (after every other field is final).
void seal_superblock_header(uint8_t sector[512]);
