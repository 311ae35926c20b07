// Helpers shared by the card preparation tests.
#pragma once

#include "obfs/af_file.h"
#include "obfs/obfs.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace maint_test {

// The bytes of a card file, mounting the volume on the drive first; nullopt when the
// volume does not mount or the file is not there.
inline std::optional<std::vector<uint8_t>> card_file(uint8_t drive, const std::string& name) {
    if (!volume().mount(drive)) return std::nullopt;
    cAFFile file;
    if (!file.open(name, "r", 0)) return std::nullopt;
    std::vector<uint8_t> bytes(file.get_size());
    if (!bytes.empty() && file.read(bytes.data(), uint32_t(bytes.size())) != bytes.size())
        return std::nullopt;
    return bytes;
}

inline std::vector<uint8_t> bytes_of(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace maint_test
