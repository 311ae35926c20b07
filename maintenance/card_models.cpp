#include "maintenance/card_models.h"

#include "common/ui_text.h"

#include <initializer_list>

namespace {

// Every row is built the same way: all starts "none", entry 0 the card's first byte,
// then the model's further starts from entry 1 on.
PARTITION_INFO_T make_row(const char* name, uint8_t speed, std::initializer_list<uint32_t> starts) {
    PARTITION_INFO_T row;
    row.name = name;
    for (uint32_t& entry : row.partition_start) entry = NO_PARTITION;
    row.partition_start[0] = 0;
    uint32_t i = 1;
    for (uint32_t start : starts) {
        if (i >= PARTITION_ENTRIES) break;
        row.partition_start[i++] = start;
    }
    row.speed = speed;
    return row;
}

// The small Kingmax, PNY and Apacer cards change partition nine times in a row, one
// cluster apart, between 123 MiB and 124 MiB.
const std::initializer_list<uint32_t> NINE_STARTS = {
    0x07B00000, 0x07B20000, 0x07B40000, 0x07B60000, 0x07B80000,
    0x07BA0000, 0x07BC0000, 0x07BE0000, 0x07C00000};

const std::vector<PARTITION_INFO_T>& card_models() {
    static const std::vector<PARTITION_INFO_T> rows = [] {
        std::vector<PARTITION_INFO_T> table;
        table.reserve(CARD_MODEL_ROWS);
        table.push_back(make_row("Kingmax Micro SD 256MB", 4, NINE_STARTS));
        table.push_back(make_row("Kingmax Micro SD 512MB", 4, {0x0F740000}));
        table.push_back(make_row("AData Micro SD 512MB", 4, {0x0F740000}));
        table.push_back(make_row("PNY Micro SD 256MB", 4, NINE_STARTS));
        table.push_back(make_row("PNY Micro SD 512M", 3, {}));
        table.push_back(make_row("PNY Micro SD 1GB", 3, {}));
        table.push_back(make_row("Kingston Micro SD 256MB", 4, {}));
        table.push_back(make_row("Kingston Micro SD 1GB", 3, {}));
        table.push_back(make_row("Sandisk Micro SD 512MB", 13, {0x10000000}));
        table.push_back(make_row("Sandisk Micro SD 1GB", 13, {0x10000000, 0x20000000, 0x30000000}));
        table.push_back(make_row("Sandisk Micro SD 2GB", 14, {}));
        table.push_back(make_row("Sandisk Ultra II Micro SD 1GB", 7, {}));
        table.push_back(make_row("Apacer Micro SD 256M", 4, NINE_STARTS));
        table.push_back(make_row("Apacer Micro SD 512M", 3, {}));
        table.push_back(make_row(UI_TEXT_NOOP("maintenance", "其他Micro SD卡"), 24, {}));
        return table;
    }();
    return rows;
}

}  // namespace

const std::vector<PARTITION_INFO_T>& card_model_table = card_models();

bool is_card_model_row(int k) {
    return k >= 0 && size_t(k) < card_model_table.size();
}

std::string card_model_caption(size_t row) {
    // Makes and sizes are names; only the catch-all row is words to translate.
    return ui_text("maintenance", card_model_table[row].name.c_str());
}
