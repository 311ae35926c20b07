#include "support/card_contents.h"

#include "obfs/af_file.h"
#include "obfs/directory.h"
#include "obfs/obfs.h"

#include <cstring>

namespace testcards {

bool CardFile::size_fits_run() const {
    if (first_cluster == 0xFFFFFFFFu) return size == 0;
    if (last_cluster < first_cluster) return false;
    return uint64_t(size) <= (uint64_t(last_cluster) - first_cluster + 1) * OBFS_CLUSTER_BYTES;
}

std::map<std::string, CardFile> card_contents(uint8_t drive, bool* mounted) {
    std::map<std::string, CardFile> files;
    const bool ok = volume().mount(drive);
    if (mounted) *mounted = ok;
    if (!ok) return files;
    AF_FIND_DATA_T record;
    for (int slot = find_first(record); slot != -1; slot = find_next(slot + 1, record)) {
        const std::string name(reinterpret_cast<const char*>(record.name),
                               strnlen(reinterpret_cast<const char*>(record.name), sizeof record.name));
        CardFile f;
        f.size = record.size;
        f.first_cluster = record.first_cluster;
        f.last_cluster = record.last_cluster;
        cAFFile stream;
        f.opened = stream.open(name, "r", 0);
        // In chunks, as the copy to the host reads: a damaged entry may claim a size
        // far beyond what its run holds.
        std::vector<uint8_t> chunk(1u << 21);
        for (uint32_t got; f.opened && (got = stream.read(chunk.data(), uint32_t(chunk.size()))) > 0;)
            f.bytes.insert(f.bytes.end(), chunk.begin(), chunk.begin() + got);
        files[name] = std::move(f);
    }
    return files;
}

bool put_card_file(const std::string& name, const std::vector<uint8_t>& bytes) {
    cAFFile f;
    if (!f.open(name, "w+", uint32_t(bytes.size()))) return false;
    const uint32_t taken = bytes.empty() ? 0 : f.write(bytes.data(), uint32_t(bytes.size()));
    return f.close() && taken == bytes.size();
}

}  // namespace testcards
