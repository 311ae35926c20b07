// Little-endian field access on raw bytes: every integer on the card and in a drive's
// descriptors is stored this way, packed, and read by named offset (never a struct cast).
#pragma once

#include <cstdint>

uint16_t get_le16(const uint8_t* p);
uint32_t get_le32(const uint8_t* p);
void put_le16(uint8_t* p, uint16_t v);
void put_le32(uint8_t* p, uint32_t v);
