#include "common/superblock_header.h"

#include "common/byte_order.h"

#include <cstring>

namespace {

// The reflected CRC-16 (polynomial 0xA001) one byte at a time: every table flush and
// mount runs it over the whole cluster map, so the bit loop is done once, here.
struct Crc16Table {
    uint16_t entry[256];
    constexpr Crc16Table() : entry() {
        for (int byte = 0; byte < 256; ++byte) {
            uint16_t crc = uint16_t(byte);
            for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
            entry[byte] = crc;
        }
    }
};
constexpr Crc16Table CRC16_TABLE;

}  // namespace

uint16_t crc16(uint16_t start, const uint8_t* bytes, size_t length) {
    uint16_t crc = start;
    for (size_t i = 0; i < length; ++i) crc = uint16_t((crc >> 8) ^ CRC16_TABLE.entry[(crc ^ bytes[i]) & 0xFF]);
    return crc;
}

SuperblockHeader check_superblock_header(const uint8_t sector[512]) {
    if (std::memcmp(sector + SB_MAGIC, "OBFS", 4) != 0) return SuperblockHeader::NoMagic;
    if (crc16(0, sector, SB_HEADER_CRC_SPAN) != get_le16(sector + SB_HEADER_CRC)) return SuperblockHeader::BadCrc;
    return SuperblockHeader::Valid;
}

void seal_superblock_header(uint8_t sector[512]) {
    put_le16(sector + SB_HEADER_CRC, crc16(0, sector, SB_HEADER_CRC_SPAN));
}
