// Files on a test card, read and written through the volume directly (not through the
// transfer routines under test).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testcards {

// Mounts the volume on `drive`; whether a file of exactly that name is on the card.
bool card_has(uint8_t drive, const std::string& name);
// The bytes of a card file (empty when it does not open).
std::vector<uint8_t> read_card_file(uint8_t drive, const std::string& name);
// Writes a card file with these bytes (replacing one of that name); false on failure.
bool put_card_file(uint8_t drive, const std::string& name, const std::vector<uint8_t>& bytes);

}  // namespace testcards
