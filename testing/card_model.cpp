#include "testing/card_model.h"

#include <algorithm>

namespace drive_layer {

const std::vector<CardModel>& card_model_presets() {
    // Sequential speeds of typical cards of each class through their usual reader; the
    // A1 class promises 500 random 4 KiB writes a second, about 2 ms each.
    static const std::vector<CardModel> presets = {
        {"usb2-a1", 35e6, 20e6, 2e-3, 0.7e-3, 0.3e-3, 1e-3},
        {"uhs1-u3", 90e6, 60e6, 1e-3, 0.3e-3, 0.2e-3, 1e-3},
    };
    return presets;
}

bool find_card_model(const std::string& name, CardModel* out) {
    for (const CardModel& m : card_model_presets())
        if (m.name == name) {
            *out = m;
            return true;
        }
    return false;
}

const char* byte_kind_name(ByteKind kind) {
    switch (kind) {
    case ByteKind::Superblock: return "superblock";
    case ByteKind::Menu: return "menu";
    case ByteKind::Map: return "map";
    case ByteKind::Hash: return "hash";
    case ByteKind::Directory: return "directory";
    case ByteKind::Data: return "data";
    case ByteKind::Count: break;
    }
    return "?";
}

void CardClock::count_bytes(uint64_t* by_kind, uint64_t offset, uint64_t bytes) const {
    if (areas_.empty()) {
        by_kind[unsigned(ByteKind::Data)] += bytes;
        return;
    }
    const uint64_t end = offset + bytes;
    if (offset < areas_.front().first_byte) {
        const uint64_t n = std::min(end, areas_.front().first_byte) - offset;
        by_kind[unsigned(ByteKind::Data)] += n;
        offset += n;
    }
    for (size_t i = 0; i < areas_.size() && offset < end; ++i) {
        const uint64_t area_end = i + 1 < areas_.size() ? areas_[i + 1].first_byte : NOWHERE;
        if (offset >= area_end) continue;
        const uint64_t n = std::min(end, area_end) - offset;
        by_kind[unsigned(areas_[i].kind)] += n;
        offset += n;
    }
}

void CardClock::transfer(bool writing, uint64_t offset, uint64_t bytes) {
    CardModelCounters& c = counters_;
    ++c.commands;
    c.seconds += model_.command_seconds;
    uint64_t& end = writing ? write_end_ : read_end_;
    if (offset != end) {
        if (writing) {
            ++c.nonsequential_writes;
            c.seconds += model_.nonsequential_write_seconds;
        } else {
            ++c.nonsequential_reads;
            c.seconds += model_.nonsequential_read_seconds;
        }
    }
    end = offset + bytes;
    const double rate = writing ? model_.write_bytes_per_second : model_.read_bytes_per_second;
    if (rate > 0) c.seconds += double(bytes) / rate;
    count_bytes(writing ? c.bytes_written : c.bytes_read, offset, bytes);
}

void CardClock::flush() {
    ++counters_.flushes;
    counters_.seconds += model_.flush_seconds;
}

}  // namespace drive_layer
