// What a card holds, file by file, read through the volume as the program reads it:
// for tests that compare a card before and after something happened to it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace testcards {

struct CardFile {
    std::vector<uint8_t> bytes;   // what a read stream delivers
    uint32_t size = 0;            // the entry's size
    uint32_t first_cluster = 0xFFFFFFFFu;
    uint32_t last_cluster = 0xFFFFFFFFu;
    bool opened = false;          // a read stream opened it
    // Whether the size fits the run the entry names.
    bool size_fits_run() const;
};

// Every file of the volume on `drive`, by name; mounts the volume first. `mounted`
// (when given) tells whether it mounted; an unmounted drive gives no files.
std::map<std::string, CardFile> card_contents(uint8_t drive, bool* mounted = nullptr);

// Writes a card file through a "w+" stream on the mounted volume; true when every byte
// was taken.
bool put_card_file(const std::string& name, const std::vector<uint8_t>& bytes);

}  // namespace testcards
