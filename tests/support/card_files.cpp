#include "support/card_files.h"

#include "obfs/af_file.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"

namespace testcards {

bool card_has(uint8_t drive, const std::string& name) {
    return volume().mount(drive) && file_exists(name);
}

std::vector<uint8_t> read_card_file(uint8_t drive, const std::string& name) {
    if (!volume().mount(drive)) return {};
    cAFFile file;
    if (!file.open(name, "r", 0)) return {};
    std::vector<uint8_t> bytes(file.get_size());
    if (!bytes.empty()) bytes.resize(file.read(bytes.data(), uint32_t(bytes.size())));
    return bytes;
}

bool put_card_file(uint8_t drive, const std::string& name, const std::vector<uint8_t>& bytes) {
    if (!volume().mount(drive)) return false;
    cAFFile file;
    if (!file.open(name, "w", uint32_t(bytes.size()))) return false;
    const bool written =
        bytes.empty() || file.write(bytes.data(), uint32_t(bytes.size())) == bytes.size();
    return file.close() && written;
}

}  // namespace testcards
