// "sd_speed.ini": the card's default access speed, which the menu program on the
// console reads at start. It holds the speed in decimal digits and nothing else (no
// line end, no terminating zero byte).
#pragma once

#include <cstdint>
#include <string>

class cCard;

// The speed as the file holds it: "%d", one to three digits.
std::string speed_text(uint8_t speed);

// Writes "sd_speed.ini" on the mounted volume, replacing the file of that name, reads
// it back and pushes the card to the medium. true only when the card file holds
// exactly the speed's digits; false when no volume is mounted or the file could not be
// created or fully written.
bool write_speed_file(cCard& card, uint8_t speed);
// The same on the default card.
bool write_speed_file(uint8_t speed);
