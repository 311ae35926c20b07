// The card model table: the microSD card models the formatter knows, with the byte
// addresses at which each model's internal partitions begin and the card speed value
// that goes onto the card in "sd_speed.ini".
//
// The formatter fences off the clusters where a partition changes, so no file ever
// spans a partition start; the row's speed becomes the card's default speed.
#pragma once

#include "obfs/superblock.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t NO_PARTITION = 0xFFFFFFFFu;  // ends the list of partition starts

struct PARTITION_INFO_T {
    std::string name;
    // Entry 0 is always 0; further starts ascend; the first 0xFFFFFFFF ends the list
    // and every entry after it is 0xFFFFFFFF too.
    uint32_t partition_start[PARTITION_ENTRIES];
    uint8_t speed = 0;
};

constexpr int CARD_MODEL_ROWS = 15;

// The 15 built-in rows, in order: a constant, there from the start. The row number is
// the index by which the dialogs and the format command address a model.
extern const std::vector<PARTITION_INFO_T>& card_model_table;

// Whether k addresses a row of card_model_table as it stands.
bool is_card_model_row(int k);

// The name of a row of the table as the user reads it, in the user's language.
std::string card_model_caption(size_t row);
