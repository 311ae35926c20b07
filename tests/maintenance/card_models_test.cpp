#include "maintenance/card_models.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint32_t> further_starts(const PARTITION_INFO_T& row) {
    std::vector<uint32_t> out;
    for (uint32_t i = 1; i < PARTITION_ENTRIES && row.partition_start[i] != NO_PARTITION; ++i)
        out.push_back(row.partition_start[i]);
    return out;
}

const std::vector<uint32_t> NINE = {0x07B00000, 0x07B20000, 0x07B40000, 0x07B60000, 0x07B80000,
                                    0x07BA0000, 0x07BC0000, 0x07BE0000, 0x07C00000};

}  // namespace

TEST(CardModelTable, HoldsTheFifteenModelsInOrder) {
    struct Expected {
        const char* name;
        int speed;
        std::vector<uint32_t> starts;
    };
    const std::vector<Expected> expected = {
        {"Kingmax Micro SD 256MB", 4, NINE},
        {"Kingmax Micro SD 512MB", 4, {0x0F740000}},
        {"AData Micro SD 512MB", 4, {0x0F740000}},
        {"PNY Micro SD 256MB", 4, NINE},
        {"PNY Micro SD 512M", 3, {}},
        {"PNY Micro SD 1GB", 3, {}},
        {"Kingston Micro SD 256MB", 4, {}},
        {"Kingston Micro SD 1GB", 3, {}},
        {"Sandisk Micro SD 512MB", 13, {0x10000000}},
        {"Sandisk Micro SD 1GB", 13, {0x10000000, 0x20000000, 0x30000000}},
        {"Sandisk Micro SD 2GB", 14, {}},
        {"Sandisk Ultra II Micro SD 1GB", 7, {}},
        {"Apacer Micro SD 256M", 4, NINE},
        {"Apacer Micro SD 512M", 3, {}},
        {"其他Micro SD卡", 24, {}},
    };
    ASSERT_EQ(card_model_table.size(), expected.size());
    for (size_t row = 0; row < expected.size(); ++row) {
        SCOPED_TRACE(row);
        const PARTITION_INFO_T& model = card_model_table[row];
        EXPECT_EQ(model.name, expected[row].name);
        EXPECT_EQ(model.speed, expected[row].speed);
        EXPECT_EQ(model.partition_start[0], 0u);
        EXPECT_EQ(further_starts(model), expected[row].starts);
        // Everything after the list's end is "none" as well.
        for (uint32_t i = 1 + uint32_t(expected[row].starts.size()); i < PARTITION_ENTRIES; ++i)
            EXPECT_EQ(model.partition_start[i], NO_PARTITION);
    }
}

TEST(CardModelTable, IsThereFromTheStartWithEveryModelOnce) {
    EXPECT_EQ(card_model_table.size(), size_t(CARD_MODEL_ROWS));
    EXPECT_TRUE(is_card_model_row(0));
    EXPECT_TRUE(is_card_model_row(14));
    EXPECT_FALSE(is_card_model_row(15));
    EXPECT_FALSE(is_card_model_row(-1));
}
