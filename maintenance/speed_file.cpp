#include "maintenance/speed_file.h"

#include "device/sector_io.h"
#include "maintenance/side_files.h"
#include "obfs/af_file.h"
#include "obfs/card.h"
#include "obfs/obfs.h"

#include <cstring>

std::string speed_text(uint8_t speed) { return std::to_string(unsigned(speed)); }

bool write_speed_file(cCard& card, uint8_t speed) {
    if (!card.volume().mounted) return false;
    const std::string text = speed_text(speed);
    const uint32_t length = uint32_t(text.size());
    {
        cAFFile out(card);
        if (!out.open(SPEED_FILE, "w+", 0)) return false;
        const uint32_t written = out.write(text.data(), length);
        // A short write keeps the file it replaces (the stream wrote beside it) where
        // it can; a whole one is committed: directory entry, tables, drive flush.
        if (written != length) {
            out.discard();
            return false;
        }
        if (!out.close()) return false;
    }
    // What the card now names "sd_speed.ini" holds exactly the digits.
    cAFFile back(card);
    if (!back.open(SPEED_FILE, "r", 0) || back.get_size() != length) return false;
    char check[4] = {};
    if (back.read(check, length) != length || std::memcmp(check, text.data(), length) != 0)
        return false;
    back.close();
    return card.disk().flush();
}

bool write_speed_file(uint8_t speed) { return write_speed_file(default_card(), speed); }
