#include "obfs/superblock_layout.h"

#include <cstdio>

namespace {

constexpr uint32_t LIST_END = 0xFFFFFFFFu;

std::string departure(const char* field, uint32_t found, uint32_t formatted, uint32_t disk_size) {
    char line[160];
    std::snprintf(line, sizeof line, "superblock: %s is %u; a volume of %u bytes has %u", field, found, disk_size,
                  formatted);
    return line;
}

}  // namespace

std::vector<std::string> layout_departures(const Superblock& sb) {
    // The formatter's own computation: whatever it would write is the only layout.
    const Superblock formatted = Superblock::layout_for(sb.disk_size);
    const struct {
        const char* field;
        uint32_t found, expected;
    } fields[] = {
        {"cluster_sectors", sb.cluster_sectors, formatted.cluster_sectors},
        {"map_start", sb.map_start, formatted.map_start},
        {"map_bytes", sb.map_bytes, formatted.map_bytes},
        {"hash_start", sb.hash_start, formatted.hash_start},
        {"hash_bytes", sb.hash_bytes, formatted.hash_bytes},
        {"dir_start", sb.dir_start, formatted.dir_start},
        {"dir_count", sb.dir_count, formatted.dir_count},
        {"data_start", sb.data_start, formatted.data_start},
    };
    std::vector<std::string> lines;
    for (const auto& f : fields)
        if (f.found != f.expected) lines.push_back(departure(f.field, f.found, f.expected, sb.disk_size));
    return lines;
}

std::vector<std::string> partition_list_departures(const uint32_t table[PARTITION_ENTRIES]) {
    std::vector<std::string> lines;
    char line[160];
    if (table[0] != 0) {
        std::snprintf(line, sizeof line, "superblock: partition start 0 is 0x%08X, not 0", table[0]);
        lines.push_back(line);
    }
    bool ended = false;
    for (uint32_t i = 1; i < PARTITION_ENTRIES; ++i) {
        if (ended) {
            if (table[i] != LIST_END) {
                std::snprintf(line, sizeof line,
                              "superblock: partition start %u is 0x%08X after the end of the list", i, table[i]);
                lines.push_back(line);
            }
            continue;
        }
        if (table[i] == LIST_END) {
            ended = true;
        } else if (table[i] <= table[i - 1]) {
            std::snprintf(line, sizeof line,
                          "superblock: partition start %u (0x%08X) does not lie above start %u (0x%08X)", i,
                          table[i], i - 1, table[i - 1]);
            lines.push_back(line);
        }
    }
    return lines;
}
