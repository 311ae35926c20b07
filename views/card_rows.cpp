#include "views/card_rows.h"

#include "common/ui_text.h"
#include "device/sector_io.h"
#include "obfs/allocator.h"
#include "obfs/obfs.h"
#include "transfer/host_path.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr int PICTURE_NDS = 0;
constexpr int PICTURE_SAV = 1;
constexpr int PICTURE_OTHER = 6;
constexpr int PICTURE_FREE = 7;
constexpr int PICTURE_MESSAGE = 0;

struct Record {
    int slot;
    AF_FIND_DATA_T data;
};

std::string record_name(const AF_FIND_DATA_T& data) {
    const auto* bytes = reinterpret_cast<const char*>(data.name);
    return std::string(bytes, strnlen(bytes, sizeof data.name));
}

CardRow message_row(const char* text) {
    CardRow row;
    row.kind = CardRowKind::Message;
    row.caption = ui_text("app", text);
    row.picture = PICTURE_MESSAGE;
    return row;
}

CardRow file_row(const Record& record) {
    CardRow row;
    row.kind = CardRowKind::File;
    row.caption = record_name(record.data);
    row.size_text = SizeText(record.data.size);
    const std::string ext = file_extension_of(row.caption);
    row.type_text = type_text_of(row.caption);
    row.picture = ext == "nds" ? PICTURE_NDS : ext == "sav" ? PICTURE_SAV : PICTURE_OTHER;
    row.bytes = record.data.size;
    row.slot = record.slot;
    row.first_cluster = record.data.first_cluster;
    row.last_cluster = record.data.last_cluster;
    return row;
}

// Adds the free-space rows for the clusters [from, to) that lie between files. Only
// clusters a new file could really take count: a fence (or any cluster the map does
// not show free) splits the stretch and is not shown as free.
class FreeRuns {
public:
    FreeRuns(const cOBFS& vol, std::vector<CardRow>& rows)
        : map_(vol.cluster_map), cluster_count_(vol.cluster_count()),
          cluster_bytes_(vol.cluster_sectors() * SECTOR_BYTES), rows_(rows) {}

    void add(uint64_t from, uint64_t to) {
        to = std::min<uint64_t>({to, cluster_count_, map_.size()});
        uint64_t run_start = 0;
        uint32_t run_length = 0;
        for (uint64_t c = from; c < to; ++c) {
            if (map_[c] == MAP_FREE) {
                if (run_length++ == 0) run_start = c;
            } else if (run_length) {
                emit(run_start, run_length);
                run_length = 0;
            }
        }
        if (run_length) emit(run_start, run_length);
    }

    uint32_t cluster_count() const { return cluster_count_; }

private:
    void emit(uint64_t start, uint32_t length) {
        CardRow row;
        row.kind = CardRowKind::FreeSpace;
        row.caption = FREE_SPACE_CAPTION;
        row.bytes = length * cluster_bytes_;  // 32-bit, as the size column shows it
        row.size_text = SizeText(row.bytes);
        row.picture = PICTURE_FREE;
        row.first_cluster = uint32_t(start);
        row.last_cluster = uint32_t(start + length - 1);
        rows_.push_back(std::move(row));
    }

    const std::vector<uint8_t>& map_;
    uint32_t cluster_count_;
    uint32_t cluster_bytes_;
    std::vector<CardRow>& rows_;
};

}  // namespace

std::string SizeText(uint32_t bytes) { return SizeText64(bytes); }

std::string SizeText64(uint64_t bytes) {
    const uint64_t kib = bytes / 1024 + (bytes % 1024 ? 1 : 0);
    char text[48];
    if (kib < 1024)
        std::snprintf(text, sizeof text, "%d KB", int(kib));
    else  // printf rounds to nearest, an exact half to the even digit (1.25 -> 1.2)
        std::snprintf(text, sizeof text, "%.1f MB", double(kib) / 1024.0);
    return text;
}

std::string type_text_of(const std::string& name, bool* known) {
    const std::string ext = file_extension_of(name);
    if (known) *known = ext == "nds" || ext == "sav";
    return ext + ui_text("app", " 文件");
}

std::vector<CardRow> no_card_rows() { return {message_row(NO_CARD_ROW), message_row(NO_CARD_HINT_ROW)}; }

FreeSummary free_summary(const std::vector<CardRow>& rows) {
    FreeSummary summary;
    summary.is_volume = rows.empty() || rows.front().kind != CardRowKind::Message;
    for (const CardRow& row : rows) {
        if (row.kind != CardRowKind::FreeSpace) continue;
        summary.total_bytes += row.bytes;
        summary.largest_bytes = std::max<uint64_t>(summary.largest_bytes, row.bytes);
    }
    return summary;
}

bool is_hidden_side_file(const std::string& name) {
    return name == "savelist.bin" || name == "save_info.dat" || name == "sd_speed.ini";
}

std::vector<CardRow> card_rows(uint8_t drive) {
    std::vector<CardRow> rows;
    cOBFS& vol = volume();
    if (!vol.mount(drive)) {
        rows.push_back(message_row(NOT_A_VOLUME_ROW));
        rows.push_back(message_row(FORMAT_HINT_ROW));
        return rows;
    }

    std::vector<Record> records;
    AF_FIND_DATA_T data;
    for (int slot = find_first(data); slot != -1; slot = find_next(slot + 1, data))
        records.push_back({slot, data});
    std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
        return a.data.first_cluster < b.data.first_cluster;
    });

    // Walk the files in cluster order; whatever lies between the end of the clusters
    // seen so far and the next file's first cluster is offered as free space. Files
    // without a cluster, and runs that overlap earlier ones on a damaged card, never
    // make a gap count twice or wrap around.
    FreeRuns free_runs(vol, rows);
    uint64_t covered_to = 0;
    for (const Record& record : records) {
        const uint32_t first = record.data.first_cluster;
        if (first != NO_CLUSTER) {
            if (first > covered_to) free_runs.add(covered_to, first);
            const uint32_t last = std::max(first, record.data.last_cluster);
            covered_to = std::max<uint64_t>(covered_to, uint64_t(last) + 1);
        }
        if (!is_hidden_side_file(record_name(record.data))) rows.push_back(file_row(record));
    }
    // Behind the last file, or the whole data area of a volume without files.
    free_runs.add(covered_to, free_runs.cluster_count());
    return rows;
}

bool caption_before(const std::string& a, const std::string& b) {
    return std::strcoll(a.c_str(), b.c_str()) < 0;
}

void sort_rows_by_caption(std::vector<CardRow>& rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const CardRow& a, const CardRow& b) {
        return caption_before(a.caption, b.caption);
    });
}
